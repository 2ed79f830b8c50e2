// Two programs editing one library at once. The first edit is stopped between its reading and
// its writing (the core's test pause) while the second one runs; whatever the order the two
// end up in, the library must be the result of one edit after the other, or one of them must
// have been refused (non-zero exit) and the other be complete. And a component that keeps a
// library open across edits must notice another program's edit before it writes.

#include "addone.h"
#include "addpic.h"
#include "del.h"
#include "editlock.h"
#include "folderfixture.h"
#include "libraryedit.h"
#include "mywil.h"
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace wilfixture;

namespace {

struct Pair
{
    QByteArray library;
    QByteArray index;
    bool operator==(const Pair &o) const { return library == o.library && index == o.index; }
};

// One kind of edit, as a wiltool command line (LIB and DIR stand for the library and for a
// picture folder of two pictures with placements, PIC for one picture).
struct EditKind
{
    const char *name;
    QStringList args;
};

QList<EditKind> editKinds()
{
    const QString L = QStringLiteral("LIB"), D = QStringLiteral("DIR"), P = QStringLiteral("PIC");
    return {
        {"add", {"add", L, P, "--xy", "3,4"}},
        {"add --insert-at", {"add", L, P, "--insert-at", "0"}},
        {"append", {"append", L, P}},
        {"replace", {"replace", L, "2", P}},
        {"setxy", {"setxy", L, "5", "-7", "9"}},
        {"delete", {"delete", L, "1-2"}},
        {"blank", {"blank", L, "3-4"}},
        {"import --append", {"import", L, D, "--append"}},
        {"import --insert", {"import", L, D, "--insert", "1"}},
        {"import --placements", {"import", L, D, "--placements", "0-1"}},
        {"create", {"create", L, D}},
    };
}

class TestConcurrentEdits : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void everyPairOfEdits_data();
    void everyPairOfEdits();
    void secondEditRefusedWhileTheFirstHoldsTheLock();
    void randomRoundsOnALargeLibrary();
    void openComponentNoticesAnotherProgramsEdit_data();
    void openComponentNoticesAnotherProgramsEdit();
    void lockIsSharedWithinTheProgram();
    void plantedLockFileIsRefused_data();
    void plantedLockFileIsRefused();

  private:
    // A folder holding a copy of the starting pair as test.wil / test.WIX.
    QString freshCopy(const Pair &pair);
    QStringList argsFor(const EditKind &kind, const QString &lib) const;
    // Runs wiltool to its end; its exit code (-1: it did not end normally).
    int run(const QStringList &args, const QStringList &env = {});
    Pair serial(const Pair &start, const QList<const EditKind *> &kinds);
    void checkClean(const QString &lib);
    Pair concurrent(const Pair &start, const EditKind &first, const EditKind &second,
                    int *firstExit, int *secondExit, bool holdUntilSecondEnds,
                    QString *library = nullptr);

    QString m_tool;
    bool m_firstPaused = false; // the first edit of the last concurrent() reached its pause
    QByteArray m_secondError;   // and what its second edit wrote to stderr
    QTemporaryDir m_dir;
    QString m_picture;
    QString m_folder;
    Pair m_small;
};

Pair pairAt(const QString &lib)
{
    return {readFile(lib), readFile(QFileInfo(lib).dir().filePath(QStringLiteral("test.WIX")))};
}

void TestConcurrentEdits::initTestCase()
{
    m_tool = qEnvironmentVariable("WILTOOL");
    if (m_tool.isEmpty() || !QFileInfo(m_tool).isExecutable())
        QSKIP("wiltool not found");
    QVERIFY(m_dir.isValid());
    m_picture = m_dir.filePath(QStringLiteral("pic.bmp"));
    QVERIFY(folderfixture::writePicture(m_picture, folderfixture::gridPicture(9, 7, 11)));
    m_folder = m_dir.filePath(QStringLiteral("pictures"));
    QVERIFY(QDir().mkpath(m_folder + QStringLiteral("/Placements")));
    const QVector<QImage> pictures = folderfixture::somePictures(2, 5);
    for (int i = 0; i < pictures.size(); ++i) {
        const QString name = QString::asprintf("%.6d", i);
        QVERIFY(folderfixture::writePicture(m_folder + QStringLiteral("/%1.bmp").arg(name),
                                            pictures[i]));
        QVERIFY(folderfixture::writeText(m_folder + QStringLiteral("/Placements/%1.txt").arg(name),
                                         QByteArray::number(10 + i) + "\r\n" +
                                             QByteArray::number(-20 - i) + "\r\n"));
    }
    LibraryBuilder b;
    for (int i = 0; i < 10; ++i)
        b.add(mixedRecord(i));
    m_small = {b.library(), b.index()};
}

QString TestConcurrentEdits::freshCopy(const Pair &pair)
{
    static int n = 0;
    const QString folder = m_dir.filePath(QStringLiteral("run%1").arg(++n));
    if (!QDir().mkpath(folder))
        return {};
    const QString lib = folder + QStringLiteral("/test.wil");
    if (!writeFile(lib, pair.library) ||
        !writeFile(folder + QStringLiteral("/test.WIX"), pair.index))
        return {};
    return lib;
}

QStringList TestConcurrentEdits::argsFor(const EditKind &kind, const QString &lib) const
{
    QStringList args;
    for (const QString &a : kind.args)
        args << (a == QLatin1String("LIB")   ? lib
                 : a == QLatin1String("DIR") ? m_folder
                 : a == QLatin1String("PIC") ? m_picture
                                             : a);
    return args;
}

int TestConcurrentEdits::run(const QStringList &args, const QStringList &env)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env)
        e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(e);
    p.start(m_tool, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    return p.exitCode();
}

Pair TestConcurrentEdits::serial(const Pair &start, const QList<const EditKind *> &kinds)
{
    const QString lib = freshCopy(start);
    for (const EditKind *kind : kinds)
        if (run(argsFor(*kind, lib)) != 0)
            qWarning() << "serial" << kind->name << "failed";
    return pairAt(lib);
}

void TestConcurrentEdits::checkClean(const QString &lib)
{
    QProcess p;
    p.start(m_tool, {QStringLiteral("check"), lib});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardOutput() + p.readAllStandardError());
    // Nothing of either edit is left behind: no journal, marker, lock or scratch folder.
    QStringList left =
        QFileInfo(lib).dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.sort();
    QCOMPARE(left, QStringList({QStringLiteral("test.WIX"), QStringLiteral("test.wil")}));
}

// Starts `first` and stops it between its reading and its writing; starts `second`; lets the
// first go on after a moment (or only once the second has ended), and waits for both.
Pair TestConcurrentEdits::concurrent(const Pair &start, const EditKind &first,
                                     const EditKind &second, int *firstExit, int *secondExit,
                                     bool holdUntilSecondEnds, QString *library)
{
    const QString lib = freshCopy(start);
    if (library)
        *library = lib;
    const QString hook = QFileInfo(lib).dir().absolutePath() + QStringLiteral("-pause");
    QProcess a;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WIL_TEST_PAUSE_BEFORE_WRITE"), hook);
    a.setProcessEnvironment(env);
    a.start(m_tool, argsFor(first, lib));
    a.waitForStarted();
    // The first edit has read what it works from and waits to write (or it has already ended).
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(hook + QStringLiteral(".paused")) && a.state() == QProcess::Running &&
           t.elapsed() < 20000)
        QThread::msleep(2);
    m_firstPaused = QFile::exists(hook + QStringLiteral(".paused"));
    QProcess b;
    b.start(m_tool, argsFor(second, lib));
    b.waitForStarted();
    if (holdUntilSecondEnds)
        b.waitForFinished(60000);
    else
        b.waitForFinished(300);
    writeFile(hook + QStringLiteral(".go"), {});
    a.waitForFinished(60000);
    b.waitForFinished(60000);
    *firstExit = a.exitStatus() == QProcess::NormalExit ? a.exitCode() : -1;
    *secondExit = b.exitStatus() == QProcess::NormalExit ? b.exitCode() : -1;
    m_secondError = b.readAllStandardError();
    QFile::remove(hook + QStringLiteral(".paused"));
    QFile::remove(hook + QStringLiteral(".go"));
    return pairAt(lib);
}

void TestConcurrentEdits::everyPairOfEdits_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    const QList<EditKind> kinds = editKinds();
    for (int i = 0; i < kinds.size(); ++i)
        for (int j = 0; j < kinds.size(); ++j)
            QTest::addRow("%s while %s", kinds[j].name, kinds[i].name) << i << j;
}

void TestConcurrentEdits::everyPairOfEdits()
{
    QFETCH(int, first);
    QFETCH(int, second);
    const QList<EditKind> kinds = editKinds();
    const EditKind &a = kinds[first];
    const EditKind &b = kinds[second];
    int aExit = 0, bExit = 0;
    QString lib;
    const Pair got = concurrent(m_small, a, b, &aExit, &bExit, false, &lib);
    QVERIFY2(aExit >= 0 && bExit >= 0, "an edit did not end");
    QVERIFY2(m_firstPaused, "the first edit never stopped between its reading and its writing");
    if (aExit == 0 && bExit == 0)
        QVERIFY2(got == serial(m_small, {&a, &b}) || got == serial(m_small, {&b, &a}),
                 "both edits succeeded, but the library is neither order of the two");
    else if (aExit == 0)
        QVERIFY2(got == serial(m_small, {&a}), "the second edit was refused, yet changed the pair");
    else if (bExit == 0)
        QVERIFY2(got == serial(m_small, {&b}), "the first edit was refused, yet changed the pair");
    else
        QFAIL("both edits were refused");
    checkClean(lib);
}

void TestConcurrentEdits::secondEditRefusedWhileTheFirstHoldsTheLock()
{
    const QList<EditKind> kinds = editKinds();
    int aExit = 0, bExit = 0;
    const Pair got = concurrent(m_small, kinds[1], kinds[5], &aExit, &bExit, true);
    QCOMPARE(aExit, 0);
    QCOMPARE(bExit, 1);
    QVERIFY2(m_secondError.contains("is being changed by another program"), m_secondError);
    QVERIFY(got == serial(m_small, {&kinds[1]}));
}

void TestConcurrentEdits::randomRoundsOnALargeLibrary()
{
    // About 40 MB: 40 records of 1 MB behind a few small ones.
    LibraryBuilder b;
    for (int i = 0; i < 6; ++i)
        b.add(mixedRecord(i));
    const QByteArray big = uncompressed16Record(patternImage(724, 724), 1, 2);
    for (int i = 0; i < 40; ++i)
        b.add(big);
    const Pair start{b.library(), b.index()};
    const QList<EditKind> kinds = editKinds();
    const int rounds = qEnvironmentVariableIntValue("WIL_CONCURRENT_ROUNDS") > 0
                           ? qEnvironmentVariableIntValue("WIL_CONCURRENT_ROUNDS")
                           : 4;
    QRandomGenerator random(20261210);
    for (int round = 0; round < rounds; ++round) {
        const EditKind &a = kinds[random.bounded(int(kinds.size()))];
        const EditKind &c = kinds[random.bounded(int(kinds.size()))];
        const QString lib = freshCopy(start);
        QProcess pa, pc;
        pa.start(m_tool, argsFor(a, lib));
        QThread::usleep(random.bounded(20000));
        pc.start(m_tool, argsFor(c, lib));
        QVERIFY(pa.waitForFinished(120000) && pc.waitForFinished(120000));
        const int aExit = pa.exitCode(), cExit = pc.exitCode();
        const Pair got = pairAt(lib);
        const QByteArray what = QByteArray(a.name) + " with " + c.name;
        if (aExit == 0 && cExit == 0)
            QVERIFY2(got == serial(start, {&a, &c}) || got == serial(start, {&c, &a}), what);
        else if (aExit == 0)
            QVERIFY2(got == serial(start, {&a}), what);
        else if (cExit == 0)
            QVERIFY2(got == serial(start, {&c}), what);
        else
            QFAIL(what + ": both refused");
        checkClean(lib);
    }
    qInfo() << "concurrent rounds on a 40 MB library:" << rounds;
}

void TestConcurrentEdits::openComponentNoticesAnotherProgramsEdit_data()
{
    QTest::addColumn<int>("other");
    QTest::addColumn<int>("mine");
    // Another program's edit, then an edit through a component that read the pair before it.
    const QList<EditKind> kinds = editKinds();
    const char *const mineNames[] = {"SetImagePx", "AddBitmap", "ReplaceBitmap",
                                     "Del",        "Del1",      "insertOnePicture"};
    for (int other : {1, 4, 5, 10})
        for (int mine = 0; mine < 6; ++mine)
            QTest::addRow("%s after another program's %s", mineNames[mine], kinds[other].name)
                << other << mine;
}

void TestConcurrentEdits::openComponentNoticesAnotherProgramsEdit()
{
    QFETCH(int, other);
    QFETCH(int, mine);
    const QString lib = freshCopy(m_small);
    TWIL wil;
    QVERIFY(folderfixture::openWil(wil, lib));
    QCOMPARE(run(argsFor(editKinds()[other], lib)), 0);
    const Pair afterOther = pairAt(lib);

    const QImage picture = folderfixture::gridPicture(6, 5, 3);
    QString error;
    bool ok = false;
    switch (mine) {
    case 0:
        ok = wil.SetImagePx(1, 42);
        error = wil.errorString();
        break;
    case 1:
        ok = wil.AddBitmap(picture, 1, 1);
        error = wil.errorString();
        break;
    case 2:
        ok = wil.ReplaceBitmap(0, picture);
        error = wil.errorString();
        break;
    case 3:
        ok = Del(wil, 0, 0, &error);
        break;
    case 4:
        ok = Del1(wil, 0, 1, &error);
        break;
    case 5:
        ok = insertOnePicture(wil, picture, 1, 1, 0, &error);
        break;
    }
    QVERIFY(!ok);
    QCOMPARE(error, LibraryEdit::changedMessage(lib));
    // Nothing written, and the component now holds the pair as it is.
    QVERIFY(pairAt(lib) == afterOther);
    TWIL fresh;
    QVERIFY(folderfixture::openWil(fresh, lib));
    QCOMPARE(wil.ImageCount(), fresh.ImageCount());
    QCOMPARE(wil.Offsets, fresh.Offsets);
    // The next edit works from the new table.
    QVERIFY2(wil.SetImagePy(0, 17), qPrintable(wil.errorString()));
    checkClean(lib);
}

void TestConcurrentEdits::lockIsSharedWithinTheProgram()
{
    const QString lib = freshCopy(m_small);
    TWIL wil;
    QVERIFY(folderfixture::openWil(wil, lib));
    {
        // A window's operation holds the lock and calls the component's own edits.
        LibraryEdit outer(wil);
        QString error;
        QVERIFY(outer.begin(&error));
        QVERIFY(EditLock::isHeldHere(lib));
        QVERIFY2(wil.SetImagePx(0, 5), qPrintable(wil.errorString()));
        QVERIFY2(wil.AddBitmap(folderfixture::gridPicture(4, 4, 1), 0, 0),
                 qPrintable(wil.errorString()));
        QVERIFY(EditLock::isHeldHere(lib));
        // Another program cannot take it meanwhile.
        QCOMPARE(run({QStringLiteral("setxy"), lib, QStringLiteral("0"), QStringLiteral("1"),
                      QStringLiteral("1")}),
                 1);
    }
    QVERIFY(!EditLock::isHeldHere(lib));
    QVERIFY(!QFile::exists(EditLock::pathFor(lib)));
    // Its own edits are not taken for another program's.
    QVERIFY2(wil.SetImagePy(0, 6), qPrintable(wil.errorString()));
}

void TestConcurrentEdits::plantedLockFileIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("link to a file elsewhere") << "link"
                                              << "symbolic link";
    QTest::newRow("dangling link") << "dangling"
                                   << "symbolic link";
    QTest::newRow("directory") << "dir"
                               << "a directory";
#ifdef Q_OS_UNIX
    QTest::newRow("fifo") << "fifo"
                          << "not a regular file";
#endif
}

void TestConcurrentEdits::plantedLockFileIsRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    const QString lib = freshCopy(m_small);
    const QString lock = EditLock::pathFor(lib);
    const QString victim = m_dir.filePath(QStringLiteral("victim-%1").arg(kind));
    if (kind == QLatin1String("link")) {
        QVERIFY(writeFile(victim, "precious"));
        QVERIFY(QFile::link(victim, lock));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(victim, lock));
    } else if (kind == QLatin1String("dir")) {
        QVERIFY(QDir().mkdir(lock));
    } else {
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
#endif
    }
    QProcess p;
    p.start(m_tool, {QStringLiteral("setxy"), lib, QStringLiteral("0"), QStringLiteral("1"),
                     QStringLiteral("1")});
    QVERIFY2(p.waitForFinished(20000), "the edit hung");
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(p.readAllStandardError().contains(says.toUtf8()), qPrintable(says));
    QVERIFY(pairAt(lib) == m_small);
    if (kind == QLatin1String("link"))
        QCOMPARE(readFile(victim), QByteArray("precious"));
    if (kind == QLatin1String("dangling"))
        QVERIFY(!QFileInfo::exists(victim));
}

} // namespace

QTEST_GUILESS_MAIN(TestConcurrentEdits)
#include "tst_concurrentedits.moc"
