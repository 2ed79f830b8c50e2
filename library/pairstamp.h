#pragma once
// What a library and its index looked like on disk when a component read them: enough to tell,
// before an edit, that another program has written to either file since, put another file in
// its place, or copied a backup over it.
//
// File times alone cannot prove a file unchanged: many file systems keep them to a clock tick,
// and a write within the tick of the reading leaves them as they were. So the stamp also keeps
// a checksum of what every edit works from: the library's header and palette and the whole
// index.

#include <QString>
#include <QtGlobal>

class PairStamp
{
  public:
    PairStamp() = default;
    // Reads the stamp of the pair as it is now.
    static PairStamp take(const QString &libraryPath, const QString &indexPath);

    bool isNull() const { return !m_taken; }
    bool operator==(const PairStamp &other) const = default;

  private:
    struct FileState
    {
        bool exists = false;
        qint64 size = -1;
        qint64 modified = 0;  // nanoseconds where the system keeps them
        qint64 changed = 0;   // the time of the last change of the file's metadata
        quint64 file = 0;     // inode (or file index) and device: the same name on
        quint64 device = 0;   // another file shows here
        quint32 checksum = 0; // of the part every edit works from
        bool operator==(const FileState &other) const = default;
    };
    static FileState stateOf(const QString &path, qint64 checksumBytes);

    bool m_taken = false;
    FileState m_library;
    FileState m_index;
};
