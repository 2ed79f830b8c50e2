// Replacing and inserting records in place: the result must be byte for byte the library the
// fixture writer builds from the new list of records, and a failure anywhere must leave both
// files exactly as they were.
#include "fileio.h"
#include "mywil.h"
#include "recordsplice.h"
#include "wilfixture.h"

#include <QTemporaryDir>
#include <QTest>

using namespace wilfixture;

namespace {

QList<QByteArray> sampleRecords(int count, int seed)
{
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i)
        out.append(mixedRecord(i + seed));
    return out;
}

LibraryBuilder builderFor(const QList<QByteArray> &records, int tableStart)
{
    LibraryBuilder b;
    b.setTableStart(tableStart, 0xA5A5A5A5);
    for (const QByteArray &r : records)
        b.add(r);
    return b;
}

struct Files
{
    QByteArray library;
    QByteArray index;
    bool operator==(const Files &o) const { return library == o.library && index == o.index; }
};

Files filesOf(const TWIL &wil)
{
    return {readFile(wil.FileName), readFile(wil.IndexFileName)};
}

// Fails the k-th write, flush or resize (counted from 1) of anything going through fileio.
class FailAt
{
  public:
    explicit FailAt(int k)
    {
        fileio::setFaultHook([this, k](fileio::Op, const QString &) {
            return ++m_seen == k ? fileio::Fault::Fail : fileio::Fault::None;
        });
    }
    ~FailAt() { fileio::setFaultHook({}); }
    int seen() const { return m_seen; }

  private:
    int m_seen = 0;
};

} // namespace

class TestRecordSplice : public QObject
{
    Q_OBJECT
  private slots:
    void cleanup() { setSpliceChunkSize(1 << 20); }
    void splice_data();
    void splice();
    void failureLeavesFilesUnchanged_data();
    void failureLeavesFilesUnchanged();
    void refusals_data();
    void refusals();
    void entriesOutOfOrderShiftByValue();
    void reportsTailProgress();
};

void TestRecordSplice::splice_data()
{
    QTest::addColumn<int>("images");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("removeCount");
    QTest::addColumn<int>("newRecords");
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<qint64>("chunk");

    for (int start : {48, 52}) {
        const QByteArray t = QByteArray::number(start);
        QTest::newRow("insert at 0, table " + t) << 5 << 0 << 0 << 2 << start << qint64(7);
        QTest::newRow("insert in the middle, table " + t)
            << 5 << 2 << 0 << 1 << start << qint64(1 << 20);
        QTest::newRow("insert at the end, table " + t) << 5 << 5 << 0 << 3 << start << qint64(5);
        QTest::newRow("insert into an empty library, table " + t)
            << 0 << 0 << 0 << 2 << start << qint64(7);
        QTest::newRow("replace growing, table " + t) << 6 << 1 << 1 << 3 << start << qint64(11);
        QTest::newRow("replace shrinking, table " + t) << 6 << 0 << 4 << 1 << start << qint64(11);
        QTest::newRow("replace the last, table " + t) << 4 << 3 << 1 << 1 << start << qint64(3);
        QTest::newRow("replace all, table " + t) << 4 << 0 << 4 << 2 << start << qint64(64);
        QTest::newRow("remove two, table " + t) << 5 << 1 << 2 << 0 << start << qint64(9);
    }
    QTest::newRow("replace same size") << 4 << 0 << 1 << -1 << 48 << qint64(7);
}

void TestRecordSplice::splice()
{
    QFETCH(int, images);
    QFETCH(int, first);
    QFETCH(int, removeCount);
    QFETCH(int, newRecords);
    QFETCH(int, tableStart);
    QFETCH(qint64, chunk);
    setSpliceChunkSize(chunk);

    const QList<QByteArray> before = sampleRecords(images, 0);
    QList<QByteArray> inserted = sampleRecords(qMax(newRecords, 0), 100);
    if (newRecords < 0) { // same size, other content
        QByteArray r = before[first];
        r[r.size() - 1] = char(r[r.size() - 1] ^ 0x5A);
        inserted = {r};
    }
    QList<QByteArray> after = before;
    after.remove(first, removeCount);
    for (int i = 0; i < inserted.size(); ++i)
        after.insert(first + i, inserted[i]);

    QTemporaryDir dir;
    TWIL wil;
    wil.FileName = builderFor(before, tableStart).write(dir.path());
    wil.Open();
    QCOMPARE(wil.ImageCount(), images);
    QString error;
    QVERIFY2(spliceRecords(wil, first, removeCount, inserted, &error), qPrintable(error));

    const LibraryBuilder expected = builderFor(after, tableStart);
    const Files files = filesOf(wil);
    QCOMPARE(files.library.size(), expected.library().size());
    QVERIFY(files.library == expected.library());
    QCOMPARE(files.index, expected.index());
    // The component matches the files without reopening.
    QCOMPARE(wil.ImageCount(), after.size());
    QCOMPARE(wil.Offsets.mid(0, after.size()), expected.entries());
    wil.Close();
    wil.Open();
    QCOMPARE(wil.ImageCount(), after.size());
    QCOMPARE(wil.indexTableStart(), tableStart);
}

void TestRecordSplice::failureLeavesFilesUnchanged_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("removeCount");
    QTest::addColumn<int>("newRecords");
    QTest::addColumn<int>("tableStart");
    QTest::newRow("insert at 0") << 0 << 0 << 2 << 48;
    QTest::newRow("append") << 4 << 0 << 1 << 52;
    QTest::newRow("replace growing") << 1 << 1 << 3 << 52;
    QTest::newRow("replace shrinking") << 0 << 3 << 1 << 48;
    QTest::newRow("replace the last") << 3 << 1 << 2 << 48;
}

void TestRecordSplice::failureLeavesFilesUnchanged()
{
    QFETCH(int, first);
    QFETCH(int, removeCount);
    QFETCH(int, newRecords);
    QFETCH(int, tableStart);
    setSpliceChunkSize(13); // many chunks, so failures land inside the move
    const QList<QByteArray> before = sampleRecords(4, 0);
    const QList<QByteArray> inserted = sampleRecords(newRecords, 50);
    QTemporaryDir dir;
    const LibraryBuilder built = builderFor(before, tableStart);
    const Files original{built.library(), built.index()};

    bool succeeded = false;
    int k = 1;
    for (; !succeeded; ++k) {
        QVERIFY2(k < 10000, "the operation never finished");
        TWIL wil;
        wil.FileName = built.write(dir.path());
        wil.Open();
        const QVector<qint32> offsets = wil.Offsets;
        QString error;
        {
            FailAt fault(k);
            succeeded = spliceRecords(wil, first, removeCount, inserted, &error);
            // A fault after the commit point (the folder's flush once the journal is
            // removed) leaves a complete edit behind: go on to the next k.
            if (succeeded && fault.seen() >= k) {
                succeeded = false;
                continue;
            }
        }
        if (succeeded)
            break;
        QVERIFY(error.contains(QStringLiteral("injected")));
        QVERIFY2(filesOf(wil) == original, qPrintable(QStringLiteral("failure at %1").arg(k)));
        QCOMPARE(wil.ImageCount(), 4);
        QCOMPARE(wil.Offsets, offsets);
    }
    qInfo() << "operations that could fail:" << k - 1;
    QVERIFY(k > 6);
}

void TestRecordSplice::refusals_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("removeCount");
    QTest::addColumn<bool>("emptyRecord");
    QTest::addColumn<bool>("removeIndex");
    QTest::addColumn<bool>("sharedEntry");
    QTest::newRow("first negative") << -1 << 0 << false << false << false;
    QTest::newRow("first beyond the count") << 5 << 0 << false << false << false;
    QTest::newRow("range beyond the count") << 3 << 2 << false << false << false;
    QTest::newRow("record without bytes") << 1 << 1 << true << false << false;
    QTest::newRow("index missing") << 1 << 1 << false << true << false;
    QTest::newRow("kept image shares the bytes") << 1 << 1 << false << false << true;
}

void TestRecordSplice::refusals()
{
    QFETCH(int, first);
    QFETCH(int, removeCount);
    QFETCH(bool, emptyRecord);
    QFETCH(bool, removeIndex);
    QFETCH(bool, sharedEntry);
    QTemporaryDir dir;
    LibraryBuilder b = builderFor(sampleRecords(4, 0), 48);
    if (sharedEntry)
        b.setEntry(3, b.entries()[1]);
    TWIL wil;
    wil.FileName = b.write(dir.path());
    wil.Open();
    if (removeIndex)
        QVERIFY(QFile::remove(wil.IndexFileName));
    const Files before = filesOf(wil);
    QString error;
    const QList<QByteArray> records{emptyRecord ? QByteArray() : mixedRecord(9)};
    QVERIFY(!spliceRecords(wil, first, removeCount, records, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(filesOf(wil) == before);
    // An index taken away after the component read the pair is seen before anything is
    // written: the component reads the pair again and holds no images now.
    QCOMPARE(wil.ImageCount(), removeIndex ? 0 : 4);
}

void TestRecordSplice::entriesOutOfOrderShiftByValue()
{
    // Image 0's record lies behind image 1's: replacing image 1 moves image 0's entry only.
    QTemporaryDir dir;
    const QByteArray a = mixedRecord(0), c = mixedRecord(1);
    LibraryBuilder b;
    b.setTableStart(52);
    b.add(c); // image 0 for now
    b.add(a);
    b.setEntry(0, 1080 + c.size());
    b.setEntry(1, 1080);
    TWIL wil;
    wil.FileName = b.write(dir.path());
    wil.Open();
    QString error;
    QVERIFY2(spliceRecords(wil, 1, 1, {uncompressed16Record(patternImage(16, 16), 1, 1)}, &error),
             qPrintable(error));
    const qint64 newSize = 8 + 16 * 16 * 2;
    QCOMPARE(wil.Offsets[1], 1080);
    QCOMPARE(wil.Offsets[0], 1080 + newSize);
    wil.Close();
    wil.Open();
    QCOMPARE(wil.LoadBitmap(1).size(), QSize(16, 16));
    QCOMPARE(wil.LoadBitmap(0).size(), patternImage(4, 2).size());
}

void TestRecordSplice::reportsTailProgress()
{
    setSpliceChunkSize(10);
    QTemporaryDir dir;
    const QList<QByteArray> records = sampleRecords(3, 0);
    TWIL wil;
    wil.FileName = builderFor(records, 48).write(dir.path());
    wil.Open();
    const qint64 tail = records[1].size() + records[2].size();
    QList<QPair<int, int>> calls;
    QString error;
    QVERIFY(spliceRecords(wil, 1, 0, {mixedRecord(7)}, &error, [&](int pos, int max) {
        calls.append({pos, max});
    }));
    const int chunks = int((tail + 9) / 10);
    QCOMPARE(calls.size(), chunks + 1);
    QCOMPARE(calls.first(), qMakePair(0, chunks));
    QCOMPARE(calls.last(), qMakePair(chunks, chunks));
}

QTEST_GUILESS_MAIN(TestRecordSplice)
#include "tst_recordsplice.moc"
