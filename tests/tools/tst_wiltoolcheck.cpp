// "wiltool check" as a user runs it: one line per finding, a summary, and the exit status.
#include "wilfixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <zlib.h>

using namespace wilfixture;

class TestWilToolCheck : public QObject
{
    Q_OBJECT
private slots:
    void check_data();
    void check();
};

void TestWilToolCheck::check_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QStringList>("args"); // after "check"; "LIB" is the library's path
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");

    LibraryBuilder good;
    good.add(compressedRecord(patternImage(5, 3), 1, 2));
    good.add(uncompressed16Record(patternImage(4, 4), -1, -2));
    QTest::newRow("clean") << good.library() << good.index() << QStringList{"LIB"} << 0
                           << QStringList{"2 images, 0 problems, 0 warnings"};

    QTest::newRow("warning only") << good.library() + QByteArray(3, 'x') << good.index()
                                  << QStringList{"LIB"} << 0
                                  << QStringList{"library: warning: 3 bytes behind the last record",
                                                 "2 images, 0 problems, 1 warnings"};

    LibraryBuilder damaged = good;
    damaged.setIndexCount(3);
    Compressed bad;
    bad.width = 4;
    bad.height = 1;
    bad.pixels = QVector<quint16>(4, 9);
    bad.crc = 1;
    damaged.add(compressedRecord(bad));
    damaged.setLibraryCount(3);
    QTest::newRow("damaged") << damaged.library() << damaged.index() << QStringList{"LIB"} << 1
                             << QStringList{"image 2: CRC-32 mismatch: the block says 00000001, its "
                                            "pixels give " +
                                                QStringLiteral("%1").arg(
                                                    quint32(crc32(0, reinterpret_cast<const Bytef *>(
                                                                         "\x09\0\x09\0\x09\0\x09\0"),
                                                                  8)),
                                                    8, 16, QLatin1Char('0')),
                                            "3 images, 1 problems, 0 warnings"};

    QTest::newRow("no library named") << good.library() << good.index() << QStringList{} << 2
                                      << QStringList{};
}

void TestWilToolCheck::check()
{
    QFETCH(QByteArray, library);
    QFETCH(QByteArray, index);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("lib.wil"));
    QVERIFY(writeFile(lib, library));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("lib.WIX")), index));
    args.replaceInStrings(QStringLiteral("LIB"), lib);

    QProcess p;
    p.start(qEnvironmentVariable("WILTOOL"), QStringList{QStringLiteral("check")} + args);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == exitCode, qPrintable(err));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts), out);
    // Findings are output; stderr is only for a command line that is wrong.
    QCOMPARE(err.isEmpty(), exitCode != 2);
    QCOMPARE(readFile(lib), library);
}

QTEST_GUILESS_MAIN(TestWilToolCheck)
#include "tst_wiltoolcheck.moc"
