#include "pictureloader.h"

#include "imagelimits.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>
#include <array>
#include <bit>
#include <climits>
#include <optional>

namespace {

// Channel masks of a Windows bitmap file with fewer than 8 bits in some channel (16-bit
// files, bit-field files), nullopt for any other file.
std::optional<std::array<quint32, 3>> narrowChannelMasks(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray h = f.read(66);
    if (h.size() < 34 || !h.startsWith("BM"))
        return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(h.constData());
    const quint32 infoSize = qFromLittleEndian<quint32>(p + 14);
    if (infoSize < 40)
        return std::nullopt; // OS/2 headers know no bit fields and no 16-bit pixels
    const quint16 bits = qFromLittleEndian<quint16>(p + 28);
    const quint32 compression = qFromLittleEndian<quint32>(p + 30);
    std::array<quint32, 3> masks{};
    if (bits == 16 && compression == 0) {
        masks = {0x7C00, 0x03E0, 0x001F};
    } else if ((bits == 16 || bits == 32) && (compression == 3 || compression == 6) &&
               h.size() >= 66) {
        for (int i = 0; i < 3; ++i)
            masks[i] = qFromLittleEndian<quint32>(p + 54 + 4 * i);
    } else {
        return std::nullopt;
    }
    for (quint32 m : masks)
        if (std::popcount(m) >= 1 && std::popcount(m) < 8)
            return masks;
    return std::nullopt;
}

// v spread over 8 bits by repeating its n bits (31 of 5 bits is 255), as RGB565 is shown.
int widen(int v, int n)
{
    int r = 0;
    for (int filled = 0; filled < 8; filled += n) {
        const int shift = 8 - filled - n;
        r |= shift >= 0 ? v << shift : v >> -shift;
    }
    return r & 0xFF;
}

// Qt's bitmap reader widens an n-bit channel by shifting alone (31 of 5 bits becomes 248), so
// white 16-bit pixels would come in grey and map to the wrong palette entries.
void widenNarrowChannels(QImage &image, const std::array<quint32, 3> &masks)
{
    std::array<std::array<quint8, 256>, 3> tables;
    for (int c = 0; c < 3; ++c) {
        const int n = std::popcount(masks[c]);
        for (int v = 0; v < 256; ++v)
            tables[c][v] = quint8(n >= 1 && n < 8 ? widen(v >> (8 - n), n) : v);
    }
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgba(tables[0][qRed(line[x])], tables[1][qGreen(line[x])],
                            tables[2][qBlue(line[x])], qAlpha(line[x]));
    }
}

// What the header of an uncompressed Windows bitmap file claims: its size and the bytes the
// file must hold for those pixels (offset of the pixels + rows padded to 4 bytes). Nothing for
// other files and for compressed bitmaps, whose data size their reader alone can tell.
struct BitmapClaim
{
    QSize size;
    qint64 needed = -1;
};

std::optional<BitmapClaim> uncompressedBitmapClaim(QFile &f)
{
    const QByteArray h = f.read(34);
    if (h.size() < 26 || !h.startsWith("BM"))
        return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(h.constData());
    const qint64 pixelsAt = qFromLittleEndian<quint32>(p + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(p + 14);
    qint64 width = 0, height = 0;
    quint16 bits = 0;
    quint32 compression = 0;
    if (infoSize == 12) { // OS/2 1.x: 16-bit fields, never compressed
        width = qFromLittleEndian<quint16>(p + 18);
        height = qFromLittleEndian<quint16>(p + 20);
        bits = qFromLittleEndian<quint16>(p + 24);
    } else if (infoSize >= 16 && h.size() >= 30) {
        width = qFromLittleEndian<qint32>(p + 18);
        height = qAbs(qint64(qFromLittleEndian<qint32>(p + 22))); // negative: top row first
        bits = qFromLittleEndian<quint16>(p + 28);
        if (infoSize >= 20 && h.size() >= 34)
            compression = qFromLittleEndian<quint32>(p + 30);
    } else {
        return std::nullopt;
    }
    // Bit fields only rearrange the bits of 16- and 32-bit pixels (for other depths the same
    // number means a compression of OS/2 bitmaps).
    const bool uncompressed =
        compression == 0 || ((compression == 3 || compression == 6) && (bits == 16 || bits == 32));
    const bool knownDepth = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 ||
                            bits == 24 || bits == 32;
    BitmapClaim claim;
    claim.size = QSize(int(qMin<qint64>(width, INT_MAX)), int(qMin<qint64>(height, INT_MAX)));
    if (uncompressed && knownDepth && width > 0 && height > 0)
        claim.needed = pixelsAt + (width * bits + 31) / 32 * 4 * height;
    return claim;
}

QString tooLargeMessage(const QString &path, qint64 width, qint64 height)
{
    return QCoreApplication::translate(
               "pictureloader", "%1: the picture is %2 x %3 pixels, beyond the limit of %4 x %4")
        .arg(path)
        .arg(width)
        .arg(height)
        .arg(imagelimits::kMaxImageSide);
}

} // namespace

LoadedPicture loadPicture(const QString &path)
{
    LoadedPicture result;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        result.error = QCoreApplication::translate("pictureloader", "%1: no such file").arg(path);
        return result;
    }
    if (info.size() == 0) {
        result.status = LoadedPicture::Empty;
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return result;
    }
    // The header is checked before any pixel is read: a forged one must cost nothing, and a
    // file cut short must not come in with black rows where its pixels are missing.
    if (const auto claim = uncompressedBitmapClaim(file)) {
        if (imagelimits::isTooLarge(claim->size.width(), claim->size.height())) {
            result.error = tooLargeMessage(path, claim->size.width(), claim->size.height());
            return result;
        }
        if (claim->needed > file.size()) {
            result.error = QCoreApplication::translate(
                               "pictureloader", "%1 is damaged: its header claims %2 x %3 pixels, "
                                                "and the file holds %4 of the %5 bytes they need")
                               .arg(path)
                               .arg(claim->size.width())
                               .arg(claim->size.height())
                               .arg(file.size())
                               .arg(claim->needed);
            return result;
        }
    }
    file.seek(0);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (const QSize size = reader.size();
        size.isValid() && imagelimits::isTooLarge(size.width(), size.height())) {
        result.error = tooLargeMessage(path, size.width(), size.height());
        return result;
    }
    // A corrupt header of another format must not make us allocate gigabytes either: the
    // largest picture taken, as 32-bit pixels, is 256 MiB.
    QImageReader::setAllocationLimit(300);
    QImage image = reader.read();
    if (image.isNull()) {
        result.error =
            QCoreApplication::translate("pictureloader", "%1 is damaged or not a picture: %2")
                .arg(path, reader.errorString());
        return result;
    }
    if (imagelimits::isTooLarge(image.width(), image.height())) {
        result.error = tooLargeMessage(path, image.width(), image.height());
        return result;
    }
    if (image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(line[x]) == 0)
                    line[x] = qRgb(0, 0, 0);
        }
    }
    image.convertTo(QImage::Format_RGB32);
    if (const auto masks = narrowChannelMasks(path))
        widenNarrowChannels(image, *masks);
    result.status = LoadedPicture::Loaded;
    result.image = std::move(image);
    return result;
}

QImage blackPixel()
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 0));
    return image;
}
