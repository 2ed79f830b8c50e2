#include "integertext.h"

#include <QTest>

class TestIntegerText : public QObject
{
    Q_OBJECT
private slots:
    void entry_data();
    void entry();
    void lenient_data();
    void lenient();
    void fixedPlacement_data();
    void fixedPlacement();
};

void TestIntegerText::entry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "42" << true << 42;
    QTest::newRow("leading blank") << " 5" << true << 5;
    QTest::newRow("trailing blank") << "5 " << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("dollar hex") << "$10" << true << 16;
    QTest::newRow("dollar A") << "$A" << true << 10;
    QTest::newRow("x hex") << "x1f" << true << 31;
    QTest::newRow("0X hex") << "0X10" << true << 16;
    QTest::newRow("negative") << "-3" << true << -3;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("negative hex") << "-$10" << true << -16;
    QTest::newRow("int32 max") << "2147483647" << true << 2147483647;
    QTest::newRow("int32 min") << "-2147483648" << true << int(-2147483648LL);
    QTest::newRow("overflow") << "2147483648" << false << 0;
    QTest::newRow("prefix only") << "$" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0;
}

void TestIntegerText::entry()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const auto parsed = parseIntegerEntry(text);
    QCOMPARE(parsed.has_value(), ok);
    if (ok)
        QCOMPARE(*parsed, value);
}

void TestIntegerText::lenient_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("valid") << "-12" << -12;
    QTest::newRow("sign lost on error") << "-12 " << 12;
    QTest::newRow("digits then letters") << "12a" << 12;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("1.5") << "1.5" << 1;
}

void TestIntegerText::lenient()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(lenientInteger(text), value);
}

void TestIntegerText::fixedPlacement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::newRow("pair") << "-3,7" << -3 << 7;
    QTest::newRow("no comma is py") << "5" << 0 << 5;
    QTest::newRow("first comma counts") << "1,2,3" << 1 << 2;
    QTest::newRow("low 16 bits") << "70000,0" << 4464 << 0;
    QTest::newRow("default") << "0,0" << 0 << 0;
}

void TestIntegerText::fixedPlacement()
{
    QFETCH(QString, text);
    QFETCH(int, px);
    QFETCH(int, py);
    const FixedPlacement p = parseFixedPlacement(text);
    QCOMPARE(int(p.px), px);
    QCOMPARE(int(p.py), py);
}

QTEST_GUILESS_MAIN(TestIntegerText)
#include "tst_integertext.moc"
