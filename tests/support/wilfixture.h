#pragma once
// Builds image libraries byte for byte as a test wants them, good or damaged.
//
// Records are plain QByteArrays made by the free functions below (or any raw bytes); a
// LibraryBuilder lays them out behind the library header and writes the pair:
//
//     wilfixture::LibraryBuilder b;
//     b.add(wilfixture::compressedRecord(image, -3, 7));           // image 0
//     b.add(wilfixture::uncompressed16Record(other, 1, 2));        // image 1
//     b.add(wilfixture::emptyRecord());                            // image 2
//     const QString lib = b.write(tempDir.path());                 // "test.wil" + "test.WIX"
//
// Pixel sequences (QVector<quint16>) are RGB565 values in file order: rows bottom first.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>
#include <optional>

namespace wilfixture {

// 4 * ((8 * width + 31) / 32): the width rounded up to a multiple of 4.
int roundedWidth(int width);

// The image as a record stores it: roundedWidth(width) x height RGB565 values, bottom row first,
// the added columns black. Colours are truncated to 5/6/5 bits.
QVector<quint16> rgb565Rows(const QImage &image);
// The image's pixels as RGB565 values, row by row from the top, at the image's own width: what
// a decoded image is compared by.
QVector<quint16> pixels565(const QImage &image);

// A Format_RGB16 test image whose pixels differ (up to 65,535 of them) and none is black (so
// transparency never hides one): pixel (x, y) has the RGB565 value (y * width + x) % 65535 + 1.
QImage patternImage(int width, int height);

// Compressed record: 16-byte header, then the pixel block (method word, CRC-32, payload).
struct Compressed
{
    int width = 0; // header fields, written as int16 whatever they hold
    int height = 0;
    qint16 px = 0;
    qint16 py = 0;
    QVector<quint16> pixels;         // the sequence to inflate to, taken as it is
    quint16 method = 8;              // 8 raw deflate, 0 stored; any other value is written
                                     // with a deflated payload
    std::optional<quint32> crc;      // default: the correct CRC-32 of the pixel bytes
    std::optional<QByteArray> block; // the whole pixel block as is (method, CRC and pixels are
                                     // then ignored): e.g. 3 bytes for a block below 6
    std::optional<quint32> blockLengthField;   // a block length that disagrees with the block
    QByteArray reserved = QByteArray(4, '\0'); // record offsets 8-11
};
QByteArray compressedRecord(const Compressed &record);
// The image deflated (method 8) or stored (0): width/height of the image, pixels rgb565Rows.
QByteArray compressedRecord(const QImage &image, qint16 px, qint16 py, quint16 method = 8);
// Width and height as given and a pixel block of `blockLength` (< 6) zero bytes.
QByteArray compressedEmptyRecord(int width, int height, qint16 px, qint16 py, int blockLength = 0);

// Uncompressed 16-bit record as AddBitmap writes it: width roundedWidth(image.width()).
QByteArray uncompressed16Record(const QImage &image, qint16 px, qint16 py);
// Header fields as given, then the pixels as given (nothing checked).
QByteArray uncompressed16Record(int storedWidth, int height, qint16 px, qint16 py,
                                const QVector<quint16> &pixels);
// Uncompressed 8-bit record of palette indices (rows bottom first); px/py repeated at record
// offsets 8-11 when `secondPlacement`.
QByteArray uncompressed8Record(int storedWidth, int height, qint16 px, qint16 py,
                               const QByteArray &indices, bool secondPlacement = false);
// The 9-byte empty record: width, height, px, py all 1, one zero byte.
QByteArray emptyRecord();

// Record i of a test library: compressed, 16-bit uncompressed and empty in turn, of sizes that
// differ so that every shift of a record shows.
QByteArray mixedRecord(int i);

// Run-length record (FileType 2): 17-byte header, then `runData` (its word count in the header
// unless `wordCountField` says otherwise).
QByteArray runLengthRecord(int width, int height, qint16 px, qint16 py,
                           const QVector<quint16> &runData,
                           std::optional<qint32> wordCountField = std::nullopt);
// One run-length row: the length word, `codes`, and the closing word.
QVector<quint16> runLengthRow(const QVector<quint16> &codes);
// The height + 1 rows of an image (the discarded row first, then top to bottom): black pixels
// as 0xC0 skips, the others as 0xC1 runs.
QVector<quint16> runLengthRows(const QImage &image);

// A FileType 2 index: 20 title bytes, the entry count, the entries.
QByteArray fileType2Index(const QVector<qint32> &entries);

// Lays records out one after another behind the header and writes the library and its index.
class LibraryBuilder
{
  public:
    LibraryBuilder();

    // 256 colours (missing ones black). Default: entry i is red 255 - i, green 3i, blue i.
    LibraryBuilder &setPalette(const QVector<QRgb> &colors);
    // Where the index's entry table starts: 48 (the template's layout, the default) or 52
    // (bytes 48-51 then hold `indexFiller`).
    LibraryBuilder &setTableStart(int start, quint32 indexFiller = 0);
    // Front part of the library (header + palette + extra bytes): 1080 by default, 1084 for
    // the OffSet 4 layout. The extra bytes are zero.
    LibraryBuilder &setFrontSize(int bytes);
    // Counts written at offset 44 of the library / the index (default: the number of entries).
    LibraryBuilder &setLibraryCount(qint32 count);
    LibraryBuilder &setIndexCount(qint32 count);
    // Writes a FileType 2 index (fileType2Index) with `placeholders` leading -1 entries.
    LibraryBuilder &setFileType2(int placeholders = 0);

    // Appends a record (any bytes) and its entry; returns its image number.
    int add(const QByteArray &record);
    // Appends bytes to the library that belong to no entry (padding behind the last record).
    LibraryBuilder &addBytes(const QByteArray &bytes);
    // Overrides entry n (0 <= n < entries) with any value.
    LibraryBuilder &setEntry(int n, qint32 value);
    // Appends an entry that points wherever it says, without a record.
    LibraryBuilder &addEntry(qint32 value);

    QVector<qint32> entries() const { return m_entries; }
    QByteArray library() const;
    QByteArray index() const;

    // Writes `baseName`.wil and `baseName` + `indexSuffix` into `folder`; returns the library's
    // path. Fails the calling test (QVERIFY) when a write fails.
    QString write(const QString &folder, const QString &baseName = QStringLiteral("test"),
                  const QString &indexSuffix = QStringLiteral(".WIX")) const;

  private:
    QByteArray m_front;
    QByteArray m_body;
    QVector<qint32> m_entries;
    int m_tableStart = 48;
    quint32 m_indexFiller = 0;
    std::optional<qint32> m_libraryCount;
    std::optional<qint32> m_indexCount;
    std::optional<int> m_placeholders;
};

// Reads a whole file (empty when missing).
QByteArray readFile(const QString &path);
// Writes a whole file; false when it cannot.
bool writeFile(const QString &path, const QByteArray &bytes);
// Little-endian values at `pos` of a byte array.
qint32 int32At(const QByteArray &bytes, qint64 pos);
qint16 int16At(const QByteArray &bytes, qint64 pos);

} // namespace wilfixture
