// The wiltool binary as a user runs it: exit status, stdout, the one stderr line, the files.
#include "editjournal.h"
#include "integertext.h"
#include "mywil.h"
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sys/stat.h>
#include <unistd.h>

using namespace wilfixture;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

QString wiltoolPath()
{
    return qEnvironmentVariable("WILTOOL");
}

// Root ignores file permissions; without the capability that lets it, a read-only file is
// read-only for root as well.
bool needsPrivilegeDrop()
{
    return ::geteuid() == 0;
}

Run wiltool(const QStringList &args, bool dropPrivileges = false)
{
    QProcess p;
    if (dropPrivileges && needsPrivilegeDrop()) {
        p.setProgram(QStandardPaths::findExecutable(QStringLiteral("setpriv")));
        p.setArguments(QStringList{QStringLiteral("--bounding-set=-dac_override"), wiltoolPath()} +
                       args);
    } else {
        p.setProgram(wiltoolPath());
        p.setArguments(args);
    }
    p.start();
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("wiltool did not finish: ") + args.join(u' ');
        return r;
    }
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A refusal is exactly one line on stderr and nothing on stdout.
#define VERIFY_REFUSED(run, expectedCode, fragment)                                                \
    do {                                                                                           \
        QVERIFY2((run).code == (expectedCode), qPrintable((run).err));                             \
        QCOMPARE((run).err.count(u'\n'), 1);                                                       \
        QVERIFY2((run).err.contains(fragment), qPrintable((run).err));                             \
        QCOMPARE((run).out, QString());                                                            \
    } while (false)

#define VERIFY_OK(run)                                                                             \
    do {                                                                                           \
        QVERIFY2((run).code == 0, qPrintable((run).err));                                          \
        QCOMPARE((run).err, QString());                                                            \
    } while (false)

// The image as the decoder shows it: `stored` columns wide, only the first `shown` coloured.
QImage padded(const QImage &image, int storedWidth)
{
    QImage out(storedWidth, image.height(), QImage::Format_RGB16);
    out.fill(0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.setPixel(x, y, image.pixel(x, y));
    return out;
}

// What a compressed record of `image` shows: its pixels run in rows of the rounded width, and
// only width x height of them are stored, so an odd width leaves the top row's end black.
QImage compressedView(const QImage &image)
{
    const QVector<quint16> pixels = rgb565Rows(image);
    const int w = image.width(), h = image.height(), w4 = roundedWidth(w);
    QImage out(w, h, QImage::Format_RGB16);
    out.fill(0);
    for (qsizetype k = 0; k < qsizetype(w) * h; ++k)
        if (k % w4 < w)
            reinterpret_cast<quint16 *>(out.scanLine(h - 1 - int(k / w4)))[k % w4] = pixels[k];
    return out;
}

// Checks every header field of a 16-bit RGB565 bitmap file and returns its pixels.
QImage readBitmap16(const QByteArray &file)
{
    if (file.size() < 66 || !file.startsWith("BM"))
        return {};
    const int width = int32At(file, 18), height = int32At(file, 22);
    const int stride = (width * 2 + 3) / 4 * 4;
    const bool headerOk = int32At(file, 2) == file.size() && int32At(file, 10) == 66 &&
                          int32At(file, 14) == 40 && int16At(file, 26) == 1 &&
                          int16At(file, 28) == 16 && int32At(file, 30) == 3 &&
                          int32At(file, 34) == stride * height && int32At(file, 54) == 0xF800 &&
                          int32At(file, 58) == 0x07E0 && int32At(file, 62) == 0x001F &&
                          file.size() == 66 + qint64(stride) * height;
    if (!headerOk || width <= 0 || height <= 0)
        return {};
    QImage image(width, height, QImage::Format_RGB16);
    for (int row = 0; row < height; ++row) // bottom row first
        for (int x = 0; x < width; ++x)
            reinterpret_cast<quint16 *>(image.scanLine(height - 1 - row))[x] =
                quint16(int16At(file, 66 + qint64(row) * stride + 2 * x));
    return image;
}

QString writePicture(const QString &folder, const QString &name, const QImage &image)
{
    const QString path = QDir(folder).filePath(name);
    image.convertToFormat(QImage::Format_RGB32).save(path, "BMP");
    return path;
}

QString indexOf(const QString &lib)
{
    return lib.left(lib.size() - 4) + QStringLiteral(".WIX");
}

// Three images for the edits: compressed 5 x 2, uncompressed 16-bit 6 x 4 (stored 8 wide),
// compressed 4 x 4.
LibraryBuilder plainLibrary(int tableStart)
{
    LibraryBuilder b;
    b.setTableStart(tableStart, 0xDEADBEEF);
    b.add(compressedRecord(patternImage(5, 2), -3, 7));
    b.add(uncompressed16Record(patternImage(6, 4), 11, -12));
    b.add(compressedRecord(patternImage(4, 4), 100, 200));
    return b;
}

QImage plainImage(int n)
{
    switch (n) {
    case 0:
        return compressedView(patternImage(5, 2));
    case 1:
        return padded(patternImage(6, 4), 8);
    default:
        return patternImage(4, 4);
    }
}

// The listing of an image, as info --list prints it.
QString listLine(int n, int w, int h, int px, int py, qint64 offset)
{
    return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
        .arg(n)
        .arg(w)
        .arg(h)
        .arg(px)
        .arg(py)
        .arg(offset);
}

QStringList infoLines(const QString &lib)
{
    const Run r = wiltool({QStringLiteral("info"), lib, QStringLiteral("--list")});
    if (r.code != 0)
        return {r.err};
    return r.out.split(u'\n', Qt::SkipEmptyParts);
}

QImage rendered(const QString &folder, const QString &lib, int n)
{
    const QString out = QDir(folder).filePath(QStringLiteral("r%1.bmp").arg(n));
    const Run r = wiltool({QStringLiteral("render"), lib, QString::number(n), out});
    return r.code == 0 ? readBitmap16(readFile(out)) : QImage();
}

} // namespace

class TestWilTool : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void info_data();
    void info();
    void render_data();
    void render();
    void renderRefused_data();
    void renderRefused();
    void append_data();
    void append();
    void replace_data();
    void replace();
    void replaceWithZeroLengthPicture();
    void setxy_data();
    void setxy();
    void editRefused_data();
    void editRefused();
    void inconsistentPairReadOnly_data();
    void inconsistentPairReadOnly();
    void usageErrors_data();
    void usageErrors();
    void help();
    void interruptedEditIsANote_data();
    void interruptedEditIsANote();
    void notAFileRefused_data();
    void notAFileRefused();
    void fullDisk_data();
    void fullDisk();
};

void TestWilTool::initTestCase()
{
    QVERIFY2(QFile::exists(wiltoolPath()), "WILTOOL must name the wiltool binary");
}

// Every kind of record info can meet: pixels compressed, deflated or stored, 16-bit
// uncompressed, both empty layouts, and two records that cannot be decoded.
void TestWilTool::info_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<bool>("list");
    QTest::newRow("table at 48") << 48 << false;
    QTest::newRow("table at 52") << 52 << false;
    QTest::newRow("table at 48, listed") << 48 << true;
    QTest::newRow("table at 52, listed") << 52 << true;
}

void TestWilTool::info()
{
    QFETCH(int, tableStart);
    QFETCH(bool, list);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.setTableStart(tableStart, 0xDEADBEEF);
    b.add(compressedRecord(patternImage(5, 2), -3, 7));
    b.add(compressedEmptyRecord(4, 4, 11, -12, 3));
    b.add(uncompressed16Record(patternImage(6, 3), 1, 2));
    b.add(emptyRecord());
    Compressed unknownMethod; // a flat block deflates far below any uncompressed layout
    unknownMethod.width = 32;
    unknownMethod.height = 32;
    unknownMethod.pixels = QVector<quint16>(32 * 32, 0x1234);
    unknownMethod.method = 5;
    b.add(compressedRecord(unknownMethod));
    b.add(compressedRecord(patternImage(4, 4), 0, -1, 0));
    b.addEntry(999999); // beyond the end of the file
    const QString lib = b.write(dir.path());
    const QVector<qint32> e = b.entries();

    QStringList args{QStringLiteral("info"), lib};
    if (list)
        args << QStringLiteral("--list");
    const Run r = wiltool(args);
    VERIFY_OK(r);
    QStringList expected{QStringLiteral("images: 7"), QStringLiteral("filetype: 0"),
                         QStringLiteral("offset: 0"), QStringLiteral("table: %1").arg(tableStart)};
    if (list)
        expected << listLine(0, 5, 2, -3, 7, e[0]) << listLine(1, 0, 0, 11, -12, e[1])
                 << listLine(2, 8, 3, 1, 2, e[2]) << listLine(3, 0, 0, 1, 1, e[3])
                 << QStringLiteral("4\tundecodable\t%1").arg(e[4]) << listLine(5, 4, 4, 0, -1, e[5])
                 << QStringLiteral("6\tundecodable\t999999");
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), expected);
}

void TestWilTool::render_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QImage>("expected"); // null: the 0-byte file of an image without pixels
    QTest::newRow("compressed, odd width") << "0" << compressedView(patternImage(5, 2));
    QTest::newRow("16-bit, padded columns black") << "1" << padded(patternImage(6, 4), 8);
    QTest::newRow("stored block, hex number") << "$3" << patternImage(4, 4);
    QTest::newRow("x hex") << "x0" << compressedView(patternImage(5, 2));
    QTest::newRow("compressed empty") << "2" << QImage();
    QTest::newRow("9-byte empty") << "4" << QImage();
}

void TestWilTool::render()
{
    QFETCH(QString, number);
    QFETCH(QImage, expected);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(5, 2), -3, 7));
    b.add(uncompressed16Record(patternImage(6, 4), 1, 2));
    b.add(compressedEmptyRecord(3, 3, 4, 4));
    b.add(compressedRecord(patternImage(4, 4), 0, 0, 0));
    b.add(emptyRecord());
    const QString lib = b.write(dir.path());
    const QString out = dir.filePath(QStringLiteral("out.bmp"));

    const Run r = wiltool({QStringLiteral("render"), lib, number, out});
    VERIFY_OK(r);
    QCOMPARE(r.out, QString());
    QVERIFY(QFile::exists(out));
    const QByteArray bytes = readFile(out);
    if (expected.isNull()) {
        QCOMPARE(bytes.size(), 0);
        return;
    }
    const QImage image = readBitmap16(bytes);
    QVERIFY2(!image.isNull(), "bitmap header wrong");
    QCOMPARE(image, expected.convertToFormat(QImage::Format_RGB16));
    // Other programs read what we write.
    QCOMPARE(QImage(out).convertToFormat(QImage::Format_RGB16), image);
}

void TestWilTool::renderRefused_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("output"); // relative to the temporary folder
    QTest::addColumn<QString>("fragment");
    QTest::newRow("negative") << "-1"
                              << "out.bmp"
                              << "out of range";
    QTest::newRow("count") << "3"
                           << "out.bmp"
                           << "out of range";
    QTest::newRow("hex beyond") << "$7fffffff"
                                << "out.bmp"
                                << "out of range";
    QTest::newRow("unknown method") << "1"
                                    << "out.bmp"
                                    << "cannot be decoded";
    QTest::newRow("record beyond the file") << "2"
                                            << "out.bmp"
                                            << "cannot be decoded";
    QTest::newRow("missing folder") << "0"
                                    << "no/such/out.bmp"
                                    << "out.bmp";
    QTest::newRow("over the library") << "0"
                                      << "test.wil"
                                      << "own file";
    QTest::newRow("over the index") << "0"
                                    << "test.WIX"
                                    << "own file";
}

void TestWilTool::renderRefused()
{
    QFETCH(QString, number);
    QFETCH(QString, output);
    QFETCH(QString, fragment);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(5, 2), -3, 7));
    Compressed bad;
    bad.width = 32;
    bad.height = 32;
    bad.pixels = QVector<quint16>(32 * 32, 0x1234);
    bad.method = 1;
    b.add(compressedRecord(bad));
    b.addEntry(1 << 24);
    const QString lib = b.write(dir.path());
    const QByteArray libBefore = readFile(lib), indexBefore = readFile(indexOf(lib));
    const QString out = dir.filePath(output);
    const bool existed = QFile::exists(out);

    const Run r = wiltool({QStringLiteral("render"), lib, number, out});
    VERIFY_REFUSED(r, 1, fragment);
    QCOMPARE(QFile::exists(out), existed);
    QCOMPARE(readFile(lib), libBefore);
    QCOMPARE(readFile(indexOf(lib)), indexBefore);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

void TestWilTool::append_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<QImage>("picture"); // null: a zero-length picture file
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::addColumn<int>("recordSize");
    const QImage p53 = patternImage(5, 3);
    const int size53 = 8 + 8 * 3 * 2;
    QTest::newRow("negative x") << 48 << p53 << QStringList{"--xy", "-10,20"} << -10 << 20
                                << size53;
    QTest::newRow("option=value") << 48 << p53 << QStringList{"--xy=-10,-20"} << -10 << -20
                                  << size53;
    QTest::newRow("xy before the library")
        << 48 << p53 << QStringList{"--xy", "1,2", "--"} << 1 << 2 << size53;
    QTest::newRow("hex") << 48 << p53 << QStringList{"--xy", "$10,-x20"} << 16 << -32 << size53;
    QTest::newRow("low 16 bits") << 48 << p53 << QStringList{"--xy", "70000,-70000"} << 4464
                                 << -4464 << size53;
    QTest::newRow("no placement") << 48 << p53 << QStringList{} << 0 << 0 << size53;
    QTest::newRow("table at 52") << 52 << p53 << QStringList{"--xy", "-1,-1"} << -1 << -1 << size53;
    QTest::newRow("width multiple of 4")
        << 52 << patternImage(8, 2) << QStringList{} << 0 << 0 << 8 + 8 * 2 * 2;
    QTest::newRow("one pixel wide: empty")
        << 48 << patternImage(1, 50) << QStringList{"--xy", "5,5"} << 1 << 1 << 9;
    QTest::newRow("zero-length file: empty") << 52 << QImage() << QStringList{} << 1 << 1 << 9;
}

void TestWilTool::append()
{
    QFETCH(int, tableStart);
    QFETCH(QImage, picture);
    QFETCH(QStringList, options);
    QFETCH(int, px);
    QFETCH(int, py);
    QFETCH(int, recordSize);
    QTemporaryDir dir;
    const QString lib = plainLibrary(tableStart).write(dir.path());
    const QString pic = picture.isNull()
                            ? dir.filePath(QStringLiteral("empty.bmp"))
                            : writePicture(dir.path(), QStringLiteral("p.bmp"), picture);
    if (picture.isNull())
        QVERIFY(writeFile(pic, {}));
    const qint64 oldSize = QFileInfo(lib).size();

    QStringList args{QStringLiteral("append")};
    if (options.contains(QStringLiteral("--")))
        args << options.mid(0, options.indexOf(QStringLiteral("--")) + 1) << lib << pic;
    else
        args << lib << pic << options;
    const Run r = wiltool(args);
    VERIFY_OK(r);
    QCOMPARE(r.out, QStringLiteral("image: 3\n"));

    const QByteArray library = readFile(lib), index = readFile(indexOf(lib));
    QCOMPARE(library.size(), oldSize + recordSize);
    QCOMPARE(int32At(library, 44), 4);
    QCOMPARE(int32At(index, 44), 4);
    QCOMPARE(index.size(), tableStart + 16);
    QCOMPARE(int32At(index, tableStart + 12), oldSize);
    if (tableStart == 52)
        QCOMPARE(quint32(int32At(index, 48)), 0xDEADBEEFu);

    const bool empty = recordSize == 9;
    const int w4 = empty ? 0 : roundedWidth(picture.width());
    const QStringList lines = infoLines(lib);
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines[7], listLine(3, w4, empty ? 0 : picture.height(), px, py, oldSize));
    for (int n = 0; n < 3; ++n)
        QCOMPARE(rendered(dir.path(), lib, n), plainImage(n).convertToFormat(QImage::Format_RGB16));
    if (!empty)
        QCOMPARE(rendered(dir.path(), lib, 3), padded(picture, w4));
}

void TestWilTool::replace_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<bool>("sameSize");
    // Image 1 is a 16-bit record 8 x 4: a 7 x 4 picture fits its place exactly.
    QTest::newRow("same size in place") << 48 << "1" << patternImage(7, 4).mirrored() << true;
    QTest::newRow("larger, first image") << 48 << "0" << patternImage(12, 10) << false;
    QTest::newRow("larger, table at 52") << 52 << "0" << patternImage(12, 10) << false;
    QTest::newRow("smaller, middle image") << 52 << "1" << patternImage(2, 2) << false;
    QTest::newRow("last image, hex number") << 48 << "$2" << patternImage(9, 3) << false;
    QTest::newRow("one pixel stays a picture") << 48 << "x0" << patternImage(1, 1) << false;
}

void TestWilTool::replace()
{
    QFETCH(int, tableStart);
    QFETCH(QString, number);
    QFETCH(QImage, picture);
    QFETCH(bool, sameSize);
    QTemporaryDir dir;
    const LibraryBuilder b = plainLibrary(tableStart);
    const QString lib = b.write(dir.path());
    const QString pic = writePicture(dir.path(), QStringLiteral("p.bmp"), picture);
    const int n = *parseIntegerEntry(number);
    const QByteArray oldLibrary = readFile(lib);
    const QStringList before = infoLines(lib);

    const Run r = wiltool({QStringLiteral("replace"), lib, number, pic});
    VERIFY_OK(r);
    QCOMPARE(r.out, QString());

    const QByteArray library = readFile(lib), index = readFile(indexOf(lib));
    const QVector<qint32> e = b.entries();
    const qint64 oldEnd = n + 1 < e.size() ? e[n + 1] : oldLibrary.size();
    const int w4 = roundedWidth(picture.width());
    const qint64 delta = 8 + qint64(w4) * picture.height() * 2 - (oldEnd - e[n]);
    QCOMPARE(delta == 0, sameSize);
    QCOMPARE(library.size(), oldLibrary.size() + delta);
    QCOMPARE(int32At(index, 44), 3);
    QCOMPARE(index.size(), tableStart + 12);
    if (tableStart == 52)
        QCOMPARE(quint32(int32At(index, 48)), 0xDEADBEEFu);
    for (int k = 0; k < 3; ++k)
        QCOMPARE(int32At(index, tableStart + 4 * k), e[k] + (k > n ? delta : 0));
    QCOMPARE(library.left(e[n]), oldLibrary.left(e[n]));
    QCOMPARE(library.mid(e[n] + 4, 4), oldLibrary.mid(e[n] + 4, 4)); // the placement stays

    const QStringList lines = infoLines(lib);
    QCOMPARE(lines.size(), 7);
    for (int k = 0; k < 3; ++k) {
        const QStringList was = before[4 + k].split(u'\t');
        if (k == n) {
            QCOMPARE(lines[4 + k],
                     listLine(k, w4, picture.height(), was[3].toInt(), was[4].toInt(), e[k]));
            QCOMPARE(rendered(dir.path(), lib, k), padded(picture, w4));
        } else {
            QCOMPARE(lines[4 + k], listLine(k, was[1].toInt(), was[2].toInt(), was[3].toInt(),
                                            was[4].toInt(), e[k] + (k > n ? delta : 0)));
            QCOMPARE(rendered(dir.path(), lib, k),
                     plainImage(k).convertToFormat(QImage::Format_RGB16));
        }
    }
}

void TestWilTool::replaceWithZeroLengthPicture()
{
    // An exported image without pixels is a zero-length file; it comes back as one.
    QTemporaryDir dir;
    const LibraryBuilder b = plainLibrary(48);
    const QString lib = b.write(dir.path());
    const QString pic = dir.filePath(QStringLiteral("empty.bmp"));
    QVERIFY(writeFile(pic, {}));
    const QByteArray oldLibrary = readFile(lib);
    const QVector<qint32> e = b.entries();

    VERIFY_OK(wiltool({QStringLiteral("replace"), lib, QStringLiteral("1"), pic}));
    const QByteArray library = readFile(lib), index = readFile(indexOf(lib));
    QCOMPARE(library.left(e[1]), oldLibrary.left(e[1]));
    QCOMPARE(library.mid(e[1], 9), emptyRecord());
    QCOMPARE(library.mid(e[1] + 9), oldLibrary.mid(e[2]));
    QCOMPARE(int32At(index, 48 + 8), e[1] + 9);
    VERIFY_OK(wiltool({QStringLiteral("check"), lib}));
}

void TestWilTool::setxy_data()
{
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<QStringList>("args"); // N X Y
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("px");
    QTest::addColumn<int>("py");
    QTest::newRow("negative x") << 48 << QStringList{"2", "-5", "7"} << 2 << -5 << 7;
    QTest::newRow("both negative") << 52 << QStringList{"0", "-5", "-7"} << 0 << -5 << -7;
    QTest::newRow("hex") << 48 << QStringList{"x1", "$10", "-x10"} << 1 << 16 << -16;
    QTest::newRow("0x hex") << 52 << QStringList{"0x2", "0X7FFF", "-0x8000"} << 2 << 32767
                            << -32768;
    QTest::newRow("low 16 bits") << 48 << QStringList{"1", "70000", "-70000"} << 1 << 4464 << -4464;
    QTest::newRow("int32 limits") << 48 << QStringList{"0", "2147483647", "-2147483648"} << 0 << -1
                                  << 0;
    QTest::newRow("after --") << 48 << QStringList{"--", "0", "-1", "-2"} << 0 << -1 << -2;
}

void TestWilTool::setxy()
{
    QFETCH(int, tableStart);
    QFETCH(QStringList, args);
    QFETCH(int, n);
    QFETCH(int, px);
    QFETCH(int, py);
    QTemporaryDir dir;
    const LibraryBuilder b = plainLibrary(tableStart);
    const QString lib = b.write(dir.path());
    const QByteArray before = readFile(lib), indexBefore = readFile(indexOf(lib));
    const Run r = wiltool(QStringList{QStringLiteral("setxy"), lib} + args);
    VERIFY_OK(r);
    QCOMPARE(r.out, QString());
    QByteArray expected = before;
    const qint32 at = b.entries()[n];
    qToLittleEndian<qint16>(qint16(px), expected.data() + at + 4);
    qToLittleEndian<qint16>(qint16(py), expected.data() + at + 6);
    QCOMPARE(readFile(lib), expected); // those four bytes and nothing else
    QCOMPARE(readFile(indexOf(lib)), indexBefore);
    const QStringList fields = infoLines(lib).value(4 + n).split(u'\t');
    QCOMPARE(fields.value(3).toInt(), px);
    QCOMPARE(fields.value(4).toInt(), py);
}

void TestWilTool::editRefused_data()
{
    QTest::addColumn<QStringList>("args"); // LIB, PIC, EMPTY, JUNK stand for the files
    QTest::addColumn<QString>("setup");    // "", "readonly", "rofolder", "noindex"
    QTest::addColumn<QString>("fragment"); // DIR stands for the library's folder
    QTest::newRow("append, read-only") << QStringList{"append", "LIB", "PIC"} << "readonly"
                                       << "cannot be changed";
    QTest::newRow("replace, read-only") << QStringList{"replace", "LIB", "0", "PIC"} << "readonly"
                                        << "cannot be changed";
    QTest::newRow("setxy, read-only") << QStringList{"setxy", "LIB", "0", "1", "2"} << "readonly"
                                      << "cannot be changed";
    QTest::newRow("replace, beyond") << QStringList{"replace", "LIB", "3", "PIC"} << ""
                                     << "out of range";
    QTest::newRow("replace, negative") << QStringList{"replace", "LIB", "-1", "PIC"} << ""
                                       << "out of range";
    QTest::newRow("setxy, beyond") << QStringList{"setxy", "LIB", "$3", "1", "2"} << ""
                                   << "out of range";
    QTest::newRow("setxy, negative") << QStringList{"setxy", "LIB", "-1", "1", "2"} << ""
                                     << "out of range";
    QTest::newRow("append, missing picture") << QStringList{"append", "LIB", "nothere.bmp"} << ""
                                             << "nothere.bmp";
    QTest::newRow("append, not a picture") << QStringList{"append", "LIB", "JUNK"} << ""
                                           << "junk.bmp";
    QTest::newRow("replace, not a picture") << QStringList{"replace", "LIB", "0", "JUNK"} << ""
                                            << "junk.bmp";
    QTest::newRow("append, missing library") << QStringList{"append", "none.wil", "PIC"} << ""
                                             << "none.wil";
    QTest::newRow("append, index missing") << QStringList{"append", "LIB", "PIC"} << "noindex"
                                           << "";
    QTest::newRow("setxy, index missing") << QStringList{"setxy", "LIB", "0", "1", "2"} << "noindex"
                                          << "is missing";
    // The folder and the reason, not an empty path.
    QTest::newRow("delete, read-only folder") << QStringList{"delete", "LIB", "0-1"} << "rofolder"
                                              << "folder DIR (Permission denied)";
}

void TestWilTool::editRefused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, setup);
    QFETCH(QString, fragment);
    QTemporaryDir dir;
    const QString lib = plainLibrary(48).write(dir.path());
    const QString index = indexOf(lib);
    const QString pic = writePicture(dir.path(), QStringLiteral("p.bmp"), patternImage(5, 3));
    const QString junk = dir.filePath(QStringLiteral("junk.bmp"));
    const QString empty = dir.filePath(QStringLiteral("empty.bmp"));
    QVERIFY(writeFile(junk, "this is no picture"));
    QVERIFY(writeFile(empty, {}));
    if (setup == u"noindex")
        QVERIFY(QFile::remove(index));
    const bool readOnly = setup == u"readonly" || setup == u"rofolder";
    if (readOnly) {
        if (needsPrivilegeDrop() &&
            QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("running as root without setpriv: files cannot be made read-only");
        for (const QString &f : {lib, index})
            QVERIFY(
                setup != u"readonly" ||
                QFile::setPermissions(f, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    const auto readable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
    if (setup == u"rofolder")
        QVERIFY(QFile::setPermissions(dir.path(), readable));
    fragment.replace(QStringLiteral("DIR"), QDir::toNativeSeparators(dir.path()));
    const QByteArray libBefore = readFile(lib), indexBefore = readFile(index);
    for (QString &a : args) {
        if (a == u"LIB")
            a = lib;
        else if (a == u"PIC")
            a = pic;
        else if (a == u"JUNK")
            a = junk;
        else if (a == u"EMPTY")
            a = empty;
        else if (a.endsWith(u".bmp") || a.endsWith(u".wil"))
            a = dir.filePath(a);
    }

    const Run r = wiltool(args, readOnly);
    QFile::setPermissions(dir.path(), readable | QFile::WriteOwner);
    VERIFY_REFUSED(r, 1, fragment);
    QCOMPARE(readFile(lib), libBefore);
    QCOMPARE(QFile::exists(index), setup != u"noindex");
    QCOMPARE(readFile(index), indexBefore);
    if (readOnly) { // reading still works
        const Run info = wiltool({QStringLiteral("info"), lib}, true);
        VERIFY_OK(info);
        QVERIFY(info.out.startsWith(QStringLiteral("images: 3\n")));
        const QString out = dir.filePath(QStringLiteral("ro.bmp"));
        VERIFY_OK(wiltool({QStringLiteral("render"), lib, QStringLiteral("0"), out}, true));
        QCOMPARE(readBitmap16(readFile(out)), plainImage(0));
    }
}

// A pair that does not hold together opens for reading only with one notice that names the
// problem, the file and the checker; no edit writes a byte, and wiltool refuses with the same
// reason. Sound pairs of every layout the reader accepts open for editing without a word.
void TestWilTool::inconsistentPairReadOnly_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("fragment"); // empty: a sound pair
    QTest::newRow("random file") << "random"
                                 << "the pair is inconsistent";
    QTest::newRow("bitmap renamed") << "bitmap"
                                    << "is missing";
    QTest::newRow("index missing") << "noindex"
                                   << "is missing";
    QTest::newRow("index cut short") << "shortindex"
                                     << "holds 2 of the library's 3 images";
    QTest::newRow("counts disagree") << "counts"
                                     << "counts 2 images and its index 3";
    QTest::newRow("count beyond the file") << "toomany"
                                           << "1000 images cannot fit";
    QTest::newRow("no image, bytes behind") << "zero"
                                            << "counts no image but holds";
    QTest::newRow("first record elsewhere")
        << "first"
        << "the first record in the file (image 0's) is at 1100";
    QTest::newRow("entry in the front part") << "front"
                                             << "image 2 (100) points into the header";
    QTest::newRow("entry beyond the end") << "beyond"
                                          << "lies beyond the end";
    QTest::newRow("sound, table at 48") << ""
                                        << "";
    QTest::newRow("sound, table at 52") << "table52"
                                        << "";
    QTest::newRow("sound, front part of 1084 bytes") << "front1084"
                                                     << "";
    QTest::newRow("sound, no image") << "empty"
                                     << "";
}

void TestWilTool::inconsistentPairReadOnly()
{
    QFETCH(QString, damage);
    QFETCH(QString, fragment);
    QTemporaryDir dir;
    LibraryBuilder b = plainLibrary(damage == u"table52" ? 52 : 48);
    if (damage == u"front1084") {
        b = LibraryBuilder();
        b.setFrontSize(1084).setTableStart(52);
        b.add(compressedRecord(patternImage(5, 2), -3, 7));
        b.add(uncompressed16Record(patternImage(6, 4), 11, -12));
    } else if (damage == u"empty") {
        b = LibraryBuilder();
    } else if (damage == u"counts") {
        b.setLibraryCount(2);
    } else if (damage == u"toomany") {
        for (int i = 3; i < 1000; ++i)
            b.addEntry(1080);
    } else if (damage == u"zero") {
        b.setLibraryCount(0).setIndexCount(0);
    } else if (damage == u"first") {
        b.setEntry(0, 1100);
    } else if (damage == u"front") {
        b.setEntry(2, 100);
    } else if (damage == u"beyond") {
        b.setEntry(2, 2147483000);
    }
    const QString lib = b.write(dir.path());
    const QString index = indexOf(lib);
    if (damage == u"random") {
        QRandomGenerator random(7);
        QByteArray bytes(30000, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        QVERIFY(writeFile(lib, bytes));
    } else if (damage == u"bitmap") {
        QVERIFY(QFile::remove(lib) && QFile::remove(index));
        QVERIFY(patternImage(20, 20).save(lib, "BMP"));
    } else if (damage == u"noindex") {
        QVERIFY(QFile::remove(index));
    } else if (damage == u"shortindex") {
        QVERIFY(writeFile(index, readFile(index).chopped(4)));
    }
    const QByteArray libBefore = readFile(lib), indexBefore = readFile(index);

    QStringList notices;
    TWIL wil;
    wil.setNotifier([&notices](const QString &text) { notices << text; });
    wil.FileName = lib;
    wil.Open();
    QVERIFY(wil.isOpen());
    QString why;
    if (fragment.isEmpty()) {
        QCOMPARE(notices, QStringList());
        QVERIFY2(!wil.isReadOnly() && wil.canEdit(&why), qPrintable(why));
        return;
    }
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices[0].contains(fragment) && notices[0].contains(lib) &&
                 notices[0].contains(QStringLiteral("wiltool check")),
             qPrintable(notices[0]));
    QVERIFY(wil.isReadOnly());
    QVERIFY(!wil.canEdit(&why));
    QVERIFY2(why.contains(fragment), qPrintable(why));
    QVERIFY(!wil.AddBitmap(patternImage(4, 4), 0, 0));
    QVERIFY(!wil.SetImagePx(0, 5));
    wil.Close();

    const QString pic = writePicture(dir.path(), QStringLiteral("p.bmp"), patternImage(5, 3));
    VERIFY_REFUSED(wiltool({QStringLiteral("add"), lib, pic}), 1, fragment);
    VERIFY_REFUSED(wiltool({QStringLiteral("delete"), lib, QStringLiteral("0")}), 1, fragment);
    QCOMPARE(readFile(lib), libBefore);
    QCOMPARE(readFile(index), indexBefore);
}

void TestWilTool::usageErrors_data()
{
    QTest::addColumn<QStringList>("args"); // LIB and PIC stand for the files
    QTest::addColumn<QString>("fragment");
    QTest::newRow("nothing") << QStringList{} << "usage: wiltool COMMAND";
    QTest::newRow("unknown command")
        << QStringList{"frobnicate", "LIB"} << "unknown command frobnicate";
    QTest::newRow("info without library") << QStringList{"info"} << "usage: wiltool info LIB";
    QTest::newRow("info, two libraries") << QStringList{"info", "LIB", "LIB"} << "expected LIB";
    QTest::newRow("unknown option")
        << QStringList{"info", "LIB", "--lsit"} << "unknown option --lsit";
    QTest::newRow("flag with a value")
        << QStringList{"info", "LIB", "--list=1"} << "takes no value";
    QTest::newRow("single-dash word")
        << QStringList{"render", "LIB", "-q", "o.bmp"} << "unknown option -q";
    QTest::newRow("N not a number")
        << QStringList{"render", "LIB", "abc", "o.bmp"} << "N is not a number";
    QTest::newRow("N with a fraction")
        << QStringList{"render", "LIB", "1.5", "o.bmp"} << "not a number";
    QTest::newRow("N overflows") << QStringList{"render", "LIB", "2147483648", "o.bmp"}
                                 << "not a number";
    QTest::newRow("render without output")
        << QStringList{"render", "LIB", "0"} << "usage: wiltool render";
    QTest::newRow("setxy without Y")
        << QStringList{"setxy", "LIB", "0", "1"} << "usage: wiltool setxy";
    QTest::newRow("setxy, extra") << QStringList{"setxy", "LIB", "0", "1", "2", "3"}
                                  << "expected LIB N X Y";
    QTest::newRow("X not a number")
        << QStringList{"setxy", "LIB", "0", "7x", "1"} << "X is not a number";
    QTest::newRow("Y not a number")
        << QStringList{"setxy", "LIB", "0", "1", "$"} << "Y is not a number";
    QTest::newRow("xy without value")
        << QStringList{"append", "LIB", "PIC", "--xy"} << "--xy needs a value";
    QTest::newRow("xy without comma") << QStringList{"append", "LIB", "PIC", "--xy", "5"} << "X,Y";
    QTest::newRow("xy with three") << QStringList{"append", "LIB", "PIC", "--xy", "1,2,3"} << "X,Y";
    QTest::newRow("replace, missing picture arg")
        << QStringList{"replace", "LIB", "0"} << "usage: wiltool replace";
}

void TestWilTool::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, fragment);
    QTemporaryDir dir;
    const QString lib = plainLibrary(48).write(dir.path());
    const QString pic = writePicture(dir.path(), QStringLiteral("p.bmp"), patternImage(5, 3));
    const QByteArray libBefore = readFile(lib), indexBefore = readFile(indexOf(lib));
    for (QString &a : args)
        a = a == u"LIB" ? lib : a == u"PIC" ? pic : a == u"o.bmp" ? dir.filePath(a) : a;

    const Run r = wiltool(args);
    VERIFY_REFUSED(r, 2, fragment);
    QCOMPARE(readFile(lib), libBefore);
    QCOMPARE(readFile(indexOf(lib)), indexBefore);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("o.bmp"))));
}

void TestWilTool::help()
{
    const Run all = wiltool({QStringLiteral("--help")});
    VERIFY_OK(all);
    for (const char *command : {"info", "render", "append", "replace", "setxy"})
        QVERIFY2(all.out.contains(QStringLiteral("  %1 ").arg(QLatin1String(command))), command);
    const Run one = wiltool({QStringLiteral("setxy"), QStringLiteral("--help")});
    VERIFY_OK(one);
    QCOMPARE(one.out, QStringLiteral("usage: wiltool setxy LIB N X Y\n"));
}

// An edit a crash cut short is undone when a command opens the library: the user hears of it on
// stderr as a note, and the command's own outcome (and its one failure line) still follows.
void TestWilTool::interruptedEditIsANote_data()
{
    QTest::addColumn<QString>("command"); // LIB and DIR stand for the library and a folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("failure"); // part of the failure line; empty: none
    QTest::newRow("info") << "info LIB" << 0 << "";
    QTest::newRow("setxy") << "setxy LIB 0 5 6" << 0 << "";
    QTest::newRow("setxy out of range") << "setxy LIB 9 5 6" << 1 << "out of range";
    QTest::newRow("blank") << "blank LIB 0" << 0 << "";
    QTest::newRow("export") << "export LIB DIR" << 0 << "";
}

void TestWilTool::interruptedEditIsANote()
{
    QFETCH(QString, command);
    QFETCH(int, code);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    LibraryBuilder b;
    b.add(compressedRecord(patternImage(8, 2), 1, 2));
    const QString lib = b.write(dir.path());
    {
        // What a crash in the middle of an edit leaves: an armed journal.
        EditJournal journal(lib, indexOf(lib));
        QFile file(lib);
        QString error;
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(journal.begin(file.size(), QFileInfo(indexOf(lib)).size(), &error));
        QVERIFY(journal.save(EditJournal::Library, file, 44, 4, &error));
        QVERIFY(journal.arm(&error));
    }
    QStringList args = command.split(u' ');
    args.replaceInStrings(QStringLiteral("LIB"), lib);
    args.replaceInStrings(QStringLiteral("DIR"), dir.filePath(QStringLiteral("out")));
    const Run r = wiltool(args);
    QVERIFY2(r.code == code, qPrintable(r.err));
    const QStringList lines = r.err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), failure.isEmpty() ? 1 : 2);
    QVERIFY2(lines[0].startsWith(QStringLiteral("wiltool: note: ")) &&
                 lines[0].contains(QStringLiteral("undone")),
             qPrintable(lines[0]));
    if (!failure.isEmpty())
        QVERIFY2(lines[1].contains(failure), qPrintable(lines[1]));
    QVERIFY(!QFile::exists(EditJournal::pathFor(lib)));
}

// Something that is no regular file where the library or its index should be is refused by what
// it is, at once: a FIFO is never opened (it would wait for a writer forever).
void TestWilTool::notAFileRefused_data()
{
    QTest::addColumn<QString>("command"); // LIB stands for the library, DIR for a folder
    QTest::addColumn<QString>("file");    // "library" or "index"
    QTest::addColumn<QString>("thing");   // what stands in its place
    QTest::addColumn<QString>("fragment");
    auto row = [](const char *command, const char *file, const char *thing, const char *fragment) {
        QTest::addRow("%s: %s is %s", command, file, thing) << command << file << thing << fragment;
    };
    row("info LIB", "library", "directory", "is a directory");
    row("info LIB", "library", "fifo", "is not a regular file");
    row("info LIB", "library", "device", "is not a regular file");
    row("info LIB", "library", "loop", "is a loop of links");
    row("info LIB", "index", "directory", "is a directory");
    row("info LIB", "index", "fifo", "is not a regular file");
    row("info LIB", "index", "device", "is not a regular file");
    row("info LIB", "index", "missing", "is missing");
    row("check LIB", "library", "fifo", "is not a regular file");
    row("check LIB", "index", "fifo", "is not a regular file");
    row("check LIB", "index", "directory", "is a directory");
    row("setxy LIB 0 1 2", "index", "fifo", "is not a regular file");
    row("delete LIB 0-1", "index", "fifo", "is not a regular file");
    row("export LIB DIR", "library", "fifo", "is not a regular file");
}

void TestWilTool::notAFileRefused()
{
    QFETCH(QString, command);
    QFETCH(QString, file);
    QFETCH(QString, thing);
    QFETCH(QString, fragment);
    QTemporaryDir dir;
    const QString lib = plainLibrary(48).write(dir.path());
    const QString target = file == u"library" ? lib : indexOf(lib);
    QVERIFY(QFile::remove(target));
    const QByteArray path = QFile::encodeName(target);
    if (thing == u"directory")
        QVERIFY(QDir().mkdir(target));
    else if (thing == u"fifo")
        QCOMPARE(::mkfifo(path.constData(), 0644), 0);
    else if (thing == u"device")
        QCOMPARE(::symlink("/dev/null", path.constData()), 0);
    else if (thing == u"loop")
        QCOMPARE(::symlink(path.constData(), path.constData()), 0);
    const QString other = file == u"library" ? indexOf(lib) : lib;
    const QByteArray otherBefore = readFile(other);
    const QDir folder(dir.path());
    const auto filter = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    const QStringList namesBefore = folder.entryList(filter);

    QStringList args = command.split(u' ');
    args.replaceInStrings(QStringLiteral("LIB"), lib);
    args.replaceInStrings(QStringLiteral("DIR"), dir.filePath(QStringLiteral("out")));
    const Run r = wiltool(args);
    if (args[0] == u"check") { // the findings go to stdout
        QVERIFY2(r.code == 1, qPrintable(r.err));
        QVERIFY2(r.out.contains(fragment), qPrintable(r.out));
    } else {
        VERIFY_REFUSED(r, 1, fragment);
    }
    QVERIFY2(!r.err.contains(QStringLiteral("不存在")) && !r.out.contains(QStringLiteral("exist")),
             qPrintable(r.err + r.out));
    QCOMPARE(readFile(other), otherBefore);
    QCOMPARE(folder.entryList(filter), namesBefore);
}

// A real full disk: a small file system of its own (a tmpfs in a mount namespace), filled up.
// The message says so, never "Unknown error", and the pair is as it was.
void TestWilTool::fullDisk_data()
{
    QTest::addColumn<QString>("command"); // LIB stands for the library, PIC for a picture
    QTest::addColumn<QString>("fragment");
    QTest::newRow("insert") << "add LIB PIC --insert-at 0"
                            << "The disk is full: the edit needs";
    QTest::newRow("delete") << "delete LIB 0-1"
                            << "The disk is full: the edit needs";
    QTest::newRow("blank") << "blank LIB 0-1"
                           << "The disk is full: the edit needs";
    QTest::newRow("export") << "export LIB OUT"
                            << ".bmp: the disk is full";
}

void TestWilTool::fullDisk()
{
    QFETCH(QString, command);
    QFETCH(QString, fragment);
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty() ||
        QProcess::execute(unshare, {QStringLiteral("-rm"), QStringLiteral("true")}) != 0)
        QSKIP("no mount namespace for a small file system of its own");
    QTemporaryDir dir;
    LibraryBuilder b;
    for (int i = 0; i < 6; ++i)
        b.add(uncompressed16Record(patternImage(40, 40), qint16(i), 0));
    const QString lib = b.write(dir.path());
    const QString pic = writePicture(dir.path(), QStringLiteral("p.bmp"), patternImage(5, 3));
    const QString disk = dir.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkdir(disk));
    QString args = command;
    args.replace(QStringLiteral("LIB"), disk + QStringLiteral("/test.wil"))
        .replace(QStringLiteral("PIC"), pic)
        .replace(QStringLiteral("OUT"), disk + QStringLiteral("/out"));
    // A filler leaves 16 kB: room for the lock, not for a copy of the library. The files are
    // compared with their copies before the namespace (and the disk) goes.
    const QString script =
        QStringLiteral(
            "set -e; mount -t tmpfs -o size=160k tmpfs '%1'; cp '%2' '%3' '%1/'; "
            "avail=$(df -k --output=avail '%1' | tail -1); "
            "dd if=/dev/zero of='%1/filler' bs=4k count=$(( (avail - 16) / 4 )) 2>/dev/null; "
            "set +e; '%4' %5; echo \"rc=$?\"; "
            "cmp -s '%2' '%1/test.wil' && cmp -s '%3' '%1/test.WIX' && echo same; ls -A '%1'")
            .arg(disk, lib, indexOf(lib), wiltoolPath(), args);
    QProcess p;
    p.start(unshare, {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script});
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(out.contains(QStringLiteral("rc=1\n")), qPrintable(out + err));
    QVERIFY2(err.contains(fragment) && !err.contains(QStringLiteral("Unknown error")),
             qPrintable(err));
    QVERIFY2(out.contains(QStringLiteral("\nsame\n")), qPrintable(out));
    // Nothing is left behind but the pair, the filler and an export folder.
    const QStringList left =
        out.section(QStringLiteral("same\n"), 1).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &name : left)
        QVERIFY2(QStringList({"filler", "test.wil", "test.WIX", "out"}).contains(name),
                 qPrintable(name));
}

QTEST_GUILESS_MAIN(TestWilTool)
#include "tst_wiltool.moc"
