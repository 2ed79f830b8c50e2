#pragma once
// Keeps two programs from undoing each other's work. While an edit is under way its journal
// (or replacement marker) lies beside the library, and an Open elsewhere would take it for the
// remains of a crash and play it back over the running edit. So an edit holds
// "<library>-lock" from its first byte to its last, and Open plays nothing back while another
// living program holds it. A program that dies leaves the file behind, but not the lock: the
// next taker sees that the process named in it is gone.

#include <QLockFile>
#include <QString>

class EditLock
{
  public:
    explicit EditLock(const QString &libraryPath);
    EditLock(const EditLock &) = delete;
    EditLock &operator=(const EditLock &) = delete;

    static QString pathFor(const QString &libraryPath);
    // How long an edit waits for another program's edit to end before it gives up.
    static constexpr int kEditWaitMs = 2000;

    // Takes the lock, waiting up to `waitMs` for another program's edit to end. False, with a
    // message saying who holds it, when it stays taken.
    bool acquire(int waitMs, QString *error);
    void release();
    bool isHeld() const { return m_lock.isLocked(); }

  private:
    QString m_libraryPath;
    QLockFile m_lock;
};
