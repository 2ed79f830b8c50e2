#include "new.h"

#include "editlock.h"
#include "extractrec.h"
#include "fileio.h"
#include "libraryedit.h"
#include "mywil.h"
#include "outpic.h"
#include "pairswap.h"
#include "pictureloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

bool failWith(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// The 1024 bytes at offset 54 of a picture file: the colour table of an 8-bit bitmap with the
// usual header, copied as they are whatever the file holds; missing bytes are 0.
std::optional<QByteArray> paletteBytesOf(const QString &picture, QString *error)
{
    QFile file(picture);
    if (!file.open(QIODevice::ReadOnly)) {
        failWith(error, QStringLiteral("%1: %2").arg(picture, file.errorString()));
        return std::nullopt;
    }
    QByteArray bytes;
    if (file.size() > 54 && file.seek(54))
        bytes = file.read(1024);
    bytes.append(QByteArray(1024 - bytes.size(), '\0'));
    return bytes;
}

bool writePalette(const QString &library, const QByteArray &palette, QString *error)
{
    QFile file(library);
    if (!file.open(QIODevice::ReadWrite))
        return failWith(error, QStringLiteral("%1: %2").arg(library, file.errorString()));
    return fileio::writeAt(file, 56, palette, error) && fileio::flush(file, error);
}

// Both paths name one file (also through a link, or by another letter case where the file
// system ignores it).
bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo ia(a), ib(b);
    if (ia.exists() && ib.exists())
        return ia.canonicalFilePath() == ib.canonicalFilePath();
    return ia.absoluteFilePath() == ib.absoluteFilePath();
}

bool fillLibrary(TWIL &wil, const NewLibraryOptions &options, const outpic::PictureFolder &folder,
                 QString *error, const ProgressFn &progress)
{
    // One edit for the whole run: the scratch library is locked and proven once, not per image.
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    const QStringList &pictures = folder.pictures();
    const int total = int(pictures.size());
    if (progress)
        progress(0, total);
    for (int i = 0; i < total; ++i) {
        const QString path = folder.filePath(pictures[i]);
        FixedPlacement placement = options.placement;
        if (!options.fixedPlacement) {
            const outpic::PlacementFile file =
                outpic::readPlacementFile(folder.placementFileFor(pictures[i]));
            if (file.status == outpic::PlacementFile::TooShort ||
                file.status == outpic::PlacementFile::Unreadable)
                return failWith(error, file.error);
            placement = {file.placement.px, file.placement.py};
        }
        const LoadedPicture picture = loadPicture(path);
        bool added = false;
        switch (picture.status) {
        case LoadedPicture::Unreadable:
            return failWith(error, picture.error);
        case LoadedPicture::Empty:
            added = wil.AddEmpty();
            break;
        case LoadedPicture::Loaded:
            added = wil.AddBitmap(picture.image, placement.px, placement.py);
            break;
        }
        if (!added)
            return failWith(error, wil.errorString());
        if (progress)
            progress(i + 1, total);
    }
    return true;
}

} // namespace

bool createLibrary(const NewLibraryOptions &options, TWIL *openLibrary, QString *error,
                   const ProgressFn &progress, bool *replacedOpen)
{
    if (replacedOpen)
        *replacedOpen = false;
    const outpic::PictureFolder folder(options.pictureFolder);
    if (!folder.exists())
        return failWith(error, folder.error());
    const QString library = QFileInfo(options.libraryPath).absoluteFilePath();
    const QString index = indexFileNameFor(library);
    if (QFileInfo(index).fileName().compare(QFileInfo(library).fileName(), Qt::CaseInsensitive) ==
        0)
        return failWith(
            error, QCoreApplication::translate("new", "%1: a library cannot have its index's name")
                       .arg(QDir::toNativeSeparators(library)));
    if (!QFileInfo(library).absoluteDir().exists())
        return failWith(error,
                        QCoreApplication::translate("new", "%1: no such folder")
                            .arg(QDir::toNativeSeparators(QFileInfo(library).absolutePath())));
    // Another program's edit of a library this one replaces ends before this begins, and none
    // starts until the new pair is in place.
    EditLock lock(library);
    if (!lock.acquire(EditLock::kEditWaitMs, error))
        return false;
    const QStringList &pictures = folder.pictures();

    QTemporaryDir work(scratchTemplateFor(library));
    if (!work.isValid())
        return failWith(error, fileio::folderRefusal(QFileInfo(library).absolutePath(),
                                                     work.errorString()));
    const QString newLibrary = work.filePath(QStringLiteral("new.wil"));
    const QString newIndex = work.filePath(QStringLiteral("new.WIX"));
    if (!Extractrec(QStringLiteral("exefile"), QStringLiteral("wil"), newLibrary, error) ||
        !Extractrec(QStringLiteral("exefile"), QStringLiteral("wix"), newIndex, error))
        return false;
    if (options.paletteFromFirst && !pictures.isEmpty()) {
        const auto palette = paletteBytesOf(folder.filePath(pictures[0]), error);
        if (!palette || !writePalette(newLibrary, *palette, error))
            return false;
    }

    {
        TWIL wil;
        QString notice;
        wil.setNotifier([&notice](const QString &text) { notice = text; });
        wil.FileName = newLibrary;
        try {
            wil.Open();
        } catch (const WilError &e) {
            return failWith(error, e.message());
        }
        if (!wil.isOpen())
            return failWith(
                error,
                notice.isEmpty()
                    ? QCoreApplication::translate("new", "%1: cannot be opened").arg(newLibrary)
                    : notice);
        if (!fillLibrary(wil, options, folder, error, progress))
            return false;
    }

    // The library open in the main window lets go of its files before they are replaced, and
    // comes back on the new ones.
    const bool replacing =
        openLibrary && openLibrary->isOpen() &&
        (sameFile(openLibrary->FileName, library) || sameFile(openLibrary->IndexFileName, index));
    const QString openName = replacing ? openLibrary->FileName : QString();
    if (replacing)
        openLibrary->Close();
    const bool swapped = replaceLibraryPair(newLibrary, library, newIndex, index, work, error);
    if (replacing) {
        openLibrary->FileName = openName;
        try {
            openLibrary->Open();
        } catch (const WilError &) {
        }
        if (replacedOpen)
            *replacedOpen = true;
    }
    return swapped;
}
