#include "benchlibrary.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <zlib.h>

namespace benchlibrary {

QVector<QRgb> gamePalette()
{
    QVector<QRgb> table{qRgb(0, 0, 0),      qRgb(128, 0, 0),     qRgb(0, 128, 0),
                        qRgb(128, 128, 0),  qRgb(0, 0, 128),     qRgb(128, 0, 128),
                        qRgb(0, 128, 128),  qRgb(192, 192, 192), qRgb(85, 128, 151),
                        qRgb(157, 185, 200)};
    // 12 hues x 18 levels, then greys.
    for (int hue = 0; hue < 12; ++hue)
        for (int level = 0; level < 18; ++level)
            table << QColor::fromHsv(hue * 30, 200 - level * 4, 30 + level * 12).rgb();
    while (table.size() < 246)
        table << qRgb(table.size() * 3 % 256, table.size() * 3 % 256, table.size() * 3 % 256);
    table << qRgb(255, 251, 240) << qRgb(160, 160, 164) << qRgb(128, 128, 128) << qRgb(255, 0, 0)
          << qRgb(0, 255, 0) << qRgb(255, 255, 0) << qRgb(0, 0, 255) << qRgb(255, 0, 255)
          << qRgb(0, 255, 255) << qRgb(255, 255, 255);
    return table;
}

QImage sprite(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 0));
    const int hue = int(seed * 47 % 360);
    const double cx = width / 2.0 + (seed % 7) - 3, cy = height / 2.0;
    const double rx = width * 0.38, ry = height * 0.45;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double dx = (x - cx) / rx, dy = (y - cy) / ry;
            const double d = dx * dx + dy * dy;
            if (d > 1.0)
                continue;
            // Lit from the top left, with a little cloth texture.
            const double light = 0.35 + 0.65 * (1.0 - d) * (1.0 - 0.3 * (dx + dy));
            const int texture = ((x * 7 + y * 13 + int(seed)) % 5) * 3;
            const int value = std::clamp(int(255 * light) - texture, 16, 255);
            line[x] = QColor::fromHsv((hue + y / 8) % 360, 160, value).rgb();
        }
    }
    return image;
}

QByteArray compressedRecord(const QImage &image, qint16 px, qint16 py)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB16);
    const int w4 = 4 * ((8 * img.width() + 31) / 32);
    QByteArray pixels(qsizetype(w4) * img.height() * 2, '\0');
    for (int row = 0; row < img.height(); ++row)
        std::memcpy(pixels.data() + qsizetype(row) * w4 * 2,
                    img.constScanLine(img.height() - 1 - row), size_t(img.width()) * 2);
    const qsizetype taken = qsizetype(img.width()) * img.height() * 2;

    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray deflated(qsizetype(deflateBound(&z, uLong(taken))), '\0');
    z.next_in = reinterpret_cast<Bytef *>(pixels.data());
    z.avail_in = uInt(taken);
    z.next_out = reinterpret_cast<Bytef *>(deflated.data());
    z.avail_out = uInt(deflated.size());
    deflate(&z, Z_FINISH);
    deflated.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    const quint32 crc =
        quint32(crc32(0, reinterpret_cast<const Bytef *>(pixels.constData()), uInt(taken)));

    QByteArray record(16 + 6, '\0');
    auto *p = reinterpret_cast<uchar *>(record.data());
    qToLittleEndian<qint16>(qint16(img.width()), p);
    qToLittleEndian<qint16>(qint16(img.height()), p + 2);
    qToLittleEndian<qint16>(px, p + 4);
    qToLittleEndian<qint16>(py, p + 6);
    qToLittleEndian<quint32>(quint32(6 + deflated.size()), p + 12);
    qToLittleEndian<quint16>(8, p + 16);
    qToLittleEndian<quint32>(crc, p + 18);
    return record + deflated;
}

QString writeLibrary(const QString &folder, const QVector<QRgb> &palette, int count,
                     const std::function<QByteArray(int)> &record)
{
    const QString path = QDir(folder).filePath(QStringLiteral("bench.wil"));
    QFile wil(path);
    QFile wix(QDir(folder).filePath(QStringLiteral("bench.WIX")));
    if (!wil.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !wix.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    QByteArray header(1080, '\0');
    QByteArray title("#ILIB v1.0-ORBENA Entertainment inc.");
    std::memcpy(header.data(), title.constData(), size_t(title.size()));
    qToLittleEndian<qint32>(count, header.data() + 44);
    qToLittleEndian<qint32>(256, header.data() + 48);
    qToLittleEndian<qint32>(1024, header.data() + 52);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = palette.value(i);
        header[56 + 4 * i] = char(qBlue(c));
        header[57 + 4 * i] = char(qGreen(c));
        header[58 + 4 * i] = char(qRed(c));
    }
    wil.write(header);
    QByteArray index(48, '\0');
    title = "#INDX v1.0-ORBENA Entertainment inc.";
    std::memcpy(index.data(), title.constData(), size_t(title.size()));
    qToLittleEndian<qint32>(count, index.data() + 44);
    index.reserve(48 + 4 * qsizetype(count));
    qint64 position = 1080;
    for (int i = 0; i < count; ++i) {
        const QByteArray r = record(i);
        char entry[4];
        qToLittleEndian<qint32>(qint32(position), entry);
        index.append(entry, 4);
        if (wil.write(r) != r.size())
            return {};
        position += r.size();
    }
    if (wix.write(index) != index.size())
        return {};
    return path;
}

} // namespace benchlibrary
