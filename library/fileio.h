#pragma once
// Every write the library code makes to a library or index file goes through here, so that a
// test can make the k-th write, flush, resize or rename fail (or the process "die" there) and
// check that the pair on disk is still whole.

#include <QFileDevice>
#include <QString>
#include <functional>

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

} // namespace fileio
