#pragma once
// Puts complete records in place of a run of images of an open library, in place: only the
// part of the file behind the change is moved (in chunks, not held whole), the entry table is
// rebuilt arithmetically from the old offsets and written where the index's table starts, and
// both counts are updated. What is overwritten is first kept in the edit journal
// (editjournal.h): on any failure, or at the next Open after a crash, both files are put back
// exactly as they were.
//
// Inserting: removeCount 0. Replacing: removeCount records replaced by records.size() new
// ones. The component is not reopened: callers Close and Open it afterwards.

#include "progress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

class TWIL;

//
// Entries of other images that lie behind the replaced bytes move by the size difference, the
// others stay; a kept image whose record shares bytes with the replaced ones is refused. The
// component's ImageCount and Offsets are updated to match the files. `progress` follows the
// moving of the tail (chunk by chunk).
bool spliceRecords(TWIL &wil, int first, int removeCount, const QList<QByteArray> &records,
                   QString *error, const ProgressFn &progress = {});

// How many bytes of the tail are moved at a time (1 MiB unless set; tests use tiny chunks).
void setSpliceChunkSize(qint64 bytes);
