#pragma once
// The harness shared by fuzz_journal and fuzz_swap: the folder of one input (folderinput.h) is
// written into a fresh folder on tmpfs, with the checksum of the journal or of the marker made
// valid, and its library is opened the way the editor opens it, which first undoes the
// interrupted edit the folder holds. Whatever Open leaves is then read as the viewer reads it.

#include "folderinput.h"

#include <cstddef>
#include <cstdint>

namespace fuzzinput {

void openAfterCrash(const uint8_t *data, size_t size, Checksum fix);

} // namespace fuzzinput
