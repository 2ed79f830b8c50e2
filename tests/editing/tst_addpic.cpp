// Bringing picture folders into a library: append, insert and replace read back image for
// image through the palette, moved records keep their bytes, the entry table stays where the
// index has it, and a failure at any write leaves both files as they were.

#include "addpic.h"
#include "fileio.h"
#include "folderfixture.h"
#include "mywil.h"
#include "outpic.h"
#include "wilfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace folderfixture;

namespace {

enum class Op
{
    Append,
    Insert,
    Replace
};

struct Folder
{
    QString path;
    QStringList names;             // as written, in the order the picture list must give
    QVector<QImage> pictures;      // in picture-list order
    QVector<Placement> placements; // expected placement of each, in picture-list order
};

// Pictures written under `names` (already in picture-list order) with placement files for
// those given; a missing placement file means (0, 0).
Folder writeFolder(const QString &path, const QStringList &names, quint32 seed,
                   bool placementFiles = true)
{
    Folder f;
    f.path = path;
    QDir().mkpath(path);
    f.names = names;
    f.pictures = somePictures(int(names.size()), seed);
    for (int i = 0; i < names.size(); ++i) {
        const QString name = names[i];
        writePicture(QDir(path).filePath(name), f.pictures[i]);
        Placement p{qint16(100 + i), qint16(-20 - i)};
        if (placementFiles && i % 3 != 2) {
            const QString base = name.left(name.lastIndexOf(u'.'));
            writeText(QDir(path).filePath("Placements/" + base + ".txt"),
                      outpic::placementText(p.px, p.py));
        } else {
            p = {};
        }
        f.placements << p;
    }
    return f;
}

QStringList numberedNames(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << outpic::pictureFileName(i);
    return names;
}

struct Pair
{
    QByteArray wil;
    QByteArray wix;
    bool operator==(const Pair &o) const { return wil == o.wil && wix == o.wix; }
};

Pair snapshot(const QString &libraryPath)
{
    const Library lib = readLibrary(libraryPath);
    return {lib.wil, lib.wix};
}

// The rule as the window builds it from its radio buttons and the fixed-placement field.
addpic::PlacementRule placementRule(bool fromFiles, const QString &fixed)
{
    addpic::PlacementRule rule;
    rule.fromFiles = fromFiles;
    rule.fixed = parseFixedPlacement(fixed);
    return rule;
}

// Checks that image n of `lib` is `picture` at `placement`, through the palette.
void verifyImage(const Library &lib, int n, const QImage &picture, const Placement &placement,
                 bool secondPlacement)
{
    const Decoded d = decode8(lib.record(n), gridPalette(), picture.width(), secondPlacement);
    QVERIFY2(d.ok, qPrintable(QStringLiteral("image %1 is no 8-bit record of the picture").arg(n)));
    QCOMPARE(d.storedWidth, wilfixture::roundedWidth(picture.width()));
    const QString diff = difference(d.image, picture);
    QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("image %1: %2").arg(n).arg(diff)));
    QCOMPARE(d.placement.px, placement.px);
    QCOMPARE(d.placement.py, placement.py);
}

// Records written one after another from `from` on, each exactly as long as its layout.
void verifyContiguous(const Library &lib)
{
    for (int i = 0; i + 1 < lib.entries.size(); ++i)
        QVERIFY2(lib.entries[i] < lib.entries[i + 1],
                 qPrintable(QStringLiteral("entry %1 not below entry %2").arg(i).arg(i + 1)));
}

bool runOp(TWIL &wil, Op op, const outpic::PictureFolder &folder, int start, int end,
           const addpic::PlacementRule &rule, QString *error, QList<int> *positions = nullptr)
{
    const ProgressFn progress = [positions](int position, int) {
        if (positions)
            positions->append(position);
    };
    switch (op) {
    case Op::Append:
        return addpic::Add(wil, folder, folder.pictures(), rule, progress, error);
    case Op::Insert:
        return addpic::InSert(wil, folder, folder.pictures(), rule, start, progress, error);
    case Op::Replace:
        return addpic::Replace(wil, folder, folder.pictures(), rule, start, end, progress, error);
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Op)

class TestAddPic : public QObject
{
    Q_OBJECT
  private slots:
    void cleanup() { fileio::setFaultHook({}); }

    void splice_data();
    void splice();
    void placementSources_data();
    void placementSources();
    void exportedFolderReadsBack_data();
    void exportedFolderReadsBack();
    void zeroLengthPictureIsEmptyImage_data();
    void zeroLengthPictureIsEmptyImage();
    void failureRestores_data();
    void failureRestores();
    void shortPlacementFile_data();
    void shortPlacementFile();
    void refusedWhenCountsDisagree();
    void pixelsOnly();
    void placementsOnly_data();
    void placementsOnly();
    void placementsOnlyStopsAtShortFile();
};

void TestAddPic::splice_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("libraryImages");
    QTest::addColumn<int>("pictures");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("tableStart"); // 1084: the OffSet 4 layout, table at 52
    QTest::newRow("append 3 to 10") << Op::Append << 10 << 3 << 0 << 0 << 48;
    QTest::newRow("append, OffSet 4") << Op::Append << 3 << 2 << 0 << 0 << 1084;
    QTest::newRow("insert, OffSet 4") << Op::Insert << 3 << 2 << 1 << 1 << 1084;
    QTest::newRow("append, table at 52") << Op::Append << 4 << 2 << 0 << 0 << 52;
    QTest::newRow("append to an empty library") << Op::Append << 0 << 3 << 0 << 0 << 48;
    QTest::newRow("append nothing") << Op::Append << 3 << 0 << 0 << 0 << 48;
    QTest::newRow("insert 2 before 0 of 3") << Op::Insert << 3 << 2 << 0 << 0 << 48;
    QTest::newRow("insert before the last") << Op::Insert << 5 << 2 << 4 << 4 << 48;
    QTest::newRow("insert, table at 52") << Op::Insert << 4 << 3 << 1 << 1 << 52;
    QTest::newRow("insert nothing") << Op::Insert << 3 << 0 << 1 << 1 << 48;
    QTest::newRow("replace 2-3 of 6") << Op::Replace << 6 << 2 << 2 << 3 << 48;
    QTest::newRow("replace up to the last") << Op::Replace << 6 << 3 << 3 << 5 << 48;
    QTest::newRow("replace uses the first pictures") << Op::Replace << 6 << 5 << 1 << 2 << 48;
    QTest::newRow("replace, table at 52") << Op::Replace << 5 << 2 << 0 << 1 << 52;
}

void TestAddPic::splice()
{
    QFETCH(Op, op);
    QFETCH(int, libraryImages);
    QFETCH(int, pictures);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, tableStart);
    const bool offSet4 = tableStart == 1084;
    if (offSet4)
        tableStart = 52;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Library and folder pictures differ in size, so records move both ways.
    const QVector<QImage> old = somePictures(libraryImages, 500);
    const QString path = makeLibrary(dir.path(), old, somePlacements(libraryImages), tableStart,
                                     offSet4 ? 1084 : 1080);
    const Library before = readLibrary(path, tableStart);
    // Names deliberately out of order and in mixed case: the list orders them.
    QStringList names;
    for (int i = 0; i < pictures; ++i)
        names << QStringLiteral("%1%2.%3")
                     .arg(QChar(i % 2 ? u'P' : u'p'))
                     .arg(i, 3, 10, QLatin1Char('0'))
                     .arg(i % 2 ? "BMP" : "bmp");
    const Folder f = writeFolder(dir.filePath("in"), names, 900);
    const outpic::PictureFolder folder(f.path);
    QCOMPARE(folder.pictures(), names);

    TWIL wil;
    QVERIFY(openWil(wil, path));
    if (offSet4) {
        // A host that knows the layout selects it; records then repeat their placement.
        wil.FileType = 1;
        wil.LoadIndex(wil.IndexFileName);
        QCOMPARE(wil.OffSet, 4);
    }
    QCOMPARE(wil.indexTableStart(), tableStart);
    const bool second = wil.OffSet > 0;
    QString error;
    QList<int> positions;
    QVERIFY2(runOp(wil, op, folder, start, end, {}, &error, &positions), qPrintable(error));
    QVERIFY(!positions.isEmpty());

    const int used = op == Op::Replace ? end - start + 1 : pictures;
    const int removed = op == Op::Replace ? used : 0;
    const int first = op == Op::Append ? libraryImages : start;
    const int newCount = libraryImages + used - removed;
    const Library after = readLibrary(path, tableStart);
    QCOMPARE(after.wilCount, newCount);
    QCOMPARE(after.wixCount, newCount);
    QCOMPARE(wil.ImageCount(), newCount); // reopened
    QVERIFY(wil.isOpen());
    // The header bytes in front of the table are kept (the filler at 48-51 included).
    QCOMPARE(after.wix.left(44), before.wix.left(44));
    QCOMPARE(after.wix.mid(48, tableStart - 48), before.wix.mid(48, tableStart - 48));
    QCOMPARE(after.wil.left(44), before.wil.left(44));
    const int front = offSet4 ? 1084 : 1080;
    QCOMPARE(after.wil.mid(48, front - 48), before.wil.mid(48, front - 48));
    // Images in front of the change: same entries, same bytes.
    for (int i = 0; i < first; ++i) {
        QCOMPARE(after.entries[i], before.entries[i]);
        QCOMPARE(after.record(i), before.record(i));
    }
    // The new images.
    for (int k = 0; k < used; ++k)
        verifyImage(after, first + k, f.pictures[k], f.placements[k], second);
    // Images behind the change moved as raw bytes.
    for (int i = first + removed; i < libraryImages; ++i)
        QCOMPARE(after.record(i - removed + used), before.record(i));
    verifyContiguous(after);
    // A replace up to the last image leaves no old bytes behind the new last record.
    if (op == Op::Replace && end == libraryImages - 1) {
        const QByteArray last = after.record(newCount - 1);
        const int header = second ? 12 : 8;
        QCOMPARE(last.size(), header + wilfixture::roundedWidth(f.pictures[used - 1].width()) *
                                           f.pictures[used - 1].height());
    }
}

void TestAddPic::placementSources_data()
{
    QTest::addColumn<bool>("fromFiles");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::newRow("placement files") << true << QString() << 0 << 0;
    QTest::newRow("fixed -3,7") << false << "-3,7" << -3 << 7;
    QTest::newRow("fixed 5 is (0, 5)") << false << "5" << 0 << 5;
}

void TestAddPic::placementSources()
{
    QFETCH(bool, fromFiles);
    QFETCH(QString, fixed);
    QFETCH(int, px);
    QFETCH(int, py);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 2, 1);
    // x.bmp takes x.txt (in a "placements" folder spelled otherwise), y.bmp has none, z.bmp
    // has one with extra lines and LF breaks.
    const QString in = dir.filePath("in");
    QDir().mkpath(in + "/placements");
    const QVector<QImage> pics = somePictures(3, 7);
    writePicture(in + "/x.bmp", pics[0]);
    writePicture(in + "/y.bmp", pics[1]);
    writePicture(in + "/z.bmp", pics[2]);
    writeText(in + "/placements/X.TXT", "-12\r\n34\r\n");
    writeText(in + "/placements/z.txt", "8\n-9\nextra\n");
    const outpic::PictureFolder folder(in);

    TWIL wil;
    QVERIFY(openWil(wil, path));
    const addpic::PlacementRule rule = placementRule(fromFiles, fixed);
    QString error;
    QVERIFY2(addpic::Add(wil, folder, folder.pictures(), rule, {}, &error), qPrintable(error));
    const Library after = readLibrary(path);
    const QVector<Placement> expected =
        fromFiles ? QVector<Placement>{{-12, 34}, {0, 0}, {8, -9}}
                  : QVector<Placement>(3, Placement{qint16(px), qint16(py)});
    for (int k = 0; k < 3; ++k)
        verifyImage(after, 2 + k, pics[k], expected[k], false);
}

void TestAddPic::exportedFolderReadsBack_data()
{
    QTest::addColumn<Op>("op");
    QTest::newRow("append") << Op::Append;
    QTest::newRow("insert before 1") << Op::Insert;
    QTest::newRow("replace 1-5") << Op::Replace;
}

void TestAddPic::exportedFolderReadsBack()
{
    // A library exported to a folder and brought into another library reads back image for
    // image: the grid colours survive RGB565 and come back through the palette.
    QFETCH(Op, op);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkdir("a");
    QDir(dir.path()).mkdir("b");
    const QVector<QImage> source = somePictures(5, 31);
    const QVector<Placement> placements = somePlacements(5);
    const QString a = makeLibrary(dir.filePath("a"), source, placements);
    const QString b = makeSomeLibrary(dir.filePath("b"), 7, 77);
    const QString out = dir.filePath("out");
    QDir().mkpath(out);
    {
        TWIL wil;
        QVERIFY(openWil(wil, a));
        QString error;
        QVERIFY2(outpic::exportPictures(wil, out, {0, 4}, {}, &error), qPrintable(error));
    }
    const outpic::PictureFolder folder(out);
    QCOMPARE(folder.pictures().size(), 5);
    TWIL wil;
    QVERIFY(openWil(wil, b));
    QString error;
    QVERIFY2(runOp(wil, op, folder, 1, 5, {}, &error), qPrintable(error));
    const int first = op == Op::Append ? 7 : 1;
    const Library after = readLibrary(b);
    for (int k = 0; k < 5; ++k)
        verifyImage(after, first + k, asCompressedShows(source[k]), placements[k], false);
}

void TestAddPic::zeroLengthPictureIsEmptyImage_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<bool>("numbered"); // replace by number (the window's "pixels only")
    QTest::newRow("append") << Op::Append << false;
    QTest::newRow("insert before 1") << Op::Insert << false;
    QTest::newRow("replace 1-3") << Op::Replace << false;
    QTest::newRow("replace 1-3 by number") << Op::Replace << true;
}

void TestAddPic::zeroLengthPictureIsEmptyImage()
{
    // Export writes an image without pixels as a zero-length file; importing the folder gives
    // the empty record back, not a black pixel.
    QFETCH(Op, op);
    QFETCH(bool, numbered);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 5, 41);
    const Folder f = writeFolder(dir.filePath("in"), numberedNames(5).mid(1, 3), 901);
    QVERIFY(writeText(QDir(f.path).filePath(f.names[1]), {}));
    const outpic::PictureFolder folder(f.path);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    const bool done = numbered ? addpic::AddPic(wil, folder, 1, 3, {}, &error)
                               : runOp(wil, op, folder, 1, 3, {}, &error);
    QVERIFY2(done, qPrintable(error));
    const int first = op == Op::Append ? 5 : 1;
    const Library after = readLibrary(path);
    QCOMPARE(after.record(first + 1), wilfixture::emptyRecord());
    if (!numbered) // replacing by number keeps the records' placements
        verifyImage(after, first, f.pictures[0], f.placements[0], false);
    verifyContiguous(after);
}

void TestAddPic::failureRestores_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("failAt");
    QTest::addColumn<int>("kind"); // fileio::Op
    for (int k = 1; k <= 12; ++k) {
        QTest::addRow("append, write %d", k) << Op::Append << k << int(fileio::Op::Write);
        QTest::addRow("insert, write %d", k) << Op::Insert << k << int(fileio::Op::Write);
        QTest::addRow("replace, write %d", k) << Op::Replace << k << int(fileio::Op::Write);
    }
    for (int k = 1; k <= 3; ++k) {
        QTest::addRow("append, flush %d", k) << Op::Append << k << int(fileio::Op::Flush);
        QTest::addRow("insert, flush %d", k) << Op::Insert << k << int(fileio::Op::Flush);
        QTest::addRow("replace, resize %d", k) << Op::Replace << k << int(fileio::Op::Resize);
    }
}

void TestAddPic::failureRestores()
{
    QFETCH(Op, op);
    QFETCH(int, failAt);
    QFETCH(int, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The replaced range holds larger pictures than the folder's, so the file shrinks.
    QVector<QImage> old = somePictures(6, 3);
    old[2] = gridPicture(30, 20, 1);
    const QString path = makeLibrary(dir.path(), old, somePlacements(6));
    const Folder f = writeFolder(dir.filePath("in"), numberedNames(3), 11);
    const outpic::PictureFolder folder(f.path);
    const Pair before = snapshot(path);

    TWIL wil;
    QVERIFY(openWil(wil, path));
    int seen = 0;
    fileio::setFaultHook([&](fileio::Op o, const QString &) {
        return int(o) == kind && ++seen == failAt ? fileio::Fault::Fail : fileio::Fault::None;
    });
    QString error;
    const bool ok = runOp(wil, op, folder, 2, 3, {}, &error);
    fileio::setFaultHook({});
    if (seen < failAt) {
        // The operation needs fewer calls than that: it must have succeeded.
        QVERIFY2(ok, qPrintable(error));
        return;
    }
    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    QVERIFY2(snapshot(path) == before, qPrintable(error));
    // The component still reads the library as it was.
    QCOMPARE(wil.ImageCount(), 6);
}

void TestAddPic::shortPlacementFile_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("shortAt");
    QTest::newRow("append, first picture") << Op::Append << 0;
    QTest::newRow("append, last picture") << Op::Append << 2;
    QTest::newRow("insert") << Op::Insert << 1;
    QTest::newRow("replace") << Op::Replace << 1;
}

void TestAddPic::shortPlacementFile()
{
    QFETCH(Op, op);
    QFETCH(int, shortAt);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 5, 3);
    const Folder f = writeFolder(dir.filePath("in"), numberedNames(3), 11);
    writeText(f.path + "/Placements/" + outpic::placementFileName(shortAt), "12\r\n");
    const outpic::PictureFolder folder(f.path);
    const Pair before = snapshot(path);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    QVERIFY(!runOp(wil, op, folder, 1, 3, {}, &error));
    QVERIFY2(error.contains(outpic::placementFileName(shortAt)), qPrintable(error));
    QVERIFY(snapshot(path) == before);
}

void TestAddPic::refusedWhenCountsDisagree()
{
    // The library says 2 images, its index 3: the batch append is refused with the reason, and
    // neither file changes.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    wilfixture::LibraryBuilder builder;
    builder.setPalette(gridPalette());
    for (const QImage &p : somePictures(3, 8))
        builder.add(wilfixture::compressedRecord(p, 1, 1));
    builder.setLibraryCount(2);
    const QString path = builder.write(dir.path());
    const Folder f = writeFolder(dir.filePath("in"), numberedNames(1), 4);
    const outpic::PictureFolder folder(f.path);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QCOMPARE(wil.ImageCount(), 2);
    QString error;
    QVERIFY(!addpic::Add(wil, folder, folder.pictures(), {}, {}, &error));
    QVERIFY2(error.contains(QStringLiteral("counts 2 images and its index 3")), qPrintable(error));
    QCOMPARE(wilfixture::readFile(path), builder.library());
    QCOMPARE(wilfixture::readFile(indexFileNameFor(path)), builder.index());
}

void TestAddPic::pixelsOnly()
{
    // Pixels of images 1-3 from 000001.bmp, 000002.BMP (found without regard to case) and a
    // missing 000003.bmp (a 1 x 1 black picture); placements stay.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 5, 3);
    const QString in = dir.filePath("in");
    QDir().mkpath(in);
    const QVector<QImage> pics = somePictures(2, 50);
    writePicture(in + "/000001.bmp", pics[0]);
    writePicture(in + "/000002.BMP", pics[1]);
    writePicture(in + "/extra.bmp", pics[1]); // the list only has to be long enough
    const outpic::PictureFolder folder(in);
    const Library before = readLibrary(path);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    QVERIFY2(addpic::AddPic(wil, folder, 1, 3, {}, &error), qPrintable(error));
    wil.Close();
    QVERIFY(openWil(wil, path));
    const QVector<QImage> expected{asRgb565(pics[0]), asRgb565(pics[1]), QImage()};
    for (int n = 1; n <= 3; ++n) {
        wil.LoadBitmap(n);
        QCOMPARE(wil.px, int(somePlacements(5)[n].px));
        QCOMPARE(wil.py, int(somePlacements(5)[n].py));
        if (n < 3) {
            // The record is as wide as the rounded width; the added columns are black.
            const QImage shown = wil.currentBitmap().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(shown.width(), wilfixture::roundedWidth(expected[n - 1].width()));
            const QString diff =
                difference(shown.copy(0, 0, expected[n - 1].width(), expected[n - 1].height()),
                           expected[n - 1]);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("image %1: %2").arg(n).arg(diff)));
        } else {
            QVERIFY(wil.currentBitmap().width() <= 4);
            QCOMPARE(wil.currentBitmap().height(), 1);
            QCOMPARE(wil.currentBitmap().pixel(0, 0) & 0xFFFFFF, 0u);
        }
    }
    const Library after = readLibrary(path);
    QCOMPARE(after.record(0), before.record(0));
    QCOMPARE(after.record(4), before.record(4));
}

void TestAddPic::placementsOnly_data()
{
    QTest::addColumn<bool>("fromFiles");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<QVector<int>>("expected"); // px, py of images 4, 5, 6
    QTest::newRow("files for 4 and 6 only")
        << true << QString() << QVector<int>{-1, 2, 0, 0, 300, -400};
    QTest::newRow("fixed") << false << "-3,7" << QVector<int>{-3, 7, -3, 7, -3, 7};
}

void TestAddPic::placementsOnly()
{
    QFETCH(bool, fromFiles);
    QFETCH(QString, fixed);
    QFETCH(QVector<int>, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 8, 3);
    const QString placements = dir.filePath("pl");
    writeText(placements + "/000004.txt", "-1\r\n2\r\n");
    writeText(placements + "/000006.TXT", "300\r\n-400\r\n");
    const outpic::PictureFolder folder(placements);
    const Library before = readLibrary(path);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    const addpic::PlacementRule rule = placementRule(fromFiles, fixed);
    QString error;
    QVERIFY2(addpic::AddXy(wil, fromFiles ? &folder : nullptr, rule, 4, 6, {}, &error),
             qPrintable(error));
    const Library after = readLibrary(path);
    QCOMPARE(after.entries, before.entries);
    for (int n = 0; n < 8; ++n) {
        const QByteArray rec = after.record(n);
        if (n < 4 || n > 6) {
            QCOMPARE(rec, before.record(n));
            continue;
        }
        QCOMPARE(int(wilfixture::int16At(rec, 4)), expected[2 * (n - 4)]);
        QCOMPARE(int(wilfixture::int16At(rec, 6)), expected[2 * (n - 4) + 1]);
        QCOMPARE(rec.mid(8), before.record(n).mid(8));
    }
}

void TestAddPic::placementsOnlyStopsAtShortFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 4, 3);
    const QString placements = dir.filePath("pl");
    writeText(placements + "/000000.txt", "10\r\n20\r\n");
    writeText(placements + "/000001.txt", "30\r\n");
    writeText(placements + "/000002.txt", "50\r\n60\r\n");
    const outpic::PictureFolder folder(placements);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    QVERIFY(!addpic::AddXy(wil, &folder, {}, 0, 2, {}, &error));
    QVERIFY2(error.contains("000001.txt"), qPrintable(error));
    const Library after = readLibrary(path);
    QCOMPARE(int(wilfixture::int16At(after.record(0), 4)), 10);
    QCOMPARE(int(wilfixture::int16At(after.record(0), 6)), 20);
    QCOMPARE(int(wilfixture::int16At(after.record(2), 4)), int(somePlacements(4)[2].px));
}

QTEST_GUILESS_MAIN(TestAddPic)
#include "tst_addpic.moc"
