// Writes the seed corpora of the fuzz harnesses: make_fuzz_seeds OUTDIR writes
// OUTDIR/library/*, OUTDIR/picturefolder/*, OUTDIR/journal/* and OUTDIR/swap/*. Every seed is small; each shows the harness one
// layout or one kind of damage, built by the fixture writer.
#include "crashsnapshots.h"
#include "editjournal.h"
#include "libraryinput.h"
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>

using namespace wilfixture;

namespace {

QString g_out;
int g_written = 0;

void seed(const QString &harness, const QString &name, const QByteArray &bytes)
{
    QDir().mkpath(g_out + u'/' + harness);
    QFile f(g_out + u'/' + harness + u'/' + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
    ++g_written;
}

void library(const QString &name, const LibraryBuilder &b, int fileType = 0, bool whole = false,
             bool noIndex = false, bool readOnly = false)
{
    fuzzinput::LibraryInput in;
    in.fileType = fileType;
    in.wholeLibrary = whole;
    in.noIndex = noIndex;
    in.readOnly = readOnly;
    in.library = b.library();
    in.index = b.index();
    seed(QStringLiteral("library"), name, fuzzinput::packLibrary(in));
}

LibraryBuilder everyLayout(int tableStart)
{
    LibraryBuilder b;
    b.setTableStart(tableStart, 0xDEADBEEF);
    b.add(compressedRecord(patternImage(5, 2), -3, 7));
    b.add(compressedRecord(patternImage(4, 3), 1, 2, 0));
    b.add(compressedEmptyRecord(3, 3, 4, 4));
    b.add(uncompressed16Record(patternImage(6, 2), 1, 2));
    b.add(uncompressed8Record(8, 2, 5, 6, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08"
                                                     "\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10", 16)));
    b.add(uncompressed8Record(4, 2, -5, -6, QByteArray(8, '\x20'), true));
    b.add(emptyRecord());
    return b;
}

Compressed small(int w, int h)
{
    Compressed c;
    c.width = w;
    c.height = h;
    c.pixels = rgb565Rows(patternImage(w, h));
    return c;
}

// An edit cut short: the pair holds half of an append (the new record and count in the library,
// the index untouched), the journal what was overwritten. `complete` false: the journal lost its
// trailer, as when the process died while writing it.
void journalSeed(const QString &name, bool complete)
{
    QTemporaryDir dir;
    const LibraryBuilder before = everyLayout(48);
    const QString lib = before.write(dir.path());
    const QString idx = dir.filePath(QStringLiteral("test.WIX"));
    QFile library(lib), index(idx);
    if (!library.open(QIODevice::ReadWrite) || !index.open(QIODevice::ReadWrite))
        std::exit(1);
    {
        EditJournal journal(lib, idx);
        QString error;
        if (!journal.begin(library.size(), index.size(), &error) ||
            !journal.save(EditJournal::Library, library, 44, 4, &error) ||
            !journal.save(EditJournal::Index, index, 44, 4, &error) ||
            !journal.save(EditJournal::Index, index, index.size() - 8, 8, &error) ||
            !journal.arm(&error)) {
            std::fprintf(stderr, "journal: %s\n", qPrintable(error));
            std::exit(1);
        }
    }
    char count[4];
    qToLittleEndian<qint32>(before.entries().size() + 1, count);
    library.seek(44);
    library.write(count, 4);
    library.seek(library.size());
    library.write(uncompressed16Record(patternImage(4, 2), 3, 3));
    library.close();
    index.close();

    fuzzinput::LibraryInput in;
    in.hasJournal = true;
    in.library = readFile(lib);
    in.index = readFile(idx);
    in.journal = readFile(EditJournal::pathFor(lib));
    if (!complete)
        in.journal.chop(10);
    seed(QStringLiteral("library"), name, fuzzinput::packLibrary(in));
}

void librarySeeds()
{
    library(QStringLiteral("template"), LibraryBuilder());
    library(QStringLiteral("every-layout-48"), everyLayout(48));
    library(QStringLiteral("every-layout-52"), everyLayout(52));
    library(QStringLiteral("read-only"), everyLayout(48), 0, false, false, true);
    {
        LibraryBuilder b;
        b.setFrontSize(1084).setTableStart(52, 0);
        b.add(compressedRecord(patternImage(8, 3), 1, 1));
        b.add(compressedRecord(patternImage(3, 3), 2, 2, 0));
        library(QStringLiteral("front-1084"), b, 0, true);
        library(QStringLiteral("front-1084-filetype1"), b, 1, true);
        library(QStringLiteral("filetype1-fallback"), everyLayout(48), 1);
    }
    {
        const QImage img = patternImage(6, 3);
        LibraryBuilder b;
        b.setFileType2(2);
        b.add(runLengthRecord(6, 3, 4, -4, runLengthRows(img)));
        b.add(runLengthRecord(3, 2, 0, 0,
                              runLengthRow({}) + runLengthRow({0xC0, 1, 0xC1, 4, 1, 2, 3, 4}) +
                                  runLengthRow({0xC2, 1, 7, 0xC3, 1, 8, 0x55})));
        b.addEntry(0);
        b.add(runLengthRecord(2, 1, 0, 0, {}, 100));
        library(QStringLiteral("run-length"), b, 2);
    }

    // Damage, one kind per seed.
    {
        LibraryBuilder b = everyLayout(48);
        b.setLibraryCount(9).setIndexCount(3);
        library(QStringLiteral("counts-disagree"), b);
    }
    {
        LibraryBuilder b = everyLayout(52);
        b.setEntry(1, 99999).setEntry(2, -1).setEntry(3, 100).setEntry(4, b.entries()[0] + 3);
        library(QStringLiteral("entries-astray"), b);
    }
    {
        LibraryBuilder b;
        Compressed c = small(5, 3);
        c.crc = 7;
        b.add(compressedRecord(c));
        c = small(4, 4);
        c.method = 3;
        b.add(compressedRecord(c));
        c = small(4, 2);
        c.pixels.resize(3);
        b.add(compressedRecord(c));
        c = small(3, 3);
        c.block = QByteArray("\x08\0\0\0\0\0\xff\xff\xff\xff", 10);
        b.add(compressedRecord(c));
        c = small(3, 3);
        c.blockLengthField = 70000;
        b.add(compressedRecord(c));
        c = small(2, 2);
        c.width = -2;
        b.add(compressedRecord(c));
        b.addBytes(QByteArray(5, '\x11'));
        library(QStringLiteral("blocks-damaged"), b);
    }
    {
        LibraryBuilder b = everyLayout(48);
        library(QStringLiteral("no-index"), b, 0, false, true);
        LibraryBuilder s;
        s.add(compressedRecord(patternImage(4, 4), 0, 0));
        fuzzinput::LibraryInput in;
        in.wholeLibrary = true;
        in.library = s.library().left(700);
        in.index = s.index().left(30);
        seed(QStringLiteral("library"), QStringLiteral("both-short"), fuzzinput::packLibrary(in));
    }
    journalSeed(QStringLiteral("journal-complete"), true);
    journalSeed(QStringLiteral("journal-incomplete"), false);
}

void pictureFolderSeeds()
{
    const QStringList texts{
        "0",          "12",          "-7",          "+42",          " \t13",       "$7FFFFFFF",
        "-$80000000", "0x1f",        "X10",         "2147483647",   "-2147483648", "2147483648",
        "12abc",      "--1",         "$",           "0x",           "12,34",       "-1,-2",
        ",5",         "7,",          "a,b",         "1\r\n-2\r\n",  "40000\n-40000\n"};
    int n = 0;
    for (const QString &t : texts) {
        QByteArray bytes(1, '\0'); // UTF-8
        bytes += t.toUtf8();
        seed(QStringLiteral("picturefolder"), QStringLiteral("text-%1").arg(n++, 2, 10, QLatin1Char('0')), bytes);
    }
    // Placement files as the export writes them and as editors save them, and picture names.
    const QList<QByteArray> files{"-12\r\n34\r\n", "\xEF\xBB\xBF" "7\n8\n", "5\r-6", "5\n",
                                  "\r\n\r\n", "70000\r\n-70000\r\nextra\r\n",
                                  "000002.bmp\n000001.BMP\n000001.bmp\nImage.Bmp\n\xC4.bmp"};
    for (const QByteArray &f : files)
        seed(QStringLiteral("picturefolder"), QStringLiteral("file-%1").arg(n++, 2, 10, QLatin1Char('0')),
             QByteArray(1, '\x81') + f); // read from the disk too
    QByteArray utf16(1, '\x02');
    const QString wide = QStringLiteral("-$1A,\x0663\x0662");
    utf16.append(reinterpret_cast<const char *>(wide.utf16()), wide.size() * 2);
    seed(QStringLiteral("picturefolder"), QStringLiteral("utf16"), utf16);
}

// The folders edits leave when cut short, one seed per file operation they were stopped at.
void recoverySeeds()
{
    const auto write = [](const QString &harness, const QList<fuzzinput::FolderInput> &folders) {
        for (qsizetype i = 0; i < folders.size(); ++i)
            seed(harness, QStringLiteral("crash-%1").arg(i, 2, 10, QLatin1Char('0')),
                 fuzzinput::packFolder(folders[i]));
    };
    write(QStringLiteral("journal"), fuzzinput::journalSnapshots());
    write(QStringLiteral("swap"), fuzzinput::swapSnapshots());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    librarySeeds();
    pictureFolderSeeds();
    recoverySeeds();
    std::printf("%d seeds written to %s\n", g_written, argv[1]);
    return 0;
}
