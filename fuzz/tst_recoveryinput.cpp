// The inputs of the recovery harnesses: a snapshot of an interrupted edit whose checksum a
// mutation broke is still played back once the harness makes the checksum valid, and no name in
// an input writes outside the harness's folder.
#include "crashsnapshots.h"
#include "folderinput.h"
#include "mywil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace fuzzinput;

Q_DECLARE_METATYPE(fuzzinput::Checksum)

namespace {

QByteArray contentOf(const FolderInput &in, const QString &name)
{
    for (const auto &[n, content] : in.files)
        if (n == name)
            return content;
    return {};
}

bool holds(const FolderInput &in, const QString &name)
{
    for (const auto &file : in.files)
        if (file.first == name)
            return true;
    return false;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestRecoveryInput : public QObject
{
    Q_OBJECT
  private slots:
    void brokenChecksumIsMadeValid_data();
    void brokenChecksumIsMadeValid();
    void namesStayInsideTheFolder_data();
    void namesStayInsideTheFolder();
};

void TestRecoveryInput::brokenChecksumIsMadeValid_data()
{
    QTest::addColumn<Checksum>("kind");
    QTest::addColumn<Checksum>("fix");
    QTest::addColumn<bool>("undone");
    QTest::newRow("journal, made valid") << Checksum::Journal << Checksum::Journal << true;
    QTest::newRow("journal, left broken") << Checksum::Journal << Checksum::None << false;
    QTest::newRow("marker, made valid") << Checksum::Marker << Checksum::Marker << true;
    QTest::newRow("marker, left broken") << Checksum::Marker << Checksum::None << false;
}

void TestRecoveryInput::brokenChecksumIsMadeValid()
{
    QFETCH(Checksum, kind);
    QFETCH(Checksum, fix);
    QFETCH(bool, undone);
    const QString lib = libraryName();
    const QString leftover = lib + (kind == Checksum::Journal ? QStringLiteral("-journal")
                                                              : QStringLiteral("-swap"));
    const QByteArray original = snapshotLibrary();
    // The first moment of an edit at which the library has changed and the file that undoes
    // it is in place.
    const QList<FolderInput> snapshots =
        kind == Checksum::Journal ? journalSnapshots() : swapSnapshots();
    FolderInput crash;
    for (const FolderInput &s : snapshots) {
        if (holds(s, leftover) && holds(s, lib) && contentOf(s, lib) != original) {
            crash = s;
            break;
        }
    }
    QVERIFY(!crash.files.isEmpty());
    for (auto &[name, content] : crash.files) {
        if (name == leftover) {
            const ChecksumPlace place = checksumPlace(kind, content.size());
            QVERIFY(place.at >= 0);
            content[place.at] = char(~content[place.at]); // what a mutation does to it
        }
    }
    const QByteArray input = packFolder(crash);

    QTemporaryDir dir;
    writeFolder(unpackFolder(input.constData(), size_t(input.size())), dir.path(), fix);
    TWIL wil;
    QStringList messages;
    wil.setNotifier([&](const QString &t) { messages.append(t); });
    wil.FileName = dir.filePath(lib);
    wil.Open();
    wil.Close();
    QCOMPARE(readFile(dir.filePath(lib)) == original, undone);
    QCOMPARE(messages.join(u'\n').contains(QLatin1String("undone")), undone);
    QVERIFY(!QFileInfo::exists(dir.filePath(leftover)));
}

void TestRecoveryInput::namesStayInsideTheFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("made"); // what appears inside the folder, if anything
    QTest::newRow("file") << "a" << "a";
    QTest::newRow("file in a folder") << "d/a" << "d/a";
    QTest::newRow("empty folder") << "d/" << "d";
    QTest::newRow("parent") << "../a" << "";
    QTest::newRow("parent inside") << "d/../../a" << "";
    QTest::newRow("absolute") << "/a" << "";
    QTest::newRow("two folders deep") << "d/e/a" << "";
    QTest::newRow("dot") << "./a" << "";
    QTest::newRow("empty") << "" << "";
}

void TestRecoveryInput::namesStayInsideTheFolder()
{
    QFETCH(QString, name);
    QFETCH(QString, made);
    QTemporaryDir outer;
    const QString inner = outer.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkdir(inner));
    FolderInput in;
    in.files.append({name, QByteArray("x")});
    const QByteArray input = packFolder(in);
    writeFolder(unpackFolder(input.constData(), size_t(input.size())), inner, Checksum::None);

    QCOMPARE(QDir(outer.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("in")});
    const QStringList inside =
        QDir(inner).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(inside.size(), made.isEmpty() ? 0 : 1);
    if (!made.isEmpty())
        QVERIFY(QFileInfo::exists(QDir(inner).filePath(made)));
}

QTEST_GUILESS_MAIN(TestRecoveryInput)
#include "tst_recoveryinput.moc"
