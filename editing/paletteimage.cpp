#include "paletteimage.h"

#include <QtEndian>
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

// Colour cells of 16 x 16 x 16 values; each keeps the entries that can be nearest to some colour
// inside it, so a search looks at a handful of entries instead of 256.
constexpr int CellBits = 4;
constexpr int CellsPerAxis = 256 >> CellBits;
constexpr int CellCount = CellsPerAxis * CellsPerAxis * CellsPerAxis;

int square(int v)
{
    return v * v;
}

// Squared distance from v to the interval [lo, hi] and to its farther end.
int nearSquare(int v, int lo, int hi)
{
    return v < lo ? square(lo - v) : v > hi ? square(v - hi) : 0;
}
int farSquare(int v, int lo, int hi)
{
    return square(std::max(v - lo, hi - v));
}

// Colours met so far, in a table small enough to stay in the processor's cache: a picture
// has few colours, a batch of pictures mostly the same ones.
constexpr int CacheBits = 18;
constexpr quint32 CacheSize = 1u << CacheBits;
constexpr quint32 Known = 0x01000000u; // marks a slot in use (colours have 24 bits)

quint32 slotOf(quint32 rgb)
{
    return (rgb * 2654435761u) >> (32 - CacheBits);
}

} // namespace

struct PaletteImage::Private
{
    QVector<QRgb> table;
    int count = 0;
    int r[256] = {};
    int g[256] = {};
    int b[256] = {};
    quint8 black = 0;

    std::vector<quint32> cacheKeys = std::vector<quint32>(CacheSize, 0); // colour | Known
    std::vector<quint8> cacheIndices = std::vector<quint8>(CacheSize, 0);

    std::vector<qint32> cellStart = std::vector<qint32>(CellCount, -1); // -1: not built yet
    std::vector<quint16> cellSize = std::vector<quint16>(CellCount, 0);
    std::vector<quint8> candidates;

    void buildCell(int cell, int cr, int cg, int cb);
    quint8 search(int red, int green, int blue);
    quint8 lookUp(QRgb rgb);
};

void PaletteImage::Private::buildCell(int cell, int cr, int cg, int cb)
{
    const int rLo = cr << CellBits, rHi = rLo + (1 << CellBits) - 1;
    const int gLo = cg << CellBits, gHi = gLo + (1 << CellBits) - 1;
    const int bLo = cb << CellBits, bHi = bLo + (1 << CellBits) - 1;
    int nearest[256];
    // No colour of the cell is farther than `bound` from its nearest entry, so an entry that
    // comes no closer than that to the whole cell can never win (nor tie) there.
    int bound = INT_MAX;
    for (int e = 0; e < count; ++e) {
        nearest[e] =
            nearSquare(r[e], rLo, rHi) + nearSquare(g[e], gLo, gHi) + nearSquare(b[e], bLo, bHi);
        bound = std::min(bound, farSquare(r[e], rLo, rHi) + farSquare(g[e], gLo, gHi) +
                                    farSquare(b[e], bLo, bHi));
    }
    cellStart[cell] = qint32(candidates.size());
    for (int e = 0; e < count; ++e)
        if (nearest[e] <= bound)
            candidates.push_back(quint8(e));
    cellSize[cell] = quint16(candidates.size() - size_t(cellStart[cell]));
}

quint8 PaletteImage::Private::search(int red, int green, int blue)
{
    if (count == 0)
        return 0;
    const int cr = red >> CellBits, cg = green >> CellBits, cb = blue >> CellBits;
    const int cell = (cr * CellsPerAxis + cg) * CellsPerAxis + cb;
    if (cellStart[cell] < 0)
        buildCell(cell, cr, cg, cb);
    const quint8 *list = candidates.data() + cellStart[cell];
    const int n = cellSize[cell];
    int best = INT_MAX;
    quint8 bestIndex = 0;
    // Candidates are in index order and only a strictly smaller distance wins: ties go to the
    // lowest index.
    for (int i = 0; i < n; ++i) {
        const int e = list[i];
        const int d = square(red - r[e]) + square(green - g[e]) + square(blue - b[e]);
        if (d < best) {
            best = d;
            bestIndex = quint8(e);
        }
    }
    return bestIndex;
}

inline quint8 PaletteImage::Private::lookUp(QRgb rgb)
{
    const quint32 key = (rgb & 0xFFFFFFu) | Known;
    const quint32 slot = slotOf(key);
    if (cacheKeys[slot] != key) {
        cacheKeys[slot] = key;
        cacheIndices[slot] = search(qRed(rgb), qGreen(rgb), qBlue(rgb));
    }
    return cacheIndices[slot];
}

PaletteImage::PaletteImage(const QVector<QRgb> &colorTable) : d(std::make_unique<Private>())
{
    d->count = int(std::min<qsizetype>(colorTable.size(), 256));
    for (int e = 0; e < d->count; ++e) {
        d->r[e] = qRed(colorTable[e]);
        d->g[e] = qGreen(colorTable[e]);
        d->b[e] = qBlue(colorTable[e]);
        d->table << qRgb(d->r[e], d->g[e], d->b[e]);
    }
    if (d->table.isEmpty())
        d->table << qRgb(0, 0, 0);
    d->black = d->lookUp(qRgb(0, 0, 0));
}

PaletteImage::~PaletteImage() = default;

quint8 PaletteImage::nearest(QRgb rgb)
{
    return d->lookUp(rgb);
}

bool PaletteImage::fitsRecord(const QSize &pictureSize)
{
    return recordWidth(pictureSize.width()) <= 0xFFFF && pictureSize.height() <= 0xFFFF;
}

int PaletteImage::recordWidth(int pictureWidth)
{
    return int(4 * ((8 * qint64(std::max(pictureWidth, 1)) + 31) / 32));
}

namespace {

// The picture's pixels as colours drawn over black: opaque ones as they are, translucent ones
// blended (premultiplied), so that the alpha byte can simply be ignored.
QImage opaqueOverBlack(const QImage &picture)
{
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return picture;
    default:
        return picture.convertToFormat(
            picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    }
}

} // namespace

void PaletteImage::mapRows(const QImage &picture, int width, int height, uchar *dst,
                           qsizetype rowStep, bool bottomUp)
{
    const QImage source = picture.isNull() ? QImage() : opaqueOverBlack(picture);
    const int w = source.isNull() ? 0 : std::min(source.width(), width);
    const int h = source.isNull() ? 0 : std::min(source.height(), height);
    const quint8 black = d->black;
    QRgb last = 0xFF000000u; // opaque black
    quint8 lastIndex = black;
    for (int y = 0; y < height; ++y) {
        quint8 *out = dst + rowStep * (bottomUp ? height - 1 - y : y);
        int x = 0;
        if (y < h) {
            const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
            for (; x < w; ++x) {
                const QRgb c = in[x] | 0xFF000000u;
                if (c != last) {
                    last = c;
                    lastIndex = d->lookUp(c);
                }
                out[x] = lastIndex;
            }
        }
        std::memset(out + x, black, size_t(width - x));
    }
}

QImage PaletteImage::convert(const QImage &picture)
{
    const int width = recordWidth(picture.isNull() ? 1 : picture.width());
    const int height = std::max(picture.isNull() ? 1 : picture.height(), 1);
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return image;
    image.setColorTable(d->table);
    mapRows(picture, width, height, image.bits(), image.bytesPerLine(), false);
    return image;
}

QByteArray PaletteImage::makeRecord(const QImage &picture, qint16 px, qint16 py,
                                    bool secondPlacement)
{
    const int width = recordWidth(picture.isNull() ? 1 : picture.width());
    const int height = std::max(picture.isNull() ? 1 : picture.height(), 1);
    if (width > 0xFFFF || height > 0xFFFF)
        return {};
    const int header = secondPlacement ? 12 : 8;
    QByteArray record(header + qsizetype(width) * height, Qt::Uninitialized);
    auto *p = reinterpret_cast<uchar *>(record.data());
    qToLittleEndian<quint16>(quint16(width), p);
    qToLittleEndian<quint16>(quint16(height), p + 2);
    qToLittleEndian<qint16>(px, p + 4);
    qToLittleEndian<qint16>(py, p + 6);
    if (secondPlacement) {
        qToLittleEndian<qint16>(px, p + 8);
        qToLittleEndian<qint16>(py, p + 10);
    }
    mapRows(picture, width, height, p + header, width, true);
    return record;
}
