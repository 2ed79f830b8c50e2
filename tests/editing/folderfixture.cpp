#include "folderfixture.h"

#include "mywil.h"
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

namespace folderfixture {

QVector<QRgb> gridPalette()
{
    QVector<QRgb> table;
    for (int r = 0; r < 4; ++r)
        for (int g = 0; g < 4; ++g)
            for (int b = 0; b < 4; ++b)
                table << qRgb(r * 85, g * 85, b * 85);
    while (table.size() < 256)
        table << qRgb(255, 255, 255);
    return table;
}

QImage gridPicture(int width, int height, quint32 seed, bool black)
{
    QRandomGenerator rng(seed);
    const QVector<QRgb> table = gridPalette();
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, table[black ? rng.bounded(64) : 1 + rng.bounded(63)]);
    return image;
}

QImage asRgb565(const QImage &picture)
{
    return picture.convertToFormat(QImage::Format_RGB16).convertToFormat(QImage::Format_RGB32);
}

QImage asCompressedShows(const QImage &picture)
{
    const int w = picture.width(), h = picture.height();
    const int w4 = wilfixture::roundedWidth(w);
    QImage shown(w, h, QImage::Format_RGB32);
    shown.fill(qRgb(0, 0, 0));
    // Pixel k of the stored sequence is column k % w4 of row k / w4 counted from the bottom,
    // both in the stored rows and where the decoder puts it.
    for (qint64 k = 0; k < qint64(w) * h; ++k) {
        const int col = int(k % w4), row = int(k / w4);
        if (col < w)
            shown.setPixel(col, h - 1 - row, picture.pixel(col, h - 1 - row));
    }
    return shown;
}

QString makeLibrary(const QString &folder, const QVector<QImage> &pictures,
                    const QVector<Placement> &placements, int tableStart, int frontSize)
{
    wilfixture::LibraryBuilder builder;
    builder.setPalette(gridPalette());
    builder.setFrontSize(frontSize);
    builder.setTableStart(tableStart, 0xA5A5A5A5u);
    for (int i = 0; i < pictures.size(); ++i)
        builder.add(wilfixture::compressedRecord(pictures[i], placements[i].px, placements[i].py));
    return builder.write(folder);
}

QString makeSomeLibrary(const QString &folder, int count, quint32 seed)
{
    return makeLibrary(folder, somePictures(count, seed), somePlacements(count));
}

QVector<QImage> somePictures(int count, quint32 seed)
{
    static const QSize sizes[] = {{5, 3}, {8, 2}, {6, 6}, {1, 4}, {13, 5}, {4, 1}, {9, 7}};
    QVector<QImage> pictures;
    for (int i = 0; i < count; ++i) {
        const QSize s = sizes[i % int(std::size(sizes))];
        pictures << gridPicture(s.width(), s.height(), seed + quint32(i), i % 2 == 1);
    }
    return pictures;
}

QVector<Placement> somePlacements(int count)
{
    QVector<Placement> placements;
    for (int i = 0; i < count; ++i)
        placements << Placement{qint16(i * 3 - 5), qint16(7 - i)};
    return placements;
}

bool writePicture(const QString &path, const QImage &picture)
{
    QDir().mkpath(QFileInfo(path).path());
    return picture.convertToFormat(QImage::Format_RGB888).save(path, "BMP");
}

bool writeText(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    return wilfixture::writeFile(path, bytes);
}

QByteArray Library::record(int n) const
{
    if (n < 0 || n >= entries.size())
        return {};
    const qint64 end = n + 1 < entries.size() ? entries[n + 1] : wil.size();
    return wil.mid(entries[n], end - entries[n]);
}

Library readLibrary(const QString &libraryPath, int tableStart)
{
    Library lib;
    lib.wil = wilfixture::readFile(libraryPath);
    const QFileInfo info(libraryPath);
    lib.wix = wilfixture::readFile(info.dir().filePath(info.completeBaseName() + ".WIX"));
    lib.tableStart = tableStart;
    if (lib.wil.size() >= 48)
        lib.wilCount = wilfixture::int32At(lib.wil, 44);
    if (lib.wix.size() >= 48)
        lib.wixCount = wilfixture::int32At(lib.wix, 44);
    for (int i = 0; i < lib.wixCount && i < 1000000; ++i) {
        const qint64 pos = tableStart + 4 * qint64(i);
        lib.entries << (pos + 4 <= lib.wix.size() ? wilfixture::int32At(lib.wix, pos) : 0);
    }
    return lib;
}

bool openWil(TWIL &wil, const QString &path)
{
    wil.FileName = path;
    wil.Open();
    return wil.isOpen();
}

// The record header's width and placement into `d`; returns the height. The caller has checked
// that the 8 header bytes are there.
static int readHeader(const uchar *p, Decoded &d)
{
    d.storedWidth = qFromLittleEndian<quint16>(p);
    d.placement = {qFromLittleEndian<qint16>(p + 4), qFromLittleEndian<qint16>(p + 6)};
    return qFromLittleEndian<quint16>(p + 2);
}

Decoded decode8(const QByteArray &record, const QVector<QRgb> &palette, int pictureWidth,
                bool secondPlacement)
{
    Decoded d;
    const int header = secondPlacement ? 12 : 8;
    if (record.size() < header)
        return d;
    const auto *p = reinterpret_cast<const uchar *>(record.constData());
    const int h = readHeader(p, d);
    const int w = d.storedWidth;
    if (secondPlacement && (qFromLittleEndian<qint16>(p + 8) != d.placement.px ||
                            qFromLittleEndian<qint16>(p + 10) != d.placement.py))
        return d;
    if (record.size() < header + qint64(w) * h || pictureWidth > w)
        return d;
    d.image = QImage(pictureWidth, h, QImage::Format_RGB32);
    for (int row = 0; row < h; ++row) {
        const uchar *line = p + header + qint64(row) * w;
        for (int x = 0; x < w; ++x) {
            const QRgb colour = palette.value(line[x]) | 0xFF000000u;
            if (x < pictureWidth)
                d.image.setPixel(x, h - 1 - row, colour);
            else if ((colour & 0xFFFFFF) != 0)
                return d;
        }
    }
    d.ok = true;
    return d;
}

Decoded decode16(const QByteArray &record, int pictureWidth)
{
    Decoded d;
    if (record.size() < 8)
        return d;
    const auto *p = reinterpret_cast<const uchar *>(record.constData());
    const int h = readHeader(p, d);
    const int w = d.storedWidth;
    if (record.size() < 8 + 2 * qint64(w) * h || pictureWidth > w)
        return d;
    QImage image(pictureWidth, h, QImage::Format_RGB16);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < pictureWidth; ++x)
            reinterpret_cast<quint16 *>(image.scanLine(h - 1 - row))[x] =
                qFromLittleEndian<quint16>(p + 8 + 2 * (qint64(row) * w + x));
    d.image = image.convertToFormat(QImage::Format_RGB32);
    d.ok = true;
    return d;
}

QString difference(const QImage &got, const QImage &expected)
{
    if (got.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(got.width())
            .arg(got.height())
            .arg(expected.width())
            .arg(expected.height());
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if ((got.pixel(x, y) & 0xFFFFFF) != (expected.pixel(x, y) & 0xFFFFFF))
                return QStringLiteral("pixel (%1,%2) is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(expected.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    return {};
}

} // namespace folderfixture
