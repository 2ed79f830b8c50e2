// Batch export: an exported range reads back, by the picture-folder rules, as the same
// pictures in the same order with the same placements; every bitmap is the 16-bit layout;
// re-exporting replaces only files of the same numbers.

#include "fileio.h"
#include "folderfixture.h"
#include "integertext.h"
#include "mywil.h"
#include "outpic.h"
#include "pictureloader.h"
#include "wilfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace folderfixture;

namespace {

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestExportPictures : public QObject
{
    Q_OBJECT
  private slots:
    void cleanup() { fileio::setFaultHook({}); }

    void roundTrip_data();
    void roundTrip();
    void bitmapLayout();
    void imagesWithoutPixels();
    void emptyLibrary();
    void reexport();
    void writeFailure();
    void refusals_data();
    void refusals();
    void plantedLinks_data();
    void plantedLinks();
};

void TestExportPictures::roundTrip_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    QTest::newRow("all") << 48 << 0 << 5;
    QTest::newRow("all, table at 52") << 52 << 0 << 5;
    QTest::newRow("middle") << 48 << 2 << 3;
    QTest::newRow("one image") << 48 << 4 << 4;
}

void TestExportPictures::roundTrip()
{
    QFETCH(int, tableStart);
    QFETCH(int, begin);
    QFETCH(int, end);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QVector<QImage> pictures = somePictures(6, 5);
    const QVector<Placement> placements = somePlacements(6);
    const QString path = makeLibrary(dir.path(), pictures, placements, tableStart);
    const QString out = dir.filePath("out");
    QDir().mkpath(out);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QList<int> positions;
    QString error;
    QVERIFY2(outpic::exportPictures(
                 wil, out, {begin, end}, [&](int p, int) { positions << p; }, &error),
             qPrintable(error));
    QCOMPARE(positions.last(), end - begin + 1);

    // Read back by the rules: the picture list in order, each picture's placement file.
    const outpic::PictureFolder folder(out);
    QCOMPARE(folder.pictures().size(), end - begin + 1);
    QCOMPARE(filesIn(out).size(), end - begin + 1);
    for (int k = 0; k < folder.pictures().size(); ++k) {
        const int n = begin + k;
        QCOMPARE(folder.pictures()[k], outpic::pictureFileName(n));
        const LoadedPicture loaded = loadPicture(folder.filePath(folder.pictures()[k]));
        QCOMPARE(loaded.status, LoadedPicture::Loaded);
        const QString diff = difference(loaded.image, asRgb565(asCompressedShows(pictures[n])));
        QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("image %1: %2").arg(n).arg(diff)));
        const QString placementPath = folder.placementFileFor(folder.pictures()[k]);
        QCOMPARE(placementPath,
                 folder.path() + "Placements" + QDir::separator() + outpic::placementFileName(n));
        QCOMPARE(wilfixture::readFile(placementPath),
                 outpic::placementText(placements[n].px, placements[n].py));
    }
}

void TestExportPictures::bitmapLayout()
{
    // The 66-byte header of a 16-bit RGB565 bitmap, rows bottom first and padded to 4 bytes;
    // also for an image exported after one without pixels.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    wilfixture::LibraryBuilder builder;
    builder.setPalette(gridPalette());
    builder.add(wilfixture::compressedEmptyRecord(5, 3, 1, 2));
    QImage picture(3, 2, QImage::Format_RGB16);
    picture.setPixel(0, 0, qRgb(255, 0, 0)); // top row
    picture.setPixel(1, 0, qRgb(0, 255, 0));
    picture.setPixel(2, 0, qRgb(0, 0, 255));
    picture.setPixel(0, 1, qRgb(255, 255, 255)); // bottom row
    picture.setPixel(1, 1, qRgb(8, 4, 8));
    picture.setPixel(2, 1, qRgb(0, 0, 0));
    builder.add(wilfixture::compressedRecord(picture, 0, 0));
    const QString path = builder.write(dir.path());
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    QVERIFY2(outpic::exportPictures(wil, dir.path(), {0, 1}, {}, &error), qPrintable(error));
    QCOMPARE(wilfixture::readFile(dir.filePath("000000.bmp")).size(), 0);
    const QByteArray bmp = wilfixture::readFile(dir.filePath("000001.bmp"));
    // A compressed record 3 wide holds 3 x 2 pixels of rows 4 wide: the top row's third
    // pixel is not among them and shows black.
    // Bottom row, then top row; fromHex skips the blanks.
    const QByteArray rows = QByteArray::fromHex("ffff 2108 0000 0000  00f8 e007 0000 0000");
    QCOMPARE(bmp.size(), 66 + rows.size());
    QCOMPARE(bmp.left(2), QByteArray("BM"));
    QCOMPARE(wilfixture::int32At(bmp, 2), 66 + rows.size());
    QCOMPARE(wilfixture::int32At(bmp, 10), 66);
    QCOMPARE(wilfixture::int32At(bmp, 14), 40);
    QCOMPARE(wilfixture::int32At(bmp, 18), 3);
    QCOMPARE(wilfixture::int32At(bmp, 22), 2);
    QCOMPARE(int(wilfixture::int16At(bmp, 26)), 1);
    QCOMPARE(int(wilfixture::int16At(bmp, 28)), 16);
    QCOMPARE(wilfixture::int32At(bmp, 30), 3);
    QCOMPARE(wilfixture::int32At(bmp, 54), 0xF800);
    QCOMPARE(wilfixture::int32At(bmp, 58), 0x07E0);
    QCOMPARE(wilfixture::int32At(bmp, 62), 0x001F);
    QCOMPARE(bmp.mid(66), rows);
}

void TestExportPictures::imagesWithoutPixels()
{
    // Empty records give zero-length bitmaps with placement files; a record that cannot be
    // decoded is never written as the previous image's pixels.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    wilfixture::LibraryBuilder builder;
    builder.setPalette(gridPalette());
    builder.add(wilfixture::compressedRecord(gridPicture(4, 4, 1), 3, 4));
    builder.add(wilfixture::compressedEmptyRecord(7, 7, -5, 6, 3));
    wilfixture::Compressed broken;
    broken.width = 4;
    broken.height = 4;
    broken.px = 9;
    broken.py = -9;
    // Method 8, a CRC, and bytes that are no deflate stream.
    broken.block = QByteArray::fromHex("0800 00000000") + QByteArray(20, '\x55');
    builder.add(wilfixture::compressedRecord(broken));
    const QString path = builder.write(dir.path());
    const QString out = dir.filePath("out");
    QDir().mkpath(out);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    QList<int> undecodable;
    QVERIFY2(outpic::exportPictures(wil, out, {0, 2}, {}, &error, &undecodable), qPrintable(error));
    QVERIFY(wilfixture::readFile(out + "/000000.bmp").size() > 66);
    QCOMPARE(wilfixture::readFile(out + "/000001.bmp").size(), 0);
    QCOMPARE(wilfixture::readFile(out + "/000002.bmp").size(), 0);
    QCOMPARE(undecodable, QList<int>{2});
    QCOMPARE(wilfixture::readFile(out + "/Placements/000000.txt"), QByteArray("3\r\n4\r\n"));
    QVERIFY(QFileInfo::exists(out + "/Placements/000001.txt"));
    QCOMPARE(wilfixture::readFile(out + "/Placements/000002.txt"), QByteArray("9\r\n-9\r\n"));
}

void TestExportPictures::emptyLibrary()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeLibrary(dir.path(), {}, {});
    const QString out = dir.filePath("out");
    QDir().mkpath(out);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    outpic::ExportRange range;
    QVERIFY(outpic::checkExportInput(wil, 0, 0, out, range).accepted());
    QCOMPARE(range.begin, 0);
    QCOMPARE(range.end, -1);
    QString error;
    QVERIFY2(outpic::exportPictures(wil, out, range, {}, &error), qPrintable(error));
    QVERIFY(QFileInfo(out + "/Placements").isDir());
    QVERIFY(filesIn(out).isEmpty());
    QVERIFY(filesIn(out + "/Placements").isEmpty());
}

void TestExportPictures::reexport()
{
    // Files of the same numbers are replaced (also where their names differ in case), an
    // existing "placements" folder is used, and nothing else is touched.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 3, 1);
    const QString out = dir.filePath("out");
    writeText(out + "/000001.BMP", "old");
    writeText(out + "/notes.txt", "keep");
    writeText(out + "/000009.bmp", "keep");
    writeText(out + "/placements/000001.txt", "old");
    writeText(out + "/placements/000009.txt", "keep");
    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    QVERIFY2(outpic::exportPictures(wil, out, {0, 2}, {}, &error), qPrintable(error));
    QCOMPARE(filesIn(out),
             (QStringList{"000000.bmp", "000001.BMP", "000002.bmp", "000009.bmp", "notes.txt"}));
    QVERIFY(wilfixture::readFile(out + "/000001.BMP").startsWith("BM"));
    QCOMPARE(wilfixture::readFile(out + "/000009.bmp"), QByteArray("keep"));
    QVERIFY(!QFileInfo::exists(out + "/Placements"));
    QCOMPARE(filesIn(out + "/placements"),
             (QStringList{"000000.txt", "000001.txt", "000002.txt", "000009.txt"}));
    QCOMPARE(wilfixture::readFile(out + "/placements/000001.txt"),
             outpic::placementText(somePlacements(3)[1].px, somePlacements(3)[1].py));
}

void TestExportPictures::writeFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 4, 1);
    const QString out = dir.filePath("out");
    QDir().mkpath(out);
    TWIL wil;
    QVERIFY(openWil(wil, path));
    fileio::setFaultHook([](fileio::Op op, const QString &file) {
        return op == fileio::Op::Write && file.contains("000002.bmp") ? fileio::Fault::Fail
                                                                      : fileio::Fault::None;
    });
    QString error;
    QVERIFY(!outpic::exportPictures(wil, out, {0, 3}, {}, &error));
    QVERIFY2(error.contains("000002.bmp"), qPrintable(error));
    QVERIFY(QFileInfo::exists(out + "/000001.bmp"));
    QVERIFY(QFileInfo::exists(out + "/Placements/000001.txt"));
    QVERIFY(!QFileInfo::exists(out + "/000003.bmp"));

    // A folder that vanished: Placements cannot be created, nothing is written.
    QVERIFY(!outpic::exportPictures(wil, dir.filePath("gone"), {0, 3}, {}, &error));
    QVERIFY(error.contains("gone"));
}

void TestExportPictures::refusals_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    const QString bad = outpic::msgBadNumber();
    QTest::newRow("no library") << false << "0"
                                << "0"
                                << "x" << outpic::msgOpenLibraryFirst() << "" << 0 << 0;
    QTest::newRow("begin with a trailing blank") << true << "5 "
                                                 << "0"
                                                 << "x" << bad << "editBegin" << 0 << 0;
    QTest::newRow("begin empty") << true << ""
                                 << "0"
                                 << "x" << bad << "editBegin" << 0 << 0;
    QTest::newRow("end not a number") << true << "0"
                                      << "z"
                                      << "x" << bad << "EditEnd" << 0 << 0;
    QTest::newRow("reversed range") << true << "5"
                                    << "3"
                                    << "x" << bad << "EditEnd" << 0 << 0;
    QTest::newRow("no folder") << true << "0"
                               << "1"
                               << "" << outpic::msgNoExportFolder() << "" << 0 << 0;
    QTest::newRow("clamped") << true << "-5"
                             << "100"
                             << "x"
                             << ""
                             << "" << 0 << 9;
    QTest::newRow("leading blank and hex") << true << " 5"
                                           << "$8"
                                           << "x"
                                           << ""
                                           << "" << 5 << 8;
    QTest::newRow("end just below begin") << true << "5"
                                          << "4"
                                          << "x"
                                          << ""
                                          << "" << 5 << 4;
    QTest::newRow("begin beyond the end") << true << "12"
                                          << "20"
                                          << "x" << bad << "EditEnd" << 0 << 0;
    QTest::newRow("begin just beyond the end") << true << "10"
                                               << "20"
                                               << "x"
                                               << ""
                                               << "" << 10 << 9;
}

void TestExportPictures::refusals()
{
    QFETCH(bool, open);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    QFETCH(QString, field);
    QFETCH(int, first);
    QFETCH(int, last);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeSomeLibrary(dir.path(), 10, 1);
    TWIL wil;
    if (open)
        QVERIFY(openWil(wil, path));
    outpic::ExportRange range;
    const InputRefusal r = outpic::checkExportInput(wil, parseIntegerEntry(begin),
                                                    parseIntegerEntry(end), folder, range);
    QCOMPARE(r.message, message);
    QCOMPARE(r.field, field);
    if (message.isEmpty()) {
        QCOMPARE(range.begin, first);
        QCOMPARE(range.end, last);
    }
}

// A link planted in the export folder is replaced by the exported file, never written
// through; a Placements that is a link or no folder is refused before anything is written.
void TestExportPictures::plantedLinks_data()
{
    QTest::addColumn<QString>("planted"); // the path in the export folder
    QTest::addColumn<QString>("kind");    // "link", "dangling link", "file", "folder"
    QTest::addColumn<QString>("refusal"); // empty: the export succeeds
    QTest::newRow("picture is a link") << "000000.bmp" << "link" << "";
    QTest::newRow("picture is a dangling link") << "000001.bmp" << "dangling link" << "";
    QTest::newRow("placement file is a link") << "Placements/000000.txt" << "link" << "";
    QTest::newRow("picture is a folder") << "000001.bmp" << "folder" << "is a directory";
    QTest::newRow("Placements is a link") << "Placements" << "link" << "is a link";
    QTest::newRow("placements is a link") << "placements" << "link" << "is a link";
    QTest::newRow("Placements is a file") << "Placements" << "file" << "is not a folder";
}

void TestExportPictures::plantedLinks()
{
    QFETCH(QString, planted);
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString path = makeSomeLibrary(dir.path(), 3, 1);
    const QString out = dir.filePath("out");
    const QString victims = dir.filePath("victims");
    QDir().mkpath(out + "/Placements");
    QDir().mkpath(victims);
    if (planted.startsWith("Placements") || planted.startsWith("placements"))
        QDir(out + "/Placements").removeRecursively();
    if (planted.startsWith("Placements/"))
        QDir().mkpath(out + "/Placements");
    const QString victim = victims + "/victim";
    const QString target = out + u'/' + planted;
    if (kind == "link" && !planted.contains(u'/') && !planted.endsWith(".bmp"))
        QVERIFY(QFile::link(victims, target)); // a folder elsewhere
    else if (kind == "link")
        QVERIFY(wilfixture::writeFile(victim, "not yours") && QFile::link(victim, target));
    else if (kind == "dangling link")
        QVERIFY(QFile::link(victim, target));
    else if (kind == "file")
        QVERIFY(wilfixture::writeFile(target, "not a folder"));
    else
        QVERIFY(QDir().mkpath(target));
    const QByteArray victimBefore = wilfixture::readFile(victim);

    TWIL wil;
    QVERIFY(openWil(wil, path));
    QString error;
    const bool ok = outpic::exportPictures(wil, out, {0, 2}, {}, &error);
    QCOMPARE(ok, refusal.isEmpty());
    QVERIFY2(error.contains(refusal), qPrintable(error));
    // Nothing reached what the links point to.
    QCOMPARE(wilfixture::readFile(victim), victimBefore);
    QCOMPARE(QFileInfo::exists(victim), !victimBefore.isEmpty());
    QCOMPARE(filesIn(victims), victimBefore.isEmpty() ? QStringList() : QStringList{"victim"});
    if (ok) {
        QVERIFY(!QFileInfo(target).isSymLink());
        QCOMPARE(filesIn(out), (QStringList{"000000.bmp", "000001.bmp", "000002.bmp"}));
        QCOMPARE(filesIn(out + "/Placements"),
                 (QStringList{"000000.txt", "000001.txt", "000002.txt"}));
    }
    // No temporary file is left behind.
    QCOMPARE(QDir(out).entryList(QDir::Hidden | QDir::Files), filesIn(out));
}

QTEST_GUILESS_MAIN(TestExportPictures)
#include "tst_exportpictures.moc"
