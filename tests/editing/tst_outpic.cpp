// The picture-folder rules: names, placement files, the picture list and the lookup of files
// whose names differ only in letter case.

#include "outpic.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace outpic;

namespace {

bool touch(const QString &path, const QByteArray &bytes = QByteArray("x"))
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestOutpic : public QObject
{
    Q_OBJECT
private slots:
    void names_data();
    void names();
    void separator();
    void placementBytes_data();
    void placementBytes();
    void parsePlacement_data();
    void parsePlacement();
    void placementFile();
    void pictureList_data();
    void pictureList();
    void caseInsensitiveLookup();
    void missingFolder();
};

void TestOutpic::names_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("bitmap");
    QTest::addColumn<QString>("placement");
    QTest::newRow("0") << 0 << "000000.bmp"
                       << "000000.txt";
    QTest::newRow("7") << 7 << "000007.bmp"
                       << "000007.txt";
    QTest::newRow("123") << 123 << "000123.bmp"
                         << "000123.txt";
    QTest::newRow("999999") << 999999 << "999999.bmp"
                            << "999999.txt";
    QTest::newRow("seven digits") << 1234567 << "1234567.bmp"
                                  << "1234567.txt";
}

void TestOutpic::names()
{
    QFETCH(int, n);
    QFETCH(QString, bitmap);
    QFETCH(QString, placement);
    QCOMPARE(pictureFileName(n), bitmap);
    QCOMPARE(placementFileName(n), placement);
    QCOMPARE(placementsFolderName(), QStringLiteral("Placements"));
}

void TestOutpic::separator()
{
    const QString sep = QDir::separator();
    QCOMPARE(withSeparator(QStringLiteral("/a/b")), QDir::toNativeSeparators("/a/b") + sep);
    QCOMPARE(withSeparator(QStringLiteral("/a/b/")), QDir::toNativeSeparators("/a/b/"));
}

void TestOutpic::placementBytes_data()
{
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("negative") << -12 << 34 << QByteArray("-12\r\n34\r\n");
    QTest::newRow("zero") << 0 << 0 << QByteArray("0\r\n0\r\n");
    QTest::newRow("extremes") << -32768 << 32767 << QByteArray("-32768\r\n32767\r\n");
}

void TestOutpic::placementBytes()
{
    QFETCH(int, px);
    QFETCH(int, py);
    QFETCH(QByteArray, bytes);
    QCOMPARE(placementText(px, py), bytes);
    const auto back = parsePlacementText(bytes);
    QVERIFY(back);
    QCOMPARE(int(back->px), px);
    QCOMPARE(int(back->py), py);
}

void TestOutpic::parsePlacement_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::newRow("CR LF") << QByteArray("-12\r\n34\r\n") << true << -12 << 34;
    QTest::newRow("LF") << QByteArray("5\n6\n") << true << 5 << 6;
    QTest::newRow("CR") << QByteArray("5\r6\r") << true << 5 << 6;
    QTest::newRow("no final break") << QByteArray("5\r\n6") << true << 5 << 6;
    QTest::newRow("mixed, third line ignored") << QByteArray("1\n2\r\n3") << true << 1 << 2;
    QTest::newRow("empty second line") << QByteArray("7\r\n\r\n") << true << 7 << 0;
    QTest::newRow("CR CR is two lines") << QByteArray("7\r\r") << true << 7 << 0;
    QTest::newRow("lenient: sign lost") << QByteArray("-12 \r\n3x\r\n") << true << 12 << 3;
    QTest::newRow("hex") << QByteArray("$10\r\n-0x10\r\n") << true << 16 << -16;
    QTest::newRow("low 16 bits") << QByteArray("70000\r\n-70000\r\n") << true << 4464 << -4464;
    QTest::newRow("UTF-8 signature") << QByteArray("\xEF\xBB\xBF-3\r\n4\r\n") << true << -3 << 4;
    QTest::newRow("one line") << QByteArray("5\r\n") << false << 0 << 0;
    QTest::newRow("one line, no break") << QByteArray("5") << false << 0 << 0;
    QTest::newRow("empty") << QByteArray() << false << 0 << 0;
}

void TestOutpic::parsePlacement()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, px);
    QFETCH(int, py);
    const auto p = parsePlacementText(bytes);
    QCOMPARE(p.has_value(), ok);
    if (ok) {
        QCOMPARE(int(p->px), px);
        QCOMPARE(int(p->py), py);
    }
}

void TestOutpic::placementFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(readPlacementFile(QString()).status, PlacementFile::Missing);
    QCOMPARE(readPlacementFile(dir.filePath("none.txt")).status, PlacementFile::Missing);
    QVERIFY(touch(dir.filePath("short.txt"), "5\r\n"));
    const PlacementFile shortFile = readPlacementFile(dir.filePath("short.txt"));
    QCOMPARE(shortFile.status, PlacementFile::TooShort);
    QVERIFY(shortFile.error.contains("short.txt"));
    QVERIFY(touch(dir.filePath("good.txt"), "-1\r\n2\r\n"));
    const PlacementFile good = readPlacementFile(dir.filePath("good.txt"));
    QCOMPARE(good.status, PlacementFile::Read);
    QCOMPARE(int(good.placement.px), -1);
    QCOMPARE(int(good.placement.py), 2);
}

void TestOutpic::pictureList_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("pictures");
    QTest::newRow("case-insensitive order")
        << QStringList{"b.bmp", "A.bmp", "c.bmp"} << QStringList{"A.bmp", "b.bmp", "c.bmp"};
    QTest::newRow("numbered") << QStringList{"000010.bmp", "000002.bmp", "000001.bmp"}
                              << QStringList{"000001.bmp", "000002.bmp", "000010.bmp"};
    QTest::newRow("extension in any case")
        << QStringList{"x.BMP", "y.Bmp", "z.bmp"} << QStringList{"x.BMP", "y.Bmp", "z.bmp"};
    QTest::newRow("other files left out")
        << QStringList{"a.bmp", "a.txt", "b.bmp.txt", "c.png", "bmp"} << QStringList{"a.bmp"};
    QTest::newRow("exact name breaks ties")
        << QStringList{"a.bmp", "A.bmp", "A.BMP"} << QStringList{"A.BMP", "A.bmp", "a.bmp"};
    QTest::newRow("hidden files left out")
        << QStringList{".hidden.bmp", "shown.bmp"} << QStringList{"shown.bmp"};
    QTest::newRow("empty folder") << QStringList{} << QStringList{};
}

void TestOutpic::pictureList()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, pictures);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &f : files)
        QVERIFY(touch(dir.filePath(f)));
    // A folder is never a picture, whatever its name.
    QVERIFY(QDir(dir.path()).mkdir("folder.bmp"));
    const PictureFolder folder(dir.path());
    QVERIFY(folder.exists());
    QCOMPARE(folder.pictures(), pictures);
    QVERIFY(folder.path().endsWith(QDir::separator()));
}

void TestOutpic::caseInsensitiveLookup()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir d(dir.path());
    QVERIFY(d.mkdir("PLACEMENTS"));
    QVERIFY(touch(dir.filePath("000003.BMP")));
    QVERIFY(touch(dir.filePath("000004.bmp")));
    QVERIFY(touch(dir.filePath("000004.Bmp")));
    QVERIFY(touch(dir.filePath("pic.bmp")));
    QVERIFY(touch(dir.filePath("PLACEMENTS/PIC.TXT")));
    QVERIFY(touch(dir.filePath("PLACEMENTS/000003.Txt")));
    const PictureFolder folder(dir.path());
    const QString sep = QDir::separator();
    QCOMPARE(folder.numberedBitmap(3), folder.path() + "000003.BMP");
    // The exact name wins over a name that differs only in case.
    QCOMPARE(folder.numberedBitmap(4), folder.path() + "000004.bmp");
    QCOMPARE(folder.numberedBitmap(5), QString());
    QCOMPARE(folder.placementsFolder(), folder.path() + "PLACEMENTS" + sep);
    QCOMPARE(folder.placementFileFor("pic.bmp"), folder.path() + "PLACEMENTS" + sep + "PIC.TXT");
    QCOMPARE(folder.placementFileFor("nothing.bmp"), QString());
    // In placement-only mode the chosen folder is the placements folder itself.
    const PictureFolder placements(dir.filePath("PLACEMENTS"));
    QCOMPARE(placements.numberedPlacement(3), placements.path() + "000003.Txt");

    // An exactly named Placements folder is preferred.
    QVERIFY(d.mkdir("Placements"));
    QVERIFY(touch(dir.filePath("Placements/pic.txt")));
    const PictureFolder again(dir.path());
    QCOMPARE(again.placementFileFor("pic.bmp"), again.path() + "Placements" + sep + "pic.txt");
}

void TestOutpic::missingFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const PictureFolder folder(dir.filePath("gone"));
    QVERIFY(!folder.exists());
    QVERIFY(folder.error().contains("gone"));
    QVERIFY(folder.pictures().isEmpty());
    QCOMPARE(folder.placementFileFor("a.bmp"), QString());
}

QTEST_GUILESS_MAIN(TestOutpic)
#include "tst_outpic.moc"
