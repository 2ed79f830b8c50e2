// The folder a replacement of the whole pair left when it was cut short: the swap marker (its
// checksum made valid), the scratch folder it names and whatever had been moved, opened as the
// editor opens it, which puts the old pair back.
#include "recoveryharness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzinput::openAfterCrash(data, size, fuzzinput::Checksum::Marker);
    return 0;
}
