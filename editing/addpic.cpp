#include "addpic.h"

#include "editjournal.h"
#include "fileio.h"
#include "libraryedit.h"
#include "mywil.h"
#include "paletteimage.h"
#include "pictureloader.h"
#include "recordsplice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <limits>

namespace addpic {

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QByteArray int32Bytes(qint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian<qint32>(value, bytes.data());
    return bytes;
}

// The picture at `path` in `image`: a missing one is a black pixel, a zero-length one (an
// image without pixels, as export writes it) a null image. False with the loader's reason
// when the file is there but damaged, too large or not a picture: making it black would pass
// a damaged picture off as imported.
bool loadedOrMissing(const QString &path, QImage &image, QString *error)
{
    const LoadedPicture loaded = loadPicture(path);
    if (loaded.status == LoadedPicture::Unreadable && QFileInfo::exists(path)) {
        setError(error, loaded.error);
        return false;
    }
    image = loaded.status == LoadedPicture::Loaded  ? loaded.image
            : loaded.status == LoadedPicture::Empty ? QImage()
                                                    : blackPixel();
    return true;
}

bool checkWritable(const TWIL &wil, QString *error)
{
    QString why;
    if (wil.canEdit(&why))
        return true;
    setError(error, why);
    return false;
}

// The folder was read when the window checked the input; it may have gone since.
bool folderStillThere(const outpic::PictureFolder &folder, QString *error)
{
    if (QFileInfo(folder.path()).isDir())
        return true;
    setError(
        error,
        QCoreApplication::translate("addpic", "%1: no such folder").arg(native(folder.path())));
    return false;
}

// Close and open again, so that count, offsets and header are read afresh.
bool reopen(TWIL &wil, QString *error)
{
    wil.Close();
    try {
        wil.Open();
    } catch (const WilError &e) {
        setError(error, e.message());
        return false;
    }
    if (!wil.isOpen()) {
        setError(error, QCoreApplication::translate("addpic", "%1: cannot be opened again")
                            .arg(native(wil.FileName)));
        return false;
    }
    return true;
}

InputRefusal checkRange(const TWIL &wil, const Request &request, const QString &message, Plan &plan)
{
    const int last = wil.ImageCount() - 1;
    const auto &s = request.start;
    const auto &e = request.end;
    if (!s || *s < 0 || *s > last)
        return InputRefusal::refused(message, QStringLiteral("editBegin"));
    if (!e || *e < 0 || *e > last || *e < *s)
        return InputRefusal::refused(message, QStringLiteral("EditEnd"));
    plan.start = *s;
    plan.end = *e;
    return {};
}

} // namespace

bool pictureRecord(PaletteImage &palette, const outpic::PictureFolder &folder,
                   const QString &picture, const PlacementRule &placement, bool secondPlacement,
                   QByteArray &record, QString *error)
{
    FixedPlacement where = placement.fixed;
    if (placement.fromFiles) {
        const outpic::PlacementFile file =
            outpic::readPlacementFile(folder.placementFileFor(picture));
        switch (file.status) {
        case outpic::PlacementFile::Missing:
            where = {};
            break;
        case outpic::PlacementFile::Read:
            where = {file.placement.px, file.placement.py};
            break;
        case outpic::PlacementFile::TooShort:
        case outpic::PlacementFile::Unreadable:
            setError(error, file.error);
            return false;
        }
    }
    QImage image;
    if (!loadedOrMissing(folder.filePath(picture), image, error))
        return false;
    if (image.isNull()) {
        record = emptyRecordBytes();
        return true;
    }
    if (!PaletteImage::fitsRecord(image.size())) {
        setError(error, QCoreApplication::translate(
                            "addpic", "%1: a picture of %2 x %3 pixels does not fit a record")
                            .arg(native(folder.filePath(picture)))
                            .arg(image.width())
                            .arg(image.height()));
        return false;
    }
    record = palette.makeRecord(image, where.px, where.py, secondPlacement);
    return true;
}

InputRefusal check(const TWIL &wil, const Request &request, Plan &plan)
{
    Plan p;
    p.source = request.source;
    p.operation = request.operation;
    p.placement = request.placement;
    if (!wil.isOpen())
        return InputRefusal::refused(outpic::msgOpenLibraryFirst());

    if (request.source == Source::PlacementsOnly) {
        if (request.folder.isEmpty() && request.placement.fromFiles)
            return InputRefusal::refused(msgNoFolder());
        if (const InputRefusal r = checkRange(wil, request, msgBadFormat(), p); !r.accepted())
            return r;
        if (request.placement.fromFiles) {
            p.folder.emplace(request.folder);
            // A folder that vanished would silently give every image (0, 0).
            if (!p.folder->exists())
                return InputRefusal::failed(p.folder->error());
        }
        plan = std::move(p);
        return {};
    }

    if (request.folder.isEmpty())
        return InputRefusal::refused(msgNoFolder());
    p.folder.emplace(request.folder);
    if (!p.folder->exists())
        return InputRefusal::failed(p.folder->error());
    const bool needsRange =
        request.source == Source::PicturesOnly || request.operation != Operation::Append;
    if (needsRange) {
        if (const InputRefusal r = checkRange(wil, request, outpic::msgBadNumber(), p);
            !r.accepted())
            return r;
        const bool countsPictures =
            request.source == Source::PicturesOnly || request.operation == Operation::Replace;
        if (countsPictures && p.folder->pictures().size() < qint64(p.end) - p.start + 1)
            return InputRefusal::refused(msgTooFewPictures(), QStringLiteral("EditEnd"));
    }
    plan = std::move(p);
    return {};
}

bool run(TWIL &wil, const Plan &plan, const ProgressFn &progress, QString *error)
{
    switch (plan.source) {
    case Source::PicturesAndPlacements:
        switch (plan.operation) {
        case Operation::Append:
            return Add(wil, *plan.folder, plan.folder->pictures(), plan.placement, progress, error);
        case Operation::Insert:
            return InSert(wil, *plan.folder, plan.folder->pictures(), plan.placement, plan.start,
                          progress, error);
        case Operation::Replace:
            return Replace(wil, *plan.folder, plan.folder->pictures(), plan.placement, plan.start,
                           plan.end, progress, error);
        }
        break;
    case Source::PicturesOnly:
        return AddPic(wil, *plan.folder, plan.start, plan.end, progress, error);
    case Source::PlacementsOnly:
        return AddXy(wil, plan.folder ? &*plan.folder : nullptr, plan.placement, plan.start,
                     plan.end, progress, error);
    }
    return false;
}

bool Add(TWIL &wil, const outpic::PictureFolder &folder, const QStringList &pictures,
         const PlacementRule &placement, const ProgressFn &progress, QString *error)
{
    if (!checkWritable(wil, error) || !folderStillThere(folder, error))
        return false;
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    const QString indexPath = wil.IndexFileName;
    if (!QFileInfo(indexPath).isFile()) {
        setError(error,
                 QCoreApplication::translate("addpic", "%1: no such file").arg(native(indexPath)));
        return false;
    }
    QFile index(indexPath);
    if (!index.open(QIODevice::ReadWrite)) {
        setError(error, QStringLiteral("%1: %2").arg(native(indexPath), index.errorString()));
        return false;
    }
    QFile &library = *wil.LibraryStream;
    const int oldCount = wil.ImageCount();
    const qsizetype count = pictures.size();
    if (qint64(oldCount) + count > std::numeric_limits<qint32>::max()) {
        setError(error, QCoreApplication::translate("addpic", "too many images"));
        return false;
    }
    const qint32 newCount = qint32(oldCount + count);
    // The new entries go where the index's reader takes entries oldCount on from, whatever
    // the index file's length.
    const qint64 entryStart = wil.indexTableStart() + 4 * qint64(oldCount);
    const qint64 librarySize = library.size();
    const qint64 indexSize = index.size();
    // The records go behind the end, so the journal needs only both counts, the index from
    // the first new entry on, and the old sizes.
    EditJournal journal(wil.FileName, indexPath);
    journal.setNewSizes(-1, entryStart + 4 * qint64(count));
    QString why;
    if (!journal.begin(librarySize, indexSize, &why) ||
        !journal.save(EditJournal::Library, library, 44, 4, &why) ||
        !journal.save(EditJournal::Index, index, 44, 4, &why) ||
        !journal.save(EditJournal::Index, index, qMin(entryStart, indexSize),
                      qMax<qint64>(0, indexSize - entryStart), &why) ||
        !journal.arm(&why)) {
        QString ignored;
        journal.rollBack(library, &index, &ignored);
        setError(error, why);
        return false;
    }
    auto fail = [&](const QString &message) {
        QString ignored;
        if (!journal.rollBack(library, &index, &ignored))
            setError(error, QCoreApplication::translate(
                                "addpic", "%1 (the files could not all be put back as they "
                                          "were: the next Open undoes the edit)")
                                .arg(message));
        else
            setError(error, message);
        return false;
    };

    PaletteImage palette(wil.colorTable());
    const bool second = wil.OffSet > 0;
    QByteArray entries;
    entries.reserve(4 * count);
    qint64 position = librarySize;
    for (qsizetype k = 0; k < count; ++k) {
        if (progress)
            progress(int(k), int(count));
        QByteArray record;
        if (!pictureRecord(palette, folder, pictures[k], placement, second, record, &why))
            return fail(why);
        if (position > std::numeric_limits<qint32>::max())
            return fail(
                QCoreApplication::translate("addpic", "%1: the library would grow beyond 2 GB")
                    .arg(native(wil.FileName)));
        if (!fileio::writeAt(library, position, record, &why))
            return fail(why);
        entries += int32Bytes(qint32(position));
        position += record.size();
    }
    if (progress)
        progress(int(count), int(count));
    if (entryStart > indexSize &&
        !fileio::writeAt(index, indexSize, QByteArray(entryStart - indexSize, '\0'), &why))
        return fail(why);
    const QByteArray countBytes = int32Bytes(newCount);
    // The table ends with its last entry: entries the index held beyond its count go.
    const qint64 indexEnd = entryStart + entries.size();
    if ((indexSize > indexEnd && !fileio::resize(index, indexEnd, &why)) ||
        !fileio::writeAt(index, entryStart, entries, &why) ||
        !fileio::writeAt(library, 44, countBytes, &why) ||
        !fileio::writeAt(index, 44, countBytes, &why) || !fileio::flush(library, &why) ||
        !fileio::flush(index, &why) || !journal.finish(&why))
        return fail(why);
    index.close();
    return reopen(wil, error);
}

namespace {

// The second half of a batch that made its records first: splices them in place of
// `removeCount` images from `first` as one edit, then reopens the library.
bool writeRecords(TWIL &wil, int first, int removeCount, const QList<QByteArray> &records,
                  const ProgressFn &progress, QString *error)
{
    const int made = int(records.size());
    if (!spliceRecords(wil, first, removeCount, records, error, secondHalfOf(progress, made)))
        return false;
    if (progress)
        progress(2 * made, 2 * made);
    return reopen(wil, error);
}

// Makes the records of `pictures` first, then splices them in place of `removeCount` images
// from `first`: nothing is written before every picture has become a record.
bool spliceFolder(TWIL &wil, const outpic::PictureFolder &folder, const QStringList &pictures,
                  const PlacementRule &placement, int first, int removeCount,
                  const ProgressFn &progress, QString *error)
{
    if (!checkWritable(wil, error) || !folderStillThere(folder, error))
        return false;
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    const int count = int(pictures.size());
    // Half of the bar for making the records, half for moving the rest of the library.
    const int maximum = 2 * count;
    if (progress)
        progress(0, maximum);
    PaletteImage palette(wil.colorTable());
    const bool second = wil.OffSet > 0;
    QList<QByteArray> records;
    records.reserve(count);
    for (int k = 0; k < count; ++k) {
        QByteArray record;
        if (!pictureRecord(palette, folder, pictures[k], placement, second, record, error))
            return false;
        records.append(std::move(record));
        if (progress)
            progress(k + 1, maximum);
    }
    return writeRecords(wil, first, removeCount, records, progress, error);
}

} // namespace

bool InSert(TWIL &wil, const outpic::PictureFolder &folder, const QStringList &pictures,
            const PlacementRule &placement, int start, const ProgressFn &progress, QString *error)
{
    if (start < 0 || start > wil.ImageCount()) {
        setError(error, QCoreApplication::translate("addpic", "image %1 out of range").arg(start));
        return false;
    }
    return spliceFolder(wil, folder, pictures, placement, start, 0, progress, error);
}

bool Replace(TWIL &wil, const outpic::PictureFolder &folder, const QStringList &pictures,
             const PlacementRule &placement, int start, int end, const ProgressFn &progress,
             QString *error)
{
    if (start < 0 || end < start || end >= wil.ImageCount()) {
        setError(
            error,
            QCoreApplication::translate("addpic", "images %1-%2 out of range").arg(start).arg(end));
        return false;
    }
    const qsizetype count = qint64(end) - start + 1;
    if (pictures.size() < count) {
        setError(error, msgTooFewPictures());
        return false;
    }
    return spliceFolder(wil, folder, pictures.first(count), placement, start, int(count), progress,
                        error);
}

bool AddPic(TWIL &wil, const outpic::PictureFolder &folder, int start, int end,
            const ProgressFn &progress, QString *error)
{
    if (!checkWritable(wil, error) || !folderStillThere(folder, error))
        return false;
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    const int count = std::max(end - start + 1, 0);
    // The new pixels are made into records first, then written as one edit: a crash leaves
    // all the old pictures or all the new ones. Half of the bar for each part.
    const int maximum = 2 * count;
    if (progress)
        progress(0, maximum);
    QList<QByteArray> records;
    records.reserve(count);
    for (int k = 0; k < count; ++k) {
        const int n = start + k;
        QImage image;
        if (!loadedOrMissing(folder.numberedBitmap(n), image, error))
            return false;
        QByteArray record = wil.replacementRecord(n, image);
        if (record.isEmpty()) {
            setError(
                error,
                wil.errorString().isEmpty()
                    ? QCoreApplication::translate("addpic", "image %1 cannot be replaced").arg(n)
                    : wil.errorString());
            return false;
        }
        records.append(std::move(record));
        if (progress)
            progress(k + 1, maximum);
    }
    return count == 0 || writeRecords(wil, start, count, records, progress, error);
}

bool AddXy(TWIL &wil, const outpic::PictureFolder *folder, const PlacementRule &placement,
           int start, int end, const ProgressFn &progress, QString *error)
{
    if (!checkWritable(wil, error))
        return false;
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    if (placement.fromFiles && !folder) {
        setError(error, msgNoFolder());
        return false;
    }
    const int count = std::max(end - start + 1, 0);
    if (progress)
        progress(0, count);
    // The placements are read and the records checked first, then written as one journaled
    // edit: a crash leaves all the old placements or all the new. A placement file that ends
    // the run still lets the images before it take theirs.
    QFile &library = *wil.LibraryStream;
    const qint64 size = library.size();
    QList<std::pair<qint64, QByteArray>> writes;
    QString stoppedBy;
    for (int k = 0; k < count && stoppedBy.isEmpty(); ++k) {
        const int n = start + k;
        FixedPlacement where;
        if (placement.fromFiles) {
            const outpic::PlacementFile file =
                outpic::readPlacementFile(folder->numberedPlacement(n));
            if (file.status == outpic::PlacementFile::TooShort ||
                file.status == outpic::PlacementFile::Unreadable) {
                stoppedBy = file.error;
                break;
            }
            where = {file.placement.px, file.placement.py};
        } else {
            where = placement.fixed;
        }
        if (n < 0 || n >= wil.ImageCount()) {
            setError(error, QCoreApplication::translate(
                                "addpic", "Image %1 is not in the library (it holds %2).")
                                .arg(n)
                                .arg(wil.ImageCount()));
            return false;
        }
        const qint64 offset = wil.Offsets[n];
        if (offset < 1080 + wil.OffSet || offset + 8 > size) {
            setError(error, QCoreApplication::translate(
                                "addpic", "The record of image %1 lies outside the library file.")
                                .arg(n));
            return false;
        }
        QByteArray bytes(4, Qt::Uninitialized);
        qToLittleEndian<qint16>(where.px, bytes.data());
        qToLittleEndian<qint16>(where.py, bytes.data() + 2);
        writes.append({offset + 4, bytes});
    }
    EditJournal journal(wil.FileName, wil.IndexFileName);
    journal.setNewSizes(size, -1);
    QString why;
    bool ok = journal.begin(size, -1, &why);
    for (const auto &w : writes) {
        if (!ok)
            break;
        ok = journal.save(EditJournal::Library, library, w.first, 4, &why);
    }
    if (!ok || !journal.arm(&why)) {
        QString ignored;
        journal.rollBack(library, nullptr, &ignored);
        setError(error, why);
        return false;
    }
    for (int k = 0; ok && k < writes.size(); ++k) {
        ok = fileio::writeAt(library, writes[k].first, writes[k].second, &why);
        if (progress)
            progress(k + 1, count);
    }
    if (ok && fileio::flush(library, &why) && journal.finish(&why)) {
        if (stoppedBy.isEmpty())
            return true;
        setError(error, stoppedBy);
        return false;
    }
    QString ignored;
    if (!journal.rollBack(library, nullptr, &ignored))
        why += QCoreApplication::translate(
            "addpic", " (the old placements could not all be put back: the next Open "
                      "does)");
    setError(error, why);
    return false;
}
} // namespace addpic
