// wiltool export and import: exit status, the refusal texts of the windows on stderr, and what
// lands in the library.

#include "folderfixture.h"
#include "outpic.h"
#include "wilfixture.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace folderfixture;

class TestWiltoolFolder : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void commands_data();
    void commands();

  private:
    QString m_wiltool;
};

void TestWiltoolFolder::initTestCase()
{
    m_wiltool = qEnvironmentVariable("WILTOOL");
    if (m_wiltool.isEmpty() || !QFileInfo(m_wiltool).isExecutable())
        QSKIP("WILTOOL does not name the wiltool executable");
}

void TestWiltoolFolder::commands_data()
{
    // Words LIB, IN (three numbered pictures with placement files), PL (its Placements) and
    // OUT (a folder that does not exist yet) stand for paths.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText");
    QTest::addColumn<int>("count");    // the library's count afterwards
    QTest::addColumn<int>("exported"); // bitmaps in OUT afterwards, -1: OUT must not exist
    const QString number = outpic::msgBadNumber();
    QTest::newRow("export all into a new folder")
        << QStringList{"export", "LIB", "OUT"} << 0 << "" << 6 << 6;
    QTest::newRow("export a range")
        << QStringList{"export", "LIB", "OUT", "--range", "2-$3"} << 0 << "" << 6 << 2;
    QTest::newRow("export clamps")
        << QStringList{"export", "LIB", "OUT", "--range", "-5-99"} << 0 << "" << 6 << 6;
    QTest::newRow("export, reversed range")
        << QStringList{"export", "LIB", "OUT", "--range", "4-1"} << 1 << number << 6 << -1;
    QTest::newRow("export, range not a number")
        << QStringList{"export", "LIB", "OUT", "--range", "a-b"} << 1 << number << 6 << -1;
    QTest::newRow("export, no library")
        << QStringList{"export", "OUT/none.wil", "OUT"} << 1 << "none.wil" << 6 << -1;
    QTest::newRow("export, usage") << QStringList{"export", "LIB"} << 2 << "usage" << 6 << -1;
    QTest::newRow("append") << QStringList{"import", "LIB", "IN", "--append"} << 0 << "" << 9 << -1;
    QTest::newRow("append, fixed placement")
        << QStringList{"import", "LIB", "IN", "--append", "--xy", "-3,7"} << 0 << "" << 9 << -1;
    QTest::newRow("insert") << QStringList{"import", "LIB", "IN", "--insert", "0"} << 0 << "" << 9
                            << -1;
    QTest::newRow("insert past the last")
        << QStringList{"import", "LIB", "IN", "--insert", "6"} << 1 << number << 6 << -1;
    QTest::newRow("replace") << QStringList{"import", "LIB", "IN", "--replace", "3-5"} << 0 << ""
                             << 6 << -1;
    QTest::newRow("replace, too few pictures")
        << QStringList{"import", "LIB", "IN", "--replace", "1-4"} << 1
        << QStringLiteral("图片数目不够！") << 6 << -1;
    QTest::newRow("pixels") << QStringList{"import", "LIB", "IN", "--pixels", "0-2"} << 0 << "" << 6
                            << -1;
    QTest::newRow("placements") << QStringList{"import", "LIB", "PL", "--placements", "0-2"} << 0
                                << "" << 6 << -1;
    QTest::newRow("placements, bad range")
        << QStringList{"import", "LIB", "PL", "--placements", "0-6"} << 1
        << QStringLiteral("请输入正确的格式") << 6 << -1;
    QTest::newRow("fixed placements")
        << QStringList{"import", "LIB", "NOWHERE", "--placements", "1-2", "--xy", "4,5"} << 0 << ""
        << 6 << -1;
    QTest::newRow("folder gone") << QStringList{"import", "LIB", "NOWHERE", "--append"} << 1
                                 << "NOWHERE" << 6 << -1;
    QTest::newRow("no mode") << QStringList{"import", "LIB", "IN"} << 2 << "usage" << 6 << -1;
    QTest::newRow("two modes") << QStringList{"import", "LIB", "IN", "--append", "--insert", "0"}
                               << 2 << "usage" << 6 << -1;
    QTest::newRow("bad --xy") << QStringList{"import", "LIB", "IN", "--append", "--xy", "1"} << 2
                              << "usage" << 6 << -1;
}

void TestWiltoolFolder::commands()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrText);
    QFETCH(int, count);
    QFETCH(int, exported);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString library = makeSomeLibrary(dir.path(), 6, 2);
    const QString in = dir.filePath("IN");
    const QVector<QImage> pictures = somePictures(3, 9);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(writePicture(in + "/" + outpic::pictureFileName(i), pictures[i]));
        QVERIFY(writeText(in + "/Placements/" + outpic::placementFileName(i),
                          outpic::placementText(10 * i, -i)));
    }
    const QString out = dir.filePath("OUT");
    for (QString &a : args) {
        if (a == "LIB")
            a = library;
        else if (a == "IN" || a == "NOWHERE")
            a = dir.filePath(a);
        else if (a == "PL")
            a = in + "/Placements";
        else if (a.startsWith("OUT"))
            a = dir.filePath(a);
    }
    QProcess tool;
    // A private runtime folder, so that the platform never complains on stderr.
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    tool.setProcessEnvironment(env);
    tool.start(m_wiltool, args);
    QVERIFY(tool.waitForFinished(60000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitCode(), exitCode);
    if (!stderrText.isEmpty())
        QVERIFY2(err.contains(stderrText), qPrintable(err));
    if (exitCode == 0)
        QVERIFY2(err.isEmpty(), qPrintable(err));
    else
        QCOMPARE(err.count(u'\n'), 1);
    const Library after = readLibrary(library);
    QCOMPARE(after.wilCount, count);
    QCOMPARE(after.wixCount, count);
    if (exported < 0)
        QVERIFY(!QFileInfo::exists(out));
    else
        QCOMPARE(outpic::PictureFolder(out).pictures().size(), exported);
}

QTEST_GUILESS_MAIN(TestWiltoolFolder)
#include "tst_wiltoolfolder.moc"
