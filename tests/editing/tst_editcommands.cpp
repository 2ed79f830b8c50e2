// wiltool add, delete, blank and create: the windows' operations on the command line.

#include "edittestsupport.h"
#include "mywil.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace edittest;
using wilfixture::LibraryBuilder;

class TestEditCommands : public QObject
{
    Q_OBJECT
  private slots:
    void run_data();
    void run();
};

void TestEditCommands::run_data()
{
    // In the arguments, LIB is a library of 4 images, PIC a 6 x 4 bitmap, DIR a picture folder
    // of two bitmaps with a placement file for the first, NEW a library path not yet there.
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stderrPart");
    QTest::addColumn<int>("images");  // in the library the command wrote (LIB or NEW), -1: none
    QTest::addColumn<int>("checked"); // that image's placement is checked
    QTest::addColumn<QPoint>("placement");
    QTest::newRow("add appends") << "add LIB PIC --xy -10,20" << 0 << "" << 5 << 4
                                 << QPoint(-10, 20);
    QTest::newRow("add inserts") << "add LIB PIC --insert-at 0 --xy 3,-4" << 0 << "" << 5 << 0
                                 << QPoint(3, -4);
    QTest::newRow("add past the end")
        << "add LIB PIC --insert-at $10" << 0 << "" << 5 << 4 << QPoint(0, 0);
    QTest::newRow("add bad picture")
        << "add LIB DIR/none.bmp" << 1 << "none.bmp" << 4 << 0 << QPoint(0, -2);
    QTest::newRow("add bad insert point")
        << "add LIB PIC --insert-at -1" << 1 << "请输入正确的编号" << 4 << 0 << QPoint(0, -2);
    QTest::newRow("delete") << "delete LIB 1-2" << 0 << "" << 2 << 1 << QPoint(-9, 19);
    QTest::newRow("delete one") << "delete LIB 3" << 0 << "" << 3 << 2 << QPoint(-6, 12);
    QTest::newRow("delete reversed")
        << "delete LIB 2-1" << 1 << "请输入正确的编号" << 4 << 0 << QPoint(0, -2);
    QTest::newRow("delete past the end")
        << "delete LIB 0-4" << 1 << "请输入正确的编号" << 4 << 0 << QPoint(0, -2);
    QTest::newRow("blank") << "blank LIB 1-3" << 0 << "" << 4 << 3 << QPoint(-9, 19);
    QTest::newRow("blank bad range")
        << "blank LIB x" << 1 << "请输入正确的编号" << 4 << 0 << QPoint(0, -2);
    QTest::newRow("create") << "create NEW DIR" << 0 << "" << 2 << 0 << QPoint(5, -6);
    QTest::newRow("create fixed") << "create NEW DIR --xy 1,2 --palette-from-first" << 0 << "" << 2
                                  << 1 << QPoint(1, 2);
    QTest::newRow("create from nowhere")
        << "create NEW DIR/nowhere" << 1 << "建立新文件失败!" << -1 << 0 << QPoint();
    QTest::newRow("usage") << "delete LIB" << 2 << "usage" << 4 << 0 << QPoint(0, -2);
}

void TestEditCommands::run()
{
    QFETCH(QString, args);
    QFETCH(int, status);
    QFETCH(QString, stderrPart);
    QFETCH(int, images);
    QFETCH(int, checked);
    QFETCH(QPoint, placement);
    const QString wiltool = qEnvironmentVariable("WILTOOL");
    if (wiltool.isEmpty())
        QSKIP("WILTOOL not set");

    QTemporaryDir dir;
    LibraryBuilder b;
    for (const Sample &s : samples(4))
        b.add(wilfixture::compressedRecord(s.image, s.px, s.py));
    const QString lib = b.write(dir.path());
    const QString pic = dir.filePath(QStringLiteral("pic.bmp"));
    QVERIFY(wilfixture::patternImage(6, 4).save(pic, "BMP"));
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/Placements")));
    QVERIFY(wilfixture::patternImage(3, 3).save(folder + QStringLiteral("/a.bmp"), "BMP"));
    QVERIFY(wilfixture::patternImage(5, 2).save(folder + QStringLiteral("/b.bmp"), "BMP"));
    QVERIFY(wilfixture::writeFile(folder + QStringLiteral("/Placements/a.txt"), "5\r\n-6\r\n"));
    const QString created = dir.filePath(QStringLiteral("new.wil"));

    const QList<QPair<QString, QString>> tokens{
        {"LIB", lib}, {"PIC", pic}, {"DIR", folder}, {"NEW", created}};
    QStringList argv = args.split(u' ');
    for (QString &a : argv)
        for (const auto &[token, path] : tokens)
            if (a == token || a.startsWith(token + u'/'))
                a = path + a.mid(token.size());
    QProcess process;
    process.start(wiltool, argv);
    QVERIFY(process.waitForFinished(60000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), status);
    QVERIFY2(err.contains(stderrPart), qPrintable(err));

    const QString written = args.startsWith(u"create") ? created : lib;
    if (images < 0) {
        QVERIFY(!QFile::exists(written));
        return;
    }
    TWIL wil;
    wil.FileName = written;
    wil.Open();
    QCOMPARE(wil.ImageCount(), images);
    wil.LoadBitmap(checked);
    QVERIFY(wil.lastDecodeOk());
    QCOMPARE(QPoint(wil.px, wil.py), placement);
}

QTEST_GUILESS_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
