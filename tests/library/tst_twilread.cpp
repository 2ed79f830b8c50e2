// TWIL reading: opening, the index layouts, every record layout, drawing, and damaged files.
#include "imagelimits.h"
#include "mywil.h"
#include "wilfixture.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <zlib.h>

using namespace wilfixture;

Q_DECLARE_METATYPE(RecordInfo::Kind)

namespace {

// A component opened on `builder`'s files, written into `dir`; messages collected.
struct Opened
{
    std::unique_ptr<TWIL> wil = std::make_unique<TWIL>();
    QStringList messages;
};

std::unique_ptr<Opened> openBuilt(const QTemporaryDir &dir, const LibraryBuilder &builder,
                                  const QString &indexSuffix = QStringLiteral(".WIX"))
{
    auto o = std::make_unique<Opened>();
    o->wil->FileName = builder.write(dir.path(), QStringLiteral("test"), indexSuffix);
    QStringList *messages = &o->messages;
    o->wil->setNotifier([messages](const QString &t) { messages->append(t); });
    o->wil->Open();
    return o;
}

QImage image565(int w, int h, const QVector<quint16> &topFirst)
{
    QImage img(w, h, QImage::Format_RGB16);
    for (int y = 0; y < h; ++y)
        memcpy(img.scanLine(y), topFirst.constData() + y * w, w * 2);
    return img;
}

// A 4 x 1 compressed record whose deflated block is padded behind its stream to `blockLength`.
QByteArray paddedBlockRecord(const QImage &image, qint64 blockLength)
{
    Compressed c;
    c.width = image.width(), c.height = image.height(), c.pixels = rgb565Rows(image);
    QByteArray block = compressedRecord(c).mid(16);
    block.append(QByteArray(blockLength - block.size(), '\0'));
    c.block = block;
    return compressedRecord(c);
}

// Raw deflate as any zlib-based writer may make it.
QByteArray rawDeflate(const QByteArray &data, int level, int memLevel)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(2 * data.size() + 1024, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : QByteArray();
}

} // namespace

class TestTWILRead : public QObject
{
    Q_OBJECT
  private slots:
    void openRefusals_data();
    void openRefusals();
    void openIgnoresTitleAndLoadsPalette();
    void closeKeepsCount();
    void tableStart_data();
    void tableStart();
    void imageCountClamped_data();
    void imageCountClamped();
    void indexNameFallsBackToOtherCase();
    void fileType1_data();
    void fileType1();
    void eightBitRecordWithSecondPlacement();
    void recordKinds_data();
    void recordKinds();
    void deflateBoundHoldsForZlib_data();
    void deflateBoundHoldsForZlib();
    void undecodableKeepsPicture_data();
    void undecodableKeepsPicture();
    void emptyRecordEmptiesHeldBitmap();
    void outOfRange_data();
    void outOfRange();
    void extentsFollowNextLargerEntry();
    void fileChangedBehindFetches_data();
    void fileChangedBehindFetches();
    void runLength_data();
    void runLength();
    void runLengthIndex();
    void drawImage_data();
    void drawImage();
    void getBitmapNeedsLoadBmp();
    void baseFileName_data();
    void baseFileName();
    void encodeBitmap16_data();
    void encodeBitmap16();
    void damagedFilesNeverCrash();
    void readOnlyFallback();
};

void TestTWILRead::openRefusals_data()
{
    QTest::addColumn<QString>("fileName"); // "" empty, "missing", or a size for a short file
    QTest::addColumn<int>("shortSize");
    QTest::newRow("missing file") << "missing.wil" << -1;
    QTest::newRow("empty file") << "short.wil" << 0;
    QTest::newRow("shorter than the count") << "short.wil" << 40;
    QTest::newRow("no room for the palette") << "short.wil" << 1079;
}

void TestTWILRead::openRefusals()
{
    QFETCH(QString, fileName);
    QFETCH(int, shortSize);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    if (shortSize >= 0) {
        QByteArray bytes = LibraryBuilder().library().left(shortSize);
        QVERIFY(writeFile(path, bytes));
        QVERIFY(writeFile(dir.filePath("short.WIX"), LibraryBuilder().index()));
    }
    TWIL wil;
    QStringList messages;
    wil.setNotifier([&](const QString &t) { messages.append(t); });
    wil.FileName = path;
    wil.Open();
    QVERIFY(!wil.isOpen());
    QCOMPARE(wil.LibraryStream, nullptr);
    QCOMPARE(messages.size(), 1);
    if (shortSize < 0)
        QCOMPARE(messages[0], path + QStringLiteral(" 不存在."));
    else
        QVERIFY(messages[0].contains(path));
}

void TestTWILRead::openIgnoresTitleAndLoadsPalette()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    QVector<QRgb> colors(256);
    colors[7] = qRgb(0xFF, 0x87, 0x0F);
    b.setPalette(colors);
    // An 8-bit record shows its indices through the palette, truncated to 5/6/5 bits.
    b.add(uncompressed8Record(4, 1, 2, 3, QByteArray("\x07\x00\x07\x00", 4)));
    QByteArray lib = b.library();
    lib.replace(0, 36, QByteArray(36, 'x'));
    QVERIFY(writeFile(dir.filePath("t.wil"), lib));
    QVERIFY(writeFile(dir.filePath("t.WIX"), b.index()));

    TWIL wil;
    wil.FileName = dir.filePath("t.wil");
    QVERIFY_THROWS_NO_EXCEPTION(wil.Open());
    QVERIFY(wil.isOpen());
    QCOMPARE(wil.ImageCount(), 1);
    QCOMPARE(wil.Palette[4 * 7 + 0], 0x0F); // blue
    QCOMPARE(wil.Palette[4 * 7 + 2], 0xFF); // red
    QCOMPARE(wil.colorTable()[7], qRgb(0xFF, 0x87, 0x0F));
    const QImage &img = wil.LoadBitmap(0);
    const quint16 c = (0xFF >> 3) << 11 | (0x87 >> 2) << 5 | (0x0F >> 3);
    QCOMPARE(pixels565(img), (QVector<quint16>{c, 0, c, 0}));
    QCOMPARE(img.format(), QImage::Format_RGB16);

    TWIL unnamed;
    QVERIFY_THROWS_EXCEPTION(WilError, unnamed.Open());
    try {
        unnamed.Open();
    } catch (const WilError &e) {
        QCOMPARE(e.message(), QStringLiteral("FileName not assigned.."));
    }
}

void TestTWILRead::closeKeepsCount()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(4, 4), 1, 2));
    b.add(compressedRecord(patternImage(4, 4), 3, 4));
    auto o = openBuilt(dir, b);
    o->wil->LoadBitmap(1);
    o->wil->Close();
    QCOMPARE(o->wil->LibraryStream, nullptr);
    QCOMPARE(o->wil->ImageCount(), 2);
    QVERIFY(o->wil->Offsets.isEmpty());
    QCOMPARE(o->wil->px, 3);
    QCOMPARE(o->wil->LoadBitmap(0).size(), QSize(1, 1));
}

void TestTWILRead::tableStart_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<quint32>("filler"); // bytes 48-51 of a 52-byte table's index
    QTest::addColumn<int>("images");
    QTest::addColumn<int>("extraIndexBytes");
    QTest::addColumn<int>("front");
    QTest::addColumn<int>("expected");
    QTest::newRow("48, by content") << 48 << 0u << 3 << 0 << 1080 << 48;
    QTest::newRow("52, by content") << 52 << 0u << 3 << 0 << 1080 << 52;
    QTest::newRow("52, filler looks like an entry") << 52 << 1080u << 2 << 0 << 1080 << 52;
    QTest::newRow("52, filler 1084") << 52 << 1084u << 1 << 0 << 1080 << 52;
    QTest::newRow("48, records elsewhere: by size") << 48 << 0u << 2 << 0 << 1200 << 48;
    QTest::newRow("52, records elsewhere: by size") << 52 << 0u << 2 << 0 << 1200 << 52;
    QTest::newRow("52, filler 1080, trailing bytes: default")
        << 52 << 1080u << 2 << 3 << 1080 << 52;
    QTest::newRow("empty, 48-byte index") << 48 << 0u << 0 << 0 << 1080 << 48;
    QTest::newRow("empty, 52-byte index") << 52 << 0u << 0 << 0 << 1080 << 52;
}

void TestTWILRead::tableStart()
{
    QFETCH(int, start);
    QFETCH(quint32, filler);
    QFETCH(int, images);
    QFETCH(int, extraIndexBytes);
    QFETCH(int, front);
    QFETCH(int, expected);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.setTableStart(start, filler).setFrontSize(front);
    QList<QImage> sources;
    for (int i = 0; i < images; ++i) {
        sources.append(patternImage(4 + 4 * i, 2 + i));
        b.add(compressedRecord(sources.last(), qint16(i), qint16(-i)));
    }
    QVERIFY(writeFile(dir.filePath("test.wil"), b.library()));
    QVERIFY(writeFile(dir.filePath("test.WIX"), b.index() + QByteArray(extraIndexBytes, '\0')));
    TWIL wil;
    wil.FileName = dir.filePath("test.wil");
    wil.Open();
    QCOMPARE(wil.indexTableStart(), expected);
    QCOMPARE(wil.OffSet, 0);
    QCOMPARE(wil.ImageCount(), images);
    for (int i = 0; i < images; ++i) {
        QCOMPARE(pixels565(wil.LoadBitmap(i)), pixels565(sources[i]));
        QCOMPARE(wil.px, i);
        QCOMPARE(wil.py, -i);
    }
}

void TestTWILRead::imageCountClamped_data()
{
    QTest::addColumn<qint32>("libraryCount");
    QTest::addColumn<qint32>("indexCount");
    QTest::addColumn<int>("indexBytesCut");
    QTest::addColumn<int>("expected");
    QTest::newRow("counts agree") << 3 << 3 << 0 << 3;
    QTest::newRow("library claims more") << 2000000000 << 3 << 0 << 3;
    QTest::newRow("library count negative") << -5 << 3 << 0 << 0;
    QTest::newRow("library claims fewer") << 2 << 3 << 0 << 2;
    QTest::newRow("index claims more than it holds") << 3 << 2000000000 << 4 << 2;
    QTest::newRow("index count negative") << 3 << -1 << 0 << 0;
    QTest::newRow("index cut inside an entry") << 3 << 3 << 2 << 2;
    QTest::newRow("index without header") << 3 << 3 << 20 << 0;
}

void TestTWILRead::imageCountClamped()
{
    QFETCH(qint32, libraryCount);
    QFETCH(qint32, indexCount);
    QFETCH(int, indexBytesCut);
    QFETCH(int, expected);
    QTemporaryDir dir;
    LibraryBuilder b;
    for (int i = 0; i < 3; ++i)
        b.add(uncompressed16Record(patternImage(4, 1), 0, 0));
    b.setLibraryCount(libraryCount).setIndexCount(indexCount);
    QByteArray index = b.index();
    index.chop(indexBytesCut);
    QVERIFY(writeFile(dir.filePath("test.wil"), b.library()));
    QVERIFY(writeFile(dir.filePath("test.WIX"), index));
    TWIL wil;
    wil.FileName = dir.filePath("test.wil");
    wil.Open();
    QVERIFY(wil.isOpen());
    QCOMPARE(wil.ImageCount(), expected);
    for (int i = 0; i < expected; ++i)
        QCOMPARE(wil.LoadBitmap(i).size(), QSize(4, 1));
    wil.LoadBitmap(expected);
    QVERIFY(!wil.lastDecodeOk());
}

void TestTWILRead::indexNameFallsBackToOtherCase()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(4, 2), 0, 0));
    auto o = openBuilt(dir, b, QStringLiteral(".wix"));
    QCOMPARE(o->wil->IndexFileName, dir.filePath("test.wix"));
    QCOMPARE(o->wil->ImageCount(), 1);
    QCOMPARE(indexFileNameFor(dir.filePath("other.wil")), dir.filePath("other.WIX"));
}

void TestTWILRead::fileType1_data()
{
    QTest::addColumn<int>("front");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("fileType");
    QTest::addColumn<int>("offSet");
    QTest::newRow("1084 at 52: OffSet 4") << 1084 << 52 << 1 << 4;
    QTest::newRow("not 1084 at 52: table at 48") << 1080 << 48 << 0 << 0;
}

void TestTWILRead::fileType1()
{
    QFETCH(int, front);
    QFETCH(int, start);
    QFETCH(int, fileType);
    QFETCH(int, offSet);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.setFrontSize(front).setTableStart(start);
    const QImage img = patternImage(8, 3);
    b.add(compressedRecord(img, 5, 6));
    b.add(compressedRecord(patternImage(4, 4), 7, 8));
    auto o = openBuilt(dir, b);
    o->wil->FileType = 1;
    o->wil->LoadIndex(o->wil->IndexFileName);
    QCOMPARE(o->wil->FileType, fileType);
    QCOMPARE(o->wil->OffSet, offSet);
    QCOMPARE(o->wil->indexTableStart(), start);
    QCOMPARE(o->wil->Offsets.size(), 3);
    QCOMPARE(o->wil->Offsets.last(), 0);
    QCOMPARE(pixels565(o->wil->LoadBitmap(0)), pixels565(img));
    QCOMPARE(o->wil->px, 5);
}

void TestTWILRead::eightBitRecordWithSecondPlacement()
{
    // Only the OffSet 4 layout repeats the placement in front of the indices.
    QTemporaryDir dir;
    LibraryBuilder b;
    QVector<QRgb> colors(256);
    colors[1] = qRgb(0, 0, 0xF8);
    colors[2] = qRgb(0xF8, 0, 0);
    b.setFrontSize(1084).setTableStart(52).setPalette(colors);
    b.add(
        uncompressed8Record(4, 2, -7, 9, QByteArray("\x01\x02\x01\x02\x02\x02\x02\x02", 8), true));
    b.add(emptyRecord());
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    wil.FileType = 1;
    wil.LoadIndex(wil.IndexFileName);
    QCOMPARE(wil.OffSet, 4);
    QCOMPARE(wil.inspectRecord(0).kind, RecordInfo::Uncompressed8);
    QCOMPARE(wil.inspectRecord(0).size, 12 + 8);
    QCOMPARE(pixels565(wil.LoadBitmap(0)),
             (QVector<quint16>{0xF800, 0xF800, 0xF800, 0xF800, 0x1F, 0xF800, 0x1F, 0xF800}));
    QCOMPARE(wil.px, -7);
    QCOMPARE(wil.py, 9);
}

void TestTWILRead::recordKinds_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QByteArray>("padding"); // behind the record, before the next one
    QTest::addColumn<RecordInfo::Kind>("kind");
    QTest::addColumn<QImage>("expected"); // null: an image without pixels
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");

    const QImage sprite = patternImage(12, 5);
    QTest::newRow("deflate") << compressedRecord(sprite, -3, 7) << QByteArray()
                             << RecordInfo::Compressed << sprite << -3 << 7;
    QTest::newRow("stored") << compressedRecord(sprite, 1, 2, 0) << QByteArray()
                            << RecordInfo::Compressed << sprite << 1 << 2;
    {
        // One colour deflates to long matches that run on from one row into the next.
        QImage plain(28, 100, QImage::Format_RGB16);
        plain.fill(QColor(Qt::red));
        QTest::newRow("deflate, matches across rows") << compressedRecord(plain, 0, 0)
                                                      << QByteArray() << RecordInfo::Compressed
                                                      << plain << 0 << 0;
    }
    {
        Compressed c;
        c.width = 12, c.height = 5, c.px = 4, c.py = 4, c.pixels = rgb565Rows(sprite);
        c.crc = 0x12345678;
        QTest::newRow("wrong CRC still shows")
            << compressedRecord(c) << QByteArray() << RecordInfo::Compressed << sprite << 4 << 4;
    }
    {
        // 5 x 2: 20 bytes fill the bottom row's 8 columns and 2 of the top row.
        Compressed c;
        c.width = 5, c.height = 2;
        for (int k = 0; k < 16; ++k)
            c.pixels.append(quint16(0x100 + k));
        const QImage want =
            image565(5, 2, {0x108, 0x109, 0, 0, 0, 0x100, 0x101, 0x102, 0x103, 0x104});
        QTest::newRow("width 5 takes width x height pixels")
            << compressedRecord(c) << QByteArray() << RecordInfo::Compressed << want << 0 << 0;
    }
    {
        Compressed c;
        c.width = 6, c.height = 1;
        c.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("width 6 in a working width of 8")
            << compressedRecord(c) << QByteArray() << RecordInfo::Compressed
            << image565(6, 1, {1, 2, 3, 4, 5, 6}) << 0 << 0;
    }
    {
        Compressed c;
        c.width = 8, c.height = 4;
        c.pixels = rgb565Rows(patternImage(8, 4)).mid(0, 8 * 3); // the top row is missing
        QImage want = patternImage(8, 4);
        memset(want.scanLine(0), 0, 16);
        QTest::newRow("short inflate leaves black")
            << compressedRecord(c) << QByteArray() << RecordInfo::Compressed << want << 0 << 0;
    }
    for (int len = 0; len < 6; ++len)
        QTest::addRow("block length %d is empty", len)
            << compressedEmptyRecord(40, 30, 9, -9, len) << QByteArray()
            << RecordInfo::CompressedEmpty << QImage() << 9 << -9;
    {
        Compressed c;
        c.width = 0, c.height = 3, c.px = 2, c.py = 1, c.pixels = QVector<quint16>(12, 0xFFFF);
        QTest::newRow("width 0 is empty")
            << compressedRecord(c) << QByteArray() << RecordInfo::Compressed << QImage() << 2 << 1;
    }
    QTest::newRow("16-bit, 5 wide stored as 8")
        << uncompressed16Record(patternImage(5, 3), -10, 20) << QByteArray()
        << RecordInfo::Uncompressed16 << QImage(patternImage(5, 3).copy(0, 0, 8, 3)) << -10 << 20;
    {
        // Begins with black rows: the "block length" bytes read 0.
        QImage s = patternImage(8, 6);
        for (int y = 3; y < 6; ++y)
            memset(s.scanLine(y), 0, 16);
        QTest::newRow("16-bit sprite with black bottom rows")
            << uncompressed16Record(s, 3, 3) << QByteArray() << RecordInfo::Uncompressed16 << s << 3
            << 3;
    }
    QTest::newRow("blanked 4 x 1 keeps its placement")
        << uncompressed16Record(4, 1, 11, 12, QVector<quint16>(4, 0)) << QByteArray()
        << RecordInfo::Uncompressed16 << image565(4, 1, {0, 0, 0, 0}) << 11 << 12;
    QTest::newRow("16-bit with padding")
        << uncompressed16Record(patternImage(4, 2), 1, 1) << QByteArray(7, '\x55')
        << RecordInfo::Uncompressed16 << patternImage(4, 2) << 1 << 1;
    QTest::newRow("deflate with padding") << compressedRecord(sprite, 1, 1) << QByteArray(3, '\0')
                                          << RecordInfo::Compressed << sprite << 1 << 1;
    QTest::newRow("9-byte empty record")
        << emptyRecord() << QByteArray() << RecordInfo::EmptyRecord << QImage() << 1 << 1;
    {
        const QImage wide = patternImage(imagelimits::kMaxImageSide, 1);
        QTest::newRow("8192 wide, at the limit")
            << compressedRecord(wide, 0, 0) << QByteArray() << RecordInfo::Compressed << wide << 0
            << 0;
        const QImage tiny = patternImage(4, 1);
        const QByteArray atBound = paddedBlockRecord(tiny, imagelimits::maxPixelBlockLength(4, 1));
        QTest::newRow("block as long as a deflate stream of it can be")
            << atBound << QByteArray() << RecordInfo::Compressed << tiny << 0 << 0;
    }
}

void TestTWILRead::deflateBoundHoldsForZlib_data()
{
    // Incompressible pixels cost deflate the most; every level and memory setting zlib offers
    // must stay within the bound, or real libraries would be refused.
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("memLevel");
    const QList<QSize> sizes{{1, 1}, {5, 3}, {64, 64}, {333, 77}, {8192, 16}};
    const QList<QPair<int, int>> settings{{0, 8}, {1, 8}, {9, 8}, {9, 1}, {6, 9}};
    for (const QSize &size : sizes)
        for (const auto &[level, memLevel] : settings)
            QTest::addRow("%dx%d level %d memLevel %d", size.width(), size.height(), level,
                          memLevel)
                << size.width() << size.height() << level << memLevel;
}

void TestTWILRead::deflateBoundHoldsForZlib()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, level);
    QFETCH(int, memLevel);
    const int w4 = roundedWidth(width);
    QRandomGenerator random(quint32(width * 7919 + height));
    QVector<quint16> sequence(w4 * height);
    for (quint16 &v : sequence)
        v = quint16(random.generate());
    const QByteArray pixels(reinterpret_cast<const char *>(sequence.constData()),
                            sequence.size() * 2);
    const QByteArray deflated = rawDeflate(pixels, level, memLevel);
    QVERIFY(!deflated.isEmpty());
    QByteArray block(6, '\0');
    block[0] = 8;
    block += deflated;
    QVERIFY2(block.size() <= imagelimits::maxPixelBlockLength(width, height),
             qPrintable(QString::number(block.size())));

    // Only the first width x height pixels of the sequence are taken.
    QImage want(width, height, QImage::Format_RGB16);
    for (int r = 0; r < height; ++r) {
        auto *line = reinterpret_cast<quint16 *>(want.scanLine(height - 1 - r));
        for (int x = 0; x < width; ++x)
            line[x] = r * w4 + x < width * height ? sequence[r * w4 + x] : 0;
    }
    Compressed c;
    c.width = width, c.height = height, c.block = block;
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(c));
    auto o = openBuilt(dir, b);
    const QImage &img = o->wil->LoadBitmap(0);
    QVERIFY(o->wil->lastDecodeOk());
    QCOMPARE(pixels565(img), pixels565(want));
}

void TestTWILRead::recordKinds()
{
    QFETCH(QByteArray, record);
    QFETCH(QByteArray, padding);
    QFETCH(RecordInfo::Kind, kind);
    QFETCH(QImage, expected);
    QFETCH(int, px);
    QFETCH(int, py);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(record);
    b.addBytes(padding);
    b.add(emptyRecord()); // a neighbour, so the extent ends at an entry
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    const RecordInfo info = wil.inspectRecord(0);
    QCOMPARE(info.kind, kind);
    QCOMPARE(info.offset, 1080);
    QCOMPARE(info.extent, record.size() + padding.size());
    QCOMPARE(info.size, record.size());
    QCOMPARE(info.hasPixels(), !expected.isNull());
    QCOMPARE(wil.recordExtentEnd(0), 1080 + record.size() + padding.size());

    const QImage &img = wil.LoadBitmap(0);
    QVERIFY(wil.lastDecodeOk());
    QCOMPARE(wil.px, px);
    QCOMPARE(wil.py, py);
    if (expected.isNull()) {
        QCOMPARE(img.size(), QSize(0, 0));
        QCOMPARE(wil.Width, 0);
        QCOMPARE(wil.Height, 0);
    } else {
        QCOMPARE(img.format(), QImage::Format_RGB16);
        QCOMPARE(img.size(), expected.size());
        QCOMPARE(wil.Width, expected.width());
        QCOMPARE(wil.Height, expected.height());
        QCOMPARE(pixels565(img), pixels565(expected));
    }
}

void TestTWILRead::undecodableKeepsPicture_data()
{
    QTest::addColumn<QByteArray>("record");
    // Large enough that no uncompressed layout fits the extent either.
    QImage plain(64, 64, QImage::Format_RGB16);
    plain.fill(QColor(Qt::green));
    {
        Compressed c;
        c.width = 64, c.height = 64, c.pixels = rgb565Rows(plain);
        c.method = 3;
        QTest::newRow("method 3") << compressedRecord(c);
    }
    {
        // The block's length is the record's exactly, so it is a compressed record with a method
        // no one knows, though a 16-bit layout of 4 x 4 would fit inside its extent.
        Compressed c;
        c.width = 4, c.height = 4, c.pixels = rgb565Rows(patternImage(4, 4));
        c.method = 3;
        QTest::newRow("method 3, a 16-bit layout fits inside") << compressedRecord(c);
    }
    {
        Compressed c;
        c.width = 4, c.height = 4;
        c.block = QByteArray("\x08\x00\x00\x00\x00\x00\xff\xff\xff\xff\xff\xff", 12);
        QTest::newRow("deflate data error") << compressedRecord(c);
    }
    {
        Compressed c;
        c.width = -4, c.height = 4, c.pixels = rgb565Rows(patternImage(4, 4));
        QTest::newRow("negative width") << compressedRecord(c);
    }
    {
        Compressed c;
        c.width = 32000, c.height = 32000, c.pixels = QVector<quint16>(4, 1);
        QTest::newRow("huge size, tiny block") << compressedRecord(c);
    }
    {
        QByteArray r = compressedRecord(plain, 0, 0);
        r.chop(1); // the block length now reaches beyond the extent, no layout fits
        QTest::newRow("block beyond the extent") << r;
    }
    QTest::newRow("7 bytes") << QByteArray("\x04\x00\x01\x00\x00\x00\x00", 7);
    // Beyond 8192 x 8192 an image is too large, however well formed.
    QTest::newRow("deflate, 8196 wide") << compressedRecord(patternImage(8196, 1), 0, 0);
    QTest::newRow("stored, 8193 high") << compressedRecord(patternImage(4, 8193), 0, 0, 0);
    QTest::newRow("16-bit, 8196 wide") << uncompressed16Record(patternImage(8196, 1), 0, 0);
    QTest::newRow("8-bit, 8193 high")
        << uncompressed8Record(4, 8193, 0, 0, QByteArray(4 * 8193, '\x07'));
    // A block longer than any deflate stream of its pixels is not theirs, whatever it holds.
    QTest::newRow("block one byte longer than a deflate stream of it can be")
        << paddedBlockRecord(patternImage(4, 1), imagelimits::maxPixelBlockLength(4, 1) + 1);
}

void TestTWILRead::undecodableKeepsPicture()
{
    QFETCH(QByteArray, record);
    QTemporaryDir dir;
    LibraryBuilder b;
    const QImage good = patternImage(8, 2);
    b.add(compressedRecord(good, 5, 5));
    b.add(record);
    b.add(emptyRecord());
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    wil.LoadBitmap(0);
    wil.LoadBitmap(1);
    QVERIFY(!wil.lastDecodeOk());
    QCOMPARE(pixels565(wil.currentBitmap()), pixels565(good));
    QCOMPARE(wil.Width, 8);
    QCOMPARE(wil.Height, 2);
}

void TestTWILRead::emptyRecordEmptiesHeldBitmap()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(8, 2), 5, 5));
    b.add(compressedEmptyRecord(8, 2, 0, 0, 5));
    auto o = openBuilt(dir, b);
    const QImage &held = o->wil->LoadBitmap(0);
    QCOMPARE(held.size(), QSize(8, 2));
    o->wil->LoadBitmap(1);
    QCOMPARE(held.size(), QSize(0, 0));
}

void TestTWILRead::outOfRange_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("-1") << -1;
    QTest::newRow("ImageCount") << 2;
    QTest::newRow("far beyond") << 30;
}

void TestTWILRead::outOfRange()
{
    QFETCH(int, index);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(8, 2), 5, 6));
    b.add(compressedRecord(patternImage(4, 2), 7, 8));
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    wil.LoadBitmap(0);
    const QImage &img = wil.LoadBitmap(index);
    QCOMPARE(img.size(), QSize(1, 1));
    QCOMPARE(wil.Width, 8);
    QCOMPARE(wil.Height, 2);
    QCOMPARE(wil.px, 5);
    QCOMPARE(wil.py, 6);
    QVERIFY(!wil.lastDecodeOk());
    QCOMPARE(wil.inspectRecord(index).kind, RecordInfo::Invalid);
}

void TestTWILRead::extentsFollowNextLargerEntry()
{
    // Entries out of order: each record ends at the next larger entry, the last at the end.
    QTemporaryDir dir;
    LibraryBuilder b;
    b.setTableStart(52);
    const QByteArray r0 = uncompressed16Record(patternImage(4, 1), 0, 0);
    const QByteArray r1 = uncompressed16Record(patternImage(8, 2), 1, 1);
    b.add(r0);
    b.add(r1);
    b.setEntry(0, 1080 + r0.size());
    b.setEntry(1, 1080);
    b.add(compressedRecord(patternImage(4, 3), 2, 2));
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    QCOMPARE(wil.recordExtentEnd(1), 1080 + r0.size());
    QCOMPARE(wil.recordExtentEnd(0), 1080 + r0.size() + r1.size());
    QCOMPARE(wil.recordExtentEnd(2), wil.LibraryStream->size());
    QCOMPARE(wil.LoadBitmap(1).size(), QSize(4, 1));
    QCOMPARE(wil.LoadBitmap(0).size(), QSize(8, 2));
}

// The file's size is learned when the library is opened, not asked on every fetch. A file
// another program grows or cuts short behind the component changes no layout it has judged, and
// a read beyond the file's real end fails instead of showing what it did not read.
void TestTWILRead::fileChangedBehindFetches_data()
{
    QTest::addColumn<qint64>("change"); // bytes added to the library (< 0: cut off)
    QTest::addColumn<bool>("decodes");
    // 16 bytes more would make the last record's extent fit the 16-bit layout exactly.
    QTest::newRow("grown") << qint64(16) << true;
    QTest::newRow("cut short") << qint64(-3) << false;
}

void TestTWILRead::fileChangedBehindFetches()
{
    QFETCH(qint64, change);
    QFETCH(bool, decodes);
    QTemporaryDir dir;
    LibraryBuilder b;
    const QImage first = patternImage(8, 2);
    b.add(compressedRecord(first, 5, 5));
    QByteArray indices(16, '\0');
    for (int i = 0; i < indices.size(); ++i)
        indices[i] = char(i + 1);
    b.add(uncompressed8Record(4, 4, 1, 2, indices));
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    QCOMPARE(wil.inspectRecord(1).kind, RecordInfo::Uncompressed8);
    const QImage before = wil.LoadBitmap(1).copy();

    QFile other(wil.FileName);
    QVERIFY(other.open(QIODevice::ReadWrite));
    QVERIFY(other.resize(other.size() + change));
    other.close();

    wil.LoadBitmap(0);
    QCOMPARE(wil.inspectRecord(1).kind, RecordInfo::Uncompressed8);
    wil.LoadBitmap(1);
    QCOMPARE(wil.lastDecodeOk(), decodes);
    QCOMPARE(pixels565(wil.currentBitmap()), pixels565(decodes ? before : first));
}

void TestTWILRead::runLength_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QVector<quint16>>("runData");
    QTest::addColumn<QImage>("expected"); // null: undecodable
    QTest::addColumn<bool>("empty");

    QImage sprite = patternImage(6, 3);
    sprite.setPixel(0, 1, 0);
    sprite.setPixel(1, 1, 0);
    QTest::newRow("skips and runs") << 6 << 3 << runLengthRows(sprite) << sprite << false;

    QVector<quint16> crossing = runLengthRow({});
    crossing += runLengthRow({0xC0, 2, 0xC1, 3, 0x11, 0x12, 0x13, 0xC2, 1, 0x14}); // crosses
    crossing += runLengthRow({0xC0, 5, 0xC3, 2, 0x21, 0x22, 0xC1, 1, 0x23});       // beyond
    QTest::newRow("runs crossing or beyond the width")
        << 4 << 2 << crossing << image565(4, 2, {0, 0, 0x11, 0x12, 0, 0, 0, 0}) << false;

    QVector<quint16> unknown = runLengthRow({});
    unknown += runLengthRow({0xC1, 1, 0x31, 0x99, 0xC1, 1, 0x32});
    unknown += runLengthRow({0xC1, 2, 0x41, 0x42});
    QTest::newRow("unknown code ends its row")
        << 2 << 2 << unknown << image565(2, 2, {0x31, 0, 0x41, 0x42}) << false;

    QTest::newRow("width 1001") << 1001 << 1 << runLengthRows(patternImage(1, 1)) << QImage()
                                << false;
    QTest::newRow("height 1001") << 1 << 1001 << runLengthRows(patternImage(1, 1)) << QImage()
                                 << false;
    QTest::newRow("too few rows leave black")
        << 2 << 2 << (runLengthRow({}) + runLengthRow({0xC1, 2, 1, 2}))
        << image565(2, 2, {1, 2, 0, 0}) << false;
    QTest::newRow("row longer than the data")
        << 2 << 1 << QVector<quint16>{1, 0, 60000, 0xC1, 2, 7} << image565(2, 1, {7, 0}) << false;
    QTest::newRow("zero size") << 0 << 0 << runLengthRow({}) << QImage() << true;
}

void TestTWILRead::runLength()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QVector<quint16>, runData);
    QFETCH(QImage, expected);
    QFETCH(bool, empty);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.setFileType2();
    const QImage before = patternImage(3, 3);
    b.add(runLengthRecord(3, 3, 0, 0, runLengthRows(before)));
    b.add(runLengthRecord(width, height, 12, -12, runData));
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    wil.FileType = 2;
    wil.LoadIndex(wil.IndexFileName);
    QCOMPARE(wil.ImageCount(), 2);
    QCOMPARE(pixels565(wil.LoadBitmap(0)), pixels565(before));
    const QImage &img = wil.LoadBitmap(1);
    if (empty) {
        QVERIFY(wil.lastDecodeOk());
        QCOMPARE(img.size(), QSize(0, 0));
    } else if (expected.isNull()) {
        QVERIFY(!wil.lastDecodeOk());
        QCOMPARE(pixels565(img), pixels565(before));
    } else {
        QVERIFY(wil.lastDecodeOk());
        QCOMPARE(pixels565(img), pixels565(expected));
        QCOMPARE(wil.px, 12);
        QCOMPARE(wil.py, -12);
    }
}

void TestTWILRead::runLengthIndex()
{
    // Leading negative entries are placeholders; a later 0 is an empty image.
    QTemporaryDir dir;
    LibraryBuilder b;
    b.setFileType2(2);
    const QImage img = patternImage(5, 4);
    b.add(runLengthRecord(5, 4, 1, 2, runLengthRows(img)));
    b.addEntry(0);
    b.addEntry(-7);
    b.add(runLengthRecord(3, 1, 0, 0, runLengthRows(patternImage(3, 1)), 100000)); // too long
    auto o = openBuilt(dir, b);
    TWIL &wil = *o->wil;
    wil.FileType = 2;
    wil.LoadIndex(wil.IndexFileName);
    QCOMPARE(wil.OffSet, 2);
    QCOMPARE(wil.ImageCount(), 4);
    QCOMPARE(wil.Offsets.size(), 6);
    QCOMPARE(pixels565(wil.LoadBitmap(0)), pixels565(img));
    QCOMPARE(wil.inspectRecord(0).kind, RecordInfo::RunLength);
    QCOMPARE(wil.LoadBitmap(1).size(), QSize(0, 0));
    QCOMPARE(wil.LoadBitmap(2).size(), QSize(0, 0));
    QVERIFY(wil.lastDecodeOk());
    wil.LoadBitmap(0);
    wil.LoadBitmap(3);
    QVERIFY(!wil.lastDecodeOk());
    QCOMPARE(pixels565(wil.currentBitmap()), pixels565(img));
}

void TestTWILRead::drawImage_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("fromTop");
    QTest::addColumn<QRect>("drawn");
    QTest::newRow("shrunk in x only")
        << QSize(80, 20) << QRect(10, 30, 50, 40) << true << QRect(10, 30, 50, 20);
    QTest::newRow("never enlarged")
        << QSize(8, 4) << QRect(0, 0, 50, 40) << true << QRect(0, 0, 8, 4);
    QTest::newRow("shrunk in both")
        << QSize(80, 60) << QRect(0, 0, 20, 30) << true << QRect(0, 0, 20, 30);
    QTest::newRow("from the bottom")
        << QSize(8, 4) << QRect(5, 50, 50, 40) << false << QRect(5, 46, 8, 4);
}

void TestTWILRead::drawImage()
{
    QFETCH(QSize, image);
    QFETCH(QRect, rect);
    QFETCH(bool, fromTop);
    QFETCH(QRect, drawn);
    // Left half black (see-through), right half red.
    QImage src(image, QImage::Format_RGB16);
    src.fill(QColor(Qt::red));
    for (int y = 0; y < src.height(); ++y)
        memset(src.scanLine(y), 0, src.width());
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(src, 0, 0));
    auto o = openBuilt(dir, b);

    QImage canvas(100, 100, QImage::Format_RGB32);
    canvas.fill(qRgb(0, 0, 255));
    {
        QPainter p(&canvas);
        o->wil->DrawImage(p, rect, fromTop, 0);
    }
    const int middle = drawn.left() + drawn.width() / 2;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            if (drawn.contains(x, y) && qAbs(x - middle) <= 1)
                continue; // where the halves meet after shrinking
            const bool red = drawn.contains(x, y) && x > middle;
            if (canvas.pixel(x, y) != (red ? qRgb(255, 0, 0) : qRgb(0, 0, 255)))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        }
    }
}

void TestTWILRead::getBitmapNeedsLoadBmp()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(8, 2), 0, 0));
    auto o = openBuilt(dir, b);
    QVERIFY(o->wil->GetBitmap(0));
    o->wil->LibType = TWIL::ltUseCache;
    QCOMPARE(o->wil->GetBitmap(0), nullptr);
    QImage canvas(10, 10, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    o->wil->DrawImage(p, canvas.rect(), true, 0);
    p.end();
    QCOMPARE(canvas.pixel(3, 0), qRgb(255, 255, 255));
}

void TestTWILRead::baseFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("base");
    QTest::newRow("with extension") << "/a/b/pic.wil"
                                    << "pic";
    QTest::newRow("no extension") << "/a/b/pic"
                                  << "pic";
    QTest::newRow("extension twice") << "x.wil.wil"
                                     << "x";
    QTest::newRow("dot in folder") << "/a.b/pic"
                                   << "pic";
    QTest::newRow("other dots") << "/a/Prguse.v2.wil"
                                << "Prguse.v2";
}

void TestTWILRead::baseFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, base);
    QCOMPARE(::BaseFileName(path), base);
}

void TestTWILRead::encodeBitmap16_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("rowBytes");
    QTest::newRow("3 wide, padded") << patternImage(3, 2) << 8;
    QTest::newRow("4 wide") << patternImage(4, 3) << 8;
    QTest::newRow("no pixels") << QImage() << 0;
}

void TestTWILRead::encodeBitmap16()
{
    QFETCH(QImage, image);
    QFETCH(int, rowBytes);
    const QByteArray bmp = ::encodeBitmap16(image);
    if (image.isNull()) {
        QVERIFY(bmp.isEmpty());
        return;
    }
    const int imageSize = rowBytes * image.height();
    QCOMPARE(bmp.size(), 66 + imageSize);
    QCOMPARE(bmp.left(2), QByteArray("BM"));
    QCOMPARE(int32At(bmp, 2), 66 + imageSize);
    QCOMPARE(int32At(bmp, 10), 66);
    QCOMPARE(int32At(bmp, 14), 40);
    QCOMPARE(int32At(bmp, 18), image.width());
    QCOMPARE(int32At(bmp, 22), image.height());
    QCOMPARE(int16At(bmp, 26), 1);
    QCOMPARE(int16At(bmp, 28), 16);
    QCOMPARE(int32At(bmp, 30), 3);
    QCOMPARE(int32At(bmp, 34), imageSize);
    QCOMPARE(int32At(bmp, 54), 0xF800);
    QCOMPARE(int32At(bmp, 58), 0x07E0);
    QCOMPARE(int32At(bmp, 62), 0x001F);
    // Bottom row first.
    QCOMPARE(quint16(int16At(bmp, 66)),
             reinterpret_cast<const quint16 *>(image.constScanLine(image.height() - 1))[0]);
    QImage back;
    QVERIFY(back.loadFromData(bmp, "BMP"));
    QCOMPARE(pixels565(back), pixels565(image));
}

void TestTWILRead::damagedFilesNeverCrash()
{
    // Random damage to a library of every layout: opening and fetching must stay bounded.
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(16, 8), 1, 1));
    b.add(uncompressed16Record(patternImage(8, 4), 2, 2));
    b.add(uncompressed8Record(4, 2, 3, 3, QByteArray(8, '\x05')));
    b.add(emptyRecord());
    b.add(compressedRecord(patternImage(12, 12), 4, 4, 0));
    const QByteArray lib = b.library();
    const QByteArray idx = b.index();
    QTemporaryDir dir;
    QRandomGenerator rng(20240601);
    for (int round = 0; round < 400; ++round) {
        QByteArray l = lib, x = idx;
        QByteArray &target = round % 3 == 0 ? x : l;
        const int hits = 1 + int(rng.bounded(8));
        for (int i = 0; i < hits; ++i) {
            const int at = round % 3 == 0 ? int(rng.bounded(x.size()))
                                          : 1080 + int(rng.bounded(l.size() - 1080));
            target[at] = char(rng.bounded(256));
        }
        if (round % 7 == 0)
            l.chop(int(rng.bounded(200)));
        QVERIFY(writeFile(dir.filePath("d.wil"), l));
        QVERIFY(writeFile(dir.filePath("d.WIX"), x));
        TWIL wil;
        wil.setNotifier([](const QString &) {});
        wil.FileName = dir.filePath("d.wil");
        wil.Open();
        QVERIFY(wil.ImageCount() <= 5 || round % 3 == 0);
        for (int i = -1; i <= wil.ImageCount(); ++i) {
            wil.inspectRecord(i);
            wil.LoadBitmap(i);
            QVERIFY(qint64(wil.Width) * wil.Height <= 1 << 22);
        }
    }
}

void TestTWILRead::readOnlyFallback()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(4, 2), 0, 0));
    const QString path = b.write(dir.path());
    {
        TWIL wil;
        wil.FileName = path;
        wil.OpenReadOnly();
        QVERIFY(wil.isOpen());
        QVERIFY(wil.isReadOnly());
        QString why;
        QVERIFY(!wil.canEdit(&why));
        QVERIFY(why.contains(path));
        QCOMPARE(wil.LoadBitmap(0).size(), QSize(4, 2));
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    QFile probe(path);
    if (probe.open(QIODevice::ReadWrite))
        QSKIP("this user may write to read-only files");
    TWIL wil;
    wil.FileName = path;
    wil.Open();
    QVERIFY(wil.isOpen());
    QVERIFY(wil.isReadOnly());
    QCOMPARE(wil.LoadBitmap(0).size(), QSize(4, 2));
}

QTEST_GUILESS_MAIN(TestTWILRead)
#include "tst_twilread.moc"
