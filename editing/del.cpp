#include "del.h"

#include "fileio.h"
#include "integertext.h"
#include "libraryedit.h"
#include "mywil.h"
#include "pairswap.h"
#include "recordsplice.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

constexpr qint64 kFrontPart = 1080; // header and palette: no record starts before this
constexpr qint64 kChunk = 8 << 20;

bool failWith(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// Copies [from, to) of `source` to `dest` at `destPos`, in chunks.
bool copyRange(QFile &source, qint64 from, qint64 to, QFile &dest, qint64 destPos, QString *error)
{
    QByteArray buffer;
    for (qint64 pos = from; pos < to;) {
        const qint64 n = std::min(kChunk, to - pos);
        buffer.resize(n);
        if (!fileio::readAt(source, pos, buffer.data(), n))
            return failWith(
                error,
                QCoreApplication::translate("del", "%1: cannot be read").arg(source.fileName()));
        if (!fileio::writeAt(dest, destPos, buffer, error))
            return false;
        pos += n;
        destPos += n;
    }
    return true;
}

void reopen(TWIL &wil, const QString &fileName, QString *error)
{
    wil.Close();
    wil.FileName = fileName;
    try {
        wil.Open();
    } catch (const WilError &e) {
        if (error)
            *error = e.message();
    }
}

} // namespace

RangeRefusal checkRange(std::optional<qint32> begin, std::optional<qint32> end, int imageCount)
{
    if (!begin || *begin < 0 || *begin > imageCount - 1)
        return RangeRefusal::Begin;
    if (!end || *end < 0 || *end > imageCount - 1 || *end < *begin)
        return RangeRefusal::End;
    return RangeRefusal::None;
}

RangeRefusal checkRange(const QString &beginText, const QString &endText, int imageCount,
                        int *begin, int *end)
{
    const std::optional<qint32> b = parseIntegerEntry(beginText);
    const std::optional<qint32> e = parseIntegerEntry(endText);
    const RangeRefusal refusal = checkRange(b, e, imageCount);
    if (refusal == RangeRefusal::None) {
        *begin = *b;
        *end = *e;
    }
    return refusal;
}

bool Del(TWIL &wil, int begin, int end, QString *error)
{
    if (!wil.isOpen())
        return failWith(error, QCoreApplication::translate("del", "no library is open"));
    // A pair that does not hold together is open for reading only for that reason.
    if (!wil.inconsistency().isEmpty())
        return failWith(error, wil.inconsistency());
    if (wil.isReadOnly())
        return failWith(error,
                        QCoreApplication::translate("del", "%1 is read-only").arg(wil.FileName));
    if (QString why; !wil.canEdit(&why))
        return failWith(error, why);
    // Held until the new pair is in place: the records copied below must still be the
    // library's when it is swapped in.
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    const int count = wil.ImageCount();
    if (begin < 0 || end < begin || end >= count || wil.Offsets.size() < count)
        return failWith(error,
                        QCoreApplication::translate("del", "images %1 to %2 are not in the library")
                            .arg(begin)
                            .arg(end));

    QFile &library = *wil.LibraryStream;
    const QString libraryPath = wil.FileName;
    const QString indexPath = wil.IndexFileName;
    const qint64 size = library.size();
    const qint64 first = wil.Offsets[begin]; // the removed stretch is [first, behind)
    const qint64 behind = end + 1 < count ? qint64(wil.Offsets[end + 1]) : size;
    if (first < kFrontPart || behind < first || behind > size)
        return failWith(
            error, QCoreApplication::translate("del", "%1: the index does not match the library "
                                                      "(images %2 to %3 lie outside it)")
                       .arg(libraryPath)
                       .arg(begin)
                       .arg(end));

    // Every kept record moves down by the length of the removed stretch when it lay behind it;
    // one that lay inside it would be lost, so such a library is refused as it is.
    const int newCount = count - (end - begin + 1);
    const qint64 removed = behind - first;
    QVector<qint32> table;
    table.reserve(newCount);
    for (int k = 0; k < count; ++k) {
        if (k >= begin && k <= end)
            continue;
        const qint64 offset = wil.Offsets[k];
        if (offset >= first && offset < behind)
            return failWith(
                error, QCoreApplication::translate("del", "%1: the record of image %2 lies among "
                                                          "the records to be removed")
                           .arg(libraryPath)
                           .arg(k));
        table.append(qint32(offset >= behind ? offset - removed : offset));
    }

    QFile oldIndex(indexPath);
    if (!oldIndex.open(QIODevice::ReadOnly))
        return failWith(error, QStringLiteral("%1: %2").arg(indexPath, oldIndex.errorString()));
    const int tableStart = wil.indexTableStart();
    QByteArray index = oldIndex.read(tableStart);
    oldIndex.close();
    if (index.size() != tableStart)
        return failWith(error, QCoreApplication::translate("del", "%1: too short").arg(indexPath));
    qToLittleEndian<qint32>(newCount, index.data() + 44);
    index.reserve(tableStart + 4 * qsizetype(newCount));
    for (const qint32 entry : std::as_const(table)) {
        char bytes[4];
        qToLittleEndian<qint32>(entry, bytes);
        index.append(bytes, 4);
    }

    // The new pair is written beside the old one before it takes its place.
    const QString folder = QFileInfo(libraryPath).absolutePath();
    constexpr qint64 kFileBlocks = 16384;
    const qint64 needed = first + (size - behind) + index.size() + kFileBlocks;
    if (!fileio::checkFreeSpace(folder, needed, error))
        return false;
    const auto spaceShort = [&] {
        fileio::explainFullDisk(folder, needed, error);
        return false;
    };
    QTemporaryDir work(scratchTemplateFor(libraryPath));
    if (!work.isValid())
        return failWith(error, fileio::folderRefusal(folder, work.errorString()));
    const QString newLibraryPath = work.filePath(QFileInfo(libraryPath).fileName());
    const QString newIndexPath = work.filePath(QFileInfo(indexPath).fileName());
    {
        QFile newLibrary(newLibraryPath);
        if (!newLibrary.open(QIODevice::WriteOnly))
            return failWith(error,
                            QStringLiteral("%1: %2").arg(newLibraryPath, newLibrary.errorString()));
        char countBytes[4];
        qToLittleEndian<qint32>(newCount, countBytes);
        if (!copyRange(library, 0, first, newLibrary, 0, error) ||
            !copyRange(library, behind, size, newLibrary, first, error) ||
            !fileio::writeAt(newLibrary, 44, countBytes, 4, error) ||
            !fileio::flush(newLibrary, error))
            return spaceShort();
    }
    if (!fileio::writeFile(newIndexPath, index, error))
        return spaceShort();

    // The component lets go of the old file before it is replaced, and comes back on whichever
    // pair the swap leaves.
    wil.Close();
    const bool swapped =
        replaceLibraryPair(newLibraryPath, libraryPath, newIndexPath, indexPath, work, error);
    QString reopenError;
    reopen(wil, libraryPath, &reopenError);
    if (!swapped)
        return false;
    if (!wil.isOpen())
        return failWith(
            error,
            reopenError.isEmpty()
                ? QCoreApplication::translate("del", "%1: cannot be reopened").arg(libraryPath)
                : reopenError);
    return true;
}

bool Del1(TWIL &wil, int begin, int end, QString *error, const ProgressFn &progress)
{
    if (!wil.isOpen())
        return failWith(error, QCoreApplication::translate("del", "no library is open"));
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    if (begin < 0 || end < begin || end >= wil.ImageCount())
        return failWith(error,
                        QCoreApplication::translate("del", "images %1 to %2 are not in the library")
                            .arg(begin)
                            .arg(end));
    QImage black(1, 1, QImage::Format_Indexed8);
    black.setColorTable({qRgb(0, 0, 0)});
    black.fill(0);

    // The whole range is blanked as one edit, so a crash leaves all of it or none, and the
    // tail of the library moves once, not once per image.
    // Half of the bar for making the records, half for moving the rest of the library.
    const int total = end - begin + 1;
    const int maximum = 2 * total;
    if (progress)
        progress(0, maximum);
    QList<QByteArray> records;
    records.reserve(total);
    for (int n = begin; n <= end; ++n) {
        QByteArray record = wil.replacementRecord(n, black);
        if (record.isEmpty())
            return failWith(
                error, wil.errorString().isEmpty()
                           ? QCoreApplication::translate("del", "image %1 cannot be blanked").arg(n)
                           : wil.errorString());
        records.append(std::move(record));
        if (progress)
            progress(n - begin + 1, maximum);
    }
    const bool ok = spliceRecords(wil, begin, total, records, error, secondHalfOf(progress, total));
    if (ok && progress)
        progress(maximum, maximum);
    QString reopenError;
    reopen(wil, wil.FileName, &reopenError);
    if (ok && !wil.isOpen())
        return failWith(
            error,
            reopenError.isEmpty()
                ? QCoreApplication::translate("del", "%1: cannot be reopened").arg(wil.FileName)
                : reopenError);
    return ok;
}
