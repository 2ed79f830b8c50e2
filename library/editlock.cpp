#include "editlock.h"

#include "fileio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <map>
#include <memory>

namespace {

// The locks this program holds, by library, with the number of their holders.
struct HeldLock
{
    std::unique_ptr<QLockFile> file;
    int holders = 0;
};

// Never destroyed: a lock held in a static object is let go at exit, after the statics made
// before it are gone.
std::map<QString, HeldLock> &heldLocks()
{
    static auto *locks = new std::map<QString, HeldLock>;
    return *locks;
}

QString keyFor(const QString &libraryPath)
{
    return QDir::cleanPath(QFileInfo(libraryPath).absoluteFilePath());
}

// Something other than a lock file where the lock belongs: a link would be followed when its
// holder is read, a FIFO would hang that read, and neither may be removed as a stale lock.
QString foreignLockFile(const QString &lockPath)
{
    const QFileInfo info(lockPath);
    if (info.isSymLink())
        return QCoreApplication::translate(
                   "EditLock", "%1 is a symbolic link, not a lock file: remove it and try again.")
            .arg(QDir::toNativeSeparators(lockPath));
    if (info.exists() && !info.isFile())
        return QCoreApplication::translate("EditLock",
                                           "%1 is %2, not a lock file: remove it and try again.")
            .arg(QDir::toNativeSeparators(lockPath),
                 info.isDir() ? QCoreApplication::translate("EditLock", "a directory")
                              : QCoreApplication::translate("EditLock", "not a regular file"));
    return {};
}

// Why the lock file cannot be made: the folder's own state says more than QLockFile does.
QString lockFileFailure(const QString &libraryPath, const QString &lockPath)
{
    const QString folder = QFileInfo(libraryPath).absolutePath();
    const QString native = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir())
        return QCoreApplication::translate("EditLock", "The folder %1 does not exist.").arg(native);
    const QString why = fileio::folderRefusesWrites(folder);
    return QCoreApplication::translate(
               "EditLock", "%1: the lock file %2 cannot be made in the folder %3 (%4); nothing "
                           "was changed.")
        .arg(QDir::toNativeSeparators(libraryPath), QDir::toNativeSeparators(lockPath), native,
             why.isEmpty() ? QCoreApplication::translate("EditLock", "the system gives no reason")
                           : why);
}

} // namespace

EditLock::EditLock(const QString &libraryPath)
    : m_libraryPath(libraryPath), m_key(keyFor(libraryPath))
{
}

EditLock::~EditLock()
{
    release();
}

QString EditLock::pathFor(const QString &libraryPath)
{
    return libraryPath + QStringLiteral("-lock");
}

bool EditLock::isHeldHere(const QString &libraryPath)
{
    const auto it = heldLocks().find(keyFor(libraryPath));
    return it != heldLocks().end() && it->second.holders > 0;
}

bool EditLock::acquire(int waitMs, QString *error)
{
    if (m_held)
        return true;
    HeldLock &held = heldLocks()[m_key];
    if (held.holders > 0) {
        ++held.holders;
        m_held = true;
        return true;
    }
    const QString lockPath = pathFor(m_libraryPath);
    QString why = foreignLockFile(lockPath);
    if (why.isEmpty()) {
        auto file = std::make_unique<QLockFile>(lockPath);
        // Held for the length of an edit, however long it takes: only a dead holder frees it.
        file->setStaleLockTime(0);
        if (file->tryLock(waitMs)) {
            held.file = std::move(file);
            held.holders = 1;
            m_held = true;
            return true;
        }
        qint64 pid = 0;
        QString host, program;
        if (file->error() == QLockFile::LockFailedError && file->getLockInfo(&pid, &host, &program))
            why = QCoreApplication::translate(
                      "EditLock", "%1 is being changed by another program (%2, process %3); "
                                  "try again when it has finished.")
                      .arg(QDir::toNativeSeparators(m_libraryPath),
                           program.isEmpty() ? QCoreApplication::translate("EditLock", "unnamed")
                                             : program)
                      .arg(pid);
        else
            why = lockFileFailure(m_libraryPath, lockPath);
    }
    heldLocks().erase(m_key);
    if (error)
        *error = why;
    return false;
}

void EditLock::release()
{
    if (!m_held)
        return;
    m_held = false;
    auto it = heldLocks().find(m_key);
    if (it == heldLocks().end() || --it->second.holders > 0)
        return;
    if (it->second.file)
        it->second.file->unlock();
    heldLocks().erase(it);
}
