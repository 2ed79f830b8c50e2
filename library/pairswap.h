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

// A scratch folder beside `path` (same file system, so the final moves are renames). Its name
// carries this process's id and a tag of its host, so that once the process is gone a later
// one can remove what it left.
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
    Stale,      // the files in place are not those of the swap (a backup copied over them): the
                // marker was moved aside ("<marker>.stale-<date>"), nothing else touched
    Failed      // the old pair could not all be put back; the marker stays for the next try
};

// What Open does before anything else: undoes a swap that a crash cut short. The marker holds
// the size and a checksum of the front and end of each file of the old and the new pair; it is
// acted on only when the files in place (and those in its scratch folder) are those of one
// stage of its swap. Otherwise it is stale, and `error` says what was done.
Recovery recover(const QString &libraryPath, QString *error);

// Removes the scratch folders beside the library left by edits whose process has ended (on this
// host), except any named by a marker, in use or moved aside. Returns how many went.
int removeDeadScratchFolders(const QString &libraryPath);

} // namespace pairswap
