#pragma once
// Puts complete records in place of a run of images of an open library, in place: only the
// part of the file behind the change is moved (in chunks, not held whole), the entry table is
// rebuilt arithmetically from the old offsets and written where the index's table starts, and
// both counts are updated. On any failure both files are put back exactly as they were.
//
// Inserting: removeCount 0. Replacing: removeCount records replaced by records.size() new
// ones. The component is not reopened: callers Close and Open it afterwards.

#include "progress.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TWIL;

bool spliceRecords(TWIL &wil, int first, int removeCount, const QList<QByteArray> &records,
                   QString *error, const ProgressFn &progress = {});
