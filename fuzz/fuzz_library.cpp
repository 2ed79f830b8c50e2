// Opens a library with its index from the input and does what the viewer and "wiltool check" do
// with it: inspects, decodes and draws every image, then checks the pair.
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

QString workPath(const QString &name)
{
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/wilfuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/wilfuzz-XXXXXX"));
    return dir.filePath(name);
}

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
    const QString lib = workPath(QStringLiteral("f.wil"));
    const QString index = workPath(QStringLiteral("f.WIX"));
    writeAll(lib, in.library);
    if (in.noIndex)
        QFile::remove(index);
    else
        writeAll(index, in.index);

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
