#include "wilcheck.h"

#include "editjournal.h"
#include "fileio.h"
#include "imagelimits.h"
#include "mywil.h"
#include "pairswap.h"
#include "pixelblock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <numeric>

namespace {

constexpr qint64 kFrontSize = 1080; // header and palette in front of the first record

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}
QString hex32(quint32 v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0'));
}

qint32 int32At(QFileDevice &f, qint64 pos, bool *ok)
{
    char b[4];
    *ok = fileio::readAt(f, pos, b, 4);
    return *ok ? qFromLittleEndian<qint32>(b) : 0;
}

class Checker
{
  public:
    CheckReport run(const QString &libraryPath);

  private:
    void add(CheckFinding::Severity severity, CheckFinding::Scope scope, int image,
             const QString &text)
    {
        m_report.findings.append({severity, scope, image, text});
    }
    void libraryError(const QString &t) { add(CheckFinding::Error, CheckFinding::Library, -1, t); }
    void indexError(const QString &t) { add(CheckFinding::Error, CheckFinding::Index, -1, t); }
    void imageError(int n, const QString &t)
    {
        add(CheckFinding::Error, CheckFinding::Image, n, t);
    }

    bool checkHeaders(const QString &libraryPath);
    bool plantedInPlaceOf(const QString &editFile);
    void checkImages();
    // Returns the first byte behind the record when its layout was recognised, else -1.
    qint64 checkRecord(int n);
    void diagnoseUnrecognised(int n, qint64 offset, qint64 end);
    // A compressed header whose block length fills the record's extent exactly is stronger
    // evidence than an uncompressed reading that leaves bytes over: reports its method.
    bool unknownMethodFillsExtent(int n, qint64 offset, qint64 end);
    void checkCompressedPixels(int n, const RecordInfo &info);
    QString recordAt(qint64 offset) const;

    CheckReport m_report;
    QFile m_library;
    qint64 m_size = 0;
    qint32 m_libraryCount = 0;
    qint32 m_indexCount = 0;
    qint64 m_indexSize = 0;
    TWIL m_wil;
    QHash<qint64, int> m_firstImageAt; // entry -> lowest image number that holds it
};

CheckReport Checker::run(const QString &libraryPath)
{
    if (checkHeaders(libraryPath))
        checkImages();
    auto rank = [](const CheckFinding &f) { return std::make_pair(int(f.scope), f.image); };
    std::stable_sort(
        m_report.findings.begin(), m_report.findings.end(),
        [&](const CheckFinding &a, const CheckFinding &b) { return rank(a) < rank(b); });
    return m_report;
}

// A link, folder or FIFO under the name of an edit's own file was not left by an edit, and
// calling it one would send the user to an opening that only refuses it.
bool Checker::plantedInPlaceOf(const QString &editFile)
{
    const QString why = fileio::whyNotAFile(editFile);
    if (why.isEmpty())
        return false;
    libraryError(QStringLiteral("%1 %2, not left by an edit; no edit can be made while it is there")
                     .arg(native(editFile), why));
    return true;
}

bool Checker::checkHeaders(const QString &libraryPath)
{
    // A replacement of the whole pair that was cut short may have left the old library in its
    // scratch folder and no library in place; opening puts it back.
    const QString marker = pairswap::markerPathFor(libraryPath);
    if (plantedInPlaceOf(marker))
        return false;
    if (fileio::entryAt(marker) != fileio::Entry::Missing) {
        libraryError(QStringLiteral("%1 is left from a replacement of the library that was cut "
                                    "short; opening the library undoes it, check again after "
                                    "that")
                         .arg(native(marker)));
        return false;
    }
    // A directory, FIFO or device is refused by what it is; a FIFO is never opened.
    m_library.setFileName(libraryPath);
    if (QString why; !fileio::openRegularFile(m_library, QIODevice::ReadOnly, &why)) {
        libraryError(why);
        return false;
    }
    m_size = m_library.size();
    bool ok = false;
    if (m_size < kFrontSize) {
        libraryError(QStringLiteral("%1 bytes, too short for the header and the palette (%2 bytes)")
                         .arg(m_size)
                         .arg(kFrontSize));
        return false;
    }
    m_libraryCount = int32At(m_library, 44, &ok);
    if (!ok) {
        libraryError(QStringLiteral("the header cannot be read"));
        return false;
    }
    if (m_libraryCount < 0)
        libraryError(QStringLiteral("image count %1 is negative").arg(m_libraryCount));

    // Opening would play the journal back, and checking writes nothing: the pair as it stands
    // may be half of an edit, which is the finding.
    const QString journal = EditJournal::pathFor(libraryPath);
    if (plantedInPlaceOf(journal))
        return false;
    if (fileio::entryAt(journal) != fileio::Entry::Missing) {
        libraryError(QStringLiteral("%1 is left from an edit that was cut short; opening the "
                                    "library undoes that edit, check again after that")
                         .arg(native(journal)));
        return false;
    }
    // Moved aside by an opening because they did not belong to the files in place: the pair
    // may be a backup restored over a half-made edit, which the user should know.
    const QFileInfo libraryInfo(libraryPath);
    const QStringList stale = libraryInfo.absoluteDir().entryList(
        {libraryInfo.fileName() + QStringLiteral("-journal.stale-*"),
         libraryInfo.fileName() + QStringLiteral("-swap.stale-*")},
        QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &name : stale)
        add(CheckFinding::Warning, CheckFinding::Library, -1,
            QStringLiteral("%1 was left by an edit that was cut short and set aside, as the files "
                           "now in place are not those it was made for")
                .arg(native(libraryInfo.absoluteDir().filePath(name))));

    const QString indexPath = indexFileNameFor(libraryPath);
    QFile index(indexPath);
    if (QString why; !fileio::openRegularFile(index, QIODevice::ReadOnly, &why)) {
        indexError(why);
        return false;
    }
    m_indexSize = index.size();
    if (m_indexSize < 48) {
        indexError(
            QStringLiteral("%1 bytes, too short for its header (48 bytes)").arg(m_indexSize));
        return false;
    }
    m_indexCount = int32At(index, 44, &ok);
    if (!ok) {
        indexError(QStringLiteral("the header cannot be read"));
        return false;
    }
    if (m_indexCount < 0)
        indexError(QStringLiteral("entry count %1 is negative").arg(m_indexCount));
    if (m_libraryCount != m_indexCount)
        libraryError(QStringLiteral("image count %1 disagrees with the index's entry count %2")
                         .arg(m_libraryCount)
                         .arg(m_indexCount));

    QStringList messages;
    m_wil.setNotifier([&messages](const QString &text) { messages.append(text); });
    m_wil.FileName = libraryPath;
    try {
        m_wil.OpenReadOnly();
    } catch (const WilError &e) {
        messages.append(e.message());
    }
    m_wil.setNotifier({});
    if (!m_wil.isOpen()) {
        libraryError(messages.isEmpty() ? QStringLiteral("cannot be opened") : messages.join(u' '));
        return false;
    }

    const qint64 start = m_wil.indexTableStart();
    const qint64 present = qMax<qint64>(0, (m_indexSize - start) / 4);
    const qint64 wanted = qMax<qint32>(0, m_indexCount);
    if (present < wanted) {
        indexError(QStringLiteral("holds %1 entries, its count says %2").arg(present).arg(wanted));
    } else if (const qint64 behind = m_indexSize - start - 4 * wanted; behind > 0) {
        add(CheckFinding::Warning, CheckFinding::Index, -1,
            QStringLiteral("%1 bytes behind the last entry").arg(behind));
    }
    return true;
}

void Checker::checkImages()
{
    const int n = m_wil.ImageCount();
    m_report.imageCount = n;
    QVector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return m_wil.Offsets[a] < m_wil.Offsets[b]; });
    for (int i = n - 1; i >= 0; --i)
        m_firstImageAt.insert(m_wil.Offsets[i], i);

    qint64 lastOffset = -1;
    qint64 lastEnd = -1; // behind the record with the largest offset, when it was recognised
    for (int k = 0; k < n; ++k) {
        const int image = order[k];
        const qint64 offset = m_wil.Offsets[image];
        if (k > 0 && offset == m_wil.Offsets[order[k - 1]]) {
            const int owner = m_firstImageAt.value(offset);
            imageError(
                image,
                QStringLiteral("shares its record at %1 with image %2").arg(offset).arg(owner));
            continue;
        }
        if (offset < 0 || offset >= m_size) {
            imageError(image, QStringLiteral("entry %1 lies outside the library file (%2 bytes)")
                                  .arg(offset)
                                  .arg(m_size));
            continue;
        }
        if (offset < kFrontSize) {
            imageError(image, QStringLiteral("entry %1 points into the library header (records "
                                             "start at %2)")
                                  .arg(offset)
                                  .arg(kFrontSize));
            continue;
        }
        lastOffset = offset;
        const qint64 recordEnd = checkRecord(image);
        // Bytes behind the last image that an entry beyond the count points at are no one's.
        lastEnd = m_wil.recordExtentEnd(image) == m_size ? recordEnd : -1;
    }

    if (lastOffset < 0) {
        if (m_libraryCount == 0 && m_indexCount == 0 && m_size > kFrontSize)
            add(CheckFinding::Warning, CheckFinding::Library, -1,
                QStringLiteral("%1 bytes behind the header, and no image")
                    .arg(m_size - kFrontSize));
    } else if (lastEnd >= 0 && lastEnd < m_size) {
        add(CheckFinding::Warning, CheckFinding::Library, -1,
            QStringLiteral("%1 bytes behind the last record").arg(m_size - lastEnd));
    }
}

qint64 Checker::checkRecord(int n)
{
    const RecordInfo info = m_wil.inspectRecord(n);
    const qint64 end = m_wil.recordExtentEnd(n);
    if (info.kind == RecordInfo::Invalid) {
        diagnoseUnrecognised(n, info.offset, end);
        return -1;
    }
    const qint64 recordEnd = info.offset + info.size;
    if ((info.kind == RecordInfo::Uncompressed16 || info.kind == RecordInfo::Uncompressed8) &&
        recordEnd < end && unknownMethodFillsExtent(n, info.offset, end))
        return -1;
    if (recordEnd < end && end < m_size)
        add(CheckFinding::Warning, CheckFinding::Image, n,
            QStringLiteral("%1 unused bytes behind its record").arg(end - recordEnd));

    if (info.hasPixels() && imagelimits::isTooLarge(info.width, info.height)) {
        imageError(n, imagelimits::tooLargeText(info.width, info.height));
    } else if (info.kind == RecordInfo::Compressed) {
        checkCompressedPixels(n, info);
    } else {
        m_wil.LoadBitmap(n);
        if (!m_wil.lastDecodeOk())
            imageError(n, QStringLiteral("record at %1 does not decode").arg(info.offset));
    }
    return recordEnd;
}

void Checker::checkCompressedPixels(int n, const RecordInfo &info)
{
    const qint64 w = info.width, h = info.height;
    if (w < 0 || h < 0) {
        imageError(n, QStringLiteral("negative size %1 x %2").arg(w).arg(h));
        return;
    }
    if (w == 0 || h == 0)
        return; // an image without pixels, whatever its block holds
    const qint64 blockLength = info.size - 16;
    const qint64 longest = imagelimits::maxPixelBlockLength(w, h);
    if (blockLength > longest) {
        imageError(n, QStringLiteral("pixel block of %1 bytes: %2 x %3 pixels never need more "
                                     "than %4")
                          .arg(blockLength)
                          .arg(w)
                          .arg(h)
                          .arg(longest));
        return;
    }
    // The pixel sequence is at most rows of the rounded width; more is not read.
    const qint64 sequence = 4 * ((8 * w + 31) / 32) * h * 2;
    const PixelBlockCheck block =
        checkPixelBlock(m_library, info.offset + 16, blockLength, sequence);
    switch (block.status) {
    case PixelBlockCheck::Ok:
        break;
    case PixelBlockCheck::UnknownMethod:
        imageError(n, QStringLiteral("pixel block method %1 is unknown").arg(block.method));
        return;
    case PixelBlockCheck::BadStream:
        imageError(n, QStringLiteral("pixel block does not inflate: invalid deflate data after %1 "
                                     "bytes of pixels")
                          .arg(block.inflated));
        return;
    case PixelBlockCheck::TooShort:
    case PixelBlockCheck::ReadError:
        imageError(n, QStringLiteral("pixel block cannot be read"));
        return;
    }
    const qint64 want = w * h * 2;
    if (block.inflated < want)
        imageError(n, QStringLiteral("pixel block holds %1 bytes of pixels, %2 x %3 needs %4")
                          .arg(block.inflated)
                          .arg(w)
                          .arg(h)
                          .arg(want));
    if (block.beyondLimit)
        add(CheckFinding::Warning, CheckFinding::Image, n,
            QStringLiteral("pixel block holds more than the %1 bytes of pixels that "
                           "%2 x %3 can hold")
                .arg(sequence)
                .arg(w)
                .arg(h));
    else if (!block.crcMatches())
        imageError(n, QStringLiteral("CRC-32 mismatch: the block says %1, its pixels give %2")
                          .arg(hex32(block.storedCrc), hex32(block.actualCrc)));
}

bool Checker::unknownMethodFillsExtent(int n, qint64 offset, qint64 end)
{
    char h[18];
    if (end - offset < 18 || !fileio::readAt(m_library, offset, h, sizeof h))
        return false;
    const qint64 blockLength = qFromLittleEndian<quint32>(h + 12);
    const quint16 method = qFromLittleEndian<quint16>(h + 16);
    if (blockLength < 6 || 16 + blockLength != end - offset || method == 0 || method == 8)
        return false;
    imageError(n, QStringLiteral("pixel block method %1 is unknown").arg(method));
    return true;
}

QString Checker::recordAt(qint64 offset) const
{
    const auto it = m_firstImageAt.constFind(offset);
    if (it != m_firstImageAt.constEnd())
        return QStringLiteral("image %1's record at %2").arg(*it).arg(offset);
    return QStringLiteral("the record at %1").arg(offset);
}

void Checker::diagnoseUnrecognised(int n, qint64 offset, qint64 end)
{
    const qint64 available = m_size - offset;
    const qint64 extent = end - offset;
    char h[18] = {};
    const qint64 headerLength = qMin<qint64>(sizeof h, available);
    if (!fileio::readAt(m_library, offset, h, headerLength)) {
        imageError(n, QStringLiteral("record at %1 cannot be read").arg(offset));
        return;
    }
    // The size the header claims: a compressed record's block length, else the smallest
    // uncompressed record its width and height allow.
    qint64 claim = -1;
    bool compressed = false;
    if (headerLength >= 18) {
        const qint64 blockLength = qFromLittleEndian<quint32>(h + 12);
        const quint16 method = qFromLittleEndian<quint16>(h + 16);
        if (blockLength >= 6 && (method == 0 || method == 8)) {
            claim = 16 + blockLength;
            compressed = true;
        } else if (blockLength >= 6 && 16 + blockLength <= extent) {
            imageError(n, QStringLiteral("pixel block method %1 is unknown").arg(method));
            return;
        }
    }
    if (claim < 0 && headerLength >= 8) {
        const qint64 w = qFromLittleEndian<quint16>(h), height = qFromLittleEndian<quint16>(h + 2);
        if (w > 0 && height > 0 && w % 4 == 0)
            claim = 8 + w * height;
    }
    if (extent < 8 && end < m_size)
        claim = qMax<qint64>(claim, 8);

    if (claim > available) {
        imageError(n,
                   compressed
                       ? QStringLiteral("pixel block of %1 bytes runs past the end of the library "
                                        "file (%2 bytes left behind the record header)")
                             .arg(claim - 16)
                             .arg(qMax<qint64>(0, available - 16))
                       : QStringLiteral("record at %1 runs past the end of the library file (%2 "
                                        "bytes needed, %3 left)")
                             .arg(offset)
                             .arg(claim)
                             .arg(available));
    } else if (claim > extent) {
        imageError(n, QStringLiteral("record at %1 (%2 bytes) overlaps %3")
                          .arg(offset)
                          .arg(claim)
                          .arg(recordAt(end)));
    } else {
        imageError(n, QStringLiteral("record at %1 fits no record layout in its %2 bytes")
                          .arg(offset)
                          .arg(extent));
    }
}

} // namespace

QString CheckFinding::line() const
{
    QString prefix;
    switch (scope) {
    case Library:
        prefix = QStringLiteral("library: ");
        break;
    case Index:
        prefix = QStringLiteral("index: ");
        break;
    case Image:
        prefix = QStringLiteral("image %1: ").arg(image);
        break;
    }
    if (severity == Warning)
        prefix += QStringLiteral("warning: ");
    return prefix + text;
}

int CheckReport::errorCount() const
{
    return int(std::count_if(findings.begin(), findings.end(), [](const CheckFinding &f) {
        return f.severity == CheckFinding::Error;
    }));
}

int CheckReport::warningCount() const
{
    return int(findings.size()) - errorCount();
}

CheckReport checkLibrary(const QString &libraryPath)
{
    return Checker().run(libraryPath);
}
