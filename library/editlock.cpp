#include "editlock.h"

#include <QDir>

EditLock::EditLock(const QString &libraryPath)
    : m_libraryPath(libraryPath), m_lock(pathFor(libraryPath))
{
    // Held for the length of an edit, however long it takes: only a dead holder frees it.
    m_lock.setStaleLockTime(0);
}

QString EditLock::pathFor(const QString &libraryPath)
{
    return libraryPath + QStringLiteral("-lock");
}

bool EditLock::acquire(int waitMs, QString *error)
{
    if (m_lock.isLocked() || m_lock.tryLock(waitMs))
        return true;
    if (error) {
        const QString library = QDir::toNativeSeparators(m_libraryPath);
        qint64 pid = 0;
        QString host, program;
        if (m_lock.error() == QLockFile::LockFailedError &&
            m_lock.getLockInfo(&pid, &host, &program))
            *error = QStringLiteral("%1 is being changed by another program (%2, process %3); "
                                    "try again when it has finished.")
                         .arg(library, program.isEmpty() ? QStringLiteral("unnamed") : program)
                         .arg(pid);
        else
            *error = QStringLiteral("%1: the lock file %2 cannot be made.")
                         .arg(library, QDir::toNativeSeparators(pathFor(m_libraryPath)));
    }
    return false;
}

void EditLock::release()
{
    if (m_lock.isLocked())
        m_lock.unlock();
}
