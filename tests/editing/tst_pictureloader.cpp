// Loading pictures for import: the bitmap variants of the shared BMP suite (good ones load with
// their size and colours, bad ones are refused or loaded but never crash), zero-length files,
// and transparency turned into black.

#include "pictureloader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

QString suiteFolder()
{
    const QString root = qEnvironmentVariable("WIL_TESTDATA");
    return root.isEmpty() ? QString() : QDir(root).filePath(QStringLiteral("bmpsuite"));
}

void addSuiteRows(const QString &subfolder)
{
    QTest::addColumn<QString>("path");
    const QString folder = suiteFolder();
    if (folder.isEmpty() || !QDir(folder).exists(subfolder)) {
        QTest::newRow("suite absent") << QString();
        return;
    }
    const QDir dir(QDir(folder).filePath(subfolder));
    for (const QString &name : dir.entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(subfolder + u'/' + name)) << dir.filePath(name);
}

// The size a bitmap file's header gives (the OS/2 header has 16-bit fields).
QSize headerSize(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray h = f.read(26);
    if (h.size() < 26)
        return {};
    const auto *p = reinterpret_cast<const uchar *>(h.constData());
    if (qFromLittleEndian<quint32>(p + 14) == 12)
        return QSize(qFromLittleEndian<qint16>(p + 18), qAbs(qFromLittleEndian<qint16>(p + 20)));
    return QSize(qFromLittleEndian<qint32>(p + 18), qAbs(qFromLittleEndian<qint32>(p + 22)));
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT
private slots:
    void goodBitmaps_data() { addSuiteRows(QStringLiteral("g")); }
    void goodBitmaps();
    void otherBitmaps_data();
    void otherBitmaps();
    void narrowChannels_data();
    void narrowChannels();
    void emptyAndMissing();
    void damagedOrTooLarge_data();
    void damagedOrTooLarge();
    void transparentIsBlack();
};

void TestPictureLoader::goodBitmaps()
{
    QFETCH(QString, path);
    if (path.isEmpty())
        QSKIP("the BMP suite is not there");
    const LoadedPicture picture = loadPicture(path);
    QVERIFY2(picture.status == LoadedPicture::Loaded, qPrintable(picture.error));
    QCOMPARE(picture.image.format(), QImage::Format_RGB32);
    QCOMPARE(picture.image.size(), headerSize(path));
}

void TestPictureLoader::otherBitmaps_data()
{
    addSuiteRows(QStringLiteral("q"));
    const QString folder = suiteFolder();
    if (folder.isEmpty() || !QDir(folder).exists(QStringLiteral("b")))
        return; // the row "suite absent" is already there
    const QDir dir(QDir(folder).filePath(QStringLiteral("b")));
    for (const QString &name : dir.entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(QStringLiteral("b/") + name)) << dir.filePath(name);
}

void TestPictureLoader::otherBitmaps()
{
    QFETCH(QString, path);
    if (path.isEmpty())
        QSKIP("the BMP suite is not there");
    // Questionable and bad files load or are refused with a reason; either way nothing
    // crashes and a loaded picture is usable.
    const LoadedPicture picture = loadPicture(path);
    if (picture.status == LoadedPicture::Loaded) {
        QVERIFY(!picture.image.isNull());
        QCOMPARE(picture.image.format(), QImage::Format_RGB32);
    } else {
        QCOMPARE(picture.status, LoadedPicture::Unreadable);
        QVERIFY(!picture.error.isEmpty());
    }
}

// A one-pixel 16-bit bitmap file; masks empty for the 5-5-5 layout without bit fields.
QByteArray bitmap16(quint16 pixel, const QList<quint32> &masks)
{
    const int offset = masks.isEmpty() ? 54 : 66;
    QByteArray bmp(offset + 4, '\0');
    auto *h = reinterpret_cast<uchar *>(bmp.data());
    h[0] = 'B';
    h[1] = 'M';
    qToLittleEndian<quint32>(quint32(bmp.size()), h + 2);
    qToLittleEndian<quint32>(quint32(offset), h + 10);
    qToLittleEndian<quint32>(40, h + 14);
    qToLittleEndian<qint32>(1, h + 18);
    qToLittleEndian<qint32>(1, h + 22);
    qToLittleEndian<quint16>(1, h + 26);
    qToLittleEndian<quint16>(16, h + 28);
    qToLittleEndian<quint32>(masks.isEmpty() ? 0 : 3, h + 30);
    qToLittleEndian<quint32>(4, h + 34);
    for (int i = 0; i < masks.size(); ++i)
        qToLittleEndian<quint32>(masks[i], h + 54 + 4 * i);
    qToLittleEndian<quint16>(pixel, h + offset);
    return bmp;
}

void TestPictureLoader::narrowChannels_data()
{
    // Channels of fewer than 8 bits come in over the full range, as RGB565 is shown: white is
    // white, not (248, 252, 248).
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QRgb>("expected");
    const QList<quint32> rgb565{0xF800, 0x07E0, 0x001F};
    QTest::newRow("565 white") << bitmap16(0xFFFF, rgb565) << qRgb(255, 255, 255);
    QTest::newRow("565 as Qt shows RGB565") << bitmap16(0xA815, rgb565) << qRgb(173, 0, 173);
    QTest::newRow("565 darkest") << bitmap16(0x0821, rgb565) << qRgb(8, 4, 8);
    QTest::newRow("555 white") << bitmap16(0x7FFF, {}) << qRgb(255, 255, 255);
    QTest::newRow("2-3-1 bits") << bitmap16(0x4000 | 0x0800 | 0x0400, {0xC000, 0x3800, 0x0400})
                                << qRgb(85, 36, 255);
}

void TestPictureLoader::narrowChannels()
{
    QFETCH(QByteArray, file);
    QFETCH(QRgb, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile f(dir.filePath("p.bmp"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    const LoadedPicture picture = loadPicture(f.fileName());
    QCOMPARE(picture.status, LoadedPicture::Loaded);
    QCOMPARE(picture.image.pixel(0, 0), expected);
}

void TestPictureLoader::emptyAndMissing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile empty(dir.filePath("empty.bmp"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QCOMPARE(loadPicture(dir.filePath("empty.bmp")).status, LoadedPicture::Empty);
    QCOMPARE(loadPicture(dir.filePath("none.bmp")).status, LoadedPicture::Unreadable);
    QFile junk(dir.filePath("junk.bmp"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("BM this is no bitmap");
    junk.close();
    QCOMPARE(loadPicture(dir.filePath("junk.bmp")).status, LoadedPicture::Unreadable);
    const QImage black = blackPixel();
    QCOMPARE(black.size(), QSize(1, 1));
    QCOMPARE(black.pixel(0, 0), qRgb(0, 0, 0));
}

// The bitmap file Qt writes for `image`.
QByteArray bitmapFile(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

void TestPictureLoader::damagedOrTooLarge_data()
{
    // A damaged or forged picture is refused with its name, never filled with black rows; one
    // beyond 8192 x 8192 is refused before its pixels are read.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("refusal"); // empty: it loads
    const QImage sprite = QImage(32, 16, QImage::Format_RGB32);
    const QByteArray whole = bitmapFile(sprite);
    QTest::newRow("whole") << whole << QString();
    QTest::newRow("last byte missing") << whole.chopped(1) << "damaged";
    QTest::newRow("half the rows missing") << whole.chopped(whole.size() / 2 - 30) << "damaged";
    {
        QByteArray topDown = whole;
        qToLittleEndian<qint32>(-16, topDown.data() + 22);
        QTest::newRow("top row first, rows missing") << topDown.chopped(100) << "damaged";
    }
    {
        QByteArray indexed = bitmapFile(sprite.convertToFormat(QImage::Format_Indexed8));
        QTest::newRow("8-bit, rows missing") << indexed.chopped(64) << "damaged";
    }
    {
        // 102 bytes that claim 16000 x 16000 pixels.
        QByteArray forged = whole.left(102);
        qToLittleEndian<qint32>(16000, forged.data() + 18);
        qToLittleEndian<qint32>(16000, forged.data() + 22);
        QTest::newRow("forged 16000 x 16000") << forged << "16000 x 16000 pixels";
    }
    QTest::newRow("8192 wide loads") << bitmapFile(QImage(8192, 1, QImage::Format_RGB32))
                                     << QString();
    QTest::newRow("8193 wide") << bitmapFile(QImage(8193, 1, QImage::Format_RGB32))
                               << "8193 x 1 pixels";
    {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(1, 8193, QImage::Format_RGB32).save(&buffer, "PNG");
        QTest::newRow("8193 high, not a bitmap") << png << "1 x 8193 pixels";
    }
}

void TestPictureLoader::damagedOrTooLarge()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("pic.bmp"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    const LoadedPicture picture = loadPicture(path);
    if (refusal.isEmpty()) {
        QVERIFY2(picture.status == LoadedPicture::Loaded, qPrintable(picture.error));
        return;
    }
    QCOMPARE(picture.status, LoadedPicture::Unreadable);
    QVERIFY(picture.image.isNull());
    QVERIFY2(picture.error.contains(path) && picture.error.contains(refusal),
             qPrintable(picture.error));
}

void TestPictureLoader::transparentIsBlack()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 0));
    image.setPixel(1, 0, qRgba(0, 255, 0, 255));
    QVERIFY(image.save(dir.filePath("alpha.png")));
    const LoadedPicture picture = loadPicture(dir.filePath("alpha.png"));
    QCOMPARE(picture.status, LoadedPicture::Loaded);
    QCOMPARE(picture.image.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(picture.image.pixel(1, 0), qRgb(0, 255, 0));
}

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
