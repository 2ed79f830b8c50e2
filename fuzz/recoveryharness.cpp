#include "recoveryharness.h"

#include "harnessenv.h"
#include "mywil.h"

#include <QDir>
#include <QTemporaryDir>

namespace fuzzinput {

void openAfterCrash(const uint8_t *data, size_t size, Checksum fix)
{
    fuzzenv::limitFileSizes();
    // Each input starts from an empty folder: a recovery moves, renames and removes files.
    const QTemporaryDir dir(fuzzenv::scratchTemplate());
    if (!dir.isValid())
        qFatal("cannot make a scratch folder");
    writeFolder(unpackFolder(reinterpret_cast<const char *>(data), size), dir.path(), fix);

    TWIL wil;
    wil.setNotifier([](const QString &) {});
    wil.FileName = QDir(dir.path()).filePath(libraryName());
    try {
        wil.Open();
    } catch (const WilError &) {
        return;
    }
    // A few images are enough to show that the pair left behind reads cleanly; the library
    // harness decodes them in every way.
    for (int n = 0; n < qMin(wil.ImageCount(), 8); ++n)
        wil.inspectRecord(n);
    wil.Close();
}

} // namespace fuzzinput
