// The fixture writer itself: the other tests trust its bytes.
#include "wilfixture.h"

#include <QTemporaryDir>
#include <QTest>
#include <zlib.h>

using namespace wilfixture;

class TestWilFixture : public QObject
{
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void compressedBlockInflates_data();
    void compressedBlockInflates();
    void writesBothFiles();
};

void TestWilFixture::layout_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::newRow("table at 48") << 48;
    QTest::newRow("table at 52") << 52;
}

void TestWilFixture::layout()
{
    QFETCH(int, tableStart);
    LibraryBuilder b;
    b.setTableStart(tableStart, 0xDEADBEEF);
    b.add(emptyRecord());
    b.add(uncompressed16Record(patternImage(5, 3), -10, 20));
    const QByteArray lib = b.library();
    const QByteArray idx = b.index();
    QCOMPARE(lib.left(36), QByteArray("#ILIB v1.0-ORBENA Entertainment inc."));
    QCOMPARE(int32At(lib, 44), 2);
    QCOMPARE(int32At(lib, 48), 256);
    QCOMPARE(int32At(lib, 52), 1024);
    QCOMPARE(lib.size(), 1080 + 9 + 8 + 8 * 3 * 2);
    QCOMPARE(idx.size(), tableStart + 8);
    QCOMPARE(int32At(idx, 44), 2);
    if (tableStart == 52)
        QCOMPARE(quint32(int32At(idx, 48)), 0xDEADBEEFu);
    QCOMPARE(int32At(idx, tableStart), 1080);
    QCOMPARE(int32At(idx, tableStart + 4), 1089);
    QCOMPARE(int16At(lib, 1089), 8); // rounded width
    QCOMPARE(int16At(lib, 1089 + 4), -10);
}

void TestWilFixture::compressedBlockInflates_data()
{
    QTest::addColumn<int>("method");
    QTest::newRow("deflate") << 8;
    QTest::newRow("stored") << 0;
}

void TestWilFixture::compressedBlockInflates()
{
    QFETCH(int, method);
    const QImage img = patternImage(8, 4);
    const QByteArray rec = compressedRecord(img, 3, 4, quint16(method));
    const quint32 blockLength = quint32(int32At(rec, 12));
    QCOMPARE(qint64(rec.size()), 16 + qint64(blockLength));
    QCOMPARE(int16At(rec, 16), qint16(method));
    QByteArray pixels(8 * 4 * 2, '\0');
    const QByteArray payload = rec.mid(22);
    if (method == 0) {
        pixels = payload;
    } else {
        z_stream z{};
        QCOMPARE(inflateInit2(&z, -15), Z_OK);
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(payload.constData()));
        z.avail_in = uInt(payload.size());
        z.next_out = reinterpret_cast<Bytef *>(pixels.data());
        z.avail_out = uInt(pixels.size());
        QCOMPARE(inflate(&z, Z_FINISH), Z_STREAM_END);
        inflateEnd(&z);
    }
    QCOMPARE(quint32(int32At(rec, 18)),
             quint32(crc32(0, reinterpret_cast<const Bytef *>(pixels.constData()), 64)));
    // Bottom row first.
    QCOMPARE(quint16(int16At(pixels, 0)),
             reinterpret_cast<const quint16 *>(img.constScanLine(3))[0]);
}

void TestWilFixture::writesBothFiles()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(emptyRecord());
    const QString lib = b.write(dir.path(), "a", ".wix");
    QCOMPARE(readFile(lib), b.library());
    QCOMPARE(readFile(dir.filePath("a.wix")), b.index());
}

QTEST_GUILESS_MAIN(TestWilFixture)
#include "tst_wilfixture.moc"
