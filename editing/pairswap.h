#pragma once
// Putting a whole new library and index in place of the old pair, for the operations that
// write both files anew (removing a range, creating a library).

#include <QString>

class QTemporaryDir;

// Moves `newLibrary` to `library` and `newIndex` to `index` (either old file may be missing).
// The old library file is kept aside in `work` until the new index is in place and is put back
// when the index cannot be replaced, so a failure leaves the old pair or the new pair on disk,
// never a mix. Should even putting it back fail, `work` is kept (not auto-removed) and the
// error says where the old library is. Whoever has the old library open must close it first.
bool replaceLibraryPair(const QString &newLibrary, const QString &library, const QString &newIndex,
                        const QString &index, QTemporaryDir &work, QString *error);

// A scratch folder beside `path` (same file system, so the final moves are renames).
QString scratchTemplateFor(const QString &path);
