#pragma once
// The folders that edits leave when they are cut short, made by the real edit code on a small
// fixture pair: the seeds of the journal and swap harnesses, and the inputs of their tests.

#include "folderinput.h"

#include <QList>

namespace fuzzinput {

// A small library "f.wil" with its index, as every snapshot starts from.
QByteArray snapshotLibrary();

// Edits made in place (an append, a replacement by a smaller record, a placement change), each
// stopped before every one of its file operations in turn.
QList<FolderInput> journalSnapshots();
// Replacements of the whole pair (a removal, a creation where there was no library), stopped the
// same way.
QList<FolderInput> swapSnapshots();

} // namespace fuzzinput
