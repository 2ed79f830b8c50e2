#pragma once
// Every write the library code makes to a library or index file goes through here, so that a
// test can make the k-th write, flush, resize or rename fail (or the process "die" there) and
// check that the pair on disk is still whole.

#include <QFile>
#include <QFileDevice>
#include <QString>
#include <functional>

class QFile;

namespace fileio {

enum class Op { Write, Flush, Resize, Rename, Remove };

// What an injected fault does: fail the call (as a full disk would), or end the process at
// once without flushing anything (as a crash would).
enum class Fault { None, Fail, Die };

// Called before each operation; the answer decides whether it runs. No hook: every call runs.
using FaultHook = std::function<Fault(Op op, const QString &path)>;
void setFaultHook(FaultHook hook);

// Reads exactly len bytes at pos; false (and nothing promised about dst) when the file is
// shorter or the read fails.
bool readAt(QFileDevice &f, qint64 pos, char *dst, qint64 len);

bool writeAt(QFileDevice &f, qint64 pos, const char *data, qint64 len, QString *error);
inline bool writeAt(QFileDevice &f, qint64 pos, const QByteArray &data, QString *error)
{
    return writeAt(f, pos, data.constData(), data.size(), error);
}
bool resize(QFileDevice &f, qint64 size, QString *error);
// Pushes Qt's buffer and the system's cache to the disk.
bool flush(QFileDevice &f, QString *error);
// Replaces `to` with `from` in one step where the platform allows it.
bool rename(const QString &from, const QString &to, QString *error);
bool remove(const QString &path, QString *error);
// Makes the creation, renaming and removal of files in `folder` durable (a flush of the folder
// itself where the platform has one; nothing to do elsewhere).
bool flushFolder(const QString &folder, QString *error);

// Writes a whole new file (created or truncated) and flushes it.
bool writeFile(const QString &path, const QByteArray &data, QString *error);

// What stands where a file should be, the reasons writes fail, and the room an edit needs.

// Why `path` is not an existing regular file (or a link to one), in words that follow its
// name: "does not exist", "is a directory", "is not a regular file" (a FIFO, a device, a
// socket), "is a loop of links". Empty for a regular file. Opens nothing, so it cannot hang.
QString notRegularFile(const QString &path);
// Opens `file` (by its name) in `mode` when it is a regular file; anything else is refused
// with "PATH is a directory" and the like, so that a FIFO never blocks the caller.
bool openRegularFile(QFile &file, QIODevice::OpenMode mode, QString *error);

// Why new files cannot be made in `folder` ("Permission denied", "Read-only file system",
// "the disk is full"); empty when nothing stands in the way.
QString folderRefusesWrites(const QString &folder);
// The message for an edit that could not make its files in `folder`: the folder and why
// (`fallback` when the system says nothing more precise).
QString folderRefusal(const QString &folder, const QString &fallback);

// Writes a whole file by way of a new file in the same folder, renamed over `path`: whatever
// stands at `path` (a link, a file of another owner) is replaced, never written through. A
// directory at `path` is refused. Not flushed to the disk: for files that can be made again.
bool replaceFile(const QString &path, const QByteArray &data, QString *error);

// Bytes free for new files in `folder`; -1 when the system cannot tell.
qint64 freeSpace(const QString &folder);
// Tests pretend a disk of a given free space (no hook: the system is asked).
using FreeSpaceHook = std::function<qint64(const QString &folder)>;
void setFreeSpaceHook(FreeSpaceHook hook);
// False, with a message that the disk is full and how much the edit needs, when `folder` has
// fewer than `needed` bytes free. Checked before an edit writes anything.
bool checkFreeSpace(const QString &folder, qint64 needed, QString *error);
// After a failed edit that needed `needed` bytes in `folder`: when the disk was full, the
// message says how much room the edit needs and how much there is.
void explainFullDisk(const QString &folder, qint64 needed, QString *error);
// "12.3 MB": an amount of bytes for a message.
QString byteCount(qint64 bytes);
// The edit's own files (journal, replacement marker) lie beside the library, where anyone who
// can write the folder may have planted a link, a FIFO or a directory under their names. They
// are made only as new files, and read only when they are regular files; nothing here follows
// a link or waits on a FIFO.

// What stands at `path`, the entry itself (a link is a link, even a dangling one).
enum class Entry
{
    Missing,
    File,
    Directory,
    Link,
    Other
};
Entry entryAt(const QString &path);
// "is a directory", "is a symbolic link", "is not a regular file"; empty for a regular file or
// nothing at all.
QString whyNotAFile(const QString &path);
// Creates `file`'s path as a new file and opens it for reading and writing (unbuffered). Fails,
// saying what stands there, when anything does: a file, a link (even a dangling one), a
// directory, a FIFO. The creation itself is not a fault point.
bool createNew(QFile &file, QString *error);
// Opens `file`'s path for reading (unbuffered) when it is a regular file: never through a link,
// never blocking on a FIFO or a device. The file is opened by its handle, so `file` forgets its
// name (fileName() is empty): keep the path.
bool openExisting(QFile &file, QString *error);
// A name that is still free for moving `path` aside because it is stale:
// "<path>.stale-<UTC date and time>", with "-2", "-3"... when that is taken.
QString staleNameFor(const QString &path);

} // namespace fileio
