#include "fileio.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>
#include <QTemporaryFile>
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
#include <sys/stat.h>
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

QString systemReason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool isFullDiskError(int err)
{
#ifdef EDQUOT
    if (err == EDQUOT)
        return true;
#endif
    return err == ENOSPC;
}

// Asked each time: the words follow the translation the program installed.
QString fullDiskWords()
{
    return QCoreApplication::translate("fileio", "the disk is full");
}

// The reason a file operation failed. `err` is errno right after the failed call: Qt loses
// the system's reason for data its buffer held ("Unknown error"), and a full disk is said in
// plain words.
QString reasonFor(const QFileDevice &f, int err)
{
    const QString said = f.errorString();
    if (said == systemReason(ENOSPC))
        return fullDiskWords();
    const bool vague = said.isEmpty() || said == QLatin1String("Unknown error");
    if (vague && isFullDiskError(err))
        return fullDiskWords();
    if (vague && err != 0)
        return systemReason(err);
    return said;
}

// Called right after the failed call, while errno still holds its reason.
QString describe(const QFileDevice &f)
{
    const int err = errno;
    return QStringLiteral("%1: %2").arg(f.fileName(), reasonFor(f, err));
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
                *error =
                    QCoreApplication::translate("fileio", "%1: cannot be written to the disk (%2)")
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
    const int err = ok ? 0 : errno;
#endif
    if (!ok) {
        if (error)
#ifdef Q_OS_WIN
            *error = QCoreApplication::translate("fileio", "%1: cannot be replaced").arg(to);
#else
            *error = QCoreApplication::translate("fileio", "%1: cannot be replaced (%2)")
                         .arg(to, isFullDiskError(err) ? fullDiskWords() : systemReason(err));
#endif
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
            *error = QCoreApplication::translate("fileio", "%1: the folder cannot be opened")
                         .arg(folder);
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

QString notRegularFile(const QString &path)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (!info.exists())
        return QCoreApplication::translate("fileio", "does not exist");
    if (info.isDir())
        return QCoreApplication::translate("fileio", "is a directory");
    return info.isFile() ? QString()
                         : QCoreApplication::translate("fileio", "is not a regular file");
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0) {
        const int err = errno;
        if (err == ELOOP)
            return QCoreApplication::translate("fileio", "is a loop of links");
        if (err == ENOENT || err == ENOTDIR) {
            struct stat link;
            return ::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode)
                       ? QCoreApplication::translate("fileio", "is a link to a missing file")
                       : QCoreApplication::translate("fileio", "does not exist");
        }
        return QCoreApplication::translate("fileio", "cannot be reached (%1)")
            .arg(systemReason(err));
    }
    if (S_ISDIR(st.st_mode))
        return QCoreApplication::translate("fileio", "is a directory");
    return S_ISREG(st.st_mode) ? QString()
                               : QCoreApplication::translate("fileio", "is not a regular file");
#endif
}

bool openRegularFile(QFile &file, QIODevice::OpenMode mode, QString *error)
{
    const QString name = QDir::toNativeSeparators(file.fileName());
    if (const QString why = notRegularFile(file.fileName()); !why.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 %2").arg(name, why);
        return false;
    }
    errno = 0;
    if (!file.open(mode)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(name, reasonFor(file, errno));
        return false;
    }
#ifndef Q_OS_WIN
    // Something else may have been put in its place since it was looked at.
    struct stat st;
    if (::fstat(file.handle(), &st) == 0 && !S_ISREG(st.st_mode)) {
        file.close();
        if (error)
            *error = QCoreApplication::translate("fileio", "%1 is not a regular file").arg(name);
        return false;
    }
#endif
    return true;
}

QString folderRefusesWrites(const QString &folder)
{
#ifdef Q_OS_WIN
    const QFileInfo info(folder);
    if (!info.isDir())
        return QCoreApplication::translate("fileio", "it is not a folder");
    if (!info.isWritable())
        return QCoreApplication::translate("fileio", "it is read-only");
#else
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return systemReason(errno);
#endif
    return freeSpace(folder) == 0 ? fullDiskWords() : QString();
}

QString folderRefusal(const QString &folder, const QString &fallback)
{
    QString why = folderRefusesWrites(folder);
    if (why.isEmpty())
        why = fallback.isEmpty() ? QCoreApplication::translate("fileio", "the reason is unknown")
                                 : fallback;
    return QCoreApplication::translate(
               "fileio", "No new file can be made in the folder %1 (%2); nothing was changed.")
        .arg(QDir::toNativeSeparators(folder), why);
}

namespace {
#ifndef Q_OS_WIN
// What new files get: the permissions the user's file-creation mask leaves.
mode_t newFileMode()
{
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}
#endif
} // namespace

bool replaceFile(const QString &path, const QByteArray &data, QString *error)
{
    const QString name = QDir::toNativeSeparators(path);
    const QFileInfo target(path);
    if (target.isDir() && !target.isSymLink()) {
        if (error)
            *error = QCoreApplication::translate("fileio", "%1 is a directory").arg(name);
        return false;
    }
    // A new name is made with O_EXCL: whatever stands there, nothing is opened through it.
    // Hidden, and not ending in the target's extension, so no reader takes it for one of its
    // files.
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                        QStringLiteral(".XXXXXX.part"));
    errno = 0;
    if (!temp.open()) {
        if (error) {
            const int err = errno;
            const QString folder = QDir::toNativeSeparators(target.absolutePath());
            *error = QCoreApplication::translate("fileio", "%1: no file can be made in %2 (%3)")
                         .arg(name, folder,
                              isFullDiskError(err) ? fullDiskWords()
                              : err != 0           ? systemReason(err)
                                                   : temp.errorString());
        }
        return false;
    }
#ifndef Q_OS_WIN
    ::fchmod(temp.handle(), newFileMode());
#endif
    // A failure is told by the name the user knows.
    const auto failed = [&] {
        if (error)
            error->replace(QFileInfo(temp.fileName()).fileName(), target.fileName());
        return false;
    };
    if (!data.isEmpty() && !writeAt(temp, 0, data, error))
        return failed();
    errno = 0;
    if (!temp.flush()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(name, reasonFor(temp, errno));
        return false;
    }
    temp.close();
    if (!rename(temp.fileName(), path, error))
        return false;
    temp.setAutoRemove(false); // it has become the target
    return true;
}

namespace {
FreeSpaceHook &freeSpaceHook()
{
    static FreeSpaceHook h;
    return h;
}
} // namespace

void setFreeSpaceHook(FreeSpaceHook hook)
{
    freeSpaceHook() = std::move(hook);
}

qint64 freeSpace(const QString &folder)
{
    if (freeSpaceHook())
        return freeSpaceHook()(folder);
    const QStorageInfo storage(folder);
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : -1;
}

QString byteCount(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

namespace {
QString fullDiskMessage(const QString &folder, qint64 needed, qint64 free)
{
    return QCoreApplication::translate(
               "fileio", "The disk is full: the edit needs %1 of free space in %2, and only %3 "
                         "are free.")
        .arg(byteCount(needed), QDir::toNativeSeparators(folder), byteCount(free));
}
} // namespace

bool checkFreeSpace(const QString &folder, qint64 needed, QString *error)
{
    const qint64 free = freeSpace(folder);
    if (free < 0 || free >= needed)
        return true;
    if (error)
        *error = fullDiskMessage(folder, needed, free) +
                 QCoreApplication::translate("fileio", " Nothing was changed.");
    return false;
}

void explainFullDisk(const QString &folder, qint64 needed, QString *error)
{
    if (!error)
        return;
    const qint64 free = freeSpace(folder);
    if (error->contains(fullDiskWords()))
        *error += QCoreApplication::translate("fileio", " (the edit needs %1 of free space in %2)")
                      .arg(byteCount(needed), QDir::toNativeSeparators(folder));
    else if (free >= 0 && free < needed)
        *error = QStringLiteral("%1%2 %3")
                     .arg(*error, error->endsWith(u'.') ? QString() : QStringLiteral("."),
                          fullDiskMessage(folder, needed, free));
}

// ---- The edit's own files: created new, read only when regular, never through a link ----

Entry entryAt(const QString &path)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction())
        return Entry::Link;
    if (!info.exists())
        return Entry::Missing;
    return info.isDir() ? Entry::Directory : info.isFile() ? Entry::File : Entry::Other;
#else
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return Entry::Missing;
    if (S_ISLNK(st.st_mode))
        return Entry::Link;
    if (S_ISDIR(st.st_mode))
        return Entry::Directory;
    return S_ISREG(st.st_mode) ? Entry::File : Entry::Other;
#endif
}

QString whyNotAFile(const QString &path)
{
    switch (entryAt(path)) {
    case Entry::Missing:
    case Entry::File:
        return {};
    case Entry::Directory:
        return QCoreApplication::translate("fileio", "is a directory");
    case Entry::Link:
        return QCoreApplication::translate("fileio", "is a symbolic link");
    case Entry::Other:
        break;
    }
    return QCoreApplication::translate("fileio", "is not a regular file");
}

namespace {
QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

bool createNew(QFile &file, QString *error)
{
    const QString path = file.fileName();
#ifdef Q_OS_WIN
    // CREATE_NEW: fails on anything that stands there, a link included.
    if (file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered))
        return true;
    if (error) {
        const QString why = whyNotAFile(path);
        *error = QStringLiteral("%1 %2").arg(
            nativePath(path),
            why.isEmpty() ? QCoreApplication::translate("fileio", "already exists") : why);
        if (why.isEmpty() && !QFileInfo::exists(path))
            *error = QStringLiteral("%1: %2").arg(nativePath(path), file.errorString());
    }
    return false;
#else
    const QByteArray encoded = QFile::encodeName(path);
    const int fd =
        ::open(encoded.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error) {
            const bool taken = errno == EEXIST || errno == ELOOP;
            const QString reason = systemReason();
            const QString why = whyNotAFile(path);
            *error =
                taken ? QStringLiteral("%1 %2").arg(
                            nativePath(path),
                            why.isEmpty() ? QCoreApplication::translate("fileio", "already exists")
                                          : why)
                      : QCoreApplication::translate("fileio", "%1 cannot be made: %2")
                            .arg(nativePath(path), reason);
        }
        return false;
    }
    // Opened again by its name, which the file keeps for messages and fault points; it must still
    // be the file just made (an open of a FIFO or file swapped in since for reading and writing
    // neither blocks nor changes it).
    struct stat made = {}, opened = {};
    const bool same = ::fstat(fd, &made) == 0 &&
                      file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) &&
                      ::fstat(file.handle(), &opened) == 0 && made.st_dev == opened.st_dev &&
                      made.st_ino == opened.st_ino;
    ::close(fd);
    if (!same) {
        if (error)
            *error =
                file.isOpen()
                    ? QCoreApplication::translate("fileio", "%1 was replaced while it was made")
                          .arg(nativePath(path))
                    : describe(file);
        file.close();
        return false;
    }
    return true;
#endif
}

bool openExisting(QFile &file, QString *error)
{
    const QString path = file.fileName();
    const QString why = whyNotAFile(path);
    if (!why.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 %2").arg(nativePath(path), why);
        return false;
    }
#ifdef Q_OS_WIN
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return true;
    if (error)
        *error = describe(file);
    return false;
#else
    // Non-blocking, so that a FIFO put in its place between the look above and this open cannot
    // hold the program; what was opened is checked again.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errno == ELOOP
                         ? QCoreApplication::translate("fileio", "%1 is a symbolic link")
                               .arg(nativePath(path))
                         : QStringLiteral("%1: %2").arg(nativePath(path), systemReason());
        return false;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("%1 %2").arg(
                nativePath(path),
                S_ISDIR(st.st_mode)
                    ? QCoreApplication::translate("fileio", "is a directory")
                    : QCoreApplication::translate("fileio", "is not a regular file"));
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = describe(file);
        return false;
    }
    return true;
#endif
}

QString staleNameFor(const QString &path)
{
    const QString base =
        QStringLiteral("%1.stale-%2")
            .arg(path, QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString name = base;
    for (int n = 2; entryAt(name) != Entry::Missing; ++n)
        name = QStringLiteral("%1-%2").arg(base).arg(n);
    return name;
}

} // namespace fileio
