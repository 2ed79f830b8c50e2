// The argument conventions every wiltool command shares.
#include "wiltool.h"

#include <QTest>

using namespace wiltool;

using Range = QPair<qint32, qint32>;

class TestWilToolArgs : public QObject
{
    Q_OBJECT
  private slots:
    void range_data();
    void range();
    void xy_data();
    void xy();
    void parse_data();
    void parse();
};

void TestWilToolArgs::range_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("single") << "7" << true << 7 << 7;
    QTest::newRow("single negative") << "-7" << true << -7 << -7;
    QTest::newRow("span") << "2-5" << true << 2 << 5;
    QTest::newRow("negative start") << "-5-3" << true << -5 << 3;
    QTest::newRow("negative end") << "5--3" << true << 5 << -3;
    QTest::newRow("both negative") << "-5--3" << true << -5 << -3;
    QTest::newRow("dollar hex") << "$A-$F" << true << 10 << 15;
    QTest::newRow("x hex") << "x1-x10" << true << 1 << 16;
    QTest::newRow("0x hex, mixed") << "0x10-20" << true << 16 << 20;
    QTest::newRow("negative hex") << "-x10--$1" << true << -16 << -1;
    QTest::newRow("reversed stays reversed") << "9-2" << true << 9 << 2;
    QTest::newRow("open end") << "5-" << false << 0 << 0;
    QTest::newRow("open start") << "-" << false << 0 << 0;
    QTest::newRow("three parts") << "1-2-3" << false << 0 << 0;
    QTest::newRow("triple dash") << "1---2" << false << 0 << 0;
    QTest::newRow("letters") << "a-b" << false << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << 0;
    QTest::newRow("overflow") << "0-2147483648" << false << 0 << 0;
}

void TestWilToolArgs::range()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, first);
    QFETCH(int, last);
    const auto r = parseRange(text);
    QCOMPARE(r.has_value(), ok);
    if (ok)
        QCOMPARE(*r, Range(first, last));
}

void TestWilToolArgs::xy_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("plain") << "-10,20" << true << -10 << 20;
    QTest::newRow("hex") << "$10,-x20" << true << 16 << -32;
    QTest::newRow("low 16 bits") << "70000,-70000" << true << 4464 << -4464;
    QTest::newRow("wraps to negative") << "32768,65535" << true << -32768 << -1;
    QTest::newRow("no comma") << "5" << false << 0 << 0;
    QTest::newRow("missing y") << "5," << false << 0 << 0;
    QTest::newRow("three values") << "1,2,3" << false << 0 << 0;
    QTest::newRow("not numbers") << "a,b" << false << 0 << 0;
}

void TestWilToolArgs::xy()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, x);
    QFETCH(int, y);
    const auto r = parseXY(text);
    QCOMPARE(r.has_value(), ok);
    if (ok) {
        QCOMPARE(int(r->first), x);
        QCOMPARE(int(r->second), y);
    }
}

// Options of a made-up command: --list (flag), --xy (value).
void TestWilToolArgs::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty when accepted
    QTest::addColumn<QStringList>("positional");
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QString>("xy");
    QTest::newRow("negative numbers are values")
        << QStringList{"lib", "3", "-5", "-$7", "-x1f", "-0x10"} << ""
        << QStringList{"lib", "3", "-5", "-$7", "-x1f", "-0x10"} << QStringList{} << "";
    QTest::newRow("negative range and pair are values")
        << QStringList{"-5-3", "-1,-2"} << "" << QStringList{"-5-3", "-1,-2"} << QStringList{}
        << "";
    QTest::newRow("flag anywhere")
        << QStringList{"--list", "lib"} << "" << QStringList{"lib"} << QStringList{"--list"} << "";
    QTest::newRow("value takes a negative pair") << QStringList{"lib", "--xy", "-10,20"} << ""
                                                 << QStringList{"lib"} << QStringList{} << "-10,20";
    QTest::newRow("value after =")
        << QStringList{"--xy=-1,-2", "lib"} << "" << QStringList{"lib"} << QStringList{} << "-1,-2";
    QTest::newRow("after -- all positional") << QStringList{"--", "--list", "-q"} << ""
                                             << QStringList{"--list", "-q"} << QStringList{} << "";
    QTest::newRow("lone dash is positional")
        << QStringList{"-"} << "" << QStringList{"-"} << QStringList{} << "";
    QTest::newRow("unknown long option") << QStringList{"lib", "--lsit"} << "unknown option --lsit"
                                         << QStringList{} << QStringList{} << "";
    QTest::newRow("unknown short option")
        << QStringList{"-q"} << "unknown option -q" << QStringList{} << QStringList{} << "";
    QTest::newRow("value missing") << QStringList{"lib", "--xy"} << "--xy needs a value"
                                   << QStringList{} << QStringList{} << "";
    QTest::newRow("flag given a value") << QStringList{"--list=yes"} << "--list takes no value"
                                        << QStringList{} << QStringList{} << "";
}

void TestWilToolArgs::parse()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QStringList, positional);
    QFETCH(QStringList, flags);
    QFETCH(QString, xy);
    const ParsedArgs p = parseArgs(args, {QStringLiteral("--xy")}, {QStringLiteral("--list")});
    QCOMPARE(p.ok, error.isEmpty());
    QCOMPARE(p.error, error);
    if (!p.ok)
        return;
    QCOMPARE(p.positional, positional);
    QCOMPARE(p.flags, flags);
    QCOMPARE(p.value(QStringLiteral("--xy")).value_or(QString()), xy);
}

QTEST_GUILESS_MAIN(TestWilToolArgs)
#include "tst_wiltoolargs.moc"
