#pragma once
// One edit of the library a component has open, from its first read to its last write.
//
// An edit works out what to write from the counts and entries the component read when it
// opened the library. Should another program change the pair in between, the same image
// numbers may now mean other images, and offsets read earlier point into other records: the
// edit would destroy what the other program wrote. So every edit begins here:
//
//     LibraryEdit edit(wil);
//     if (!edit.begin(error))
//         return false;          // nothing was written
//     ... read what the edit needs, write, flush ...
//
// begin() refuses a library that cannot be edited at all (TWIL::canEdit), takes its edit lock
// (waiting a bounded time for another program's edit to end) and holds it until the LibraryEdit
// goes, and makes sure the component still describes the pair on disk. When it no longer does, the
// component is read again and the edit refused: the caller shows the library as it now is and the
// user decides again.
//
// Edits made of smaller edits (a window's operation calling the component's write methods)
// nest: the inner ones find the lock held and the pair already proven.

#include "editlock.h"

#include <QString>

class TWIL;

class LibraryEdit
{
  public:
    explicit LibraryEdit(TWIL &wil);
    ~LibraryEdit();
    LibraryEdit(const LibraryEdit &) = delete;
    LibraryEdit &operator=(const LibraryEdit &) = delete;

    bool begin(QString *error);

    // The refusal when another program changed the pair since the component read it.
    static QString changedMessage(const QString &libraryPath);

  private:
    TWIL &m_wil;
    QString m_path;
    EditLock m_lock;
    bool m_outermost = false;
};
