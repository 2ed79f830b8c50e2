// TWIL writing: appending, replacing and re-placing images. Results are compared byte for byte
// with the library the fixture writer builds from the expected records.
#include "fileio.h"
#include "mywil.h"
#include "wilfixture.h"

#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sys/stat.h>

using namespace wilfixture;

namespace {

enum Op
{
    Add,
    AddEmptyOp,
    Replace,
    SetPx,
    SetPy
};

// Different layouts and sizes, so that shifts and extents show.
QByteArray sampleRecord(int i)
{
    switch (i % 4) {
    case 0:
        return compressedRecord(patternImage(12, 3 + i), qint16(10 + i), qint16(-10 - i));
    case 1:
        return uncompressed16Record(patternImage(8, 2 + i), qint16(20 + i), qint16(-20 - i));
    case 2:
        return emptyRecord();
    default:
        return compressedEmptyRecord(30, 30, qint16(40 + i), qint16(-40 - i), 3);
    }
}

LibraryBuilder builderFor(const QList<QByteArray> &records, int tableStart)
{
    LibraryBuilder b;
    b.setTableStart(tableStart, 0x01020304);
    for (const QByteArray &r : records)
        b.add(r);
    return b;
}

// Writes the builder's pair into `folder` and opens it in `wil`.
void openWritten(TWIL &wil, const LibraryBuilder &builder, const QString &folder)
{
    wil.FileName = builder.write(folder);
    wil.Open();
}

QList<QByteArray> sampleRecords(int count)
{
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i)
        out.append(sampleRecord(i));
    return out;
}

struct Files
{
    QByteArray library;
    QByteArray index;
    bool operator==(const Files &o) const { return library == o.library && index == o.index; }
};

Files filesOf(const QString &libraryPath)
{
    QString index = libraryPath;
    index.replace(QStringLiteral(".wil"), QStringLiteral(".WIX"));
    return {readFile(libraryPath), readFile(index)};
}

// The picture as a record shows it: widened to a multiple of 4 with black.
QImage widened(const QImage &graphic)
{
    QImage out(roundedWidth(graphic.width()), graphic.height(), QImage::Format_RGB16);
    out.fill(0);
    QPainter(&out).drawImage(0, 0, graphic);
    return out;
}

bool runOp(TWIL &wil, Op op, int index, const QImage &graphic)
{
    switch (op) {
    case Add:
        return wil.AddBitmap(graphic, -3, 4);
    case AddEmptyOp:
        return wil.AddEmpty();
    case Replace:
        return wil.ReplaceBitmap(index, graphic);
    case SetPx:
        return wil.SetImagePx(index, -5);
    case SetPy:
        return wil.SetImagePy(index, 300);
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Op)

class TestTWILWrite : public QObject
{
    Q_OBJECT
  private slots:
    void addBitmap_data();
    void addBitmap();
    void addToEmptyTemplate();
    void addBitmapTruncatesColours();
    void addEmpty();
    void refusedWhenCountsDisagree();
    void replaceBitmap_data();
    void replaceBitmap();
    void setPlacement_data();
    void setPlacement();
    void refusals_data();
    void refusals();
    void failedWritesChangeNothing_data();
    void failedWritesChangeNothing();
    void flushThatCannotReachTheDiskFails();
};

void TestTWILWrite::addBitmap_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<int>("images");
    QTest::addColumn<QImage>("graphic");
    QTest::addColumn<bool>("empty");
    QTest::newRow("after images, table 48") << 48 << 4 << patternImage(7, 5) << false;
    QTest::newRow("after images, table 52") << 52 << 4 << patternImage(8, 3) << false;
    QTest::newRow("first image, table 52") << 52 << 0 << patternImage(2, 2) << false;
    QTest::newRow("1 x 50 is empty") << 48 << 2 << patternImage(1, 50) << true;
    QTest::newRow("50 x 1 is empty") << 52 << 2 << patternImage(50, 1) << true;
    QTest::newRow("no picture is empty") << 48 << 1 << QImage() << true;
}

void TestTWILWrite::addBitmap()
{
    QFETCH(int, tableStart);
    QFETCH(int, images);
    QFETCH(QImage, graphic);
    QFETCH(bool, empty);
    QTemporaryDir dir;
    QList<QByteArray> records = sampleRecords(images);
    TWIL wil;
    openWritten(wil, builderFor(records, tableStart), dir.path());
    QVERIFY2(wil.AddBitmap(graphic, -10, 20), qPrintable(wil.errorString()));
    records.append(empty ? emptyRecord() : uncompressed16Record(graphic, -10, 20));
    const LibraryBuilder expected = builderFor(records, tableStart);
    QVERIFY(filesOf(wil.FileName) == (Files{expected.library(), expected.index()}));

    wil.Close();
    wil.Open();
    QCOMPARE(wil.ImageCount(), images + 1);
    const QImage &img = wil.LoadBitmap(images);
    if (empty) {
        QCOMPARE(img.size(), QSize(0, 0));
        QCOMPARE(wil.px, 1);
        QCOMPARE(wil.py, 1);
    } else {
        QCOMPARE(pixels565(img), pixels565(widened(graphic)));
        QCOMPARE(wil.px, -10);
        QCOMPARE(wil.py, 20);
    }
}

void TestTWILWrite::addToEmptyTemplate()
{
    QTemporaryDir dir;
    TWIL wil;
    openWritten(wil, LibraryBuilder(), dir.path());
    QCOMPARE(wil.ImageCount(), 0);
    QCOMPARE(wil.LoadBitmap(0).size(), QSize(1, 1));
    QVERIFY(wil.AddBitmap(patternImage(5, 3), -10, 20));
    const Files files = filesOf(wil.FileName);
    QCOMPARE(files.library.size(), 1080 + 8 + 8 * 3 * 2);
    QCOMPARE(int32At(files.library, 44), 1);
    QCOMPARE(int16At(files.library, 1080), 8);
    QCOMPARE(files.index.size(), 52);
    QCOMPARE(int32At(files.index, 44), 1);
    QCOMPARE(int32At(files.index, 48), 1080);
    // The new image reads back at once, columns 5-7 black.
    QCOMPARE(wil.ImageCount(), 1);
    QCOMPARE(pixels565(wil.LoadBitmap(0)), pixels565(widened(patternImage(5, 3))));
    QCOMPARE(wil.LoadBitmap(0).pixel(6, 1), qRgb(0, 0, 0));
}

void TestTWILWrite::addBitmapTruncatesColours()
{
    // Colours keep their top 5/6/5 bits; pixels that are see-through become black.
    QImage graphic(4, 2, QImage::Format_ARGB32);
    graphic.fill(qRgba(0xFF, 0x87, 0x0F, 0xFF));
    graphic.setPixel(3, 1, qRgba(0xFF, 0xFF, 0xFF, 0));
    QTemporaryDir dir;
    TWIL wil;
    openWritten(wil, LibraryBuilder(), dir.path());
    QVERIFY(wil.AddBitmap(graphic, 0, 0));
    const QImage &img = wil.LoadBitmap(0);
    QCOMPARE(reinterpret_cast<const quint16 *>(img.constScanLine(0))[0], quint16(0xFC21));
    QCOMPARE(reinterpret_cast<const quint16 *>(img.constScanLine(1))[3], quint16(0));
}

void TestTWILWrite::addEmpty()
{
    QTemporaryDir dir;
    QList<QByteArray> records = sampleRecords(3);
    TWIL wil;
    openWritten(wil, builderFor(records, 52), dir.path());
    QVERIFY(wil.AddEmpty());
    QVERIFY(wil.AddEmpty());
    records << emptyRecord() << emptyRecord();
    const LibraryBuilder expected = builderFor(records, 52);
    QVERIFY(filesOf(wil.FileName) == (Files{expected.library(), expected.index()}));
    QCOMPARE(wil.ImageCount(), 5);
    QCOMPARE(wil.inspectRecord(4).kind, RecordInfo::EmptyRecord);
}

void TestTWILWrite::refusedWhenCountsDisagree()
{
    // The library says 2, the index 3: which one is right cannot be known, and an append would
    // write its entry and counts from a guess. The pair is open for reading only.
    QTemporaryDir dir;
    LibraryBuilder b = builderFor(sampleRecords(3), 48);
    b.setLibraryCount(2);
    TWIL wil;
    openWritten(wil, b, dir.path());
    QCOMPARE(wil.ImageCount(), 2);
    QVERIFY(wil.isReadOnly());
    QVERIFY(!wil.AddEmpty());
    QVERIFY(filesOf(wil.FileName) == (Files{b.library(), b.index()}));
}

void TestTWILWrite::replaceBitmap_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<int>("images");
    QTest::addColumn<int>("index");
    QTest::addColumn<QImage>("graphic");
    // sampleRecord(1) is an 8 x 3 16-bit record, (0) a compressed one, (2) the empty record.
    QTest::newRow("same size, in place") << 48 << 4 << 1 << patternImage(6, 3).mirrored();
    for (int start : {48, 52}) {
        const QByteArray t = ", table " + QByteArray::number(start);
        QTest::newRow("larger" + t) << start << 4 << 1 << patternImage(20, 9);
        QTest::newRow("smaller" + t) << start << 4 << 1 << patternImage(4, 1);
        QTest::newRow("compressed record" + t) << start << 4 << 0 << patternImage(16, 2);
        QTest::newRow("last, larger" + t) << start << 3 << 2 << patternImage(12, 12);
        QTest::newRow("last, smaller" + t) << start << 2 << 1 << patternImage(3, 1);
    }
    QTest::newRow("1 x 1 becomes 4 x 1") << 48 << 4 << 2 << patternImage(1, 1);
    QTest::newRow("no-pixel compressed record") << 52 << 4 << 3 << patternImage(9, 2);
    // A zero-length picture file loads as no picture: the image becomes an empty one.
    QTest::newRow("no picture, middle") << 48 << 4 << 1 << QImage();
    QTest::newRow("no picture, last") << 52 << 3 << 2 << QImage();
}

void TestTWILWrite::replaceBitmap()
{
    QFETCH(int, tableStart);
    QFETCH(int, images);
    QFETCH(int, index);
    QFETCH(QImage, graphic);
    QTemporaryDir dir;
    QList<QByteArray> records = sampleRecords(images);
    TWIL wil;
    openWritten(wil, builderFor(records, tableStart), dir.path());
    const qint16 oldPx = int16At(records[index], 4), oldPy = int16At(records[index], 6);
    const qint64 oldSize = QFileInfo(wil.FileName).size();
    QVERIFY2(wil.ReplaceBitmap(index, graphic), qPrintable(wil.errorString()));

    records[index] = graphic.isNull() ? emptyRecord() : uncompressed16Record(graphic, oldPx, oldPy);
    const LibraryBuilder expected = builderFor(records, tableStart);
    const Files files = filesOf(wil.FileName);
    QCOMPARE(files.library.size(), expected.library().size());
    QVERIFY(files.library == expected.library());
    QCOMPARE(files.index, expected.index());
    if (QByteArray(QTest::currentDataTag()).startsWith("same size"))
        QCOMPARE(files.library.size(), oldSize);

    // Read back without reopening: the index was reloaded.
    QCOMPARE(wil.Offsets.mid(0, images), expected.entries());
    if (!graphic.isNull()) {
        QCOMPARE(pixels565(wil.LoadBitmap(index)), pixels565(widened(graphic)));
        QCOMPARE(wil.px, oldPx);
        QCOMPARE(wil.py, oldPy);
    }
    for (int i = 0; i < images; ++i) {
        wil.LoadBitmap(i);
        QVERIFY(wil.lastDecodeOk());
    }
}

void TestTWILWrite::setPlacement_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("value");
    QTest::newRow("compressed px") << 0 << SetPx << 4 << -5;
    QTest::newRow("16-bit py") << 1 << SetPy << 6 << 300;
    QTest::newRow("empty record px") << 2 << SetPx << 4 << -5;
    QTest::newRow("no-pixel compressed py") << 3 << SetPy << 6 << 300;
}

void TestTWILWrite::setPlacement()
{
    QFETCH(int, index);
    QFETCH(Op, op);
    QFETCH(int, field);
    QFETCH(int, value);
    QTemporaryDir dir;
    const LibraryBuilder b = builderFor(sampleRecords(4), 52);
    TWIL wil;
    openWritten(wil, b, dir.path());
    QVERIFY2(runOp(wil, op, index, {}), qPrintable(wil.errorString()));
    QByteArray expected = b.library();
    qToLittleEndian<qint16>(qint16(value), expected.data() + b.entries()[index] + field);
    QVERIFY(filesOf(wil.FileName) == (Files{expected, b.index()}));
    wil.LoadBitmap(index);
    QCOMPARE(field == 4 ? wil.px : wil.py, value);
}

void TestTWILWrite::refusals_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("state"); // closed, readonly, runlength, or a bad argument
    QTest::addColumn<int>("index");
    QTest::addColumn<QImage>("graphic");
    const QImage pic = patternImage(8, 8);
    for (Op op : {Add, AddEmptyOp, Replace, SetPx, SetPy}) {
        const QByteArray name = QByteArray("op ") + QByteArray::number(int(op));
        QTest::newRow(name + ", closed") << op << "closed" << 0 << pic;
        QTest::newRow(name + ", read-only") << op << "readonly" << 0 << pic;
        QTest::newRow(name + ", run-length") << op << "runlength" << 0 << pic;
    }
    for (Op op : {Replace, SetPx, SetPy}) {
        const QByteArray name = QByteArray("op ") + QByteArray::number(int(op));
        QTest::newRow(name + ", index -1") << op << "" << -1 << pic;
        QTest::newRow(name + ", index = count") << op << "" << 3 << pic;
    }
    QTest::newRow("picture wider than a record")
        << Add << "" << 0 << QImage(70000, 2, QImage::Format_RGB16);
    QTest::newRow("entry outside the file") << SetPx << "badentry" << 1 << pic;
}

void TestTWILWrite::refusals()
{
    QFETCH(Op, op);
    QFETCH(QString, state);
    QFETCH(int, index);
    QFETCH(QImage, graphic);
    QTemporaryDir dir;
    LibraryBuilder b = builderFor(sampleRecords(3), 48);
    if (state == "badentry")
        b.setEntry(1, 1 << 24);
    TWIL wil;
    wil.FileName = b.write(dir.path());
    const Files before = filesOf(wil.FileName);
    if (state == "readonly")
        wil.OpenReadOnly();
    else if (state != "closed")
        wil.Open();
    if (state == "runlength")
        wil.FileType = 2;
    const int count = wil.ImageCount();
    QVERIFY(!runOp(wil, op, index, graphic));
    QVERIFY(!wil.errorString().isEmpty());
    if (state == "readonly")
        QVERIFY(wil.errorString().contains(QStringLiteral("reading only")));
    QVERIFY(filesOf(wil.FileName) == before);
    QCOMPARE(wil.ImageCount(), count);
}

void TestTWILWrite::failedWritesChangeNothing_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("index");
    QTest::addColumn<QImage>("graphic");
    QTest::newRow("AddBitmap") << Add << 0 << patternImage(9, 4);
    QTest::newRow("AddEmpty") << AddEmptyOp << 0 << QImage();
    QTest::newRow("ReplaceBitmap growing") << Replace << 0 << patternImage(40, 30);
    QTest::newRow("ReplaceBitmap shrinking") << Replace << 0 << patternImage(2, 2);
    QTest::newRow("ReplaceBitmap same size") << Replace << 1 << patternImage(8, 3);
    QTest::newRow("SetImagePx") << SetPx << 2 << QImage();
}

void TestTWILWrite::failedWritesChangeNothing()
{
    QFETCH(Op, op);
    QFETCH(int, index);
    QFETCH(QImage, graphic);
    QTemporaryDir dir;
    const LibraryBuilder b = builderFor(sampleRecords(4), 52);
    const Files original{b.library(), b.index()};
    for (int k = 1;; ++k) {
        QVERIFY2(k < 1000, "the operation never finished");
        TWIL wil;
        openWritten(wil, b, dir.path());
        int seen = 0;
        fileio::setFaultHook([&](fileio::Op, const QString &) {
            return ++seen == k ? fileio::Fault::Fail : fileio::Fault::None;
        });
        const bool ok = runOp(wil, op, index, graphic);
        fileio::setFaultHook({});
        // A fault after the commit point (the folder's flush once the journal is removed)
        // leaves a complete edit behind.
        if (ok && seen >= k)
            continue;
        if (ok) {
            QVERIFY(k > 1);
            break;
        }
        QVERIFY(wil.errorString().contains(QStringLiteral("injected")));
        QVERIFY2(filesOf(wil.FileName) == original,
                 qPrintable(QStringLiteral("failure at %1").arg(k)));
        QCOMPARE(wil.ImageCount(), 4);
    }
}

// A flush whose data the system cannot put on the disk must say so: the journal and the edits
// rely on it before they go on. A pipe cannot be synced, which stands in for a failing disk.
void TestTWILWrite::flushThatCannotReachTheDiskFails()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pipe"));
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QString error;
    QVERIFY(!fileio::flush(f, &error));
    QVERIFY2(error.contains(QStringLiteral("cannot be written to the disk")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestTWILWrite)
#include "tst_twilwrite.moc"
