#include "fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fileio {

namespace {
FaultHook &hook()
{
    static FaultHook h;
    return h;
}

// True when the operation may go ahead.
bool allowed(Op op, const QString &path, QString *error)
{
    if (!hook())
        return true;
    switch (hook()(op, path)) {
    case Fault::None:
        return true;
    case Fault::Die:
        std::_Exit(86);
    case Fault::Fail:
        break;
    }
    if (error)
        *error = QStringLiteral("%1: injected failure").arg(QFileInfo(path).fileName());
    return false;
}

QString describe(const QFileDevice &f)
{
    return QStringLiteral("%1: %2").arg(f.fileName(), f.errorString());
}
} // namespace

void setFaultHook(FaultHook h)
{
    hook() = std::move(h);
}

bool readAt(QFileDevice &f, qint64 pos, char *dst, qint64 len)
{
    if (pos < 0 || len < 0)
        return false;
    if (len == 0)
        return true;
    if (!f.seek(pos))
        return false;
    return f.read(dst, len) == len;
}

bool writeAt(QFileDevice &f, qint64 pos, const char *data, qint64 len, QString *error)
{
    if (!allowed(Op::Write, f.fileName(), error))
        return false;
    if (!f.seek(pos) || f.write(data, len) != len) {
        if (error)
            *error = describe(f);
        return false;
    }
    return true;
}

bool resize(QFileDevice &f, qint64 size, QString *error)
{
    if (!allowed(Op::Resize, f.fileName(), error))
        return false;
    if (!f.resize(size)) {
        if (error)
            *error = describe(f);
        return false;
    }
    return true;
}

bool flush(QFileDevice &f, QString *error)
{
    if (!allowed(Op::Flush, f.fileName(), error))
        return false;
    if (!f.flush()) {
        if (error)
            *error = describe(f);
        return false;
    }
    const int fd = f.handle();
    if (fd >= 0) {
#ifdef Q_OS_WIN
        const bool synced = _commit(fd) == 0;
#else
        const bool synced = ::fsync(fd) == 0;
#endif
        // A disk that failed to take the data must not pass for one that did.
        if (!synced) {
            if (error)
                *error = QStringLiteral("%1: cannot be written to the disk (%2)")
                             .arg(f.fileName(), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    return true;
}

bool rename(const QString &from, const QString &to, QString *error)
{
    if (!allowed(Op::Rename, to, error))
        return false;
#ifdef Q_OS_WIN
    // One step, so that a crash never leaves `to` missing.
    const QString nativeFrom = QDir::toNativeSeparators(from);
    const QString nativeTo = QDir::toNativeSeparators(to);
    const bool ok = MoveFileExW(reinterpret_cast<const wchar_t *>(nativeFrom.utf16()),
                                reinterpret_cast<const wchar_t *>(nativeTo.utf16()),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    const bool ok =
        std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
    if (!ok) {
        if (error)
            *error = QStringLiteral("%1: cannot be replaced").arg(to);
        return false;
    }
    return true;
}

bool remove(const QString &path, QString *error)
{
    if (!allowed(Op::Remove, path, error))
        return false;
    QFile f(path);
    if (f.exists() && !f.remove()) {
        if (error)
            *error = describe(f);
        return false;
    }
    return true;
}

bool flushFolder(const QString &folder, QString *error)
{
    if (!allowed(Op::Flush, folder, error))
        return false;
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("%1: the folder cannot be opened").arg(folder);
        return false;
    }
    ::fsync(fd);
    ::close(fd);
#endif
    return true;
}

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = describe(f);
        return false;
    }
    return writeAt(f, 0, data, error) && flush(f, error);
}

} // namespace fileio
