// Every kind of edit, cut short at each of its file operations: by a failure (a full disk) or by
// the death of the process (a crash). After reopening, the pair must be byte for byte the old
// pair or the new one; a failure reported to the caller must leave the old one.
#include "addone.h"
#include "addpic.h"
#include "del.h"
#include "editjournal.h"
#include "fileio.h"
#include "folderfixture.h"
#include "mywil.h"
#include "new.h"
#include "outpic.h"
#include "pairswap.h"
#include "recordsplice.h"
#include "wilfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

using namespace wilfixture;

namespace {

enum class Kind
{
    AddBitmap,
    AddEmpty,
    ReplaceSame,
    ReplaceGrowing,
    ReplaceShrinking,
    SetPx,
    SetPy,
    SpliceInsert,
    SpliceReplace,
    BatchAppend,
    BatchInsert,
    BatchReplace,
    BatchPlacements,
    BatchPixels,
    AppendOne,
    InsertOne,
    Delete,
    Blank,
    Create,
    CreateNew, // where there was no library
};

struct Pair
{
    QByteArray library;
    QByteArray index;
    bool operator==(const Pair &o) const { return library == o.library && index == o.index; }
};

Pair pairAt(const QString &lib)
{
    return {readFile(lib), readFile(QFileInfo(lib).path() + QStringLiteral("/test.WIX"))};
}

// A picture folder of numbered bitmaps and their placement files.
void writePictureFolder(const QString &path, int count)
{
    QDir().mkpath(path + QStringLiteral("/") + outpic::placementsFolderName());
    const QVector<QImage> pictures = folderfixture::somePictures(count, 7);
    for (int n = 0; n < count; ++n) {
        folderfixture::writePicture(QDir(path).filePath(outpic::pictureFileName(n)), pictures[n]);
        folderfixture::writeText(QDir(path).filePath(outpic::placementsFolderName() +
                                                     QStringLiteral("/") +
                                                     outpic::placementFileName(n)),
                                 outpic::placementText(qint16(10 + n), qint16(-n)));
    }
}

bool runEdit(Kind kind, TWIL &wil, const QString &pictures)
{
    QString error;
    const outpic::PictureFolder folder(pictures);
    const addpic::PlacementRule rule;
    switch (kind) {
    case Kind::AddBitmap:
        return wil.AddBitmap(patternImage(9, 4), 3, -4);
    case Kind::AddEmpty:
        return wil.AddEmpty();
    case Kind::ReplaceSame:
        return wil.ReplaceBitmap(1, patternImage(4, 2));
    case Kind::ReplaceGrowing:
        return wil.ReplaceBitmap(0, patternImage(20, 9));
    case Kind::ReplaceShrinking:
        return wil.ReplaceBitmap(3, patternImage(2, 2));
    case Kind::SetPx:
        return wil.SetImagePx(2, -77);
    case Kind::SetPy:
        return wil.SetImagePy(4, 1234);
    case Kind::SpliceInsert:
        return spliceRecords(wil, 0, 0, {mixedRecord(20), mixedRecord(21)}, &error);
    case Kind::SpliceReplace:
        return spliceRecords(wil, 1, 2, {mixedRecord(22)}, &error);
    case Kind::BatchAppend:
        return addpic::Add(wil, folder, folder.pictures(), rule, {}, &error);
    case Kind::BatchInsert:
        return addpic::InSert(wil, folder, folder.pictures(), rule, 1, {}, &error);
    case Kind::BatchReplace:
        return addpic::Replace(wil, folder, folder.pictures(), rule, 2, 3, {}, &error);
    case Kind::BatchPlacements:
        return addpic::AddXy(wil, &folder, rule, 0, 1, {}, &error);
    case Kind::BatchPixels:
        return addpic::AddPic(wil, folder, 0, 1, {}, &error);
    case Kind::AppendOne:
        return appendOnePicture(wil, patternImage(9, 4), 3, -4, &error);
    case Kind::InsertOne:
        return insertOnePicture(wil, patternImage(9, 4), 3, -4, 1, &error);
    case Kind::Delete:
        return Del(wil, 1, 3, &error);
    case Kind::Blank:
        return Del1(wil, 1, 3, &error);
    case Kind::Create:
    case Kind::CreateNew: {
        NewLibraryOptions options;
        options.pictureFolder = pictures;
        options.libraryPath = wil.FileName;
        return createLibrary(options, &wil, &error);
    }
    }
    return false;
}

// Which images differ between the pair found and the pairs expected, as a reader sees them.
QString differences(const QString &lib, const Pair &got, const Pair &old, const Pair &fresh)
{
    QTemporaryDir dir;
    auto images = [&](const Pair &p) {
        writeFile(dir.filePath(QStringLiteral("test.wil")), p.library);
        writeFile(dir.filePath(QStringLiteral("test.WIX")), p.index);
        TWIL wil;
        wil.setNotifier([](const QString &) {});
        wil.FileName = dir.filePath(QStringLiteral("test.wil"));
        wil.OpenReadOnly();
        QList<std::pair<QImage, QPoint>> out;
        for (int i = 0; wil.isOpen() && i < wil.ImageCount(); ++i) {
            const RecordInfo info = wil.inspectRecord(i);
            out.append({wil.LoadBitmap(i).copy(), QPoint(info.px, info.py)});
        }
        return out;
    };
    const auto g = images(got), o = images(old), n = images(fresh);
    QStringList lines{QStringLiteral("%1: %2 images (old %3, new %4)")
                          .arg(lib)
                          .arg(g.size())
                          .arg(o.size())
                          .arg(n.size())};
    for (qsizetype i = 0; i < g.size(); ++i) {
        auto differs = [&](const QList<std::pair<QImage, QPoint>> &ref, bool pixels) {
            if (i >= ref.size())
                return true;
            return pixels ? g[i].first != ref[i].first : g[i].second != ref[i].second;
        };
        if (differs(o, true) && differs(n, true))
            lines << QStringLiteral("image %1: pixels match neither the old nor the new").arg(i);
        if (differs(o, false) && differs(n, false))
            lines << QStringLiteral("image %1: placement (%2, %3) matches neither")
                         .arg(i)
                         .arg(g[i].second.x())
                         .arg(g[i].second.y());
    }
    if (got.library.size() != old.library.size() && got.library.size() != fresh.library.size())
        lines << QStringLiteral("library: %1 bytes (old %2, new %3)")
                     .arg(got.library.size())
                     .arg(old.library.size())
                     .arg(fresh.library.size());
    return lines.join(u'\n');
}

// Whether the library opens for editing without a word to the user.
bool opensSilently(const QString &lib)
{
    QStringList notes;
    TWIL wil;
    wil.setNotifier([&](const QString &text) { notes << text; });
    wil.FileName = lib;
    wil.Open();
    return wil.isOpen() && !wil.isReadOnly() && notes.isEmpty();
}

int g_failurePoints = 0;

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestCrashSafety : public QObject
{
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void cleanupTestCase();
    void everyFailurePoint_data();
    void everyFailurePoint();
    void incompleteJournalIsRemoved();
    void strayReplacementMarker_data();
    void strayReplacementMarker();
    void killedProcess();
    void liveEditIsLeftAlone_data();
    void liveEditIsLeftAlone();

  private:
    QTemporaryDir m_dir;
    QString m_base;
    Pair m_old;
    QString writeOld();
    std::optional<Pair> undisturbed(Kind kind, const QString &pictures, int *operations = nullptr);
};

void TestCrashSafety::init()
{
    setSpliceChunkSize(13); // many chunks, so that faults land inside the moves
    EditJournal::setChunkSize(40);
    LibraryBuilder b;
    for (int i = 0; i < 6; ++i)
        b.add(mixedRecord(i));
    m_old = {b.library(), b.index()};
    m_base = m_dir.filePath(QStringLiteral("work"));
}

void TestCrashSafety::cleanup()
{
    fileio::setFaultHook({});
    setSpliceChunkSize(1 << 20);
    EditJournal::setChunkSize(1 << 20);
}

void TestCrashSafety::cleanupTestCase()
{
    qInfo().noquote() << "failure points exercised:" << g_failurePoints;
}

QString TestCrashSafety::writeOld()
{
    QDir(m_base).removeRecursively();
    QDir().mkpath(m_base);
    const QString lib = m_base + QStringLiteral("/test.wil");
    if (!m_old.library.isEmpty()) {
        writeFile(lib, m_old.library);
        writeFile(m_base + QStringLiteral("/test.WIX"), m_old.index);
    }
    return lib;
}

// The edit run from the old pair without a fault: the new pair (none when the edit failed or
// left its journal or marker), and how many file operations it made.
std::optional<Pair> TestCrashSafety::undisturbed(Kind kind, const QString &pictures,
                                                 int *operations)
{
    const QString lib = writeOld();
    TWIL wil;
    wil.setNotifier([](const QString &) {});
    wil.FileName = lib;
    wil.Open();
    int counted = 0;
    fileio::setFaultHook([&](fileio::Op, const QString &) {
        ++counted;
        return fileio::Fault::None;
    });
    const bool ok = runEdit(kind, wil, pictures);
    fileio::setFaultHook({});
    wil.Close();
    if (operations)
        *operations = counted;
    if (!ok || QFile::exists(EditJournal::pathFor(lib)) ||
        QFile::exists(pairswap::markerPathFor(lib)))
        return std::nullopt;
    return pairAt(lib);
}

void TestCrashSafety::everyFailurePoint_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("AddBitmap") << Kind::AddBitmap;
    QTest::newRow("AddEmpty") << Kind::AddEmpty;
    QTest::newRow("ReplaceBitmap same size") << Kind::ReplaceSame;
    QTest::newRow("ReplaceBitmap growing") << Kind::ReplaceGrowing;
    QTest::newRow("ReplaceBitmap shrinking") << Kind::ReplaceShrinking;
    QTest::newRow("SetImagePx") << Kind::SetPx;
    QTest::newRow("SetImagePy") << Kind::SetPy;
    QTest::newRow("splice insert") << Kind::SpliceInsert;
    QTest::newRow("splice replace") << Kind::SpliceReplace;
    QTest::newRow("batch append") << Kind::BatchAppend;
    QTest::newRow("batch insert") << Kind::BatchInsert;
    QTest::newRow("batch replace") << Kind::BatchReplace;
    QTest::newRow("batch placements") << Kind::BatchPlacements;
    QTest::newRow("add one, appended") << Kind::AppendOne;
    QTest::newRow("add one, inserted") << Kind::InsertOne;
    QTest::newRow("batch pixels") << Kind::BatchPixels;
    QTest::newRow("delete") << Kind::Delete;
    QTest::newRow("blank") << Kind::Blank;
    QTest::newRow("create over a library") << Kind::Create;
    QTest::newRow("create where there was none") << Kind::CreateNew;
}

void TestCrashSafety::everyFailurePoint()
{
    QFETCH(Kind, kind);
    const QString pictures = m_dir.filePath(QStringLiteral("pictures"));
    writePictureFolder(pictures, 2);
    // No library before: the old "pair" is two missing files.
    const bool none = kind == Kind::CreateNew;
    if (none)
        m_old = {};

    int operations = 0;
    const std::optional<Pair> made = undisturbed(kind, pictures, &operations);
    QVERIFY(made && !(*made == m_old));
    const Pair fresh = *made;
    QVERIFY(operations > 3);

    for (int k = 1; k <= operations; ++k) {
        for (const fileio::Fault fault : {fileio::Fault::Fail, fileio::Fault::Die}) {
            const QString lib = writeOld();
            const QString where = QStringLiteral("%1 at operation %2 of %3")
                                      .arg(fault == fileio::Fault::Die ? "death" : "failure")
                                      .arg(k)
                                      .arg(operations);
            auto hookAt = [k, fault]() {
                auto seen = std::make_shared<int>(0);
                return [seen, k, fault](fileio::Op, const QString &) {
                    return ++*seen == k ? fault : fileio::Fault::None;
                };
            };
            int reported = -1; // 1 succeeded, 0 failed, -1 died
            if (fault == fileio::Fault::Fail) {
                TWIL wil;
                wil.setNotifier([](const QString &) {});
                wil.FileName = lib;
                wil.Open();
                fileio::setFaultHook(hookAt());
                reported = runEdit(kind, wil, pictures) ? 1 : 0;
                fileio::setFaultHook({});
            } else {
                const pid_t child = fork();
                QVERIFY(child >= 0);
                if (child == 0) {
                    TWIL wil;
                    wil.setNotifier([](const QString &) {});
                    wil.FileName = lib;
                    wil.Open();
                    fileio::setFaultHook(hookAt());
                    const bool ok = runEdit(kind, wil, pictures);
                    std::_Exit(ok ? 0 : 1);
                }
                int status = 0;
                QCOMPARE(waitpid(child, &status, 0), child);
                QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 86, qPrintable(where));
            }
            const Pair left = pairAt(lib);
            const bool swapMarker = QFile::exists(pairswap::markerPathFor(lib));
            const bool journal = QFile::exists(EditJournal::pathFor(lib)) || swapMarker;
            QStringList notes;
            {
                TWIL wil;
                wil.setNotifier([&](const QString &text) { notes << text; });
                wil.FileName = lib;
                wil.Open();
                if (none && pairAt(lib) == m_old)
                    notes.removeAll(lib + QStringLiteral(" 不存在."));
                else
                    QVERIFY2(wil.isOpen() && !wil.isReadOnly(), qPrintable(where));
            }
            const Pair after = pairAt(lib);
            QVERIFY2(!QFile::exists(EditJournal::pathFor(lib)), qPrintable(where));
            QVERIFY2(!QFile::exists(pairswap::markerPathFor(lib)), qPrintable(where));
            // Nothing of the edit is left beside the pair: the scratch folder of a dead edit goes
            // even when no marker named it, and a genuine journal or marker is never taken for
            // a stale one.
            const QStringList leftovers =
                QDir(m_base).entryList({QStringLiteral(".wil-work-*"), QStringLiteral("*.stale-*")},
                                       QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            QVERIFY2(leftovers.isEmpty(), qPrintable(where + u' ' + leftovers.join(u',')));
            // Undoing a replacement clears its scratch folder away.
            if (swapMarker && notes.size() == 1) {
                QStringList entries =
                    QDir(m_base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
                entries.sort();
                const QStringList pair =
                    none && after == m_old
                        ? QStringList()
                        : QStringList({QStringLiteral("test.WIX"), QStringLiteral("test.wil")});
                QVERIFY2(entries == pair, qPrintable(where + u' ' + entries.join(u',')));
            }
            QVERIFY2(after == m_old || after == fresh,
                     qPrintable(where + u'\n' + differences(lib, after, m_old, fresh)));
            if (reported == 0)
                QVERIFY2(after == m_old, qPrintable(where + QStringLiteral(": reported failed")));
            if (reported == 1)
                QVERIFY2(after == fresh, qPrintable(where + QStringLiteral(": reported done")));
            // A half-made pair is only ever cured by the journal, and the user hears of it once.
            if (!(left == m_old) && !(left == fresh))
                QVERIFY2(journal && notes.size() == 1, qPrintable(where));
            QVERIFY2(notes.size() <= 1, qPrintable(where));
            ++g_failurePoints;
        }
    }
    qInfo().noquote() << QTest::currentDataTag() << "operations:" << operations;
}

// A replacement marker that is cut short, names files outside the library's folder, or is not
// ours moves nothing: the first two go, the last is left alone.
void TestCrashSafety::strayReplacementMarker_data()
{
    QTest::addColumn<QByteArray>("marker");
    QTest::addColumn<bool>("removed");
    auto sealed = [](const QList<QByteArray> &names) {
        QByteArray m = QByteArrayLiteral("WILSWAP1\x01");
        for (const QByteArray &name : names)
            m.append(char(name.size())).append('\0').append(name);
        m.append(48, '\0'); // what each file of both pairs was: sizes and checksums
        const quint32 crc =
            quint32(::crc32(0, reinterpret_cast<const Bytef *>(m.data()), uInt(m.size())));
        for (int i = 0; i < 4; ++i)
            m.append(char(crc >> (8 * i)));
        return m;
    };
    QTest::newRow("cut short") << QByteArrayLiteral("WILSWAP1\x01\x05") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("names outside the folder")
        << sealed({".wil-work-1", "../../decoy.wil", "new.WIX", "../decoy.WIX"}) << true;
    QTest::newRow("bad checksum")
        << sealed({".wil-work-1", "new.wil", "new.WIX", "test.WIX"}).chopped(1) + 'x' << true;
    QTest::newRow("not ours") << QByteArrayLiteral("notes on swapping the two files\n") << false;
}

void TestCrashSafety::strayReplacementMarker()
{
    QFETCH(QByteArray, marker);
    QFETCH(bool, removed);
    const QString lib = writeOld();
    // Files a hostile marker might point at, and a scratch folder it might name.
    const QString decoy = m_dir.filePath(QStringLiteral("decoy.wil"));
    writeFile(decoy, "decoy");
    QDir(m_base).mkpath(QStringLiteral(".wil-work-1"));
    writeFile(m_base + QStringLiteral("/.wil-work-1/new.WIX"), "not an index");
    writeFile(pairswap::markerPathFor(lib), marker);
    QVERIFY(opensSilently(lib));
    QCOMPARE(QFile::exists(pairswap::markerPathFor(lib)), !removed);
    QVERIFY(pairAt(lib) == m_old);
    QCOMPARE(readFile(decoy), QByteArray("decoy"));
}

// A journal cut short before its trailer: nothing was overwritten, so it just goes.
void TestCrashSafety::incompleteJournalIsRemoved()
{
    const QString lib = writeOld();
    QByteArray journal = "WILJRNL1" + QByteArray(40, '\x01');
    writeFile(EditJournal::pathFor(lib), journal);
    QVERIFY(opensSilently(lib));
    QVERIFY(!QFile::exists(EditJournal::pathFor(lib)));
    QVERIFY(pairAt(lib) == m_old);
}

// Another program opening the library while an edit is under way must not take the edit's
// journal or marker for the remains of a crash: it opens for reading only (or not at all, while
// the library is moved aside) and says why, and the edit completes undisturbed.
void TestCrashSafety::liveEditIsLeftAlone_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("splice insert, journal") << Kind::SpliceInsert;
    QTest::newRow("blank, journal") << Kind::Blank;
    QTest::newRow("delete, marker") << Kind::Delete;
}

void TestCrashSafety::liveEditIsLeftAlone()
{
    QFETCH(Kind, kind);
    const QString pictures = m_dir.filePath(QStringLiteral("pictures"));
    writePictureFolder(pictures, 2);
    const std::optional<Pair> made = undisturbed(kind, pictures);
    QVERIFY(made);
    const Pair fresh = *made;
    const QString lib = writeOld();
    int paused[2], resume[2];
    QVERIFY(::pipe(paused) == 0 && ::pipe(resume) == 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(paused[0]);
        ::close(resume[1]); // a parent that is gone ends the wait below
        TWIL wil;
        wil.setNotifier([](const QString &) {});
        wil.FileName = lib;
        wil.Open();
        // The edit stops at its first change to the library itself (its journal or marker is
        // on the disk by then) until the parent has had its look.
        bool stopped = false;
        fileio::setFaultHook([&](fileio::Op, const QString &path) {
            if (!stopped && path == lib) {
                stopped = true;
                char c = 'p';
                if (::write(paused[1], &c, 1) != 1 || ::read(resume[0], &c, 1) != 1)
                    std::_Exit(3);
            }
            return fileio::Fault::None;
        });
        std::_Exit(runEdit(kind, wil, pictures) && stopped ? 0 : 1);
    }
    ::close(paused[1]);
    ::close(resume[0]);
    // However this test ends, the child is let go and reaped.
    int status = -1;
    auto release = [&, released = false]() mutable {
        if (released)
            return;
        released = true;
        ::close(resume[1]);
        ::close(paused[0]);
        waitpid(child, &status, 0);
    };
    const auto guard = qScopeGuard([&] { release(); });
    pollfd waitForPause{paused[0], POLLIN, 0};
    QVERIFY2(::poll(&waitForPause, 1, 30000) == 1, "the edit never reached the library");
    char c = 0;
    QCOMPARE(::read(paused[0], &c, 1), ssize_t(1));
    const bool journal = QFile::exists(EditJournal::pathFor(lib));
    const bool marker = QFile::exists(pairswap::markerPathFor(lib));
    QVERIFY(journal || marker);
    QStringList notes;
    {
        TWIL other;
        other.setNotifier([&](const QString &text) { notes << text; });
        other.FileName = lib;
        other.Open();
        QVERIFY(!other.isOpen() || other.isReadOnly());
    }
    QVERIFY2(!notes.isEmpty() && notes[0].contains(QStringLiteral("another program")),
             qPrintable(notes.join(u'\n')));
    QCOMPARE(QFile::exists(EditJournal::pathFor(lib)), journal);
    QCOMPARE(QFile::exists(pairswap::markerPathFor(lib)), marker);
    QCOMPARE(::write(resume[1], &c, 1), ssize_t(1));
    release();
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(pairAt(lib) == fresh);
    QStringList entries =
        QDir(m_base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    entries.sort();
    QCOMPARE(entries, QStringList({QStringLiteral("test.WIX"), QStringLiteral("test.wil")}));
}

// A real process, killed while it moves the tail of a large library to make room.
void TestCrashSafety::killedProcess()
{
    const QString tool = qEnvironmentVariable("WILTOOL");
    if (tool.isEmpty() || !QFileInfo(tool).isExecutable())
        QSKIP("wiltool not found");
    // About 48 MB of records behind image 0, so the replacement takes a while.
    LibraryBuilder b;
    b.add(mixedRecord(0));
    const QByteArray big = uncompressed16Record(patternImage(1024, 1024), 1, 2);
    for (int i = 0; i < 24; ++i)
        b.add(big);
    m_old = {b.library(), b.index()};
    const QString lib = writeOld();
    const QString picture = m_dir.filePath(QStringLiteral("big.bmp"));
    QVERIFY(folderfixture::writePicture(picture,
                                        folderfixture::somePictures(1, 3)[0].scaled(300, 200)));

    QProcess p;
    p.start(tool, {QStringLiteral("replace"), lib, QStringLiteral("0"), picture});
    QVERIFY(p.waitForStarted());
    // Kill once the journal holds the whole tail (the edit is moving it), or after 10 s.
    const qint64 tail = m_old.library.size() - 1080 - mixedRecord(0).size();
    QElapsedTimer t;
    t.start();
    while (QFileInfo(EditJournal::pathFor(lib)).size() < tail && t.elapsed() < 10000 &&
           p.state() == QProcess::Running)
        QThread::usleep(200);
    QThread::msleep(20);
    ::kill(pid_t(p.processId()), SIGKILL);
    p.waitForFinished(5000);
    const bool killedMidEdit = QFile::exists(EditJournal::pathFor(lib));

    QStringList notes;
    TWIL wil;
    wil.setNotifier([&](const QString &text) { notes << text; });
    wil.FileName = lib;
    wil.Open();
    QVERIFY(wil.isOpen());
    const Pair after = pairAt(lib);
    if (after == m_old) {
        QCOMPARE(wil.ImageCount(), 25);
    } else {
        // The edit was complete before the kill: image 0 is the new picture.
        QCOMPARE(wil.ImageCount(), 25);
        QCOMPARE(wil.inspectRecord(0).width, 300);
        QCOMPARE(wil.inspectRecord(1).width, 1024);
        QVERIFY(!killedMidEdit);
    }
    qInfo() << "killed in the middle of the edit:" << killedMidEdit;
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
