#include "libraryedit.h"

#include "mywil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

namespace {

// Tests stop an edit between its reading and its writing to make a second program's edit
// meet it there: with WIL_TEST_PAUSE_BEFORE_WRITE=P set, the first edit of the process creates
// P.paused and waits (a minute at most) until P.go exists. Nothing else sets it.
void pauseForTests()
{
    static bool paused = false;
    if (paused)
        return;
    paused = true;
    const QString hook = qEnvironmentVariable("WIL_TEST_PAUSE_BEFORE_WRITE");
    if (hook.isEmpty())
        return;
    QFile flag(hook + QStringLiteral(".paused"));
    if (flag.open(QIODevice::WriteOnly))
        flag.close();
    for (int waited = 0; waited < 60000 && !QFile::exists(hook + QStringLiteral(".go"));
         waited += 5)
        QThread::msleep(5);
}

} // namespace

LibraryEdit::LibraryEdit(TWIL &wil) : m_wil(wil), m_path(wil.FileName), m_lock(wil.FileName) {}

LibraryEdit::~LibraryEdit()
{
    // What the edit wrote is the component's own: the pair it holds is the one on disk. This is
    // taken while the lock is still held, so no other program's write can slip in before it.
    if (m_outermost && m_wil.isOpen() && m_wil.FileName == m_path)
        m_wil.notePairRead();
    m_lock.release();
}

QString LibraryEdit::changedMessage(const QString &libraryPath)
{
    return QCoreApplication::translate(
               "LibraryEdit",
               "%1 was changed by another program since it was read. It has been read "
               "again and nothing was changed: check the image numbers and try "
               "again.")
        .arg(QDir::toNativeSeparators(libraryPath));
}

bool LibraryEdit::begin(QString *error)
{
    if (m_lock.isHeld())
        return true;
    // A library that may not be changed at all is refused before any lock file is made.
    if (!m_wil.canEdit(error))
        return false;
    const bool nested = EditLock::isHeldHere(m_path);
    if (!m_lock.acquire(EditLock::kEditWaitMs, error))
        return false;
    if (!nested) {
        m_outermost = true;
        if (m_wil.pairChangedSinceRead()) {
            m_outermost = false;
            // Read again under the lock, so that what the user sees next is the pair as it is.
            const bool readOnly = m_wil.isReadOnly();
            m_wil.Close();
            m_wil.FileName = m_path;
            try {
                if (readOnly)
                    m_wil.OpenReadOnly();
                else
                    m_wil.Open();
            } catch (const WilError &) {
            }
            m_lock.release();
            if (error)
                *error = changedMessage(m_path);
            return false;
        }
    }
    pauseForTests();
    return true;
}
