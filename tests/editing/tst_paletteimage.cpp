// Drawing pictures into the library palette: the nearest colour is exact (checked against a
// plain search over all entries), ties go to the lowest index, and records are laid out as
// the 8-bit uncompressed layout wants.

#include "paletteimage.h"

#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

namespace {

int plainNearest(const QVector<QRgb> &table, QRgb c)
{
    int best = INT_MAX, index = 0;
    for (int e = 0; e < table.size(); ++e) {
        const int dr = qRed(c) - qRed(table[e]);
        const int dg = qGreen(c) - qGreen(table[e]);
        const int db = qBlue(c) - qBlue(table[e]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < best) {
            best = d;
            index = e;
        }
    }
    return index;
}

QVector<QRgb> randomPalette(quint32 seed)
{
    QRandomGenerator rng(seed);
    QVector<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table << (rng.generate() | 0xFF000000u);
    return table;
}

// Like the libraries' palettes: a few system colours, many near-duplicates, black twice.
QVector<QRgb> gamePalette()
{
    QVector<QRgb> table{qRgb(0, 0, 0),   qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
                        qRgb(0, 0, 128), qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192)};
    for (int i = 8; i < 246; ++i)
        table << qRgb((i * 37) % 256, (i * 11) % 256, i); // duplicates of red and green levels
    table << qRgb(0, 0, 0);                               // a second black
    while (table.size() < 256)
        table << qRgb(255, 255, 255);
    return table;
}

QVector<QRgb> greyRamp(int step)
{
    QVector<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table << qRgb((i * step) % 256, (i * step) % 256, (i * step) % 256);
    return table;
}

} // namespace

class TestPaletteImage : public QObject
{
    Q_OBJECT
private slots:
    void nearestIsExact_data();
    void nearestIsExact();
    void ties();
    void convertSizes_data();
    void convertSizes();
    void recordLayout_data();
    void recordLayout();
    void translucentOverBlack();
    void recordLimits();
};

void TestPaletteImage::nearestIsExact_data()
{
    QTest::addColumn<QVector<QRgb>>("table");
    QTest::newRow("random") << randomPalette(1);
    QTest::newRow("random 2") << randomPalette(77);
    QTest::newRow("game-like") << gamePalette();
    QTest::newRow("grey ramp with repeats") << greyRamp(3);
    QTest::newRow("short table") << QVector<QRgb>{qRgb(10, 20, 30), qRgb(200, 100, 0)};
}

void TestPaletteImage::nearestIsExact()
{
    QFETCH(QVector<QRgb>, table);
    PaletteImage palette(table);
    QRandomGenerator rng(42);
    // Random colours, each asked twice (the second answer comes from the cache), and the
    // corners of the colour cube.
    QVector<QRgb> colours{qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 0, 0), qRgb(0, 255, 255)};
    for (int i = 0; i < 20000; ++i)
        colours << (rng.generate() | 0xFF000000u);
    for (int pass = 0; pass < 2; ++pass)
        for (QRgb c : colours)
            if (palette.nearest(c) != plainNearest(table, c))
                QFAIL(qPrintable(QStringLiteral("colour %1 pass %2: %3, expected %4")
                                     .arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                     .arg(pass)
                                     .arg(palette.nearest(c))
                                     .arg(plainNearest(table, c))));
}

void TestPaletteImage::ties()
{
    // Black goes to the first black entry; of two equally near entries the lower index wins.
    QVector<QRgb> table(256, qRgb(255, 255, 255));
    table[5] = qRgb(0, 0, 0);
    table[9] = qRgb(0, 0, 0);
    table[20] = qRgb(100, 0, 0);
    table[10] = qRgb(120, 0, 0);
    PaletteImage palette(table);
    QCOMPARE(int(palette.nearest(qRgb(0, 0, 0))), 5);
    QCOMPARE(int(palette.nearest(qRgb(110, 0, 0))), 10);
    QCOMPARE(int(palette.nearest(qRgb(109, 0, 0))), 20);
}

void TestPaletteImage::convertSizes_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("converted");
    QTest::newRow("5 x 3") << QSize(5, 3) << QSize(8, 3);
    QTest::newRow("4 x 2") << QSize(4, 2) << QSize(4, 2);
    QTest::newRow("1 x 1") << QSize(1, 1) << QSize(4, 1);
    QTest::newRow("97 x 1") << QSize(97, 1) << QSize(100, 1);
    QTest::newRow("no picture") << QSize() << QSize(4, 1);
}

void TestPaletteImage::convertSizes()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, converted);
    const QVector<QRgb> table = gamePalette();
    PaletteImage palette(table);
    QImage source;
    if (picture.isValid()) {
        source = QImage(picture, QImage::Format_RGB32);
        source.fill(qRgb(128, 0, 0));
    }
    const QImage image = palette.convert(source);
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(image.size(), converted);
    QCOMPARE(image.colorCount(), 256);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool inside = x < source.width() && y < source.height();
            QCOMPARE(int(image.pixelIndex(x, y)), inside ? 1 : 0);
        }
}

void TestPaletteImage::recordLayout_data()
{
    QTest::addColumn<bool>("second");
    QTest::newRow("8-byte header") << false;
    QTest::newRow("second placement") << true;
}

void TestPaletteImage::recordLayout()
{
    QFETCH(bool, second);
    const QVector<QRgb> table = gamePalette();
    PaletteImage palette(table);
    // 5 x 3: top row grey, middle row red, bottom row green.
    QImage picture(5, 3, QImage::Format_RGB32);
    picture.fill(qRgb(192, 192, 192));
    for (int x = 0; x < 5; ++x) {
        picture.setPixel(x, 1, qRgb(128, 0, 0));
        picture.setPixel(x, 2, qRgb(0, 128, 0));
    }
    const QByteArray record = palette.makeRecord(picture, -12, 34, second);
    const int header = second ? 12 : 8;
    QCOMPARE(record.size(), header + 8 * 3);
    const auto *p = reinterpret_cast<const uchar *>(record.constData());
    QCOMPARE(qFromLittleEndian<quint16>(p), quint16(8));
    QCOMPARE(qFromLittleEndian<quint16>(p + 2), quint16(3));
    QCOMPARE(qFromLittleEndian<qint16>(p + 4), qint16(-12));
    QCOMPARE(qFromLittleEndian<qint16>(p + 6), qint16(34));
    if (second) {
        QCOMPARE(qFromLittleEndian<qint16>(p + 8), qint16(-12));
        QCOMPARE(qFromLittleEndian<qint16>(p + 10), qint16(34));
    }
    // Bottom row first, each row 8 indices, the three added columns black (index 0).
    const QByteArray expected = QByteArray("\x02\x02\x02\x02\x02\x00\x00\x00"
                                           "\x01\x01\x01\x01\x01\x00\x00\x00"
                                           "\x07\x07\x07\x07\x07\x00\x00\x00",
                                           24);
    QCOMPARE(record.mid(header), expected);
}

void TestPaletteImage::translucentOverBlack()
{
    // A picture with alpha is drawn over black: transparent pixels become black, half
    // transparent white becomes mid grey.
    const QVector<QRgb> table = greyRamp(1);
    PaletteImage palette(table);
    QImage picture(4, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(255, 255, 255, 0));
    picture.setPixel(1, 0, qRgba(255, 255, 255, 128));
    picture.setPixel(2, 0, qRgba(200, 200, 200, 255));
    picture.setPixel(3, 0, qRgba(10, 10, 10, 255));
    const QImage image = palette.convert(picture);
    QCOMPARE(int(image.pixelIndex(0, 0)), 0);
    QVERIFY(qAbs(int(image.pixelIndex(1, 0)) - 128) <= 1);
    QCOMPARE(int(image.pixelIndex(2, 0)), 200);
    QCOMPARE(int(image.pixelIndex(3, 0)), 10);
}

void TestPaletteImage::recordLimits()
{
    QCOMPARE(PaletteImage::recordWidth(5), 8);
    QCOMPARE(PaletteImage::recordWidth(0), 4);
    QVERIFY(PaletteImage::fitsRecord(QSize(65532, 65535)));
    QVERIFY(!PaletteImage::fitsRecord(QSize(65533, 1)));
    QVERIFY(!PaletteImage::fitsRecord(QSize(1, 65536)));
}

QTEST_GUILESS_MAIN(TestPaletteImage)
#include "tst_paletteimage.moc"
