#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QtEndian>
#include <zlib.h>

namespace wilfixture {

namespace {

void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian<quint16>(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    out.append(b, 4);
}

QByteArray pixelBytes(const QVector<quint16> &pixels)
{
    QByteArray out;
    out.reserve(pixels.size() * 2);
    for (quint16 p : pixels)
        put16(out, p);
    return out;
}

QByteArray rawDeflate(const QByteArray &data)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(int(deflateBound(&z, uLong(data.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : QByteArray();
}

const char kLibraryTitle[] = "#ILIB v1.0-ORBENA Entertainment inc.";
const char kIndexTitle[] = "#INDX v1.0-ORBENA Entertainment inc.";

QByteArray titled(const char *title, int size)
{
    QByteArray out(title);
    out.resize(size, '\0');
    return out;
}

void setInt32(QByteArray &bytes, int pos, qint32 v)
{
    qToLittleEndian<qint32>(v, bytes.data() + pos);
}

} // namespace

int roundedWidth(int width)
{
    return 4 * ((8 * width + 31) / 32);
}

QVector<quint16> rgb565Rows(const QImage &image)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB16);
    const int w4 = roundedWidth(img.width());
    QVector<quint16> out(qsizetype(w4) * img.height(), 0);
    for (int row = 0; row < img.height(); ++row) {
        const auto *line =
            reinterpret_cast<const quint16 *>(img.constScanLine(img.height() - 1 - row));
        std::copy(line, line + img.width(), out.begin() + qsizetype(row) * w4);
    }
    return out;
}

QVector<quint16> pixels565(const QImage &image)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB16);
    QVector<quint16> out;
    for (int y = 0; y < img.height(); ++y) {
        const auto *line = reinterpret_cast<const quint16 *>(img.constScanLine(y));
        out.append(QVector<quint16>(line, line + img.width()));
    }
    return out;
}

QImage patternImage(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB16);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<quint16 *>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = quint16((qint64(y) * width + x) % 65535 + 1);
    }
    return img;
}

QByteArray compressedRecord(const Compressed &record)
{
    QByteArray block;
    if (record.block) {
        block = *record.block;
    } else {
        const QByteArray raw = pixelBytes(record.pixels);
        const quint32 crc = record.crc
                                ? *record.crc
                                : quint32(crc32(0, reinterpret_cast<const Bytef *>(raw.constData()),
                                                uInt(raw.size())));
        put16(block, record.method);
        put32(block, crc);
        block.append(record.method == 0 ? raw : rawDeflate(raw));
    }
    QByteArray out;
    put16(out, quint16(record.width));
    put16(out, quint16(record.height));
    put16(out, quint16(record.px));
    put16(out, quint16(record.py));
    QByteArray reserved = record.reserved;
    reserved.resize(4, '\0');
    out.append(reserved);
    put32(out, record.blockLengthField ? *record.blockLengthField : quint32(block.size()));
    out.append(block);
    return out;
}

QByteArray compressedRecord(const QImage &image, qint16 px, qint16 py, quint16 method)
{
    Compressed c;
    c.width = image.width();
    c.height = image.height();
    c.px = px;
    c.py = py;
    c.pixels = rgb565Rows(image);
    c.method = method;
    return compressedRecord(c);
}

QByteArray compressedEmptyRecord(int width, int height, qint16 px, qint16 py, int blockLength)
{
    Compressed c;
    c.width = width;
    c.height = height;
    c.px = px;
    c.py = py;
    c.block = QByteArray(blockLength, '\0');
    return compressedRecord(c);
}

QByteArray uncompressed16Record(const QImage &image, qint16 px, qint16 py)
{
    return uncompressed16Record(roundedWidth(image.width()), image.height(), px, py,
                                rgb565Rows(image));
}

QByteArray uncompressed16Record(int storedWidth, int height, qint16 px, qint16 py,
                                const QVector<quint16> &pixels)
{
    QByteArray out;
    put16(out, quint16(storedWidth));
    put16(out, quint16(height));
    put16(out, quint16(px));
    put16(out, quint16(py));
    out.append(pixelBytes(pixels));
    return out;
}

QByteArray uncompressed8Record(int storedWidth, int height, qint16 px, qint16 py,
                               const QByteArray &indices, bool secondPlacement)
{
    QByteArray out;
    put16(out, quint16(storedWidth));
    put16(out, quint16(height));
    put16(out, quint16(px));
    put16(out, quint16(py));
    if (secondPlacement) {
        put16(out, quint16(px));
        put16(out, quint16(py));
    }
    out.append(indices);
    return out;
}

QByteArray emptyRecord()
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        put16(out, 1);
    out.append('\0');
    return out;
}

QByteArray mixedRecord(int i)
{
    switch (i % 3) {
    case 0:
        return compressedRecord(patternImage(4 + 4 * (i % 4), 2 + i % 5), qint16(i), qint16(-i));
    case 1:
        return uncompressed16Record(patternImage(4 * (1 + i % 3), 1 + i % 4), qint16(i), 7);
    default:
        return emptyRecord();
    }
}

QByteArray runLengthRecord(int width, int height, qint16 px, qint16 py,
                           const QVector<quint16> &runData, std::optional<qint32> wordCountField)
{
    QByteArray out;
    put16(out, quint16(width));
    put16(out, quint16(height));
    put16(out, quint16(px));
    put16(out, quint16(py));
    out.append(QByteArray(5, '\0'));
    put32(out, quint32(wordCountField ? *wordCountField : qint32(runData.size())));
    out.append(pixelBytes(runData));
    return out;
}

QVector<quint16> runLengthRow(const QVector<quint16> &codes)
{
    QVector<quint16> row;
    row.append(quint16(codes.size() + 1));
    row.append(codes);
    row.append(0);
    return row;
}

QVector<quint16> runLengthRows(const QImage &image)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB16);
    QVector<quint16> out = runLengthRow({});
    for (int y = 0; y < img.height(); ++y) {
        const auto *line = reinterpret_cast<const quint16 *>(img.constScanLine(y));
        QVector<quint16> codes;
        int x = 0;
        while (x < img.width()) {
            int end = x;
            const bool black = line[x] == 0;
            while (end < img.width() && (line[end] == 0) == black)
                ++end;
            codes.append(black ? 0xC0 : 0xC1);
            codes.append(quint16(end - x));
            if (!black)
                codes.append(QVector<quint16>(line + x, line + end));
            x = end;
        }
        out.append(runLengthRow(codes));
    }
    return out;
}

QByteArray fileType2Index(const QVector<qint32> &entries)
{
    QByteArray out = titled(kIndexTitle, 20);
    put32(out, quint32(entries.size()));
    for (qint32 e : entries)
        put32(out, quint32(e));
    return out;
}

LibraryBuilder::LibraryBuilder()
{
    m_front = titled(kLibraryTitle, 44);
    put32(m_front, 0);
    put32(m_front, 256);
    put32(m_front, 1024);
    QVector<QRgb> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[i] = qRgb(255 - i, (3 * i) & 0xFF, i);
    m_front.resize(1080, '\0');
    setPalette(colors);
}

LibraryBuilder &LibraryBuilder::setPalette(const QVector<QRgb> &colors)
{
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < colors.size() ? colors[i] : qRgb(0, 0, 0);
        char *e = m_front.data() + 56 + 4 * i;
        e[0] = char(qBlue(c));
        e[1] = char(qGreen(c));
        e[2] = char(qRed(c));
        e[3] = 0;
    }
    return *this;
}

LibraryBuilder &LibraryBuilder::setTableStart(int start, quint32 indexFiller)
{
    m_tableStart = start;
    m_indexFiller = indexFiller;
    return *this;
}

LibraryBuilder &LibraryBuilder::setFrontSize(int bytes)
{
    const qint64 delta = bytes - m_front.size();
    m_front.resize(bytes, '\0');
    for (qint32 &e : m_entries)
        e += qint32(delta);
    return *this;
}

LibraryBuilder &LibraryBuilder::setLibraryCount(qint32 count)
{
    m_libraryCount = count;
    return *this;
}

LibraryBuilder &LibraryBuilder::setIndexCount(qint32 count)
{
    m_indexCount = count;
    return *this;
}

LibraryBuilder &LibraryBuilder::setFileType2(int placeholders)
{
    m_placeholders = placeholders;
    return *this;
}

int LibraryBuilder::add(const QByteArray &record)
{
    m_entries.append(qint32(m_front.size() + m_body.size()));
    m_body.append(record);
    return int(m_entries.size() - 1);
}

LibraryBuilder &LibraryBuilder::addBytes(const QByteArray &bytes)
{
    m_body.append(bytes);
    return *this;
}

LibraryBuilder &LibraryBuilder::setEntry(int n, qint32 value)
{
    m_entries[n] = value;
    return *this;
}

LibraryBuilder &LibraryBuilder::addEntry(qint32 value)
{
    m_entries.append(value);
    return *this;
}

QByteArray LibraryBuilder::library() const
{
    QByteArray out = m_front + m_body;
    setInt32(out, 44, m_libraryCount.value_or(qint32(m_entries.size())));
    return out;
}

QByteArray LibraryBuilder::index() const
{
    if (m_placeholders) {
        QVector<qint32> all(*m_placeholders, -1);
        all.append(m_entries);
        QByteArray out = fileType2Index(all);
        if (m_indexCount)
            setInt32(out, 20, *m_indexCount);
        return out;
    }
    QByteArray out = titled(kIndexTitle, 44);
    put32(out, quint32(m_indexCount.value_or(qint32(m_entries.size()))));
    if (m_tableStart >= 52) {
        put32(out, m_indexFiller);
        out.resize(m_tableStart, '\0');
    }
    for (qint32 e : m_entries)
        put32(out, quint32(e));
    return out;
}

QString LibraryBuilder::write(const QString &folder, const QString &baseName,
                              const QString &indexSuffix) const
{
    const QString lib = QDir(folder).filePath(baseName + QStringLiteral(".wil"));
    const QString idx = QDir(folder).filePath(baseName + indexSuffix);
    [&] {
        QVERIFY2(writeFile(lib, library()), qPrintable(lib));
        QVERIFY2(writeFile(idx, index()), qPrintable(idx));
    }();
    return lib;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

qint32 int32At(const QByteArray &bytes, qint64 pos)
{
    return qFromLittleEndian<qint32>(bytes.constData() + pos);
}

qint16 int16At(const QByteArray &bytes, qint64 pos)
{
    return qFromLittleEndian<qint16>(bytes.constData() + pos);
}

} // namespace wilfixture
