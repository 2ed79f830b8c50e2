// What an edit cut short leaves beside a library, and what others put there. A journal or a
// replacement marker is acted on only over the files it was made for: a backup copied over the
// pair afterwards is left as it is, and the journal or marker moved aside. Nothing planted under
// their names is written through or waited on. Scratch folders of dead edits go; those a marker
// names, or whose edit still runs, stay.
#include "del.h"
#include "editjournal.h"
#include "fileio.h"
#include "mywil.h"
#include "pairswap.h"
#include "recordsplice.h"
#include "wilcheck.h"
#include "wilfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

using namespace wilfixture;

namespace {

enum class Edit
{
    SpliceReplace, // journal: the tail moves
    SetPx,         // journal: two bytes, the index left alone
    AddEmpty,      // journal: grows
    Delete,        // replacement marker and scratch folder
};

struct Pair
{
    QByteArray library;
    QByteArray index;
    bool operator==(const Pair &o) const { return library == o.library && index == o.index; }
};

QString indexOf(const QString &lib)
{
    return QFileInfo(lib).path() + QStringLiteral("/test.WIX");
}

Pair pairAt(const QString &lib)
{
    return {readFile(lib), readFile(indexOf(lib))};
}

// Six 8-bit records; `fill` gives their pixels. Pairs of different fills have the same sizes,
// header, palette and entries: only the pixels tell them apart.
Pair pairOf(char fill, int records = 6)
{
    LibraryBuilder b;
    for (int i = 0; i < records; ++i)
        b.add(uncompressed8Record(8, 4, qint16(i), qint16(-i), QByteArray(32, char(fill + i))));
    return {b.library(), b.index()};
}

bool runEdit(Edit edit, TWIL &wil, QString *error)
{
    switch (edit) {
    case Edit::SpliceReplace:
        return spliceRecords(wil, 1, 2, {mixedRecord(22)}, error);
    case Edit::SetPx:
        return wil.SetImagePx(2, -77) || (*error = wil.errorString(), false);
    case Edit::AddEmpty:
        return wil.AddEmpty() || (*error = wil.errorString(), false);
    case Edit::Delete:
        return Del(wil, 1, 3, error);
    }
    return false;
}

TWIL *opened(TWIL &wil, const QString &lib, QStringList *notes)
{
    wil.setNotifier([notes](const QString &text) {
        if (notes)
            *notes << text;
    });
    wil.FileName = lib;
    wil.Open();
    return &wil;
}

// Runs the edit in a child process that dies where a crash would leave its journal or marker:
// at its first write to the library, or as the new library is moved in.
void killEdit(Edit edit, const QString &lib)
{
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        TWIL wil;
        opened(wil, lib, nullptr);
        fileio::setFaultHook([&](fileio::Op op, const QString &path) {
            const bool at = edit == Edit::Delete ? op == fileio::Op::Rename && path == lib
                                                 : op == fileio::Op::Write && path == lib;
            return at ? fileio::Fault::Die : fileio::Fault::None;
        });
        QString error;
        runEdit(edit, wil, &error);
        std::_Exit(1);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 86);
}

QStringList entriesOf(const QString &folder)
{
    QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                 QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

// The id of a process that has ended.
qint64 deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        std::_Exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestLeftovers : public QObject
{
    Q_OBJECT
  private slots:
    void cleanup();
    void leftOverAfterRestore_data();
    void leftOverAfterRestore();
    void journalWithoutIdentity();
    void plantedInPlace_data();
    void plantedInPlace();
    void plantedAtOpen_data();
    void plantedAtOpen();
    void deadEditsScratchFolders_data();
    void deadEditsScratchFolders();
};

void TestLeftovers::cleanup()
{
    fileio::setFaultHook({});
}

// An edit killed, then a pair copied over the library and index (as cp does: into the same
// files where they are there). A different pair is left exactly as copied and the journal or
// marker moved aside under a name that says so, with one message; the pair the edit began
// from is still the edit's own, and the edit is undone.
void TestLeftovers::leftOverAfterRestore_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<char>("restored"); // the fill of the pair copied over; 'a' is the old one
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("stale");
    const struct
    {
        const char *name;
        Edit edit;
    } edits[] = {{"splice", Edit::SpliceReplace},
                 {"placement", Edit::SetPx},
                 {"growing", Edit::AddEmpty},
                 {"delete", Edit::Delete}};
    for (const auto &e : edits) {
        QTest::addRow("%s, another library", e.name) << e.edit << 'q' << 9 << true;
        QTest::addRow("%s, same sizes", e.name) << e.edit << 'A' << 6 << true;
        QTest::addRow("%s, its own backup", e.name) << e.edit << 'a' << 6 << false;
    }
}

void TestLeftovers::leftOverAfterRestore()
{
    QFETCH(Edit, edit);
    QFETCH(char, restored);
    QFETCH(int, records);
    QFETCH(bool, stale);
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("test.wil"));
    const Pair old = pairOf('a');
    QVERIFY(writeFile(lib, old.library) && writeFile(indexOf(lib), old.index));
    killEdit(edit, lib);
    const QString leftover =
        edit == Edit::Delete ? pairswap::markerPathFor(lib) : EditJournal::pathFor(lib);
    QVERIFY(QFile::exists(leftover));
    const QStringList scratch =
        QDir(dir.path()).entryList({QStringLiteral(".wil-work-*")}, QDir::Dirs | QDir::Hidden);

    const Pair copied = pairOf(restored, records);
    QVERIFY(writeFile(lib, copied.library) && writeFile(indexOf(lib), copied.index));
    QStringList notes;
    TWIL wil;
    opened(wil, lib, &notes);
    QVERIFY(wil.isOpen() && !wil.isReadOnly());
    QCOMPARE(wil.ImageCount(), records);
    QVERIFY(pairAt(lib) == (stale ? copied : old));
    QVERIFY2(!QFile::exists(leftover), qPrintable(notes.join(u'\n')));
    QCOMPARE(notes.size(), 1);
    const QStringList aside =
        QDir(dir.path()).entryList({QFileInfo(leftover).fileName() + QStringLiteral(".stale-*")});
    if (!stale) {
        QVERIFY2(notes[0].contains(QStringLiteral("undone")), qPrintable(notes[0]));
        QCOMPARE(aside, QStringList());
        QCOMPARE(entriesOf(dir.path()), QStringList({"test.WIX", "test.wil"}));
        return;
    }
    QCOMPARE(aside.size(), 1);
    QVERIFY2(notes[0].contains(QStringLiteral("moved aside")) && notes[0].contains(aside[0]),
             qPrintable(notes[0]));
    if (edit == Edit::Delete) {
        // The scratch folder of the dead edit holds the only copy of the old library: kept.
        QCOMPARE(scratch.size(), 1);
        QCOMPARE(readFile(dir.filePath(scratch[0] + QStringLiteral("/previous-test.wil"))),
                 old.library);
        // And at every later opening, whatever its edit's process.
        wil.Close();
        opened(wil, lib, nullptr);
        QVERIFY(QDir(dir.filePath(scratch[0])).exists());
        QVERIFY(pairAt(lib) == copied);
    }
}

// A complete journal of the first layout cannot say which pair it belongs to: it is never
// played back, but moved aside.
void TestLeftovers::journalWithoutIdentity()
{
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("test.wil"));
    const Pair old = pairOf('a');
    QVERIFY(writeFile(lib, old.library) && writeFile(indexOf(lib), old.index));
    // Would put a count of 0x01010101 back at offset 44.
    QByteArray journal("WILJRNL1");
    auto int64 = [&](qint64 v) {
        for (int i = 0; i < 8; ++i)
            journal.append(char(v >> (8 * i)));
    };
    int64(old.library.size());
    int64(-1);
    int64(0);
    journal.append(QByteArray(8, '\0')); // target 0, reserved
    int64(44);
    int64(4);
    journal.append(QByteArray(4, '\x01'));
    const quint32 crc = quint32(
        ::crc32(0, reinterpret_cast<const Bytef *>(journal.constData()), uInt(journal.size())));
    for (const quint32 v : {1u, crc})
        for (int i = 0; i < 4; ++i)
            journal.append(char(v >> (8 * i)));
    journal.append("WILJEND1");
    QVERIFY(writeFile(EditJournal::pathFor(lib), journal));

    QStringList notes;
    TWIL wil;
    opened(wil, lib, &notes);
    QVERIFY(wil.isOpen() && !wil.isReadOnly());
    QVERIFY(pairAt(lib) == old);
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes[0].contains(QStringLiteral("moved aside")), qPrintable(notes[0]));
    const QStringList aside =
        QDir(dir.path()).entryList({QStringLiteral("test.wil-journal.stale-*")});
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readFile(dir.filePath(aside[0])), journal);
}

// A link, a directory or a FIFO where an edit would make its journal or marker: the edit is
// refused, says what stands there, writes through nothing and waits on nothing.
void TestLeftovers::plantedInPlace_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("planted");
    QTest::addColumn<QString>("reason");
    for (const QString &what : {QStringLiteral("link"), QStringLiteral("dangling link"),
                                QStringLiteral("directory"), QStringLiteral("fifo")}) {
        const QString reason = what.endsWith(QStringLiteral("link")) ? "is a symbolic link"
                               : what == QStringLiteral("directory") ? "is a directory"
                                                                     : "is not a regular file";
        QTest::addRow("journal, %s", qPrintable(what)) << Edit::SetPx << what << reason;
        QTest::addRow("marker, %s", qPrintable(what)) << Edit::Delete << what << reason;
    }
}

void TestLeftovers::plantedInPlace()
{
    QFETCH(Edit, edit);
    QFETCH(QString, planted);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString lib = dir.filePath(QStringLiteral("test.wil"));
    const Pair old = pairOf('a');
    QVERIFY(writeFile(lib, old.library) && writeFile(indexOf(lib), old.index));
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    QVERIFY(writeFile(victim, "precious"));

    TWIL wil;
    opened(wil, lib, nullptr);
    QVERIFY(wil.isOpen() && !wil.isReadOnly());
    // Planted after the library was opened, as the edit begins.
    const QString at =
        edit == Edit::Delete ? pairswap::markerPathFor(lib) : EditJournal::pathFor(lib);
    const QByteArray target = QFile::encodeName(
        planted == QStringLiteral("link") ? victim : elsewhere.filePath(QStringLiteral("new")));
    if (planted.endsWith(QStringLiteral("link")))
        QCOMPARE(::symlink(target.constData(), QFile::encodeName(at).constData()), 0);
    else if (planted == QStringLiteral("directory"))
        QVERIFY(QDir().mkdir(at));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(at).constData(), 0600), 0);

    QString error;
    QVERIFY(!runEdit(edit, wil, &error));
    QVERIFY2(error.contains(at) && error.contains(reason), qPrintable(error));
    QCOMPARE(readFile(victim), QByteArray("precious"));
    QCOMPARE(entriesOf(elsewhere.path()), QStringList({"victim"}));
    QVERIFY(QFileInfo(at).isSymLink() || QFileInfo::exists(at));
    QVERIFY(pairAt(lib) == old);
    QCOMPARE(entriesOf(dir.path()),
             QStringList({"test.WIX", "test.wil", QFileInfo(at).fileName()}));
}

// The same things standing there when the library is opened: refused with the reason, the
// library opened for reading only, nothing followed or waited on.
void TestLeftovers::plantedAtOpen_data()
{
    QTest::addColumn<bool>("marker");
    QTest::addColumn<QString>("planted");
    QTest::addColumn<QString>("reason");
    for (const bool marker : {false, true}) {
        const char *which = marker ? "marker" : "journal";
        QTest::addRow("%s, dangling link", which) << marker << "link"
                                                  << "is a symbolic link";
        QTest::addRow("%s, directory", which) << marker << "directory"
                                              << "is a directory";
        QTest::addRow("%s, fifo", which) << marker << "fifo"
                                         << "is not a regular file";
    }
}

void TestLeftovers::plantedAtOpen()
{
    QFETCH(bool, marker);
    QFETCH(QString, planted);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("test.wil"));
    const Pair old = pairOf('a');
    QVERIFY(writeFile(lib, old.library) && writeFile(indexOf(lib), old.index));
    const QString at = marker ? pairswap::markerPathFor(lib) : EditJournal::pathFor(lib);
    if (planted == QStringLiteral("link"))
        QCOMPARE(::symlink("/nonexistent/journal", QFile::encodeName(at).constData()), 0);
    else if (planted == QStringLiteral("directory"))
        QVERIFY(QDir().mkdir(at));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(at).constData(), 0600), 0);

    // The check names it for what it is, not as an edit cut short.
    const CheckReport report = checkLibrary(lib);
    QCOMPARE(report.findings.size(), 1);
    QCOMPARE(report.findings[0].line(),
             QStringLiteral("library: %1 %2, not left by an edit; no edit can be made while it "
                            "is there")
                 .arg(at, reason));

    QStringList notes;
    TWIL wil;
    opened(wil, lib, &notes);
    QVERIFY(wil.isOpen() && wil.isReadOnly());
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes[0].contains(at) && notes[0].contains(reason), qPrintable(notes[0]));
    QVERIFY(QFileInfo(at).isSymLink() || QFileInfo::exists(at));
    QVERIFY(pairAt(lib) == old);
}

// Scratch folders beside a library: those of a process that has ended go at the next opening
// for editing; those of a running edit, of another host or of no known owner stay. (One named
// by a marker moved aside stays too: see leftOverAfterRestore.)
void TestLeftovers::deadEditsScratchFolders_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<bool>("removed");
    QTest::newRow("dead process") << "dead" << true;
    QTest::newRow("this process") << "alive" << false;
    QTest::newRow("another host") << "other host" << false;
    QTest::newRow("no owner in its name") << "none" << false;
}

void TestLeftovers::deadEditsScratchFolders()
{
    QFETCH(QString, owner);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("test.wil"));
    const Pair old = pairOf('a');
    QVERIFY(writeFile(lib, old.library) && writeFile(indexOf(lib), old.index));

    QTemporaryDir made(scratchTemplateFor(lib));
    QVERIFY(made.isValid());
    made.setAutoRemove(false);
    QString name = QFileInfo(made.path()).fileName();
    const QString self = QStringLiteral("-%1-").arg(QCoreApplication::applicationPid());
    QVERIFY2(name.contains(self), qPrintable(name));
    if (owner != QStringLiteral("alive")) {
        QString renamed = name;
        if (owner == QStringLiteral("none"))
            renamed = QStringLiteral(".wil-work-Ab12Cd");
        else
            renamed.replace(self, QStringLiteral("-%1-").arg(deadPid()));
        if (owner == QStringLiteral("other host"))
            renamed.replace(renamed.indexOf(u'-', 10) + 1, 8, QStringLiteral("00000000"));
        QVERIFY(QDir(dir.path()).rename(name, renamed));
        name = renamed;
    }
    QVERIFY(writeFile(dir.filePath(name + QStringLiteral("/previous-test.wil")), old.library));
    {
        // Opening only to read changes nothing beside the library.
        TWIL reader;
        reader.setNotifier([](const QString &) {});
        reader.FileName = lib;
        reader.OpenReadOnly();
        QVERIFY(reader.isOpen());
        QVERIFY(QDir(dir.filePath(name)).exists());
    }
    TWIL wil;
    opened(wil, lib, nullptr);
    QVERIFY(wil.isOpen());
    QCOMPARE(QDir(dir.filePath(name)).exists(), !removed);
    QCOMPARE(QFile::exists(dir.filePath(name + QStringLiteral("/previous-test.wil"))), !removed);
    QVERIFY(pairAt(lib) == old);
}

QTEST_GUILESS_MAIN(TestLeftovers)
#include "tst_leftovers.moc"
