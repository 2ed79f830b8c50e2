#pragma once
// Putting a whole new library and index in place of the old pair, for the operations that
// write both files anew (removing a range, creating a library).
//
// The swap takes three renames (old library aside, new library in, new index in), and a crash
// between two of them would leave a new library beside an old index. So before the first
// rename a small marker ("<library>-swap") naming the scratch folder is written and flushed;
// it is removed once the new pair is in place. Open finds a marker left by a crash and puts the
// old pair back from the scratch folder (the old index is only ever replaced by the last
// rename, and the old library waits in the scratch folder until then), so an interrupted
// delete or create is undone just like an interrupted edit made in place.

#include <QString>

class QTemporaryDir;

// Moves `newLibrary` to `library` and `newIndex` to `index` (either old file may be missing).
// `newLibrary` and `newIndex` lie in `work`, a folder beside `library` (scratchTemplateFor), and
// `index` lies in the library's folder. A failure leaves the old pair; should even putting it
// back fail, `work` and the marker are kept and the next Open finishes putting it back.
// Whoever has the old library open must close it first.
bool replaceLibraryPair(const QString &newLibrary, const QString &library, const QString &newIndex,
                        const QString &index, QTemporaryDir &work, QString *error);

// A scratch folder beside `path` (same file system, so the final moves are renames).
QString scratchTemplateFor(const QString &path);

namespace pairswap {

// The marker of a swap in progress.
QString markerPathFor(const QString &libraryPath);

enum class Recovery
{
    None,       // no marker
    Cleaned,    // a marker without work left (cut short before anything moved, or after the
                // swap was complete): removed
    RolledBack, // a swap cut short in the middle was undone: the old pair is back
    Failed      // the old pair could not all be put back; the marker stays for the next try
};

// What Open does before anything else: undoes a swap that a crash cut short.
Recovery recover(const QString &libraryPath, QString *error);

} // namespace pairswap
