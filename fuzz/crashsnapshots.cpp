#include "crashsnapshots.h"

#include "del.h"
#include "fileio.h"
#include "mywil.h"
#include "pairswap.h"
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <functional>

using namespace wilfixture;

namespace fuzzinput {

namespace {

LibraryBuilder fixture()
{
    LibraryBuilder b;
    for (int i = 0; i < 3; ++i)
        b.add(mixedRecord(i));
    return b;
}

// `edit` run on the fixture pair in a fresh folder; the folder is taken as it stands before each
// file operation, which is what a crash at that point leaves.
void snapshotsOf(const std::function<void(TWIL &)> &edit, QList<FolderInput> &out,
                 QSet<QByteArray> &seen, bool withLibrary = true)
{
    QTemporaryDir dir;
    if (withLibrary)
        fixture().write(dir.path(), QStringLiteral("f"));
    fileio::setFaultHook([&](fileio::Op, const QString &) {
        const FolderInput now = readFolder(dir.path());
        if (!seen.contains(packFolder(now))) {
            seen.insert(packFolder(now));
            out.append(now);
        }
        return fileio::Fault::None;
    });
    TWIL wil;
    wil.setNotifier([](const QString &) {});
    wil.FileName = QDir(dir.path()).filePath(libraryName());
    if (withLibrary)
        wil.Open();
    edit(wil);
    fileio::setFaultHook({});
}

} // namespace

QByteArray snapshotLibrary()
{
    return fixture().library();
}

QList<FolderInput> journalSnapshots()
{
    QList<FolderInput> out;
    QSet<QByteArray> seen;
    snapshotsOf([](TWIL &wil) { wil.AddBitmap(patternImage(5, 3), 2, -2); }, out, seen);
    snapshotsOf([](TWIL &wil) { wil.ReplaceBitmap(0, patternImage(2, 2)); }, out, seen);
    snapshotsOf([](TWIL &wil) { wil.SetImagePx(1, 77); }, out, seen);
    return out;
}

QList<FolderInput> swapSnapshots()
{
    QList<FolderInput> out;
    QSet<QByteArray> seen;
    snapshotsOf(
        [](TWIL &wil) {
            QString error;
            Del(wil, 1, 1, &error);
        },
        out, seen);
    snapshotsOf(
        [](TWIL &wil) {
            QTemporaryDir work(scratchTemplateFor(wil.FileName));
            LibraryBuilder b;
            b.add(mixedRecord(4));
            b.write(work.path(), QStringLiteral("new"));
            QString error;
            replaceLibraryPair(work.filePath(QStringLiteral("new.wil")), wil.FileName,
                               work.filePath(QStringLiteral("new.WIX")),
                               indexFileNameFor(wil.FileName), work, &error);
        },
        out, seen, false);
    return out;
}

} // namespace fuzzinput
