#include "pictureloader.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>
#include <array>
#include <bit>
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

} // namespace

LoadedPicture loadPicture(const QString &path)
{
    LoadedPicture result;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        result.error = QStringLiteral("%1: no such file").arg(path);
        return result;
    }
    if (info.size() == 0) {
        result.status = LoadedPicture::Empty;
        return result;
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    // A corrupt header must not make us allocate gigabytes.
    QImageReader::setAllocationLimit(1024);
    QImage image = reader.read();
    if (image.isNull()) {
        result.error = QStringLiteral("%1: %2").arg(path, reader.errorString());
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
