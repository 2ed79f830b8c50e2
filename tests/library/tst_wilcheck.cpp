// The library checker: clean on every pair the system writes, and each damaged pair names its
// fault on a line of its own. The checker never writes.
#include "addpic.h"
#include "editjournal.h"
#include "imagelimits.h"
#include "mywil.h"
#include "outpic.h"
#include "pairswap.h"
#include "samplelibrary.h"
#include "wilcheck.h"
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <zlib.h>

using namespace wilfixture;

namespace {

struct Pair
{
    QByteArray library;
    QByteArray index; // null: no index file
};

// Records of every layout the system reads or writes.
LibraryBuilder everyLayout(int tableStart = 48)
{
    LibraryBuilder b;
    b.setTableStart(tableStart, 0xDEADBEEF);
    b.add(compressedRecord(patternImage(5, 2), -3, 7));
    b.add(compressedRecord(patternImage(4, 4), 1, 2, 0));
    b.add(compressedEmptyRecord(3, 3, 4, 4));
    b.add(uncompressed16Record(patternImage(6, 4), 1, 2));
    b.add(uncompressed8Record(8, 2, 5, 6, QByteArray(16, '\x07')));
    b.add(emptyRecord());
    return b;
}

QString crcOfPattern4x4()
{
    const QVector<quint16> px = rgb565Rows(patternImage(4, 4));
    QByteArray raw;
    for (quint16 v : px)
        raw.append(char(v & 0xff)).append(char(v >> 8));
    const quint32 crc =
        quint32(crc32(0, reinterpret_cast<const Bytef *>(raw.constData()), uInt(raw.size())));
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}

Pair pairOf(const LibraryBuilder &b)
{
    return {b.library(), b.index()};
}

// A compressed record of a 4 x 4 image with a changed pixel block.
QByteArray compressedWith(const std::function<void(Compressed &)> &change)
{
    Compressed c;
    c.width = 4;
    c.height = 4;
    c.pixels = rgb565Rows(patternImage(4, 4));
    change(c);
    return compressedRecord(c);
}

Pair withTwo(const QByteArray &first, const std::function<void(LibraryBuilder &)> &change = {})
{
    LibraryBuilder b;
    b.add(first);
    b.add(uncompressed16Record(patternImage(4, 2), 0, 0));
    if (change)
        change(b);
    return pairOf(b);
}

// The pair after the library component's own edits of a built library.
Pair afterEdits(int tableStart)
{
    QTemporaryDir dir;
    const QString lib = everyLayout(tableStart).write(dir.path());
    TWIL wil;
    wil.FileName = lib;
    wil.Open();
    const bool ok = wil.AddBitmap(patternImage(7, 3), -1, 1) && wil.AddEmpty() &&
                    wil.ReplaceBitmap(0, patternImage(9, 9)) &&
                    wil.ReplaceBitmap(3, patternImage(2, 2)) && wil.SetImagePx(1, -5) &&
                    wil.SetImagePy(4, 300);
    wil.Close();
    if (!ok)
        return {};
    return {readFile(lib), readFile(indexFileNameFor(lib))};
}

// The pair after the batch operations: the library exported to a picture folder, which is then
// appended, inserted before image 2 and put in place of images 1-2; then placements from files.
Pair afterBatchEdits(int tableStart)
{
    QTemporaryDir dir;
    const QString lib = everyLayout(tableStart).write(dir.path());
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    QDir().mkpath(folder);
    TWIL wil;
    wil.FileName = lib;
    wil.Open();
    QString error;
    bool ok = outpic::exportPictures(wil, folder, {0, wil.ImageCount() - 1}, {}, &error);
    const outpic::PictureFolder pictures(folder);
    const QStringList names = pictures.pictures();
    ok = ok && addpic::Add(wil, pictures, names, {}, {}, &error) &&
         addpic::InSert(wil, pictures, names.mid(0, 3), {}, 2, {}, &error) &&
         addpic::Replace(wil, pictures, names.mid(3, 2), {}, 1, 2, {}, &error);
    const outpic::PictureFolder placements(pictures.placementsFolder());
    ok = ok && addpic::AddXy(wil, &placements, {}, 0, 3, {}, &error);
    wil.Close();
    if (!ok) {
        qWarning("batch edits failed: %s", qPrintable(error));
        return {};
    }
    return {readFile(lib), readFile(indexFileNameFor(lib))};
}

QStringList checkLines(const QString &lib)
{
    QStringList lines;
    for (const CheckFinding &f : checkLibrary(lib).findings)
        lines.append(f.line());
    return lines;
}

} // namespace

class TestWilCheck : public QObject
{
    Q_OBJECT
  private slots:
    void findings_data();
    void findings();
    void missingFiles();
    void journalLeftBehind();
    void replacementLeftBehind();
    void hugeClaimsStayCheap();
};

void TestWilCheck::findings_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("clean");
    auto row = [](const char *name, const Pair &p, const QStringList &expected) {
        bool clean = true;
        for (const QString &line : expected)
            clean &= line.contains(QStringLiteral(": warning: "));
        QTest::newRow(name) << p.library << p.index << expected << clean;
    };

    // Written by the system.
    row("empty template", pairOf(LibraryBuilder()), {});
    row("every layout, table at 48", pairOf(everyLayout(48)), {});
    row("every layout, table at 52", pairOf(everyLayout(52)), {});
    {
        LibraryBuilder b;
        b.setFrontSize(1084).setTableStart(52, 0);
        b.add(compressedRecord(patternImage(8, 3), 1, 1));
        b.add(compressedRecord(patternImage(3, 3), 1, 1, 0));
        row("1,084-byte front", pairOf(b), {});
    }
    row("after the component's edits, table at 48", afterEdits(48), {});
    row("after the component's edits, table at 52", afterEdits(52), {});
    row("after the batch operations, table at 48", afterBatchEdits(48), {});
    row("after the batch operations, table at 52", afterBatchEdits(52), {});
    {
        const sample::Files s = sample::makeSampleLibrary();
        row("sample library", {s.library, s.index}, {});
    }

    // Counts.
    {
        LibraryBuilder b = everyLayout();
        b.setLibraryCount(5);
        row("library count below the index's", pairOf(b),
            {"library: image count 5 disagrees with the index's entry count 6"});
    }
    {
        LibraryBuilder b = everyLayout();
        b.setIndexCount(8);
        row("index shorter than its count", pairOf(b),
            {"library: image count 6 disagrees with the index's entry count 8",
             "index: holds 6 entries, its count says 8"});
    }
    {
        LibraryBuilder b = everyLayout();
        b.setIndexCount(8).setLibraryCount(8);
        row("both counts beyond the entries", pairOf(b),
            {"index: holds 6 entries, its count says 8"});
    }
    {
        LibraryBuilder b = everyLayout();
        b.setLibraryCount(-1);
        row("negative image count", pairOf(b),
            {"library: image count -1 is negative",
             "library: image count -1 disagrees with the index's entry count 6"});
    }
    {
        LibraryBuilder b = everyLayout();
        QByteArray index = b.index();
        index.append("\0\0\0\0\0\0", 6);
        row("bytes behind the last entry", {b.library(), index},
            {"index: warning: 6 bytes behind the last entry"});
    }

    // Entries.
    {
        LibraryBuilder b = everyLayout();
        const qint64 size = b.library().size();
        b.setEntry(2, 999999).setEntry(4, -8);
        row("entries outside the file", pairOf(b),
            {"image 1: warning: 16 unused bytes behind its record",
             QStringLiteral("image 2: entry 999999 lies outside the library file (%1 bytes)")
                 .arg(size),
             "image 3: warning: 24 unused bytes behind its record",
             QStringLiteral("image 4: entry -8 lies outside the library file (%1 bytes)")
                 .arg(size)});
    }
    {
        LibraryBuilder b = everyLayout();
        b.setEntry(1, 100);
        row("entry into the header", pairOf(b),
            {"image 0: warning: 54 unused bytes behind its record",
             "image 1: entry 100 points into the library header (records start at 1080)"});
    }
    {
        LibraryBuilder b = everyLayout();
        b.setEntry(1, b.entries()[0]);
        row("two images on one record", pairOf(b),
            {"image 0: warning: 54 unused bytes behind its record",
             "image 1: shares its record at 1080 with image 0"});
    }
    {
        // Image 1 starts inside image 0's pixel block.
        LibraryBuilder b;
        const QByteArray first = compressedRecord(patternImage(4, 4), 0, 0, 0);
        b.add(first);
        b.add(uncompressed16Record(patternImage(4, 2), 0, 0));
        b.setEntry(1, 1080 + 20);
        row("overlapping records", pairOf(b),
            {QStringLiteral("image 0: record at 1080 (%1 bytes) overlaps image 1's record at 1100")
                 .arg(first.size()),
             "image 1: record at 1100 fits no record layout in its 58 bytes"});
    }

    // Records.
    // A 4 x 4 header reads as an uncompressed record too; a width of 5 only as a compressed one.
    row("unknown method", withTwo(compressedWith([](Compressed &c) { c.method = 3; })),
        {"image 0: pixel block method 3 is unknown"});
    row("unknown method, odd width", withTwo(compressedWith([](Compressed &c) {
            c.width = 5;
            c.method = 0xFFFF;
        })),
        {"image 0: pixel block method 65535 is unknown"});
    row("invalid deflate data", withTwo(compressedWith([](Compressed &c) {
            c.block = QByteArray("\x08\0\0\0\0\0\xff\xff\xff\xff\xff\xff", 12);
        })),
        {"image 0: pixel block does not inflate: invalid deflate data after 0 bytes of pixels"});
    row("CRC-32 mismatch, deflated",
        withTwo(compressedWith([](Compressed &c) { c.crc = 0x12345678; })),
        {"image 0: CRC-32 mismatch: the block says 12345678, its pixels give " +
         crcOfPattern4x4()});
    row("CRC-32 mismatch, stored", withTwo(compressedWith([](Compressed &c) {
            c.method = 0;
            c.crc = 0;
        })),
        {"image 0: CRC-32 mismatch: the block says 00000000, its pixels give " +
         crcOfPattern4x4()});
    row("too few pixels", withTwo(compressedWith([](Compressed &c) { c.pixels.resize(4); })),
        {"image 0: pixel block holds 8 bytes of pixels, 4 x 4 needs 32"});
    row("negative width", withTwo(compressedWith([](Compressed &c) { c.width = -4; })),
        {"image 0: negative size -4 x 4"});
    row("more pixels than the image can hold",
        withTwo(compressedWith([](Compressed &c) { c.pixels.append(c.pixels); })),
        {"image 0: warning: pixel block holds more than the 32 bytes of pixels that 4 x 4 can "
         "hold"});
    {
        // A block longer than any deflate stream of its pixels: its length alone gives it away.
        Compressed c;
        c.width = 4, c.height = 4, c.pixels = rgb565Rows(patternImage(4, 4));
        QByteArray block = compressedRecord(c).mid(16);
        const qint64 longest = imagelimits::maxPixelBlockLength(4, 4);
        block.append(QByteArray(longest + 1 - block.size(), '\0'));
        c.block = block;
        row("block longer than any deflate stream of its pixels", withTwo(compressedRecord(c)),
            {QStringLiteral("image 0: pixel block of %1 bytes: 4 x 4 pixels never need more "
                            "than %2")
                 .arg(longest + 1)
                 .arg(longest)});
    }
    row("deflated, wider than the limit", withTwo(compressedRecord(patternImage(8196, 1), 0, 0)),
        {"image 0: 8196 x 1 pixels: beyond the limit of 8192 x 8192"});
    row("16-bit, taller than the limit", withTwo(uncompressed16Record(patternImage(4, 8193), 0, 0)),
        {"image 0: 4 x 8193 pixels: beyond the limit of 8192 x 8192"});
    {
        // The last record's block length reaches past the end of the file.
        LibraryBuilder b;
        b.add(compressedWith([](Compressed &c) {
            c.width = 5;
            c.blockLengthField = 5000;
        }));
        const qint64 left = b.library().size() - 1080 - 16;
        row("block past the end of the file", pairOf(b),
            {QStringLiteral("image 0: pixel block of 5000 bytes runs past the end of the library "
                            "file (%1 bytes left behind the record header)")
                 .arg(left)});
    }
    {
        LibraryBuilder b;
        b.add(QByteArray("\x05\0\x02\0\0\0\0\0\0\0\0\0", 12));
        b.add(emptyRecord());
        row("record of no layout", pairOf(b),
            {"image 0: record at 1080 fits no record layout in its 12 bytes"});
    }

    // Unused bytes warn but do not fail.
    {
        LibraryBuilder b;
        b.add(compressedRecord(patternImage(4, 4), 0, 0));
        b.add(uncompressed16Record(patternImage(6, 4), 1, 2));
        b.addBytes(QByteArray(7, '\0'));
        row("bytes behind the last record", pairOf(b),
            {"library: warning: 7 bytes behind the last record"});
    }
    {
        LibraryBuilder b;
        b.add(compressedRecord(patternImage(4, 4), 0, 0) + QByteArray(4, '\0'));
        b.add(emptyRecord());
        row("gap between records", pairOf(b),
            {"image 0: warning: 4 unused bytes behind its record"});
    }

    // Too short to be a pair at all.
    row("library shorter than its palette",
        {LibraryBuilder().library().left(500), LibraryBuilder().index()},
        {"library: 500 bytes, too short for the header and the palette (1080 bytes)"});
    row("index shorter than its header",
        {LibraryBuilder().library(), LibraryBuilder().index().left(20)},
        {"index: 20 bytes, too short for its header (48 bytes)"});
}

void TestWilCheck::findings()
{
    QFETCH(QByteArray, library);
    QFETCH(QByteArray, index);
    QFETCH(QStringList, expected);
    QFETCH(bool, clean);
    QVERIFY(!library.isEmpty());
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("test.wil"));
    QVERIFY(writeFile(lib, library));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("test.WIX")), index));

    const CheckReport report = checkLibrary(lib);
    QStringList lines;
    for (const CheckFinding &f : report.findings)
        lines.append(f.line());
    QVERIFY2(lines == expected, qPrintable(QStringLiteral("found:\n  %1\nexpected:\n  %2")
                                               .arg(lines.join(QStringLiteral("\n  ")),
                                                    expected.join(QStringLiteral("\n  ")))));
    QCOMPARE(report.clean(), clean);
    QCOMPARE(readFile(lib), library);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("test.WIX"))), index);
}

void TestWilCheck::missingFiles()
{
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("lonely.wil"));
    QCOMPARE(checkLines(lib), QStringList{QStringLiteral("library: %1 does not exist").arg(lib)});
    QVERIFY(writeFile(lib, LibraryBuilder().library()));
    QCOMPARE(
        checkLines(lib),
        QStringList{QStringLiteral("index: %1 does not exist").arg(dir.filePath("lonely.WIX"))});
}

void TestWilCheck::journalLeftBehind()
{
    QTemporaryDir dir;
    LibraryBuilder b = everyLayout();
    const QString lib = b.write(dir.path());
    // A complete journal of an edit that was under way: its old bytes differ from the pair's.
    {
        QFile library(lib);
        QVERIFY(library.open(QIODevice::ReadOnly));
        EditJournal journal(lib, indexFileNameFor(lib));
        QString error;
        QVERIFY2(journal.begin(library.size() - 4, -1, &error) &&
                     journal.save(EditJournal::Library, library, 1080, 16, &error) &&
                     journal.arm(&error),
                 qPrintable(error));
    }
    const QByteArray journalBytes = readFile(EditJournal::pathFor(lib));
    QVERIFY(!journalBytes.isEmpty());

    const CheckReport report = checkLibrary(lib);
    QCOMPARE(report.findings.size(), 1);
    QVERIFY2(report.findings[0].line().startsWith(
                 QStringLiteral("library: %1 is left from an edit that was cut short")
                     .arg(EditJournal::pathFor(lib))),
             qPrintable(report.findings[0].line()));
    QVERIFY(!report.clean());
    // Nothing played back, nothing removed.
    QCOMPARE(readFile(lib), b.library());
    QCOMPARE(readFile(indexFileNameFor(lib)), b.index());
    QCOMPARE(readFile(EditJournal::pathFor(lib)), journalBytes);

    // Moved aside as stale by an opening: a warning, the pair otherwise judged as it is.
    const QString aside = EditJournal::pathFor(lib) + QStringLiteral(".stale-20260101-000000");
    QVERIFY(QFile::rename(EditJournal::pathFor(lib), aside));
    const CheckReport later = checkLibrary(lib);
    QVERIFY(later.clean());
    QCOMPARE(later.findings.size(), 1);
    QVERIFY2(later.findings[0].line().startsWith(
                 QStringLiteral("library: warning: %1 was left by an edit").arg(aside)),
             qPrintable(later.findings[0].line()));
}

// A replacement of the pair cut short between its renames: the library may not even be there.
void TestWilCheck::replacementLeftBehind()
{
    QTemporaryDir dir;
    const QString lib = everyLayout().write(dir.path());
    const QString marker = pairswap::markerPathFor(lib);
    QVERIFY(writeFile(marker, "WILSWAP1"));
    for (const bool libraryThere : {true, false}) {
        if (!libraryThere)
            QVERIFY(QFile::rename(lib, dir.filePath(QStringLiteral("elsewhere.wil"))));
        const CheckReport report = checkLibrary(lib);
        QCOMPARE(report.findings.size(), 1);
        QVERIFY2(report.findings[0].line().startsWith(
                     QStringLiteral("library: %1 is left from a replacement").arg(marker)),
                 qPrintable(report.findings[0].line()));
        QVERIFY(!report.clean());
        QCOMPARE(readFile(marker), QByteArray("WILSWAP1"));
    }
}

void TestWilCheck::hugeClaimsStayCheap()
{
    // Counts and sizes near the limits of their fields cost neither memory nor time.
    QTemporaryDir dir;
    LibraryBuilder b;
    Compressed c;
    c.width = 32767;
    c.height = 32767;
    c.pixels = QVector<quint16>(64, 1);
    b.add(compressedRecord(c));
    b.setIndexCount(0x7fffffff).setLibraryCount(0x7fffffff);
    const QString lib = b.write(dir.path());
    const CheckReport report = checkLibrary(lib);
    QCOMPARE(report.imageCount, 1);
    QCOMPARE(checkLines(lib),
             (QStringList{"index: holds 1 entries, its count says 2147483647",
                          "image 0: 32767 x 32767 pixels: beyond the limit of 8192 x 8192"}));
}

QTEST_GUILESS_MAIN(TestWilCheck)
#include "tst_wilcheck.moc"
