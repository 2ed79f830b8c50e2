// Opens a library with its index (and the journal of an interrupted edit, which Open plays back)
// from the input and does what the viewer and "wiltool check" do with it: inspects, decodes and
// draws every image, then checks the pair.
#include "editjournal.h"
#include "harnessenv.h"
#include "libraryinput.h"
#include "mywil.h"
#include "wilcheck.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

namespace {

// Larger images run through the same code; the caps keep one input to milliseconds.
constexpr qint64 kMaxPixels = 256 * 1024;
constexpr int kMaxImages = 64;

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const fuzzinput::LibraryInput in = fuzzinput::unpackLibrary(reinterpret_cast<const char *>(data), size);
    fuzzenv::limitFileSizes();
    // Each input starts from an empty folder: a journal that does not belong to its pair is set
    // aside beside it, and a folder filling with those would make every open list more files.
    const QTemporaryDir dir(fuzzenv::scratchTemplate());
    if (!dir.isValid())
        qFatal("cannot make a scratch folder");
    const QString lib = dir.filePath(QStringLiteral("f.wil"));
    writeAll(lib, in.library);
    if (!in.noIndex)
        writeAll(dir.filePath(QStringLiteral("f.WIX")), in.index);
    if (in.hasJournal)
        writeAll(EditJournal::pathFor(lib), in.journal);

    TWIL wil;
    wil.setNotifier([](const QString &) {});
    wil.FileName = lib;
    try {
        if (in.readOnly)
            wil.OpenReadOnly();
        else
            wil.Open();
    } catch (const WilError &) {
        return 0;
    }
    if (!wil.isOpen())
        return 0;
    if (in.fileType != 0) { // as a host that knows the layout does
        wil.FileType = in.fileType;
        wil.LoadIndex(wil.IndexFileName);
    }

    QImage canvas(48, 40, QImage::Format_RGB32);
    canvas.fill(0xffffffff);
    QPainter painter(&canvas);
    const int images = qMin(wil.ImageCount(), kMaxImages);
    for (int n = -1; n <= images; ++n) { // one out of range at each end
        const RecordInfo info = wil.inspectRecord(n);
        wil.recordExtentEnd(n);
        if (qAbs(qint64(info.width)) * qAbs(qint64(info.height)) > kMaxPixels)
            continue;
        wil.LoadBitmap(n);
        wil.DrawImage(painter, QRect(0, 0, 48, 40), n % 2 == 0, n);
    }
    painter.end();
    wil.Close();

    if (in.fileType == 0)
        checkLibrary(lib);
    return 0;
}
