// Adding one picture: appended, or inserted before an image; the operations and the window.

#include "addone.h"
#include "addoneform.h"
#include "edittestsupport.h"
#include "fakeeditorhost.h"
#include "paletteimage.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace edittest;
using wilfixture::LibraryBuilder;

namespace {

// Every colour different, entry 0 black.
QVector<QRgb> testPalette()
{
    QVector<QRgb> table{qRgb(0, 0, 0)};
    for (int i = 1; i < 256; ++i)
        table.append(qRgb(i, (i * 7) & 0xFF, 255 - i));
    return table;
}

// A picture drawn with palette colours only (none black), so the palette holds it exactly.
QImage palettePicture(int width, int height)
{
    const QVector<QRgb> table = testPalette();
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, table[1 + (y * width + x) % 255]);
    return image;
}

LibraryBuilder builderFor(const QList<Sample> &images, int tableStart = 48)
{
    LibraryBuilder b;
    b.setPalette(testPalette()).setTableStart(tableStart, 0x5A5A5A5Au);
    for (const Sample &s : images)
        b.add(wilfixture::compressedRecord(s.image, s.px, s.py));
    return b;
}

// `images` with `record` put in as image `at`: the pair the operation must leave.
Pair withRecord(const QList<Sample> &images, int at, const QByteArray &record, int tableStart = 48)
{
    LibraryBuilder b;
    b.setPalette(testPalette()).setTableStart(tableStart, 0x5A5A5A5Au);
    for (int i = 0; i <= images.size(); ++i) {
        if (i == at)
            b.add(record);
        if (i < images.size())
            b.add(wilfixture::compressedRecord(images[i].image, images[i].px, images[i].py));
    }
    return {b.library(), b.index()};
}

QByteArray eightBitRecord(const QImage &picture, qint16 px, qint16 py)
{
    PaletteImage palette(testPalette());
    return palette.makeRecord(picture, px, py, false);
}

void reopen(TWIL &wil)
{
    const QString name = wil.FileName;
    wil.Close();
    wil.FileName = name;
    wil.Open();
}

} // namespace

class TestAddOne : public QObject
{
    Q_OBJECT
  private slots:
    void insert_data();
    void insert();
    void insertPictureWithoutPixels();
    void append_data();
    void append();
    void insertFailureRestores();
    void windowRefuses_data();
    void windowRefuses();
    void windowAdds_data();
    void windowAdds();
    void windowReportsFailure();
};

void TestAddOne::insert_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("position"); // where the picture lands
    QTest::addColumn<int>("tableStart");
    QTest::newRow("into an empty library") << 0 << 0 << 0 << 48;
    QTest::newRow("before image 0") << 3 << 0 << 0 << 48;
    QTest::newRow("in the middle") << 4 << 2 << 2 << 48;
    QTest::newRow("before the last") << 3 << 2 << 2 << 48;
    QTest::newRow("at the end") << 3 << 3 << 3 << 48;
    QTest::newRow("past the end") << 3 << 9 << 3 << 48;
    QTest::newRow("table at 52") << 3 << 1 << 1 << 52;
}

// The picture becomes an 8-bit record of palette indices at its place; the records behind it
// move as they are, and the images read back one for one.
void TestAddOne::insert()
{
    QFETCH(int, count);
    QFETCH(int, at);
    QFETCH(int, position);
    QFETCH(int, tableStart);
    QTemporaryDir dir;
    const QList<Sample> images = samples(count);
    const QString lib = builderFor(images, tableStart).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    const QList<Sample> shown = decodeAll(host.component);
    const QImage pic = palettePicture(7, 3);
    QString error;
    QVERIFY2(insertOnePicture(host.component, pic, -5, 12, at, &error), qPrintable(error));

    QCOMPARE(readPair(lib, indexOf(lib)),
             withRecord(images, position, eightBitRecord(pic, -5, 12), tableStart));
    reopen(host.component);
    QCOMPARE(host.component.ImageCount(), count + 1);
    for (int n = 0; n <= count; ++n) {
        const QImage &got = host.component.LoadBitmap(n);
        QVERIFY(host.component.lastDecodeOk());
        if (n == position) {
            QCOMPARE(host.component.inspectRecord(n).kind, RecordInfo::Uncompressed8);
            QCOMPARE(got, padded(pic)); // 8 wide, the eighth column black
            QCOMPARE(host.component.px, -5);
            QCOMPARE(host.component.py, 12);
        } else {
            const Sample &s = shown[n < position ? n : n - 1];
            QCOMPARE(got, s.image);
            QCOMPARE(host.component.px, int(s.px));
        }
    }
}

void TestAddOne::insertPictureWithoutPixels()
{
    QTemporaryDir dir;
    const QList<Sample> images = samples(2);
    const QString lib = builderFor(images).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    QString error;
    QVERIFY2(insertOnePicture(host.component, QImage(), 3, 4, 1, &error), qPrintable(error));
    QCOMPARE(readPair(lib, indexOf(lib)), withRecord(images, 1, wilfixture::emptyRecord()));
}

void TestAddOne::append_data()
{
    QTest::addColumn<QSize>("size"); // empty: a picture without pixels
    QTest::addColumn<bool>("emptyRecord");
    QTest::newRow("picture") << QSize(7, 3) << false;
    QTest::newRow("one pixel wide") << QSize(1, 5) << true;
    QTest::newRow("one pixel high") << QSize(5, 1) << true;
    QTest::newRow("without pixels") << QSize() << true;
}

// Appending goes through the component's own append: 16-bit pixels, or the empty record.
void TestAddOne::append()
{
    QFETCH(QSize, size);
    QFETCH(bool, emptyRecord);
    QTemporaryDir dir;
    const QList<Sample> images = samples(2);
    const QString lib = builderFor(images).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    const QImage pic = size.isValid() ? palettePicture(size.width(), size.height()) : QImage();
    QString error;
    QVERIFY2(appendOnePicture(host.component, pic, -1, 2, &error), qPrintable(error));
    const QByteArray record =
        emptyRecord ? wilfixture::emptyRecord() : wilfixture::uncompressed16Record(pic, -1, 2);
    QCOMPARE(readPair(lib, indexOf(lib)), withRecord(images, 2, record));
}

// A failure at any file operation puts both files back as they were (or completes).
void TestAddOne::insertFailureRestores()
{
    const QList<Sample> images = samples(4);
    const QImage pic = palettePicture(9, 5);
    const Pair newPair = withRecord(images, 1, eightBitRecord(pic, 1, 1));
    int points = 0;
    for (int k = 1;; ++k) {
        QTemporaryDir dir;
        const QString lib = builderFor(images).write(dir.path());
        const Pair oldPair = readPair(lib, indexOf(lib));
        FakeEditorHost host;
        QVERIFY(host.open(lib));
        bool ok = false;
        bool triggered = false;
        {
            FailAt failure(k);
            QString error;
            ok = insertOnePicture(host.component, pic, 1, 1, 1, &error);
            triggered = failure.triggered();
        }
        if (!triggered) {
            QVERIFY(ok);
            break;
        }
        ++points;
        QVERIFY2(readPair(lib, indexOf(lib)) == (ok ? newPair : oldPair),
                 qPrintable(QStringLiteral("failure at operation %1").arg(k)));
    }
    qInfo("%d failure points", points);
    QVERIFY(points >= 2);
}

void TestAddOne::windowRefuses_data()
{
    QTest::addColumn<QString>("picture"); // "": none chosen; "junk": not a picture; "missing"
    QTest::addColumn<QString>("message"); // the text, or a part of it naming the file
    QTest::newRow("no picture chosen") << ""
                                       << "请选择要添加图片文件!";
    QTest::newRow("not a picture") << "junk"
                                   << "junk.bmp";
    QTest::newRow("missing") << "missing"
                             << "missing.bmp";
}

// Refused: an error box, the window stays open, nothing written.
void TestAddOne::windowRefuses()
{
    QFETCH(QString, picture);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString lib = builderFor(samples(2)).write(dir.path());
    const Pair before = readPair(lib, indexOf(lib));
    if (picture == u"junk")
        QVERIFY(wilfixture::writeFile(dir.filePath(QStringLiteral("junk.bmp")), "no picture"));
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    TFormaddone form(host);
    form.show();
    if (!picture.isEmpty()) {
        host.scripted.fileAnswers.enqueue(dir.filePath(picture + QStringLiteral(".bmp")));
        QTest::mouseClick(form.suiButton1, Qt::LeftButton);
    }
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);
    QCOMPARE(host.scripted.messages.size(), 1);
    QVERIFY(lastIsError(host));
    QVERIFY2(host.scripted.lastMessage().contains(message),
             qPrintable(host.scripted.lastMessage()));
    QVERIFY(form.isVisible());
    QCOMPARE(readPair(lib, indexOf(lib)), before);
}

void TestAddOne::windowAdds_data()
{
    QTest::addColumn<bool>("insert");
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::addColumn<QString>("format");
    QTest::newRow("append, typed placement") << false << 1 << "-5"
                                             << "12" << 3 << -5 << 12 << "bmp";
    QTest::newRow("insert before the current") << true << 1 << "abc"
                                               << "7" << 1 << 0 << 7 << "bmp";
    QTest::newRow("insert, current past the end") << true << 10 << "70000"
                                                  << "-3" << 3 << 4464 << -3 << "bmp";
    QTest::newRow("append a PNG, transparent pixels black") << false << 0 << "1"
                                                            << "2" << 3 << 1 << 2 << "png";
    QTest::newRow("insert a PNG, transparent pixels black") << true << 0 << "1"
                                                            << "2" << 0 << 1 << 2 << "png";
}

void TestAddOne::windowAdds()
{
    QFETCH(bool, insert);
    QFETCH(int, current);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(int, position);
    QFETCH(int, px);
    QFETCH(int, py);
    QFETCH(QString, format);
    QTemporaryDir dir;
    const QList<Sample> images = samples(3);
    const QString lib = builderFor(images).write(dir.path());
    const QString picturePath = dir.filePath(QStringLiteral("pic.") + format);
    QImage pic = palettePicture(6, 4);
    if (format == u"png") {
        // Fully transparent pixels are the libraries' transparent colour, black.
        QImage withAlpha = pic.convertToFormat(QImage::Format_ARGB32);
        withAlpha.setPixel(0, 0, qRgba(255, 255, 255, 0));
        withAlpha.setPixel(5, 3, qRgba(12, 34, 56, 0));
        QVERIFY(withAlpha.save(picturePath, "PNG"));
        pic.setPixel(0, 0, qRgb(0, 0, 0));
        pic.setPixel(5, 3, qRgb(0, 0, 0));
    } else {
        QVERIFY(pic.save(picturePath, "BMP"));
    }
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    host.current = current;
    TFormaddone form(host);
    form.show();
    host.scripted.fileAnswers.enqueue(picturePath);
    QTest::mouseClick(form.suiButton1, Qt::LeftButton);
    QCOMPARE(QDir::fromNativeSeparators(form.EditPic->text()), picturePath);
    (insert ? form.RabtnInsert : form.Rabtnadd)->setChecked(true);
    form.editx->setText(x);
    form.EDITy->setText(y);
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);

    QCOMPARE(host.scripted.lastMessage(), QStringLiteral("加入图片成功！"));
    QVERIFY(!lastIsError(host));
    QVERIFY(!form.isVisible());
    // Reopened: the new count and image are there without any further step.
    QVERIFY(host.component.isOpen());
    QCOMPARE(host.component.ImageCount(), 4);
    QCOMPARE(host.component.LoadBitmap(position), padded(pic));
    QCOMPARE(host.component.px, px);
    QCOMPARE(host.component.py, py);
    QCOMPARE(host.component.inspectRecord(position).kind,
             insert ? RecordInfo::Uncompressed8 : RecordInfo::Uncompressed16);
}

void TestAddOne::windowReportsFailure()
{
    for (const bool insert : {false, true}) {
        QTemporaryDir dir;
        const QList<Sample> images = samples(3);
        const QString lib = builderFor(images).write(dir.path());
        const Pair before = readPair(lib, indexOf(lib));
        const QString picturePath = dir.filePath(QStringLiteral("pic.bmp"));
        QVERIFY(palettePicture(6, 4).save(picturePath, "BMP"));
        FakeEditorHost host;
        QVERIFY(host.open(lib));
        TFormaddone form(host);
        form.show();
        host.scripted.fileAnswers.enqueue(picturePath);
        QTest::mouseClick(form.suiButton1, Qt::LeftButton);
        (insert ? form.RabtnInsert : form.Rabtnadd)->setChecked(true);
        {
            FailAt failure(1);
            QTest::mouseClick(form.suiButton2, Qt::LeftButton);
        }
        // The window's own words first, then why.
        QCOMPARE(host.scripted.lastMessage().section(u'\n', 0, 0), QStringLiteral("加入图片失败！"));
        QVERIFY(host.scripted.lastMessage().section(u'\n', 1).contains(
            QStringLiteral("injected failure")));
        QCOMPARE(readPair(lib, indexOf(lib)), before);
        QVERIFY(host.component.isOpen());
        QCOMPARE(host.component.ImageCount(), 3);
    }
}

QTEST_MAIN(TestAddOne)
#include "tst_addone.moc"
