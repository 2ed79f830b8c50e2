// The folder an edit made in place left when it was cut short: the library, its index and the
// rollback journal (its checksum made valid), opened as the editor opens it, which plays the
// journal back or sets it aside.
#include "recoveryharness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzinput::openAfterCrash(data, size, fuzzinput::Checksum::Journal);
    return 0;
}
