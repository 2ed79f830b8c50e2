// Edits that cannot be done: a library or index that refuses writes, a full disk, an index that
// is missing or shorter than its count, a folder that vanished, a picture that is not one, an
// inconsistent pair (negative counts, an entry beyond the end), too little free space. Each
// must say why in one message and leave both files (and the folder) exactly as they were.
#include "addone.h"
#include "addpic.h"
#include "del.h"
#include "fileio.h"
#include "folderfixture.h"
#include "mywil.h"
#include "new.h"
#include "outpic.h"
#include "pictureloader.h"
#include "recordsplice.h"
#include "wilfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace wilfixture;

namespace {

enum class Setup {
    OpenedReadOnly,  // the library could only be opened for reading
    // The first write to the library (the index) is refused, as when its permissions changed
    // after it was opened. (Were every later write refused too, putting the file back would
    // fail as well, and the journal would be left for the next Open.)
    LibraryRefuses,
    IndexRefuses,
    FullDisk,        // the first write of all fails
    IndexMissing,
    IndexShort,      // the index holds fewer entries than its count
    FolderVanished,  // the picture or export folder is gone when the operation starts
    NotAPicture,     // the picture file holds text
    DamagedPicture,  // a bitmap cut short: its last rows are missing (in the folder: 000001.bmp)
    NegativeCount,   // the library's count is negative (the index's too, for a delete)
    EntryBeyondEnd,  // an entry points past the end of the file: an insert would wrap it
    NoRoom,          // the disk has less free space than the edit needs
};

enum class Edit {
    AddBitmap,
    ReplaceGrowing,
    SetPx,
    SpliceInsert,
    BatchAppend,
    Export,
    AppendOne,
    InsertOne,
    Delete,
    Blank,
    Create,
    Load, // replacing the current image by a picture file
};

QByteArray sampleRecord(int i)
{
    return i % 2 ? uncompressed16Record(patternImage(4 * (1 + i % 3), 1 + i % 4), qint16(i), 7)
                 : compressedRecord(patternImage(4 + 4 * (i % 4), 2 + i % 5), qint16(i), 3);
}

// Every file below `folder`, with its bytes.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    const auto entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : entries) {
        if (info.isDir()) {
            const auto inner = snapshot(info.filePath());
            for (auto it = inner.begin(); it != inner.end(); ++it)
                files.insert(info.fileName() + u'/' + it.key(), it.value());
        } else {
            files.insert(info.fileName(), readFile(info.filePath()));
        }
    }
    return files;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Edit)

class TestErrors : public QObject
{
    Q_OBJECT
  private slots:
    void cleanup()
    {
        fileio::setFaultHook({});
        fileio::setFreeSpaceHook({});
    }
    void refusedEdit_data();
    void refusedEdit();
};

void TestErrors::refusedEdit_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<Edit>("edit");
    auto row = [](const char *name, Setup s, Edit e) { QTest::newRow(name) << s << e; };
    row("read-only: AddBitmap", Setup::OpenedReadOnly, Edit::AddBitmap);
    row("read-only: SetImagePx", Setup::OpenedReadOnly, Edit::SetPx);
    row("read-only: batch append", Setup::OpenedReadOnly, Edit::BatchAppend);
    row("read-only: delete", Setup::OpenedReadOnly, Edit::Delete);
    row("read-only: blank", Setup::OpenedReadOnly, Edit::Blank);
    row("read-only: insert one", Setup::OpenedReadOnly, Edit::InsertOne);
    row("library refuses a write: AddBitmap", Setup::LibraryRefuses, Edit::AddBitmap);
    row("library refuses a write: splice", Setup::LibraryRefuses, Edit::SpliceInsert);
    row("library refuses a write: blank", Setup::LibraryRefuses, Edit::Blank);
    row("index refuses a write: AddBitmap", Setup::IndexRefuses, Edit::AddBitmap);
    row("index refuses a write: insert one", Setup::IndexRefuses, Edit::InsertOne);
    row("index refuses a write: delete", Setup::IndexRefuses, Edit::Delete);
    row("full disk: AddBitmap", Setup::FullDisk, Edit::AddBitmap);
    row("full disk: ReplaceBitmap", Setup::FullDisk, Edit::ReplaceGrowing);
    row("full disk: splice", Setup::FullDisk, Edit::SpliceInsert);
    row("full disk: batch append", Setup::FullDisk, Edit::BatchAppend);
    row("full disk: append one", Setup::FullDisk, Edit::AppendOne);
    row("full disk: insert one", Setup::FullDisk, Edit::InsertOne);
    row("full disk: delete", Setup::FullDisk, Edit::Delete);
    row("full disk: blank", Setup::FullDisk, Edit::Blank);
    row("full disk: create over the library", Setup::FullDisk, Edit::Create);
    row("index missing: AddBitmap", Setup::IndexMissing, Edit::AddBitmap);
    row("index missing: delete", Setup::IndexMissing, Edit::Delete);
    row("index missing: insert one", Setup::IndexMissing, Edit::InsertOne);
    row("index short: AddBitmap", Setup::IndexShort, Edit::AddBitmap);
    row("index short: splice", Setup::IndexShort, Edit::SpliceInsert);
    row("index short: insert one", Setup::IndexShort, Edit::InsertOne);
    row("index short: delete", Setup::IndexShort, Edit::Delete);
    row("folder vanished: batch append", Setup::FolderVanished, Edit::BatchAppend);
    row("folder vanished: export", Setup::FolderVanished, Edit::Export);
    row("folder vanished: create", Setup::FolderVanished, Edit::Create);
    row("not a picture: add one", Setup::NotAPicture, Edit::AppendOne);
    row("not a picture: load", Setup::NotAPicture, Edit::Load);
    row("damaged picture: add one", Setup::DamagedPicture, Edit::AppendOne);
    row("damaged picture: load", Setup::DamagedPicture, Edit::Load);
    row("damaged picture: batch append", Setup::DamagedPicture, Edit::BatchAppend);
    row("damaged picture: create", Setup::DamagedPicture, Edit::Create);
    row("negative count: AddBitmap", Setup::NegativeCount, Edit::AddBitmap);
    row("negative count: insert one", Setup::NegativeCount, Edit::InsertOne);
    row("negative count: batch append", Setup::NegativeCount, Edit::BatchAppend);
    row("negative counts: delete", Setup::NegativeCount, Edit::Delete);
    row("entry beyond the end: splice", Setup::EntryBeyondEnd, Edit::SpliceInsert);
    row("entry beyond the end: insert one", Setup::EntryBeyondEnd, Edit::InsertOne);
    row("entry beyond the end: delete", Setup::EntryBeyondEnd, Edit::Delete);
    row("no room: AddBitmap", Setup::NoRoom, Edit::AddBitmap);
    row("no room: ReplaceBitmap", Setup::NoRoom, Edit::ReplaceGrowing);
    row("no room: splice", Setup::NoRoom, Edit::SpliceInsert);
    row("no room: insert one", Setup::NoRoom, Edit::InsertOne);
    row("no room: delete", Setup::NoRoom, Edit::Delete);
    row("no room: blank", Setup::NoRoom, Edit::Blank);
}

void TestErrors::refusedEdit()
{
    QFETCH(Setup, setup);
    QFETCH(Edit, edit);

    QTemporaryDir dir;
    const QString work = dir.filePath(QStringLiteral("work"));
    const QString pictures = dir.filePath(QStringLiteral("pictures"));
    const QString exportTo = dir.filePath(QStringLiteral("export"));
    QDir().mkpath(work);
    QDir().mkpath(exportTo);
    QDir().mkpath(pictures + u'/' + outpic::placementsFolderName());
    const QVector<QImage> somePictures = folderfixture::somePictures(2, 5);
    for (int n = 0; n < 2; ++n) {
        folderfixture::writePicture(QDir(pictures).filePath(outpic::pictureFileName(n)),
                                    somePictures[n]);
        folderfixture::writeText(QDir(pictures).filePath(outpic::placementsFolderName() + u'/' +
                                                         outpic::placementFileName(n)),
                                 outpic::placementText(qint16(n), qint16(-n)));
    }
    const QString notAPicture = dir.filePath(QStringLiteral("notes.bmp"));
    writeFile(notAPicture, "These are notes, not pixels.\n");

    LibraryBuilder b;
    for (int i = 0; i < 5; ++i)
        b.add(sampleRecord(i));
    if (setup == Setup::NegativeCount) {
        b.setLibraryCount(-5);
        if (edit == Edit::Delete)
            b.setIndexCount(-5);
    }
    if (setup == Setup::EntryBeyondEnd)
        b.setEntry(4, 2147483000);
    const QString lib = work + QStringLiteral("/test.wil");
    const QString index = work + QStringLiteral("/test.WIX");
    writeFile(lib, b.library());
    if (setup == Setup::IndexShort)
        writeFile(index, b.index().chopped(8));
    else if (setup != Setup::IndexMissing)
        writeFile(index, b.index());
    const auto before = snapshot(work);

    TWIL wil;
    QStringList notes;
    wil.setNotifier([&](const QString &text) { notes << text; });
    wil.FileName = lib;
    if (setup == Setup::OpenedReadOnly)
        wil.OpenReadOnly();
    else
        wil.Open();

    if (setup == Setup::FolderVanished) {
        QDir(pictures).removeRecursively();
        QDir(exportTo).removeRecursively();
    }
    const QString picturePath =
        setup == Setup::NotAPicture ? notAPicture : QDir(dir.path()).filePath(QStringLiteral("p.bmp"));
    if (setup != Setup::NotAPicture)
        folderfixture::writePicture(picturePath, somePictures[0]);
    QString damaged;
    if (setup == Setup::DamagedPicture) {
        for (const QString &path : {picturePath, QDir(pictures).filePath(outpic::pictureFileName(1))})
            writeFile(path, readFile(path).chopped(8));
        damaged = edit == Edit::AppendOne || edit == Edit::Load ? picturePath
                                                                : outpic::pictureFileName(1);
    }

    int operations = 0;
    int refused = 0;
    auto refuseFirst = [&](const QString &path, const QString &name) {
        return QFileInfo(path).fileName() == name && ++refused == 1 ? fileio::Fault::Fail
                                                                     : fileio::Fault::None;
    };
    fileio::setFaultHook([&](fileio::Op, const QString &path) {
        ++operations;
        switch (setup) {
        case Setup::LibraryRefuses:
            return refuseFirst(path, QStringLiteral("test.wil"));
        case Setup::IndexRefuses:
            return refuseFirst(path, QStringLiteral("test.WIX"));
        case Setup::FullDisk:
            return operations == 1 ? fileio::Fault::Fail : fileio::Fault::None;
        case Setup::NoRoom: // checked before anything is written
            return fileio::Fault::Fail;
        default:
            return fileio::Fault::None;
        }
    });

    if (setup == Setup::NoRoom)
        fileio::setFreeSpaceHook([](const QString &) { return qint64(1000); });

    QString error;
    bool ok = false;
    const outpic::PictureFolder folder(pictures);
    const addpic::PlacementRule rule;
    // The form's first step for one picture: load it, and stop there when it is not a picture.
    auto loaded = [&](QImage *image) {
        const LoadedPicture picture = loadPicture(picturePath);
        if (picture.status == LoadedPicture::Unreadable) {
            error = picture.error;
            return false;
        }
        *image = picture.image;
        return true;
    };
    QImage image;
    switch (edit) {
    case Edit::AddBitmap:
        ok = wil.AddBitmap(patternImage(9, 4), 3, -4);
        error = wil.errorString();
        break;
    case Edit::ReplaceGrowing:
        ok = wil.ReplaceBitmap(0, patternImage(30, 9));
        error = wil.errorString();
        break;
    case Edit::SetPx:
        ok = wil.SetImagePx(2, -77);
        error = wil.errorString();
        break;
    case Edit::SpliceInsert:
        ok = spliceRecords(wil, 0, 0, {sampleRecord(7)}, &error);
        break;
    case Edit::BatchAppend:
        ok = addpic::Add(wil, folder, QStringList{outpic::pictureFileName(0), outpic::pictureFileName(1)},
                         rule, {}, &error);
        break;
    case Edit::Export:
        ok = outpic::exportPictures(wil, exportTo, {0, 2}, {}, &error);
        break;
    case Edit::AppendOne:
        ok = loaded(&image) && appendOnePicture(wil, image, 1, 2, &error);
        break;
    case Edit::InsertOne:
        ok = loaded(&image) && insertOnePicture(wil, image, 1, 2, 1, &error);
        break;
    case Edit::Delete:
        ok = Del(wil, 1, 2, &error);
        break;
    case Edit::Blank:
        ok = Del1(wil, 1, 2, &error);
        break;
    case Edit::Create: {
        NewLibraryOptions options;
        options.pictureFolder = pictures;
        options.libraryPath = lib;
        ok = createLibrary(options, &wil, &error);
        break;
    }
    case Edit::Load:
        ok = loaded(&image) && wil.ReplaceBitmap(0, image);
        if (error.isEmpty())
            error = wil.errorString();
        break;
    }
    fileio::setFaultHook({});
    fileio::setFreeSpaceHook({});
    wil.Close();

    QVERIFY2(!ok, "the edit reported success");
    QVERIFY2(!error.trimmed().isEmpty(), "no message");
    if (!damaged.isEmpty())
        QVERIFY2(error.contains(QDir::fromNativeSeparators(damaged)) ||
                     error.contains(QDir::toNativeSeparators(damaged)),
                 qPrintable(error));
    QVERIFY2(!error.contains(u'\n') || error.size() < 400, qPrintable(error));
    qInfo().noquote() << "message:" << error;
    // The refusals that say what is wrong with the pair, or how much room the edit needs.
    const QString reason = setup == Setup::NegativeCount  ? QStringLiteral("is negative")
                           : setup == Setup::EntryBeyondEnd ? QStringLiteral("beyond the end")
                           : setup == Setup::NoRoom ? QStringLiteral("The disk is full: the edit needs")
                                                    : QString();
    QVERIFY2(error.contains(reason), qPrintable(error));
    const auto after = snapshot(work);
    QCOMPARE(after.keys(), before.keys());
    for (auto it = before.begin(); it != before.end(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key() + " changed"));
}

QTEST_GUILESS_MAIN(TestErrors)
#include "tst_errors.moc"
