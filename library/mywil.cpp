#include "mywil.h"

#include "editjournal.h"
#include "editlock.h"
#include "fileio.h"
#include "imagelimits.h"
#include "libraryedit.h"
#include "mywil_p.h"
#include "pairswap.h"
#include "recordsplice.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <zlib.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kFrontSize = 1080; // header and palette
constexpr int kPaletteAt = 56;

// Deflate cannot expand its input more than about 1032 times; a pixel block that claims more
// than that is damaged, and is refused before anything is allocated for it.
constexpr qint64 kMaxInflateRatio = 1040;

quint16 u16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
qint16 s16(const char *p)
{
    return qFromLittleEndian<qint16>(p);
}
quint32 u32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}
qint32 s32(const char *p)
{
    return qFromLittleEndian<qint32>(p);
}

qint64 roundedWidth(qint64 width)
{
    return 4 * ((8 * width + 31) / 32);
}

bool isFirstRecordOffset(qint32 v)
{
    return v == 1080 || v == 1084;
}

constexpr qint64 kHeaderBytes = 18; // enough to tell every layout apart
constexpr qint64 kPrefetch = 256 * 1024;

// What a record is, judged by its header and its extent only. `h` holds the record's first
// min(extent, kHeaderBytes) bytes.
RecordInfo inspectHeader(const char *h, qint64 offset, qint64 end, int offSet)
{
    RecordInfo info;
    info.offset = offset;
    if (offset < 0 || end <= offset)
        return info;
    info.extent = end - offset;
    const qint64 extent = info.extent;
    if (extent < 8)
        return info;

    const qint64 w = u16(h), hgt = u16(h + 2);
    info.px = s16(h + 4);
    info.py = s16(h + 6);
    const bool hasBlockLength = extent >= 16;
    const qint64 blockLength = hasBlockLength ? qint64(u32(h + 12)) : -1;
    const bool compressed =
        blockLength >= 6 && extent >= 18 && (u16(h + 16) == 0 || u16(h + 16) == 8);
    const bool compressedEmpty = hasBlockLength && blockLength < 6;
    const qint64 compressedSize = 16 + blockLength;
    // Uncompressed records always store the rounded width.
    const bool uncompressed = w % 4 == 0;
    const qint64 size16 = 8 + w * hgt * 2;
    const qint64 size8 = (offSet > 0 ? 12 : 8) + w * hgt;

    auto as = [&](RecordInfo::Kind kind, qint64 size) {
        info.kind = kind;
        info.size = size;
        const bool signedHeader =
            kind == RecordInfo::Compressed || kind == RecordInfo::CompressedEmpty;
        info.width = signedHeader ? int(s16(h)) : int(w);
        info.height = signedHeader ? int(s16(h + 2)) : int(hgt);
        return info;
    };

    if (compressed && compressedSize == extent)
        return as(RecordInfo::Compressed, compressedSize);
    if (uncompressed && size16 == extent)
        return as(RecordInfo::Uncompressed16, size16);
    if (uncompressed && size8 == extent)
        return as(RecordInfo::Uncompressed8, size8);
    if (compressedEmpty && compressedSize == extent)
        return as(RecordInfo::CompressedEmpty, compressedSize);
    if (extent == 9)
        return as(RecordInfo::EmptyRecord, 9);
    // A block whose length makes the record exactly its extent is a compressed record's, even
    // with a method no one knows: reading the same bytes as a smaller layout shows garbage.
    if (blockLength >= 6 && extent >= 18 && compressedSize == extent)
        return info;
    // Padding or a gap behind the record.
    if (compressed && compressedSize <= extent)
        return as(RecordInfo::Compressed, compressedSize);
    if (uncompressed && size16 <= extent)
        return as(RecordInfo::Uncompressed16, size16);
    if (uncompressed && size8 <= extent)
        return as(RecordInfo::Uncompressed8, size8);
    return info;
}

RecordInfo inspectAt(QFileDevice &f, qint64 offset, qint64 end, int offSet)
{
    char h[kHeaderBytes] = {};
    if (offset < 0 || end - offset < 8 ||
        !fileio::readAt(f, offset, h, qMin<qint64>(end - offset, kHeaderBytes))) {
        RecordInfo info;
        info.offset = offset;
        return info;
    }
    return inspectHeader(h, offset, end, offSet);
}

RecordInfo inspectRunLength(QFileDevice &f, qint64 offset, qint64 fileSize)
{
    RecordInfo info;
    info.offset = offset;
    if (offset <= 0) { // an empty image of a run-length index
        info.kind = RecordInfo::EmptyRecord;
        return info;
    }
    char h[17];
    if (offset + 17 > fileSize || !fileio::readAt(f, offset, h, 17))
        return info;
    const qint64 words = s32(h + 13);
    info.extent = fileSize - offset;
    info.width = s16(h);
    info.height = s16(h + 2);
    info.px = s16(h + 4);
    info.py = s16(h + 6);
    if (words < 0 || offset + 17 + 2 * words > fileSize || info.width < 0 || info.height < 0 ||
        info.width > 1000 || info.height > 1000)
        return info;
    info.kind = RecordInfo::RunLength;
    info.size = 17 + 2 * words;
    return info;
}

void defaultNotify(const QString &text)
{
    qWarning().noquote() << text;
}

// fileio::readAt without moving the file position where the system allows it: one call per
// fetch instead of a seek and a read.
bool readBytes(QFile &f, qint64 pos, char *dst, qint64 len)
{
#ifdef Q_OS_UNIX
    if ((f.openMode() & QIODevice::Unbuffered) && f.handle() >= 0 && pos >= 0 && len >= 0) {
        qint64 done = 0;
        while (done < len) {
            const ssize_t n =
                ::pread(f.handle(), dst + done, size_t(len - done), off_t(pos + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }
#endif
    return fileio::readAt(f, pos, dst, len);
}

} // namespace

namespace {
// Scratch memory that keeps its size between decodes and is never cleared.
class Scratch
{
  public:
    char *data() { return m_data.get(); }
    const char *constData() const { return m_data.get(); }
    qint64 size() const { return m_size; }
    void resize(qint64 size)
    {
        if (size > m_capacity) {
            m_data.reset(new char[size]);
            m_capacity = size;
        }
        m_size = size;
    }

  private:
    std::unique_ptr<char[]> m_data;
    qint64 m_size = 0;
    qint64 m_capacity = 0;
};
} // namespace

struct TWIL::Decoder
{
    z_stream z{};
    bool ready = false;
    Scratch record; // the record's first bytes, read in one go
    qint64 recordOffset = -1;
    Scratch block; // further bytes of a record too large to prefetch, a piece at a time
    Scratch row;   // one row of the pixel sequence
    Decoder() { ready = inflateInit2(&z, -15) == Z_OK; }
    ~Decoder()
    {
        if (ready)
            inflateEnd(&z);
    }
};

TWIL::TWIL(QObject *owner)
    : QObject(owner), m_bitmap(1, 1, QImage::Format_RGB16), m_decoder(std::make_unique<Decoder>())
{
    m_bitmap.fill(0);
}

TWIL::~TWIL()
{
    Close();
}

void TWIL::Open()
{
    openFile(false);
}
void TWIL::OpenReadOnly()
{
    openFile(true);
}

void TWIL::openFile(bool readOnly)
{
    if (FileName.isEmpty())
        throw WilError(QStringLiteral("FileName not assigned.."));
    const Notifier notify = m_notify ? m_notify : Notifier(defaultNotify);
    // A half-made edit that could not be undone must not be built upon: a new journal would
    // take the old one's place. (A replacement cut short may have left no library in place
    // until it is undone.)
    if (!LibraryStream && !recoverInterruptedEdit(notify))
        readOnly = true;
    // Opening for editing clears away what killed edits left (reading changes nothing).
    if (!LibraryStream && !readOnly)
        pairswap::removeDeadScratchFolders(FileName);
    // Taken before anything is read: a write between it and the reading shows as a change.
    if (!LibraryStream)
        m_readStamp = PairStamp::take(FileName, indexFileNameFor(FileName));
    // A directory, a FIFO or a device is no library (opening a FIFO would wait for a writer
    // forever); only a name with nothing behind it is missing.
    if (const QString why = fileio::notRegularFile(FileName); !why.isEmpty()) {
        const QFileInfo info(FileName);
        if (!info.exists() && !info.isSymLink())
            notify(FileName + QStringLiteral(" 不存在."));
        else
            notify(QCoreApplication::translate("TWIL",
                                               "%1 %2: it cannot be opened as an image library.")
                       .arg(QDir::toNativeSeparators(FileName), why));
        return;
    }
    if (!LibraryStream) {
        auto file = std::make_unique<QFile>(FileName);
        bool ro = readOnly;
        // Unbuffered: images are fetched from anywhere in the file, one read each.
        if (ro || !file->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
            ro = true;
            if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                throw WilError(QStringLiteral("%1: %2").arg(FileName, file->errorString()));
        }
        m_readOnly = ro;
        LibraryStream = file.release();
    }
    char front[kFrontSize];
    if (!fileio::readAt(*LibraryStream, 0, front, kFrontSize)) {
        notify(QCoreApplication::translate(
                   "TWIL", "%1 is not an image library: it is too short to hold the header "
                           "and the palette.")
                   .arg(FileName));
        Close();
        return;
    }
    FileType = 0;
    OffSet = 0;
    m_headerCount = s32(front + 44);
    std::copy(front + kPaletteAt, front + kPaletteAt + 1024, Palette.begin());
    IndexFileName = indexFileNameFor(FileName);
    LoadIndex(IndexFileName);
    // Without a readable index no image can be located.
    m_imageCount = std::clamp(m_headerCount, 0, int(qMax<qsizetype>(0, Offsets.size() - 1)));
    // An edit works out where to write from the counts and entries: on a pair that does not
    // hold together it would write over records, or over whatever the file really is.
    m_inconsistency = findInconsistency();
    if (!m_inconsistency.isEmpty()) {
        m_readOnly = true;
        if (!readOnly)
            notify(QCoreApplication::translate(
                       "TWIL", "%1 The library is open for reading only; \"wiltool check %2\" "
                               "lists every problem.")
                       .arg(m_inconsistency, QDir::toNativeSeparators(FileName)));
    }
}

// An edit that was cut short (a crash, a kill, a power cut) left its journal beside the
// library: the pair is put back as it was before anything else reads it.
bool TWIL::recoverInterruptedEdit(const Notifier &notify)
{
    // Links count: a journal or marker planted as a link is refused, not overlooked.
    if (fileio::entryAt(pairswap::markerPathFor(FileName)) == fileio::Entry::Missing &&
        fileio::entryAt(EditJournal::pathFor(FileName)) == fileio::Entry::Missing)
        return true;
    // The journal or marker may belong to an edit another program is making right now.
    QString why;
    EditLock lock(FileName);
    if (!lock.acquire(0, &why)) {
        notify(why);
        return false;
    }
    bool undone = false;
    QStringList stale; // told in one message with the rest
    switch (pairswap::recover(FileName, &why)) {
    case pairswap::Recovery::None:
    case pairswap::Recovery::Cleaned:
        break;
    case pairswap::Recovery::RolledBack:
        undone = true;
        break;
    case pairswap::Recovery::Stale:
        stale << why;
        break;
    case pairswap::Recovery::Failed:
        notify(why);
        return false;
    }
    // The old library's own journal, if the line above put one back, is played back in turn.
    if (QFileInfo(FileName).isFile()) {
        switch (EditJournal::recover(FileName, indexFileNameFor(FileName), &why)) {
        case EditJournal::Recovery::None:
        case EditJournal::Recovery::Discarded:
            break;
        case EditJournal::Recovery::RolledBack:
            undone = true;
            break;
        case EditJournal::Recovery::Stale:
            stale << why;
            break;
        case EditJournal::Recovery::Failed:
            notify(why);
            return false;
        }
    }
    if (undone)
        stale.prepend(QCoreApplication::translate(
                          "TWIL", "An edit of %1 was interrupted before it was complete. It "
                                  "has been undone: the library is as it was before that edit.")
                          .arg(QDir::toNativeSeparators(FileName)));
    if (!stale.isEmpty())
        notify(stale.join(u' '));
    return true;
}

void TWIL::Close()
{
    m_readStamp = PairStamp();
    delete LibraryStream;
    LibraryStream = nullptr;
    Offsets.clear();
    OffSet = 0;
    FileType = 0;
    m_readOnly = false;
    m_knownSize = -1;
    m_indexError.clear();
    m_inconsistency.clear();
}

void TWIL::LoadIndex(const QString &indexPath)
{
    m_indexError.clear();
    m_entryBeyondEnd = -1;
    // Extents are cut at the file's end as it is now, learned here once: fetches never ask the
    // file system again. A file changed behind the component's back only makes reads fail,
    // because every read is checked against what the system actually returns.
    m_knownSize = LibraryStream ? LibraryStream->size() : -1;
    QFile f(indexPath);
    const QString name = QDir::toNativeSeparators(indexPath);
    if (const QString why = fileio::notRegularFile(indexPath); !why.isEmpty()) {
        const QFileInfo info(indexPath);
        m_indexError =
            !info.exists() && !info.isSymLink()
                ? QCoreApplication::translate("TWIL", "The index file %1 is missing.").arg(name)
                : QCoreApplication::translate("TWIL", "The index file %1 %2.").arg(name, why);
        return;
    }
    if (!fileio::openRegularFile(f, QIODevice::ReadOnly, &m_indexError)) {
        m_indexError = QCoreApplication::translate("TWIL", "The index file cannot be read: %1")
                           .arg(m_indexError);
        return;
    }
    const qint64 size = f.size();
    const qint64 headerSize = FileType == 2 ? 24 : 48;
    if (size < headerSize) {
        m_indexError = QCoreApplication::translate(
                           "TWIL", "The index file %1 is shorter than its header (%2 bytes).")
                           .arg(name)
                           .arg(size);
        return;
    }
    auto readEntries = [&](qint64 start, qint64 count, QVector<qint32> &out) {
        const qint64 present = size > start ? (size - start) / 4 : 0;
        const qint64 n = std::clamp<qint64>(count, 0, present);
        QByteArray raw(n * 4, Qt::Uninitialized);
        if (!fileio::readAt(f, start, raw.data(), raw.size()))
            return false;
        out.resize(n);
        for (qint64 i = 0; i < n; ++i)
            out[i] = s32(raw.constData() + 4 * i);
        return true;
    };
    auto int32At = [&](qint64 pos, qint32 fallback) {
        char b[4];
        return fileio::readAt(f, pos, b, 4) ? s32(b) : fallback;
    };

    if (FileType == 0 || FileType == 1) {
        if (size < 48)
            return;
        const qint32 count = int32At(44, 0);
        QVector<qint32> entries;
        int start = 52;
        if (FileType == 1) {
            OffSet = 4;
            if (int32At(52, 0) != 1084) {
                start = 48;
                FileType = 0;
                OffSet = 0;
            }
        } else {
            OffSet = 0;
            if (count > 0) {
                const bool at48 = isFirstRecordOffset(int32At(48, 0));
                const bool at52 = isFirstRecordOffset(int32At(52, 0));
                if (at48 != at52)
                    start = at48 ? 48 : 52;
                else if (size == 48 + 4 * qint64(count))
                    start = 48;
            } else if (size == 48) {
                start = 48;
            }
        }
        if (!readEntries(start, count, entries))
            return;
        m_indexCount = count;
        m_tableStart = start;
        Offsets = entries;
        Offsets.append(0);
        m_imageCount = std::clamp(m_headerCount, 0, int(entries.size()));
        // An entry beyond the end of the file locates nothing, and an insert would move it past
        // what 32 bits can hold.
        if (LibraryStream) {
            const qint64 librarySize = LibraryStream->size();
            for (int i = 0; i < m_imageCount && m_entryBeyondEnd < 0; ++i)
                if (Offsets.at(i) > librarySize)
                    m_entryBeyondEnd = i;
        }
    } else if (FileType == 2) {
        if (size < 24)
            return;
        QVector<qint32> entries;
        if (!readEntries(24, int32At(20, 0), entries))
            return;
        int skipped = 0;
        while (skipped < entries.size() && entries[skipped] < 0)
            ++skipped;
        OffSet = skipped;
        m_tableStart = 24 + 4 * skipped;
        m_imageCount = int(entries.size()) - skipped;
        Offsets = entries.mid(skipped);
        Offsets.resize(entries.size());
    }
}

bool TWIL::pairChangedSinceRead() const
{
    return m_readStamp.isNull() ||
           !(PairStamp::take(FileName, IndexFileName.isEmpty() ? indexFileNameFor(FileName)
                                                               : IndexFileName) == m_readStamp);
}

void TWIL::notePairRead()
{
    m_readStamp = PairStamp::take(FileName, IndexFileName.isEmpty() ? indexFileNameFor(FileName)
                                                                    : IndexFileName);
}

QString TWIL::findInconsistency() const
{
    if (!LibraryStream || (FileType != 0 && FileType != 1))
        return {};
    const QString name = QDir::toNativeSeparators(FileName);
    const qint64 size = m_knownSize;
    const qint64 front = 1080 + OffSet;
    // The smallest record the layouts have: width, height and placement, no pixels.
    constexpr qint64 kSmallestRecord = 8;
    QString why;
    if (!m_indexError.isEmpty())
        why = m_indexError;
    else if (m_headerCount < 0 || m_indexCount < 0)
        why = QCoreApplication::translate(
                  "TWIL", "%1: the image count of the %2 is negative (%3): the pair is "
                          "inconsistent and cannot be changed.")
                  .arg(FileName, m_headerCount < 0 ? QCoreApplication::translate("TWIL", "library")
                                                   : QCoreApplication::translate("TWIL", "index"))
                  .arg(m_headerCount < 0 ? m_headerCount : m_indexCount);
    else if (m_entryBeyondEnd >= 0)
        why = QCoreApplication::translate(
                  "TWIL", "%1: the entry of image %2 (%3) lies beyond the end of the library "
                          "file: the pair is inconsistent and cannot be changed.")
                  .arg(FileName)
                  .arg(m_entryBeyondEnd)
                  .arg(Offsets.value(m_entryBeyondEnd));
    else if (m_headerCount != m_indexCount)
        why = QCoreApplication::translate(
                  "TWIL", "%1: the library counts %2 images and its index %3: the pair is "
                          "inconsistent and cannot be changed.")
                  .arg(name)
                  .arg(m_headerCount)
                  .arg(m_indexCount);
    // Images the index cannot locate would be lost, or overwritten, by any edit.
    else if (m_headerCount > m_imageCount)
        why = QCoreApplication::translate(
                  "TWIL", "The index file %1 holds %2 of the library's %3 images: the "
                          "library cannot be changed.")
                  .arg(IndexFileName)
                  .arg(m_imageCount)
                  .arg(m_headerCount);
    else if (qint64(m_headerCount) * kSmallestRecord > qMax<qint64>(0, size - front))
        why = QCoreApplication::translate(
                  "TWIL", "%1: %2 images cannot fit in a library file of %3 bytes: the pair "
                          "is inconsistent and cannot be changed.")
                  .arg(name)
                  .arg(m_headerCount)
                  .arg(size);
    else if (m_headerCount == 0 && size > 1084)
        why = QCoreApplication::translate(
                  "TWIL", "%1: the library counts no image but holds %2 bytes behind its "
                          "header and palette: the pair is inconsistent and cannot be "
                          "changed.")
                  .arg(name)
                  .arg(size - 1080);
    if (!why.isEmpty() || m_imageCount == 0)
        return why;
    // Records may be stored in another order than their images, but the first one in the file
    // starts where the header and palette end.
    int first = 0;
    for (int i = 0; i < m_imageCount; ++i) {
        if (Offsets.at(i) < front)
            return QCoreApplication::translate(
                       "TWIL", "%1: the entry of image %2 (%3) points into the header and "
                               "palette: the pair is inconsistent and cannot be changed.")
                .arg(name)
                .arg(i)
                .arg(Offsets.at(i));
        if (Offsets.at(i) < Offsets.at(first))
            first = i;
    }
    if (!isFirstRecordOffset(Offsets.at(first)))
        why = QCoreApplication::translate(
                  "TWIL", "%1: the first record in the file (image %2's) is at %3, not where "
                          "the header and palette end (%4): the pair is inconsistent and "
                          "cannot be changed.")
                  .arg(name)
                  .arg(first)
                  .arg(Offsets.at(first))
                  .arg(front);
    return why;
}

bool TWIL::canEdit(QString *reason) const
{
    QString why;
    if (!LibraryStream)
        why = QCoreApplication::translate("TWIL", "No library is open.");
    else if (!m_inconsistency.isEmpty())
        why = m_inconsistency;
    else if (m_readOnly)
        why = QCoreApplication::translate("TWIL",
                                          "%1 is open for reading only: it cannot be changed.")
                  .arg(FileName);
    else if (FileType != 0 && FileType != 1)
        why = QCoreApplication::translate("TWIL",
                                          "%1: libraries of run-length records cannot be changed.")
                  .arg(FileName);
    if (reason)
        *reason = why;
    return why.isEmpty();
}

const QImage *TWIL::GetBitmap(int index)
{
    return LibType == ltLoadBmp ? &LoadBitmap(index) : nullptr;
}

const QImage &TWIL::LoadBitmap(int index)
{
    const qsizetype loaded = FileType >= 2 ? qMin<qsizetype>(Offsets.size(), m_imageCount)
                                           : qMax<qsizetype>(0, Offsets.size() - 1);
    if (index < 0 || index >= m_imageCount || index >= loaded || !LibraryStream) {
        m_bitmap = QImage(1, 1, QImage::Format_RGB16);
        m_bitmap.fill(0);
        m_lastDecodeOk = false;
        return m_bitmap;
    }
    // at(): a non-const subscript would detach Offsets from the copy the sorted entries were
    // made from, and every fetch would sort the whole table again.
    const qint64 offset = Offsets.at(index);
    m_lastDecodeOk =
        FileType >= 2 ? ReadRunLengthImage(offset, index) : ReadCompressedImage(offset, index);
    Width = m_bitmap.width();
    Height = m_bitmap.height();
    px = index < m_placementX.size() ? m_placementX[index] : 0;
    py = index < m_placementY.size() ? m_placementY[index] : 0;
    return m_bitmap;
}

const QVector<qint32> &TWIL::sortedEntries() const
{
    if (m_sortedFor.constData() != Offsets.constData() || m_sortedFor.size() != Offsets.size()) {
        m_sortedFor = Offsets;
        const qsizetype n = FileType >= 2 ? qMin<qsizetype>(Offsets.size(), m_imageCount)
                                          : qMax<qsizetype>(0, Offsets.size() - 1);
        m_sorted = Offsets.mid(0, n);
        std::sort(m_sorted.begin(), m_sorted.end());
    }
    return m_sorted;
}

qint64 TWIL::extentEndFor(qint64 offset) const
{
    if (!LibraryStream || m_knownSize < 0)
        return 0;
    const QVector<qint32> &sorted = sortedEntries();
    const auto next = std::upper_bound(sorted.begin(), sorted.end(), offset,
                                       [](qint64 o, qint32 e) { return o < qint64(e); });
    return next == sorted.end() ? m_knownSize : qMin<qint64>(*next, m_knownSize);
}

qint64 TWIL::recordExtentEnd(int n) const
{
    if (n < 0 || n >= m_imageCount || n >= Offsets.size())
        return 0;
    return extentEndFor(Offsets[n]);
}

RecordInfo TWIL::inspectRecord(int index) const
{
    if (!LibraryStream || index < 0 || index >= m_imageCount || index >= Offsets.size())
        return {};
    // at(): a non-const subscript would detach Offsets from the copy the sorted entries were
    // made from, and every fetch would sort the whole table again.
    const qint64 offset = Offsets.at(index);
    if (FileType >= 2)
        return inspectRunLength(*LibraryStream, offset, m_knownSize);
    return inspectAt(*LibraryStream, offset, extentEndFor(offset), OffSet);
}

void TWIL::setEmptyBitmap()
{
    m_bitmap = QImage();
}

void TWIL::storePlacement(int index, int x, int y)
{
    if (index < 0)
        return;
    if (index >= m_placementX.size()) {
        m_placementX.resize(index + 1);
        m_placementY.resize(index + 1);
    }
    m_placementX[index] = x;
    m_placementY[index] = y;
}

bool TWIL::ReadCompressedImage(qint64 recordOffset, int index)
{
    if (!LibraryStream)
        return false;
    // One read brings in the header and, for all but large records, the whole record.
    const qint64 end = extentEndFor(recordOffset);
    if (recordOffset < 0 || end - recordOffset < 8)
        return false;
    Decoder &d = *m_decoder;
    const qint64 have = qMin<qint64>(end - recordOffset, kPrefetch);
    d.record.resize(have);
    d.recordOffset = recordOffset;
    if (!readBytes(*LibraryStream, recordOffset, d.record.data(), have)) {
        d.recordOffset = -1;
        return false;
    }
    char h[kHeaderBytes] = {};
    memcpy(h, d.record.constData(), qMin(have, kHeaderBytes));
    return decodeRecord(inspectHeader(h, recordOffset, end, OffSet), index);
}

// Hands out the bytes [from, to) of the record being decoded in order, a piece at a time: from
// the prefetched part where they lie in it, else read from the file. Nothing beyond `to` is
// read, and memory stays one piece whatever the record claims.
class TWIL::RecordReader
{
  public:
    RecordReader(TWIL &wil, const RecordInfo &info, qint64 from, qint64 to)
        : m_wil(wil), m_info(info), m_pos(from), m_end(to)
    {
    }

    // The next piece in `piece`/`length` (length 0 once `to` is reached); false on a read error.
    bool next(const char *&piece, qint64 &length)
    {
        Decoder &d = *m_wil.m_decoder;
        length = 0;
        if (m_pos >= m_end)
            return true;
        if (d.recordOffset == m_info.offset && m_pos < d.record.size()) {
            piece = d.record.constData() + m_pos;
            length = qMin(m_end, d.record.size()) - m_pos;
        } else {
            length = qMin(kPrefetch, m_end - m_pos);
            d.block.resize(length);
            if (!readBytes(*m_wil.LibraryStream, m_info.offset + m_pos, d.block.data(), length))
                return false;
            piece = d.block.constData();
        }
        m_pos += length;
        return true;
    }

    // Copies the next `length` bytes to `dst`; how many there were (fewer once `to` is
    // reached), or -1 on a read error.
    qint64 take(char *dst, qint64 length)
    {
        qint64 done = 0;
        while (done < length) {
            if (m_left == 0 && (!next(m_piece, m_left)))
                return -1;
            if (m_left == 0)
                break;
            const qint64 n = qMin(m_left, length - done);
            memcpy(dst + done, m_piece, n);
            m_piece += n;
            m_left -= n;
            done += n;
        }
        return done;
    }

  private:
    TWIL &m_wil;
    const RecordInfo &m_info;
    qint64 m_pos;
    qint64 m_end;
    const char *m_piece = nullptr;
    qint64 m_left = 0;
};

bool TWIL::decodeRecord(const RecordInfo &info, int index)
{
    if (info.kind == RecordInfo::Invalid)
        return false;
    try {
        return decodeValidRecord(info, index);
    } catch (const std::bad_alloc &) {
        return false; // too little memory for a large image: keep the previous picture
    }
}

bool TWIL::decodeValidRecord(const RecordInfo &info, int index)
{
    Decoder &d = *m_decoder;
    const int w = info.width, h = info.height;
    if (imagelimits::isTooLarge(w, h) && info.kind != RecordInfo::CompressedEmpty &&
        info.kind != RecordInfo::EmptyRecord)
        return false;

    switch (info.kind) {
    case RecordInfo::Compressed: {
        if (w < 0 || h < 0)
            return false;
        if (w == 0 || h == 0)
            break;
        const qint64 blockLength = info.size - 16;
        const qint64 want = qint64(w) * h * 2;
        // A block longer than any deflate stream of these pixels is not this image's block.
        if (blockLength > imagelimits::maxPixelBlockLength(w, h) ||
            want > blockLength * kMaxInflateRatio || !d.ready)
            return false;
        char method[2];
        if (RecordReader(*this, info, 16, 18).take(method, 2) != 2)
            return false;
        const bool stored = u16(method) == 0;
        // A stored payload is read only as far as the image's pixels go.
        const qint64 payloadEnd = stored ? 22 + qMin(blockLength - 6, want) : 16 + blockLength;
        RecordReader payload(*this, info, 22, payloadEnd);

        QImage image(w, h, QImage::Format_RGB16);
        if (image.isNull())
            return false;
        // Pixel k is column k mod W4 of row k div W4, rows counted from the bottom; only the
        // first width x height pixels are taken. Each row of the sequence passes through a
        // small buffer, so no copy of the whole image is ever held besides the image itself.
        const qint64 stride = roundedWidth(w) * 2;
        const qint64 rowBytes = qint64(w) * 2;
        // Rows pass through a buffer of up to 256 KiB: few enough inflate calls to keep
        // zlib on its fast path, small enough that the image is all the memory it costs.
        const qint64 bandRows = qMax<qint64>(1, kPrefetch / stride);
        d.row.resize(bandRows * stride);
        char *const band = d.row.data();
        // bits() once: scanLine() would check for sharing on every row.
        uchar *const bits = image.bits();
        const qsizetype bytesPerLine = image.bytesPerLine();
        z_stream &z = d.z;
        if (!stored) {
            inflateReset(&z);
            z.avail_in = 0;
        }
        bool ended = false; // the payload or the deflate stream gave out: the rest stays black
        bool payloadDone = false;
        for (qint64 first = 0; first < h; first += bandRows) {
            const qint64 rows = qMin<qint64>(bandRows, h - first);
            const qint64 bandWant = std::clamp<qint64>(want - first * stride, 0, rows * stride);
            qint64 got = 0;
            if (ended || bandWant == 0) {
                got = 0;
            } else if (stored) {
                got = payload.take(band, bandWant);
                if (got < 0)
                    return false;
                ended = got < bandWant;
            } else {
                z.next_out = reinterpret_cast<Bytef *>(band);
                z.avail_out = uInt(bandWant);
                while (z.avail_out > 0) {
                    if (z.avail_in == 0 && !payloadDone) {
                        const char *piece = nullptr;
                        qint64 length = 0;
                        if (!payload.next(piece, length))
                            return false;
                        payloadDone = length == 0;
                        if (length > 0) {
                            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(piece));
                            z.avail_in = uInt(length);
                        }
                    }
                    // Called even when all input is in: a match that filled the last band may
                    // still have bytes to give.
                    const uInt room = z.avail_out;
                    const int rc = inflate(&z, Z_NO_FLUSH);
                    if (rc == Z_STREAM_END) {
                        ended = true;
                        break;
                    }
                    if (rc != Z_OK && rc != Z_BUF_ERROR)
                        return false;
                    if (payloadDone && z.avail_out == room) {
                        ended = true; // the stream is cut short
                        break;
                    }
                }
                got = bandWant - z.avail_out;
            }
            for (qint64 i = 0; i < rows; ++i) {
                uchar *line = bits + qsizetype(h - 1 - (first + i)) * bytesPerLine;
                const qint64 have = std::clamp<qint64>(got - i * stride, 0, rowBytes);
                if (have > 0)
                    memcpy(line, band + i * stride, have);
                if (have < rowBytes)
                    memset(line + have, 0, rowBytes - have);
            }
        }
        storePlacement(index, info.px, info.py);
        m_bitmap = std::move(image);
        return true;
    }
    case RecordInfo::Uncompressed16: {
        if (w == 0 || h == 0)
            break;
        QImage image(w, h, QImage::Format_RGB16);
        if (image.isNull())
            return false;
        const qint64 rowBytes = qint64(w) * 2;
        RecordReader rows(*this, info, 8, 8 + rowBytes * h);
        for (int y = h - 1; y >= 0; --y)
            if (rows.take(reinterpret_cast<char *>(image.scanLine(y)), rowBytes) != rowBytes)
                return false;
        storePlacement(index, info.px, info.py);
        m_bitmap = std::move(image);
        return true;
    }
    case RecordInfo::Uncompressed8: {
        if (w == 0 || h == 0)
            break;
        const qint64 header = info.size - qint64(w) * h;
        QImage image(w, h, QImage::Format_RGB16);
        if (image.isNull())
            return false;
        RecordReader indices(*this, info, header, info.size);
        d.row.resize(w);
        const auto *src = reinterpret_cast<const quint8 *>(d.row.constData());
        quint16 lut[256];
        for (int i = 0; i < 256; ++i) {
            const quint8 *e = Palette.data() + 4 * i;
            lut[i] = quint16(((e[2] >> 3) << 11) | ((e[1] >> 2) << 5) | (e[0] >> 3));
        }
        for (int y = h - 1; y >= 0; --y) {
            if (indices.take(d.row.data(), w) != w)
                return false;
            auto *line = reinterpret_cast<quint16 *>(image.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = lut[src[x]];
        }
        storePlacement(index, info.px, info.py);
        m_bitmap = std::move(image);
        return true;
    }
    default:
        break;
    }
    // An image without pixels.
    storePlacement(index, info.px, info.py);
    setEmptyBitmap();
    return true;
}

bool TWIL::ReadRunLengthImage(qint64 recordOffset, int index)
{
    if (!LibraryStream)
        return false;
    const RecordInfo info = inspectRunLength(*LibraryStream, recordOffset, m_knownSize);
    if (info.kind == RecordInfo::EmptyRecord) {
        setEmptyBitmap();
        return true;
    }
    if (info.kind != RecordInfo::RunLength)
        return false;
    storePlacement(index, info.px, info.py);
    const int w = info.width, h = info.height;
    // Each of the height + 1 rows is a length word and at most 65535 more: words beyond that
    // can never be reached, and are not read.
    const qint64 words = qMin<qint64>((info.size - 17) / 2, qint64(h + 1) * 65536);
    Decoder &d = *m_decoder;
    d.block.resize(words * 2);
    if (!fileio::readAt(*LibraryStream, info.offset + 17, d.block.data(), d.block.size()))
        return false;
    QImage image(w, h, QImage::Format_RGB16);
    if (w > 0 && h > 0) {
        if (image.isNull())
            return false;
        image.fill(0);
    }
    const char *data = d.block.constData();
    auto word = [data](qint64 i) { return u16(data + 2 * i); };
    qint64 pos = 0;
    for (int r = 0; r <= h && pos < words; ++r) {
        const qint64 length = word(pos);
        const qint64 codesEnd = qMin(pos + length, words); // the length-th word closes the row
        qint64 p = pos + 1;
        qint64 x = 0;
        auto *line = r >= 1 && w > 0 ? reinterpret_cast<quint16 *>(image.scanLine(r - 1)) : nullptr;
        while (p < codesEnd) {
            const quint16 code = word(p++);
            if (code < 0xC0 || code > 0xC3 || p >= codesEnd)
                break; // an unknown code ends its row
            const qint64 n = word(p++);
            if (code != 0xC0) {
                const qint64 available = qMin(n, codesEnd - p);
                if (line) {
                    for (qint64 i = 0; i < available && x + i < w; ++i)
                        line[x + i] = word(p + i);
                }
                p += available;
            }
            x += n;
        }
        pos += 1 + length;
    }
    m_bitmap = std::move(image);
    return true;
}

QVector<QRgb> TWIL::colorTable() const
{
    QVector<QRgb> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = qRgb(Palette[4 * i + 2], Palette[4 * i + 1], Palette[4 * i]);
    return table;
}

void TWIL::DrawImage(QPainter &canvas, const QRect &rect, bool fromTop, int index)
{
    if (LibType != ltLoadBmp)
        return;
    const QImage *image = GetBitmap(index);
    // A record that does not decode leaves the previous picture: it is not this image's.
    if (!image || !m_lastDecodeOk || image->isNull())
        return;
    const int w = qMin(rect.width(), image->width());
    const int h = qMin(rect.height(), image->height());
    if (w <= 0 || h <= 0)
        return;
    // Nearest-neighbour keeps black exactly black, so shrinking never makes halos.
    const QImage fitted = (w == image->width() && h == image->height())
                              ? *image
                              : image->scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    DrawTransparent(canvas, rect.left(), fromTop ? rect.top() : rect.top() - h, 0, fitted);
}

QByteArray emptyRecordBytes()
{
    const char bytes[9] = {1, 0, 1, 0, 1, 0, 1, 0, 0};
    return QByteArray(bytes, 9);
}

namespace {
// The uncompressed 16-bit record of a graphic: its width rounded up to a multiple of 4, its
// height, the placement, then the rows bottom first, the added columns black.
QByteArray record16(const QImage &graphic, qint16 x, qint16 y)
{
    const qint64 w4 = roundedWidth(graphic.width());
    const int h = graphic.height();
    QImage work(int(w4), h, QImage::Format_RGB16);
    if (work.isNull())
        return {};
    work.fill(0);
    {
        QPainter p(&work);
        p.drawImage(0, 0, graphic);
    }
    const qint64 rowBytes = w4 * 2;
    QByteArray out(8 + rowBytes * h, Qt::Uninitialized);
    char *d = out.data();
    qToLittleEndian<quint16>(quint16(w4), d);
    qToLittleEndian<quint16>(quint16(h), d + 2);
    qToLittleEndian<qint16>(x, d + 4);
    qToLittleEndian<qint16>(y, d + 6);
    for (int row = 0; row < h; ++row) {
        const auto *src = reinterpret_cast<const quint16 *>(work.constScanLine(h - 1 - row));
        char *dst = d + 8 + row * rowBytes;
        for (qint64 i = 0; i < w4; ++i)
            qToLittleEndian<quint16>(src[i], dst + 2 * i);
    }
    return out;
}

// Records are at most 65,535 pixels wide and high, and the library at most 2 GB.
bool graphicFits(const QImage &graphic, QString *error)
{
    if (roundedWidth(graphic.width()) > 0xFFFF || graphic.height() > 0xFFFF) {
        *error = QCoreApplication::translate(
                     "TWIL", "The picture is too large for a library record (%1 x %2).")
                     .arg(graphic.width())
                     .arg(graphic.height());
        return false;
    }
    return true;
}
} // namespace

bool TWIL::AddBitmap(const QImage &graphic, qint16 x, qint16 y)
{
    m_error.clear();
    LibraryEdit edit(*this);
    if (!edit.begin(&m_error))
        return false;
    if (graphic.width() <= 1 || graphic.height() <= 1)
        return AddEmpty();
    if (!canEdit(&m_error) || !graphicFits(graphic, &m_error))
        return false;
    const QByteArray record = record16(graphic, x, y);
    if (record.isEmpty()) {
        m_error = QCoreApplication::translate("TWIL", "Too little memory for the picture.");
        return false;
    }
    return spliceRecords(*this, m_imageCount, 0, {record}, &m_error);
}

bool TWIL::AddEmpty()
{
    m_error.clear();
    LibraryEdit edit(*this);
    if (!edit.begin(&m_error))
        return false;
    if (!canEdit(&m_error))
        return false;
    return spliceRecords(*this, m_imageCount, 0, {emptyRecordBytes()}, &m_error);
}

bool TWIL::ReplaceBitmap(int index, const QImage &graphic)
{
    m_error.clear();
    LibraryEdit edit(*this);
    if (!edit.begin(&m_error))
        return false;
    const QByteArray record = replacementRecord(index, graphic);
    if (record.isEmpty())
        return false;
    if (!spliceRecords(*this, index, 1, {record}, &m_error))
        return false;
    LoadIndex(IndexFileName);
    return true;
}

QByteArray TWIL::replacementRecord(int index, const QImage &graphic)
{
    m_error.clear();
    LibraryEdit edit(*this);
    if (!edit.begin(&m_error))
        return {};
    if (!canEdit(&m_error))
        return {};
    if (index < 0 || index >= m_imageCount) {
        m_error =
            QCoreApplication::translate("TWIL", "Image %1 is not in the library (it holds %2).")
                .arg(index)
                .arg(m_imageCount);
        return {};
    }
    // A zero-length picture (as an image without pixels is exported) comes back as one.
    if (graphic.isNull())
        return emptyRecordBytes();
    if (!graphicFits(graphic, &m_error))
        return {};
    // Every layout keeps its placement at record offsets 4-7.
    // at(): a non-const subscript would detach Offsets from the copy the sorted entries were
    // made from, and every fetch would sort the whole table again.
    const qint64 offset = Offsets.at(index);
    char place[4] = {};
    if (offset >= 0 && offset + 8 <= recordExtentEnd(index) &&
        !fileio::readAt(*LibraryStream, offset + 4, place, 4)) {
        m_error = QCoreApplication::translate("TWIL", "%1 cannot be read.").arg(FileName);
        return {};
    }
    const QByteArray record = record16(graphic, s16(place), s16(place + 2));
    if (record.isEmpty())
        m_error = QCoreApplication::translate("TWIL", "Too little memory for the picture.");
    return record;
}

namespace {
constexpr int kPxAt = 4;
constexpr int kPyAt = 6;
} // namespace

bool TWIL::SetImagePx(int index, qint16 value)
{
    return setPlacementField(index, kPxAt, value);
}

bool TWIL::SetImagePy(int index, qint16 value)
{
    return setPlacementField(index, kPyAt, value);
}

bool TWIL::setPlacementField(int index, int at, qint16 value)
{
    m_error.clear();
    LibraryEdit edit(*this);
    if (!edit.begin(&m_error))
        return false;
    if (!canEdit(&m_error))
        return false;
    if (index < 0 || index >= m_imageCount) {
        m_error =
            QCoreApplication::translate("TWIL", "Image %1 is not in the library (it holds %2).")
                .arg(index)
                .arg(m_imageCount);
        return false;
    }
    // at(): a non-const subscript would detach Offsets from the copy the sorted entries were
    // made from, and every fetch would sort the whole table again.
    const qint64 offset = Offsets.at(index);
    char old[2];
    if (offset < 1080 + OffSet || offset + 8 > LibraryStream->size() ||
        !fileio::readAt(*LibraryStream, offset + at, old, 2)) {
        m_error = QCoreApplication::translate(
                      "TWIL", "The record of image %1 lies outside the library file.")
                      .arg(index);
        return false;
    }
    char bytes[2];
    qToLittleEndian<qint16>(value, bytes);
    EditJournal journal(FileName, IndexFileName);
    journal.setNewSizes(LibraryStream->size(), -1);
    QString why;
    if (!journal.begin(LibraryStream->size(), -1, &m_error) ||
        !journal.save(EditJournal::Library, *LibraryStream, offset + at, 2, &m_error) ||
        !journal.arm(&m_error)) {
        journal.rollBack(*LibraryStream, nullptr, &why);
        // A journal of two bytes still takes a block of the disk, and its folder may grow.
        fileio::explainFullDisk(QFileInfo(FileName).absolutePath(), 8192, &m_error);
        return false;
    }
    if (fileio::writeAt(*LibraryStream, offset + at, bytes, 2, &m_error) &&
        fileio::flush(*LibraryStream, &m_error) && journal.finish(&m_error))
        return true;
    if (!journal.rollBack(*LibraryStream, nullptr, &why))
        m_error += QCoreApplication::translate(
            "TWIL", " (the old value could not be put back: the next Open does)");
    return false;
}

QString BaseFileName(const QString &path)
{
    qsizetype sep = path.lastIndexOf(u'/');
#ifdef Q_OS_WIN
    sep = qMax(sep, path.lastIndexOf(u'\\'));
#endif
    const QString name = path.mid(sep + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return name;
    const QString ext = name.mid(dot);
    return name.left(name.indexOf(ext));
}

QString indexFileNameFor(const QString &libraryPath)
{
    qsizetype sep = libraryPath.lastIndexOf(u'/');
#ifdef Q_OS_WIN
    sep = qMax(sep, libraryPath.lastIndexOf(u'\\'));
#endif
    const QString folder = libraryPath.left(sep + 1);
    const QString name = BaseFileName(libraryPath) + QStringLiteral(".WIX");
    const QString exact = folder + name;
    if (QFileInfo::exists(exact))
        return exact;
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    const QStringList candidates =
        dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &candidate : candidates)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return folder + candidate;
    return exact;
}

void InitBitmapHeader16(quint8 header[66])
{
    std::fill(header, header + 66, 0);
    auto put = [header](int at, quint32 v) { qToLittleEndian<quint32>(v, header + at); };
    header[0] = 'B';
    header[1] = 'M';
    put(10, 66);
    put(14, 40);
    qToLittleEndian<quint16>(1, header + 26);
    qToLittleEndian<quint16>(16, header + 28);
    put(30, 3);
    put(54, 0xF800);
    put(58, 0x07E0);
    put(62, 0x001F);
}

QByteArray encodeBitmap16(const QImage &image)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return {};
    const QImage img = image.convertToFormat(QImage::Format_RGB16);
    const qint64 rowBytes = (qint64(img.width()) * 2 + 3) / 4 * 4;
    const qint64 imageSize = rowBytes * img.height();
    QByteArray out(66 + imageSize, '\0');
    auto *header = reinterpret_cast<quint8 *>(out.data());
    InitBitmapHeader16(header);
    qToLittleEndian<quint32>(quint32(out.size()), header + 2);
    qToLittleEndian<qint32>(img.width(), header + 18);
    qToLittleEndian<qint32>(img.height(), header + 22);
    qToLittleEndian<quint32>(quint32(imageSize), header + 34);
    for (int row = 0; row < img.height(); ++row) {
        const auto *src =
            reinterpret_cast<const quint16 *>(img.constScanLine(img.height() - 1 - row));
        char *dst = out.data() + 66 + row * rowBytes;
        for (int x = 0; x < img.width(); ++x)
            qToLittleEndian<quint16>(src[x], dst + 2 * x);
    }
    return out;
}

void DrawTransparent(QPainter &painter, int x, int y, quint16 transparent, const QImage &bitmap)
{
    if (bitmap.isNull())
        return;
    const QImage src = bitmap.convertToFormat(QImage::Format_RGB16);
    QImage argb = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int row = 0; row < src.height(); ++row) {
        const auto *s = reinterpret_cast<const quint16 *>(src.constScanLine(row));
        auto *d = reinterpret_cast<QRgb *>(argb.scanLine(row));
        for (int col = 0; col < src.width(); ++col)
            if (s[col] == transparent)
                d[col] = 0;
    }
    painter.drawImage(QPoint(x, y), argb);
}
