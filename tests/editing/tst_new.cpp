// Creating a library from a picture folder: the operation, and the create window.

#include "editjournal.h"
#include "pairswap.h"
#include "edittestsupport.h"
#include "extractrec.h"
#include "fakeeditorhost.h"
#include "mywil.h"
#include "new.h"
#include "newform.h"
#include "outpic.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace edittest;
using wilfixture::LibraryBuilder;

namespace {

// Leaves what an edit interrupted by a crash leaves beside a library: an armed journal that
// would put 4 bytes at offset 44 back (the old image count) at the next opening.
void leaveArmedJournal(const QString &library)
{
    EditJournal journal(library, indexOf(library));
    QFile file(library);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString error;
    QVERIFY(journal.begin(file.size(), QFileInfo(indexOf(library)).size(), &error));
    QVERIFY(journal.save(EditJournal::Library, file, 44, 4, &error));
    QVERIFY(journal.arm(&error));
}

// A picture of `size` whose pixels are all different and none black.
QImage picture(QSize size)
{
    return wilfixture::patternImage(size.width(), size.height())
        .convertToFormat(QImage::Format_RGB32);
}

// "NAME:WxH" writes a bitmap of that size, "NAME:0" a file of length 0, "NAME:junk" a file
// that is not a picture; "Placements/NAME.txt=TEXT" a placement file (\n in TEXT as is).
void makeFolder(const QString &folder, const QStringList &files)
{
    QDir().mkpath(folder);
    for (const QString &entry : files) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq >= 0) {
            const QString path = folder + u'/' + entry.left(eq);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QVERIFY(wilfixture::writeFile(path, entry.mid(eq + 1).toLatin1()));
            continue;
        }
        const QString name = entry.section(u':', 0, 0);
        const QString what = entry.section(u':', 1);
        const QString path = folder + u'/' + name;
        if (what == u"0") {
            QVERIFY(wilfixture::writeFile(path, {}));
        } else if (what == u"junk") {
            QVERIFY(wilfixture::writeFile(path, "not a picture at all"));
        } else {
            const QStringList wh = what.split(u'x');
            QVERIFY(picture(QSize(wh[0].toInt(), wh[1].toInt())).save(path, "BMP"));
        }
    }
}

struct Expected
{
    QSize size; // of the decoded image; empty for an image without pixels
    int px;
    int py;
};

// "WxH@PX,PY", or "empty".
Expected parseExpected(const QString &text)
{
    if (text == u"empty")
        return {QSize(0, 0), 0, 0};
    const QString size = text.section(u'@', 0, 0);
    const QString xy = text.section(u'@', 1);
    return {QSize(size.section(u'x', 0, 0).toInt(), size.section(u'x', 1).toInt()),
            xy.section(u',', 0, 0).toInt(), xy.section(u',', 1).toInt()};
}

QByteArray templateBytes(const char *name)
{
    return embeddedResource(QStringLiteral("exefile"), QString::fromLatin1(name)).value();
}

} // namespace

class TestNew : public QObject
{
    Q_OBJECT
  private slots:
    void exportedFolderRoundTrip();
    void create_data();
    void create();
    void emptyFolderGivesTheTemplates_data();
    void emptyFolderGivesTheTemplates();
    void paletteFromFirstPicture_data();
    void paletteFromFirstPicture();
    void refusedFolders_data();
    void refusedFolders();
    void failureKeepsTheOldLibrary();
    void replacesTheLibraryOpenInTheEditor();
    void dropsTheOldLibrarysJournal();
    void leavesAnotherOpenLibraryAlone();
    void windowRefuses_data();
    void windowRefuses();
    void windowCreates();
    void windowReportsFailure();
};

// A folder exported from a library and turned into a new library gives the same images in the
// same order with the same placements (widths rounded up to 4 with black columns); an image
// without pixels stays one.
void TestNew::exportedFolderRoundTrip()
{
    QTemporaryDir dir;
    const QList<Sample> images = samples(6);
    LibraryBuilder b;
    for (int i = 0; i < images.size(); ++i) {
        b.add(wilfixture::compressedRecord(images[i].image, images[i].px, images[i].py));
        if (i == 2)
            b.add(wilfixture::compressedEmptyRecord(0, 0, 9, 9));
    }
    const QString source = b.write(dir.path(), QStringLiteral("source"));
    FakeEditorHost host;
    QVERIFY(host.open(source));
    const QList<Sample> shown = decodeAll(host.component);
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    QVERIFY(QDir().mkpath(folder));
    QString error;
    QVERIFY2(outpic::exportPictures(host.component, folder, {0, host.component.ImageCount() - 1},
                                    {}, &error),
             qPrintable(error));

    const QString created = dir.filePath(QStringLiteral("created.wil"));
    NewLibraryOptions options;
    options.pictureFolder = folder;
    options.libraryPath = created;
    QVERIFY2(createLibrary(options, nullptr, &error), qPrintable(error));

    TWIL wil;
    wil.FileName = created;
    wil.Open();
    QCOMPARE(wil.ImageCount(), host.component.ImageCount());
    for (int n = 0; n < wil.ImageCount(); ++n) {
        const QImage &got = wil.LoadBitmap(n);
        QVERIFY(wil.lastDecodeOk());
        if (n == 3) { // the image without pixels
            QVERIFY(!wil.inspectRecord(n).hasPixels());
            continue;
        }
        const Sample &s = shown[n];
        QCOMPARE(got, padded(s.image));
        QCOMPARE(wil.px, int(s.px));
        QCOMPARE(wil.py, int(s.py));
    }
}

void TestNew::create_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("fixed"); // the placement typed for all; null: placement files
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("letter case does not order")
        << QStringList{"c.bmp:3x3", "B.bmp:5x2", "a.bmp:4x4"} << QString()
        << QStringList{"4x4@0,0", "8x2@0,0", "4x3@0,0"};
    QTest::newRow("text order, not numbers")
        << QStringList{"2.bmp:3x3", "10.bmp:5x2"} << QString() << QStringList{"8x2@0,0", "4x3@0,0"};
    QTest::newRow("placement files, one missing")
        << QStringList{"a.bmp:2x2", "b.bmp:2x2", "Placements/a.txt=-12\r\n34\r\n"} << QString()
        << QStringList{"4x2@-12,34", "4x2@0,0"};
    QTest::newRow("placement file LF, further lines")
        << QStringList{"a.bmp:2x2", "Placements/a.txt=7\n-8\nxx\n"} << QString()
        << QStringList{"4x2@7,-8"};
    QTest::newRow("placement low 16 bits")
        << QStringList{"a.bmp:2x2", "Placements/a.txt=70000\r\n-70000\r\n"} << QString()
        << QStringList{"4x2@4464,-4464"};
    QTest::newRow("placement lenient")
        << QStringList{"a.bmp:2x2", "Placements/a.txt=-12 \r\nzz\r\n"} << QString()
        << QStringList{"4x2@12,0"};
    QTest::newRow("no Placements folder")
        << QStringList{"a.bmp:6x2"} << QString() << QStringList{"8x2@0,0"};
    QTest::newRow("fixed py only")
        << QStringList{"a.bmp:2x2", "b.bmp:3x3", "Placements/a.txt=1\r\n1\r\n"} << "5"
        << QStringList{"4x2@0,5", "4x3@0,5"};
    QTest::newRow("fixed pair") << QStringList{"a.bmp:2x2"} << "3,-4" << QStringList{"4x2@3,-4"};
    QTest::newRow("zero-length picture") << QStringList{"a.bmp:2x2", "b.bmp:0", "c.bmp:2x2"}
                                         << QString() << QStringList{"4x2@0,0", "empty", "4x2@0,0"};
    QTest::newRow("one pixel wide or high")
        << QStringList{"a.bmp:1x50", "b.bmp:50x1", "c.bmp:2x2"} << QString()
        << QStringList{"empty", "empty", "4x2@0,0"};
    QTest::newRow("other files ignored")
        << QStringList{"a.png:2x2", "b.BMP:2x2", "c.bmp.txt=1\r\n2\r\n"} << QString()
        << QStringList{"4x2@0,0"};
}

void TestNew::create()
{
    QFETCH(QStringList, files);
    QFETCH(QString, fixed);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    makeFolder(folder, files);
    NewLibraryOptions options;
    options.pictureFolder = folder;
    options.libraryPath = dir.filePath(QStringLiteral("new.wil"));
    options.fixedPlacement = !fixed.isNull();
    options.placement = parseFixedPlacement(fixed);
    QList<int> steps;
    QString error;
    QVERIFY2(createLibrary(options, nullptr, &error,
                           [&steps](int position, int) { steps.append(position); }),
             qPrintable(error));
    QCOMPARE(steps.last(), int(expected.size()));

    TWIL wil;
    wil.FileName = options.libraryPath;
    wil.Open();
    QCOMPARE(wil.ImageCount(), int(expected.size()));
    for (int n = 0; n < expected.size(); ++n) {
        const Expected e = parseExpected(expected[n]);
        const QImage &got = wil.LoadBitmap(n);
        QVERIFY(wil.lastDecodeOk());
        QCOMPARE(got.size(), e.size);
        if (e.size.isEmpty()) {
            QCOMPARE(wil.inspectRecord(n).kind, RecordInfo::EmptyRecord);
            continue;
        }
        QCOMPARE(wil.inspectRecord(n).kind, RecordInfo::Uncompressed16);
        QCOMPARE(wil.px, e.px);
        QCOMPARE(wil.py, e.py);
    }
    QCOMPARE(entriesOf(dir.path()), QStringList({"new.WIX", "new.wil", "pictures"}));
}

void TestNew::emptyFolderGivesTheTemplates_data()
{
    QTest::addColumn<bool>("paletteFromFirst");
    QTest::newRow("template palette") << false;
    QTest::newRow("palette of a first picture there is not") << true;
}

void TestNew::emptyFolderGivesTheTemplates()
{
    QFETCH(bool, paletteFromFirst);
    QTemporaryDir dir;
    NewLibraryOptions options;
    options.pictureFolder = dir.path();
    options.libraryPath = dir.filePath(QStringLiteral("empty.wil"));
    options.paletteFromFirst = paletteFromFirst;
    QString error;
    QVERIFY2(createLibrary(options, nullptr, &error), qPrintable(error));
    QCOMPARE(readPair(options.libraryPath, indexOf(options.libraryPath)),
             (Pair{templateBytes("wil"), templateBytes("wix")}));
}

void TestNew::paletteFromFirstPicture_data()
{
    QTest::addColumn<bool>("eightBit"); // else a zero-length first picture
    QTest::newRow("8-bit bitmap") << true;
    QTest::newRow("short first picture") << false;
}

// The 1024 bytes at offset 54 of the first picture become the palette, as they are; bytes
// the file does not have count as 0.
void TestNew::paletteFromFirstPicture()
{
    QFETCH(bool, eightBit);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    QDir().mkpath(folder);
    if (eightBit) {
        QImage first(6, 3, QImage::Format_Indexed8);
        QVector<QRgb> table;
        for (int i = 0; i < 256; ++i)
            table.append(qRgb(i, 255 - i, (7 * i) & 0xFF));
        first.setColorTable(table);
        first.fill(5);
        QVERIFY(first.save(folder + QStringLiteral("/a.bmp"), "BMP"));
    } else {
        QVERIFY(wilfixture::writeFile(folder + QStringLiteral("/a.bmp"), {}));
    }
    makeFolder(folder, {"b.bmp:3x3"});
    NewLibraryOptions options;
    options.pictureFolder = folder;
    options.libraryPath = dir.filePath(QStringLiteral("new.wil"));
    options.paletteFromFirst = true;
    QString error;
    QVERIFY2(createLibrary(options, nullptr, &error), qPrintable(error));

    QByteArray expected = wilfixture::readFile(folder + QStringLiteral("/a.bmp")).mid(54, 1024);
    expected.append(QByteArray(1024 - expected.size(), '\0'));
    const QByteArray library = wilfixture::readFile(options.libraryPath);
    QCOMPARE(library.mid(56, 1024), expected);
    QCOMPARE(library.left(56), templateBytes("wil").left(56).replace(44, 4, "\x02\0\0\0", 4));
}

void TestNew::refusedFolders_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("why"); // part of the reason given
    QTest::newRow("picture not readable") << QStringList{"a.bmp:2x2", "b.bmp:junk"} << "b.bmp";
    QTest::newRow("placement file of one line")
        << QStringList{"a.bmp:2x2", "b.bmp:2x2", "Placements/b.txt=5\r\n"} << "b.txt";
    QTest::newRow("folder missing") << QStringList() << "nowhere";
}

// A creation that cannot finish says why and leaves the library of that name as it was.
void TestNew::refusedFolders()
{
    QFETCH(QStringList, files);
    QFETCH(QString, why);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(wilfixture::compressedRecord(samples(1)[0].image, 1, 2));
    const QString old = b.write(dir.path(), QStringLiteral("new"));
    const Pair before = readPair(old, indexOf(old));
    const QString folder =
        dir.filePath(files.isEmpty() ? QStringLiteral("nowhere") : QStringLiteral("pictures"));
    if (!files.isEmpty())
        makeFolder(folder, files);

    NewLibraryOptions options;
    options.pictureFolder = folder;
    options.libraryPath = old;
    QString error;
    QVERIFY(!createLibrary(options, nullptr, &error));
    QVERIFY2(error.contains(why), qPrintable(error));
    QCOMPARE(readPair(old, indexOf(old)), before);
    QStringList expectedEntries{"new.WIX", "new.wil"};
    if (!files.isEmpty())
        expectedEntries.append(QStringLiteral("pictures"));
    QCOMPARE(entriesOf(dir.path()), expectedEntries);
}

// A failure at any file operation leaves the old library or the complete new one.
void TestNew::failureKeepsTheOldLibrary()
{
    QTemporaryDir reference;
    const QString folder = reference.filePath(QStringLiteral("pictures"));
    makeFolder(folder, {"a.bmp:5x3", "b.bmp:0", "c.bmp:7x2", "Placements/a.txt=1\r\n2\r\n"});
    NewLibraryOptions options;
    options.pictureFolder = folder;
    options.paletteFromFirst = true;
    options.libraryPath = reference.filePath(QStringLiteral("clean.wil"));
    QString error;
    QVERIFY(createLibrary(options, nullptr, &error));
    const Pair newPair = readPair(options.libraryPath, indexOf(options.libraryPath));

    LibraryBuilder old;
    old.add(wilfixture::compressedRecord(samples(1)[0].image, 1, 2));
    int points = 0;
    for (int k = 1;; ++k) {
        QTemporaryDir dir;
        options.libraryPath = old.write(dir.path(), QStringLiteral("lib"));
        const Pair oldPair = readPair(options.libraryPath, indexOf(options.libraryPath));
        leaveArmedJournal(options.libraryPath);
        const QByteArray journal = wilfixture::readFile(EditJournal::pathFor(options.libraryPath));
        bool ok = false;
        bool triggered = false;
        {
            FailAt failure(k);
            ok = createLibrary(options, nullptr, &error);
            triggered = failure.triggered();
        }
        if (!triggered) {
            QVERIFY(ok);
            break;
        }
        ++points;
        const Pair now = readPair(options.libraryPath, indexOf(options.libraryPath));
        QVERIFY2(now == (ok ? newPair : oldPair),
                 qPrintable(QStringLiteral("failure at operation %1").arg(k)));
        // The old library keeps its journal; the new one has none.
        QCOMPARE(wilfixture::readFile(EditJournal::pathFor(options.libraryPath)),
                 ok ? QByteArray() : journal);
        // A replacement marker that could not be removed once the new pair was in place goes
        // at the next opening.
        if (ok && QFile::exists(pairswap::markerPathFor(options.libraryPath))) {
            TWIL reopened;
            reopened.FileName = options.libraryPath;
            reopened.Open();
            QVERIFY(reopened.isOpen());
        }
        QCOMPARE(entriesOf(dir.path()),
                 ok ? QStringList({"lib.WIX", "lib.wil"})
                    : QStringList({"lib.WIX", "lib.wil", "lib.wil-journal"}));
    }
    qInfo("%d failure points", points);
    QVERIFY(points >= 6);
}

void TestNew::replacesTheLibraryOpenInTheEditor()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.setTableStart(52);
    for (const Sample &s : samples(3))
        b.add(wilfixture::compressedRecord(s.image, s.px, s.py));
    const QString lib = b.write(dir.path(), QStringLiteral("open"));
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    QCOMPARE(host.component.ImageCount(), 3);
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    makeFolder(folder, {"a.bmp:9x4"});

    NewLibraryOptions options;
    options.pictureFolder = folder;
    options.libraryPath = lib;
    bool replaced = false;
    QString error;
    QVERIFY2(createLibrary(options, &host.component, &error, {}, &replaced), qPrintable(error));
    QVERIFY(replaced);
    QVERIFY(host.component.isOpen());
    QCOMPARE(host.component.ImageCount(), 1);
    QCOMPARE(host.component.LoadBitmap(0), padded(picture(QSize(9, 4))));
    QCOMPARE(wilfixture::readFile(indexOf(lib)).size(), 48 + 4);
}

// A journal of an interrupted edit of the old library goes with it: played back over the new
// library it would give the new file the old count.
void TestNew::dropsTheOldLibrarysJournal()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    for (const Sample &s : samples(3))
        b.add(wilfixture::compressedRecord(s.image, s.px, s.py));
    const QString lib = b.write(dir.path());
    leaveArmedJournal(lib);
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    makeFolder(folder, {"a.bmp:4x4"});
    NewLibraryOptions options;
    options.pictureFolder = folder;
    options.libraryPath = lib;
    QString error;
    QVERIFY2(createLibrary(options, nullptr, &error), qPrintable(error));
    QVERIFY(!QFile::exists(EditJournal::pathFor(lib)));
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    QVERIFY(host.notices.isEmpty());
    QCOMPARE(host.component.ImageCount(), 1);
}

void TestNew::leavesAnotherOpenLibraryAlone()
{
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(wilfixture::compressedRecord(samples(1)[0].image, 1, 2));
    const QString lib = b.write(dir.path(), QStringLiteral("open"));
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    NewLibraryOptions options;
    options.pictureFolder = dir.path();
    options.libraryPath = dir.filePath(QStringLiteral("other.wil"));
    bool replaced = true;
    QString error;
    QVERIFY(createLibrary(options, &host.component, &error, {}, &replaced));
    QVERIFY(!replaced);
    QVERIFY(host.component.isOpen());
    QCOMPARE(host.component.ImageCount(), 1);
}

void TestNew::windowRefuses_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("no folder") << ""
                               << "x.wil"
                               << "请输入图片所在路径!";
    QTest::newRow("no file") << "pictures"
                             << ""
                             << "请输入新建数据文件名!";
    QTest::newRow("neither") << ""
                             << ""
                             << "请输入图片所在路径!";
}

void TestNew::windowRefuses()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, message);
    QTemporaryDir dir;
    FakeEditorHost host;
    TFormnew form(host);
    form.show();
    if (!folder.isEmpty()) {
        host.scripted.fileAnswers.enqueue(dir.filePath(folder));
        QTest::mouseClick(form.suiButton1, Qt::LeftButton);
    }
    if (!file.isEmpty()) {
        host.scripted.fileAnswers.enqueue(dir.filePath(file));
        QTest::mouseClick(form.suiButton4, Qt::LeftButton);
    }
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);
    QCOMPARE(host.scripted.messages.size(), 1);
    QVERIFY(lastIsError(host));
    QCOMPARE(host.scripted.lastMessage(), message);
    QVERIFY(form.isVisible());
    QCOMPARE(entriesOf(dir.path()), QStringList());
}

void TestNew::windowCreates()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    makeFolder(folder, {"a.bmp:5x3", "b.bmp:2x2", "Placements/a.txt=1\r\n2\r\n"});
    FakeEditorHost host;
    TFormnew form(host);
    form.show();
    host.scripted.fileAnswers.enqueue(folder);
    QTest::mouseClick(form.suiButton1, Qt::LeftButton);
    QCOMPARE(QDir::fromNativeSeparators(form.EditPicPath->text()), folder);
    host.scripted.fileAnswers.enqueue(dir.filePath(QStringLiteral("made.wil")));
    QTest::mouseClick(form.suiButton4, Qt::LeftButton);
    form.suiRadioButton2->setChecked(true);
    form.editxy->setText(QStringLiteral("3,-4"));
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);

    QCOMPARE(host.scripted.lastMessage(), QStringLiteral("建立新文件成功!"));
    QVERIFY(!lastIsError(host));
    QVERIFY(!form.isVisible());
    QVERIFY(!form.suiProgressBar1->isVisible());
    TWIL wil;
    wil.FileName = dir.filePath(QStringLiteral("made.wil"));
    wil.Open();
    QCOMPARE(wil.ImageCount(), 2);
    wil.LoadBitmap(0);
    QCOMPARE(wil.px, 3);
    QCOMPARE(wil.py, -4);
    // The library open in the editor was another one (none): it was left alone.
    QVERIFY(host.refreshedCounts.isEmpty());
}

void TestNew::windowReportsFailure()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    makeFolder(folder, {"a.bmp:junk"});
    FakeEditorHost host;
    TFormnew form(host);
    form.show();
    host.scripted.fileAnswers.enqueue(folder);
    QTest::mouseClick(form.suiButton1, Qt::LeftButton);
    host.scripted.fileAnswers.enqueue(dir.filePath(QStringLiteral("made.wil")));
    QTest::mouseClick(form.suiButton4, Qt::LeftButton);
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);
    // The window's own words first, then why.
    QCOMPARE(host.scripted.lastMessage().section(u'\n', 0, 0), QStringLiteral("建立新文件失败!"));
    QVERIFY(host.scripted.lastMessage().section(u'\n', 1).contains(QStringLiteral("a.bmp")));
    for (const ScriptedDialogs::Shown &box : std::as_const(host.scripted.messages))
        QVERIFY(!box.text.contains(QStringLiteral("成功")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("made.wil"))));
}

QTEST_MAIN(TestNew)
#include "tst_new.moc"
