// Loading pictures for import: the bitmap variants of the shared BMP suite (good ones load with
// their size and colours, bad ones are refused or loaded but never crash), zero-length files,
// and transparency turned into black.

#include "pictureloader.h"

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
    void emptyAndMissing();
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
