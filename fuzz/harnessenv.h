#pragma once
// What every harness that writes files sets up: where the files go and how large they may grow.

#include <QString>

namespace fuzzenv {

// A QTemporaryDir template on tmpfs (/dev/shm) where there is one, else in the temp folder:
// the harnesses write files for every input, and a disk would make the file system the
// bottleneck.
QString scratchTemplate();

// A played-back journal sets the files' sizes from its own header; a few megabytes are enough
// for every input, and a larger size then fails like a full disk instead of filling the machine.
void limitFileSizes();

} // namespace fuzzenv
