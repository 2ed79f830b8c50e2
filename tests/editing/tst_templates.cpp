// The empty templates a new library starts from, and Extractrec that writes them out.

#include "extractrec.h"
#include "fileio.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

qint32 int32At(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<qint32>(bytes.constData() + at);
}

QRgb paletteEntry(const QByteArray &library, int i)
{
    const auto *e = reinterpret_cast<const uchar *>(library.constData() + 56 + 4 * i);
    return qRgb(e[2], e[1], e[0]);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestTemplates : public QObject
{
    Q_OBJECT
  private slots:
    void libraryHeader();
    void fixedPaletteEntries_data();
    void fixedPaletteEntries();
    void paletteFollowsTable();
    void index();
    void extract_data();
    void extract();
    void extractReplacesLongerFile();
    void extractFailureReported();
};

void TestTemplates::libraryHeader()
{
    const QByteArray wil =
        embeddedResource(QStringLiteral("exefile"), QStringLiteral("wil")).value();
    QCOMPARE(wil.size(), 1080);
    QCOMPARE(wil.left(36), QByteArray("#ILIB v1.0-ORBENA Entertainment inc."));
    QCOMPARE(wil.mid(36, 8), hex("000000004D3E4000"));
    QCOMPARE(int32At(wil, 44), 0);
    QCOMPARE(wil.mid(48, 4), hex("00010000"));
    QCOMPARE(wil.mid(52, 4), hex("00040000"));
    for (int i = 0; i < 256; ++i)
        QCOMPARE(wil[56 + 4 * i + 3], '\0');
}

void TestTemplates::fixedPaletteEntries_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    const int rows[][4] = {
        {0, 0, 0, 0},         {1, 128, 0, 0},       {2, 0, 128, 0},       {3, 128, 128, 0},
        {4, 0, 0, 128},       {5, 128, 0, 128},     {6, 0, 128, 128},     {7, 192, 192, 192},
        {8, 85, 128, 151},    {9, 157, 185, 200},   {10, 123, 115, 115},  {245, 227, 23, 179},
        {246, 255, 251, 240}, {247, 160, 160, 164}, {248, 128, 128, 128}, {249, 255, 0, 0},
        {250, 0, 255, 0},     {251, 255, 255, 0},   {252, 0, 0, 255},     {253, 255, 0, 255},
        {254, 0, 255, 255},   {255, 255, 255, 255}};
    for (const auto &r : rows)
        QTest::addRow("entry %d", r[0]) << r[0] << r[1] << r[2] << r[3];
}

void TestTemplates::fixedPaletteEntries()
{
    QFETCH(int, entry);
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    const QByteArray wil =
        embeddedResource(QStringLiteral("exefile"), QStringLiteral("wil")).value();
    QCOMPARE(paletteEntry(wil, entry), qRgb(r, g, b));
}

// The embedded template is the one the table in resources/ describes, entry for entry.
void TestTemplates::paletteFollowsTable()
{
    QFile table(QStringLiteral(WIL_PALETTE_TABLE));
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    const QByteArray wil =
        embeddedResource(QStringLiteral("exefile"), QStringLiteral("wil")).value();
    int entries = 0;
    while (!table.atEnd()) {
        const QString line = QString::fromUtf8(table.readLine()).section(u'#', 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(QRegularExpression(QStringLiteral("\\s+")));
        QCOMPARE(f.size(), 4);
        QCOMPARE(paletteEntry(wil, f[0].toInt()), qRgb(f[1].toInt(), f[2].toInt(), f[3].toInt()));
        ++entries;
    }
    QCOMPARE(entries, 256);
}

void TestTemplates::index()
{
    const QByteArray wix =
        embeddedResource(QStringLiteral("exefile"), QStringLiteral("wix")).value();
    QCOMPARE(wix, QByteArray("#INDX v1.0-ORBENA Entertainment inc.") + hex("0B0000007078DA00") +
                      hex("00000000"));
}

void TestTemplates::extract_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size"); // -1: no such resource
    QTest::newRow("wil") << "exefile"
                         << "wil" << 1080;
    QTest::newRow("wix") << "exefile"
                         << "wix" << 48;
    QTest::newRow("upper case") << "EXEFILE"
                                << "WIL" << 1080;
    QTest::newRow("mixed case") << "ExeFile"
                                << "Wix" << 48;
    QTest::newRow("unknown name") << "exefile"
                                  << "wiz" << -1;
    QTest::newRow("unknown type") << "rcdata"
                                  << "wil" << -1;
    QTest::newRow("type as name") << ""
                                  << "exefile" << -1;
}

void TestTemplates::extract()
{
    QFETCH(QString, type);
    QFETCH(QString, name);
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out"));
    QString error;
    QCOMPARE(Extractrec(type, name, path, &error), size >= 0);
    if (size < 0) {
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(path));
        return;
    }
    QCOMPARE(readAll(path), embeddedResource(QStringLiteral("exefile"), name.toLower()).value());
    QCOMPARE(readAll(path).size(), size);
}

void TestTemplates::extractReplacesLongerFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.WIX"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();
    QVERIFY(Extractrec(QStringLiteral("exefile"), QStringLiteral("wix"), path));
    QCOMPARE(QFileInfo(path).size(), 48);
}

void TestTemplates::extractFailureReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.wil"));
    fileio::setFaultHook([](fileio::Op op, const QString &) {
        return op == fileio::Op::Write ? fileio::Fault::Fail : fileio::Fault::None;
    });
    QString error;
    const bool ok = Extractrec(QStringLiteral("exefile"), QStringLiteral("wil"), path, &error);
    fileio::setFaultHook({});
    QVERIFY(!ok);
    QVERIFY(error.contains(QStringLiteral("new.wil")));
}

QTEST_GUILESS_MAIN(TestTemplates)
#include "tst_templates.moc"
