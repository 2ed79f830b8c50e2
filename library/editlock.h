#pragma once
// Keeps two programs from undoing each other's work. An edit reads the counts and entries it
// works from, and writes from them; should another program change the pair in between, the
// edit would write from a table that is out of date. So an edit holds "<library>-lock" from
// before its first read to its last write, and Open plays nothing back while another living
// program holds it (the journal or marker beside the library may belong to a running edit).
// A program that dies leaves the file behind, but not the lock: the next taker sees that the
// process named in it is gone.
//
// Within one program the lock is shared: an edit made of smaller edits (a window's operation
// calling the component's write methods, each of which also locks) takes it once, and it is
// let go when its outermost holder releases it.

#include <QString>

class EditLock
{
  public:
    explicit EditLock(const QString &libraryPath);
    ~EditLock();
    EditLock(const EditLock &) = delete;
    EditLock &operator=(const EditLock &) = delete;

    static QString pathFor(const QString &libraryPath);
    // How long an edit waits for another program's edit to end before it gives up.
    static constexpr int kEditWaitMs = 2000;

    // Takes the lock, waiting up to `waitMs` for another program's edit to end. False, with a
    // message saying who holds it (or why the lock file cannot be made), when it stays taken.
    bool acquire(int waitMs, QString *error);
    void release();
    bool isHeld() const { return m_held; }
    // True while this program holds the library's lock (through any EditLock).
    static bool isHeldHere(const QString &libraryPath);

  private:
    QString m_libraryPath;
    QString m_key;
    bool m_held = false;
};
