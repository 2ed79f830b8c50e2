#include "editjournal.h"

#include "fileio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <limits>
#include <zlib.h>

// Layout, little-endian:
//   header   "WILJRNL2", int64 library size, int64 index size, 8 zero bytes      (32 bytes)
//   ranges   uint32 target, uint32 0, int64 position, int64 length, the bytes    (24 + length)
//   identity "WILJIDN1", then for the library and for the index: int64 old size,
//            int64 new size (-1: grows by an amount not known in advance), int64 end of the
//            front stretch, int64 start and end of the near stretch, uint32 CRC-32 of both
//            stretches without the saved ranges, uint32 0                          (104 bytes)
//   trailer  uint32 range count, uint32 CRC-32 of everything before, "WILJEND2" (16 bytes)
//
// The identity says which pair the journal belongs to. The stretches are bytes the edit never
// changes: the front of the file (header and palette, or the index's header) and up to 64 KiB
// in front of the first byte the edit saves beyond it. Whatever the edit has done so far, they
// are the same, and the sizes lie between the old and the new. A backup copied over the pair
// after a crash (even over the same inodes) fails that test, and the journal is moved aside
// instead of being played over it. A journal of the first layout carries no identity and is
// moved aside too.

namespace {

constexpr char kMagic[] = "WILJRNL2";
constexpr char kEndMagic[] = "WILJEND2";
constexpr char kOldEndMagic[] = "WILJEND1";
constexpr char kIdentityMagic[] = "WILJIDN1";
constexpr qint64 kHeaderSize = 32;
constexpr qint64 kRangeHeaderSize = 24;
constexpr qint64 kFileIdentitySize = 48;
constexpr qint64 kIdentitySize = 8 + 2 * kFileIdentitySize;
constexpr qint64 kTrailerSize = 16;
// The front stretch: a library's header and palette, an index's header.
constexpr qint64 kLibraryFront = 1080;
constexpr qint64 kIndexFront = 48;
constexpr qint64 kNearStretch = 64 * 1024;

qint64 &chunkSize()
{
    static qint64 size = 1 << 20;
    return size;
}

quint32 crcOf(quint32 crc, const char *data, qint64 len)
{
    while (len > 0) {
        const uInt n = uInt(qMin<qint64>(len, 1 << 30));
        crc = quint32(::crc32(crc, reinterpret_cast<const Bytef *>(data), n));
        data += n;
        len -= n;
    }
    return crc;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

struct Range
{
    quint32 target;
    qint64 pos;
    qint64 length;
    qint64 dataAt; // where its bytes start in the journal
};

// What one file of the pair looked like when the edit began.
struct FileIdentity
{
    qint64 oldSize = -1; // -1: the edit leaves the file alone, and it is not looked at
    qint64 newSize = -1;
    qint64 frontEnd = 0;
    qint64 nearStart = 0;
    qint64 nearEnd = 0;
    quint32 crc = 0;
};

// The CRC-32 of [from, to) of `f` without the saved ranges of `target`; false when the file is
// too short or cannot be read.
bool crcOutsideRanges(QFileDevice &f, quint32 target, const QVector<Range> &ranges, qint64 from,
                      qint64 to, quint32 &crc)
{
    QVector<Range> mine;
    for (const Range &r : ranges)
        if (r.target == target && r.length > 0 && r.pos < to && r.pos + r.length > from)
            mine.append(r);
    std::sort(mine.begin(), mine.end(),
              [](const Range &a, const Range &b) { return a.pos < b.pos; });
    QByteArray buf;
    auto add = [&](qint64 a, qint64 b) {
        if (a >= b)
            return true;
        buf.resize(b - a);
        if (!fileio::readAt(f, a, buf.data(), b - a))
            return false;
        crc = crcOf(crc, buf.constData(), b - a);
        return true;
    };
    qint64 at = from;
    for (const Range &r : mine) {
        if (!add(at, qMin(r.pos, to)))
            return false;
        at = qMax(at, r.pos + r.length);
    }
    return add(at, to);
}

quint32 identityCrc(QFileDevice &f, quint32 target, const QVector<Range> &ranges,
                    const FileIdentity &id, bool *ok)
{
    quint32 crc = quint32(::crc32(0, nullptr, 0));
    *ok = crcOutsideRanges(f, target, ranges, 0, id.frontEnd, crc) &&
          crcOutsideRanges(f, target, ranges, id.nearStart, id.nearEnd, crc);
    return crc;
}

// Where the stretches of a file lie that the edit described by `ranges` never changes.
FileIdentity stretchesOf(quint32 target, qint64 oldSize, qint64 newSize,
                         const QVector<Range> &ranges)
{
    FileIdentity id;
    id.oldSize = oldSize;
    id.newSize = newSize;
    const qint64 limit = newSize >= 0 ? qMin(oldSize, newSize) : oldSize;
    const qint64 front = qMin(target == EditJournal::Library ? kLibraryFront : kIndexFront, limit);
    qint64 firstChanged = limit;
    for (const Range &r : ranges)
        if (r.target == target && r.length > 0 && r.pos + r.length > front)
            firstChanged = qMin(firstChanged, qMax(r.pos, front));
    id.frontEnd = front;
    id.nearEnd = qMax(front, firstChanged);
    id.nearStart = qMax(front, id.nearEnd - kNearStretch);
    return id;
}

// Whether `f` is the file `id` was taken from, before the edit or part-way through it.
bool matches(QFileDevice &f, quint32 target, const QVector<Range> &ranges, const FileIdentity &id)
{
    const qint64 size = f.size();
    const qint64 low = id.newSize >= 0 ? qMin(id.oldSize, id.newSize) : id.oldSize;
    const qint64 high =
        id.newSize >= 0 ? qMax(id.oldSize, id.newSize) : std::numeric_limits<qint64>::max();
    if (size < low || size > high)
        return false;
    bool ok = false;
    const quint32 crc = identityCrc(f, target, ranges, id, &ok);
    return ok && crc == id.crc;
}

struct Parsed
{
    qint64 librarySize = 0;
    qint64 indexSize = 0;
    QVector<Range> ranges;
    FileIdentity identity[2];
};

enum class Parse
{
    Incomplete, // cut short or damaged: nothing was overwritten behind it
    Complete,
    Unidentified // complete, of the first layout: it cannot tell which pair it belongs to
};

// A complete journal parsed.
Parse parse(QFileDevice &j, Parsed &out)
{
    const qint64 size = j.size();
    if (size < kHeaderSize + kTrailerSize)
        return Parse::Incomplete;
    char trailer[kTrailerSize];
    if (!fileio::readAt(j, size - kTrailerSize, trailer, kTrailerSize))
        return Parse::Incomplete;
    const bool oldLayout = memcmp(trailer + 8, kOldEndMagic, 8) == 0;
    if (!oldLayout && memcmp(trailer + 8, kEndMagic, 8) != 0)
        return Parse::Incomplete;
    const quint32 count = qFromLittleEndian<quint32>(trailer);
    const quint32 storedCrc = qFromLittleEndian<quint32>(trailer + 4);

    const qint64 body = size - kTrailerSize;
    quint32 crc = quint32(::crc32(0, nullptr, 0));
    QByteArray buf(qMin(chunkSize(), body), Qt::Uninitialized);
    for (qint64 at = 0; at < body;) {
        const qint64 n = qMin<qint64>(buf.size(), body - at);
        if (!fileio::readAt(j, at, buf.data(), n))
            return Parse::Incomplete;
        crc = crcOf(crc, buf.constData(), n);
        at += n;
    }
    if (crc != storedCrc)
        return Parse::Incomplete;
    if (oldLayout)
        return Parse::Unidentified;

    char header[kHeaderSize];
    if (!fileio::readAt(j, 0, header, kHeaderSize) || memcmp(header, kMagic, 8) != 0)
        return Parse::Incomplete;
    out.librarySize = qFromLittleEndian<qint64>(header + 8);
    out.indexSize = qFromLittleEndian<qint64>(header + 16);
    if (out.librarySize < 0 || out.indexSize < -1)
        return Parse::Incomplete;
    const qint64 rangesEnd = body - kIdentitySize;
    qint64 at = kHeaderSize;
    for (quint32 i = 0; i < count; ++i) {
        char h[kRangeHeaderSize];
        if (at + kRangeHeaderSize > rangesEnd || !fileio::readAt(j, at, h, kRangeHeaderSize))
            return Parse::Incomplete;
        Range r{qFromLittleEndian<quint32>(h), qFromLittleEndian<qint64>(h + 8),
                qFromLittleEndian<qint64>(h + 16), at + kRangeHeaderSize};
        const qint64 limit = r.target == EditJournal::Library ? out.librarySize : out.indexSize;
        if (r.target > EditJournal::Index || limit < 0 || r.pos < 0 || r.length < 0 ||
            r.pos > limit || r.length > limit - r.pos || r.length > rangesEnd - r.dataAt)
            return Parse::Incomplete;
        out.ranges.append(r);
        at = r.dataAt + r.length;
    }
    if (at != rangesEnd)
        return Parse::Incomplete;
    char identity[kIdentitySize];
    if (!fileio::readAt(j, at, identity, kIdentitySize) || memcmp(identity, kIdentityMagic, 8) != 0)
        return Parse::Incomplete;
    for (int t = 0; t < 2; ++t) {
        const char *p = identity + 8 + t * kFileIdentitySize;
        FileIdentity &id = out.identity[t];
        id.oldSize = qFromLittleEndian<qint64>(p);
        id.newSize = qFromLittleEndian<qint64>(p + 8);
        id.frontEnd = qFromLittleEndian<qint64>(p + 16);
        id.nearStart = qFromLittleEndian<qint64>(p + 24);
        id.nearEnd = qFromLittleEndian<qint64>(p + 32);
        id.crc = qFromLittleEndian<quint32>(p + 40);
        const qint64 size = t == EditJournal::Library ? out.librarySize : out.indexSize;
        // The stretches lie in the old file, in order; they are read whole at most once each.
        if (id.oldSize != size || id.newSize < -1 || id.frontEnd < 0 ||
            id.nearStart < id.frontEnd || id.nearEnd < id.nearStart ||
            id.nearEnd > qMax<qint64>(0, size) || id.nearEnd - id.nearStart > kNearStretch ||
            id.frontEnd > qMax(kLibraryFront, kIndexFront))
            return Parse::Incomplete;
    }
    return Parse::Complete;
}

// Writes every saved range back and gives both files their old sizes.
bool playBack(QFileDevice &j, const Parsed &p, QFileDevice &library, QFileDevice *index,
              QString *error)
{
    if (p.indexSize >= 0 && !index) {
        if (error)
            *error = QCoreApplication::translate("EditJournal", "The index file cannot be opened.");
        return false;
    }
    QByteArray buf;
    for (const Range &r : p.ranges) {
        QFileDevice &target = r.target == EditJournal::Library ? library : *index;
        for (qint64 done = 0; done < r.length;) {
            const qint64 n = qMin(chunkSize(), r.length - done);
            buf.resize(n);
            if (!fileio::readAt(j, r.dataAt + done, buf.data(), n)) {
                if (error)
                    *error = QCoreApplication::translate("EditJournal",
                                                         "The edit journal cannot be read.");
                return false;
            }
            if (!fileio::writeAt(target, r.pos + done, buf, error))
                return false;
            done += n;
        }
    }
    if (p.indexSize >= 0 &&
        (!fileio::resize(*index, p.indexSize, error) || !fileio::flush(*index, error)))
        return false;
    return fileio::resize(library, p.librarySize, error) && fileio::flush(library, error);
}

} // namespace

EditJournal::EditJournal(const QString &libraryPath, const QString &indexPath)
    : m_libraryPath(libraryPath), m_indexPath(indexPath), m_lock(libraryPath),
      m_file(pathFor(libraryPath))
{
}

EditJournal::~EditJournal()
{
    // An armed journal left here belongs to an edit that could not be finished or rolled
    // back: it stays for the next Open.
    if (!m_armed && m_file.isOpen())
        discard();
}

QString EditJournal::pathFor(const QString &libraryPath)
{
    return libraryPath + QStringLiteral("-journal");
}

void EditJournal::setChunkSize(qint64 bytes)
{
    chunkSize() = qMax<qint64>(1, bytes);
}

bool EditJournal::append(const char *data, qint64 len, QString *error)
{
    if (!fileio::writeAt(m_file, m_pos, data, len, error))
        return false;
    m_crc = crcOf(m_crc, data, len);
    m_pos += len;
    return true;
}

bool EditJournal::begin(qint64 librarySize, qint64 indexSize, QString *error)
{
    m_armed = false;
    m_pos = 0;
    m_ranges = 0;
    m_crc = quint32(::crc32(0, nullptr, 0));
    m_oldSizes[Library] = librarySize;
    m_oldSizes[Index] = indexSize;
    m_sources[Library] = m_sources[Index] = nullptr;
    m_saved.clear();
    if (!m_lock.acquire(EditLock::kEditWaitMs, error))
        return false;
    // Only ever a new file: never through a link planted under its name, and never over a
    // journal left by an edit that was cut short (it holds the only way back for that edit).
    if (!fileio::createNew(m_file, error)) {
        if (error && fileio::entryAt(m_file.fileName()) == fileio::Entry::File)
            *error =
                QCoreApplication::translate(
                    "EditJournal", "%1 is left from an edit that was cut short; open the library "
                                   "again to undo that edit first.")
                    .arg(QDir::toNativeSeparators(m_file.fileName()));
        m_lock.release();
        return false;
    }
    m_created = true;
    char header[kHeaderSize] = {};
    memcpy(header, kMagic, 8);
    qToLittleEndian<qint64>(librarySize, header + 8);
    qToLittleEndian<qint64>(indexSize, header + 16);
    if (append(header, kHeaderSize, error))
        return true;
    discard();
    return false;
}

bool EditJournal::save(Target target, QFileDevice &source, qint64 pos, qint64 length,
                       QString *error)
{
    char h[kRangeHeaderSize] = {};
    qToLittleEndian<quint32>(target, h);
    qToLittleEndian<qint64>(pos, h + 8);
    qToLittleEndian<qint64>(length, h + 16);
    if (!append(h, kRangeHeaderSize, error))
        return false;
    QByteArray buf(qMin(chunkSize(), length), Qt::Uninitialized);
    for (qint64 done = 0; done < length;) {
        const qint64 n = qMin<qint64>(buf.size(), length - done);
        if (!fileio::readAt(source, pos + done, buf.data(), n)) {
            if (error)
                *error = QCoreApplication::translate("EditJournal", "%1 cannot be read.")
                             .arg(source.fileName());
            return false;
        }
        if (!append(buf.constData(), n, error))
            return false;
        done += n;
    }
    ++m_ranges;
    m_saved.append({quint32(target), pos, length});
    if (!m_sources[target])
        m_sources[target] = &source;
    return true;
}

void EditJournal::setNewSizes(qint64 librarySize, qint64 indexSize)
{
    m_newSizes[Library] = librarySize;
    m_newSizes[Index] = indexSize;
}

bool EditJournal::arm(QString *error)
{
    QVector<Range> ranges;
    for (const SavedRange &r : std::as_const(m_saved))
        ranges.append({r.target, r.pos, r.length, 0});
    char identity[kIdentitySize] = {};
    memcpy(identity, kIdentityMagic, 8);
    for (const Target t : {Library, Index}) {
        FileIdentity id;
        if (m_oldSizes[t] >= 0) {
            id = stretchesOf(t, m_oldSizes[t], m_newSizes[t], ranges);
            QFile byPath(t == Library ? m_libraryPath : m_indexPath);
            QFileDevice *source = m_sources[t];
            if (!source) {
                if (!byPath.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
                    if (error)
                        *error =
                            QStringLiteral("%1: %2").arg(byPath.fileName(), byPath.errorString());
                    return false;
                }
                source = &byPath;
            }
            bool ok = false;
            id.crc = identityCrc(*source, t, ranges, id, &ok);
            if (!ok) {
                if (error)
                    *error = QCoreApplication::translate("EditJournal", "%1 cannot be read.")
                                 .arg(source->fileName());
                return false;
            }
        }
        char *p = identity + 8 + int(t) * kFileIdentitySize;
        qToLittleEndian<qint64>(id.oldSize, p);
        qToLittleEndian<qint64>(id.newSize, p + 8);
        qToLittleEndian<qint64>(id.frontEnd, p + 16);
        qToLittleEndian<qint64>(id.nearStart, p + 24);
        qToLittleEndian<qint64>(id.nearEnd, p + 32);
        qToLittleEndian<quint32>(id.crc, p + 40);
    }
    if (!append(identity, kIdentitySize, error))
        return false;
    char trailer[kTrailerSize];
    qToLittleEndian<quint32>(m_ranges, trailer);
    qToLittleEndian<quint32>(m_crc, trailer + 4);
    memcpy(trailer + 8, kEndMagic, 8);
    if (!fileio::writeAt(m_file, m_pos, trailer, kTrailerSize, error))
        return false;
    // From the moment the trailer is written the journal may be complete on the disk, and a
    // later Open would play it back: harmless, as nothing has been changed yet.
    m_armed = true;
    return fileio::flush(m_file, error) && fileio::flushFolder(folderOf(m_libraryPath), error);
}

bool EditJournal::finish(QString *error)
{
    m_file.close();
    if (!fileio::remove(pathFor(m_libraryPath), error))
        return false;
    m_created = false;
    // The removal is the edit's commit point: whatever the folder's flush says, the journal
    // no longer exists for this process, and a journal that reappears after a power cut holds
    // the old bytes of an edit that was complete, which it would undo whole.
    m_armed = false;
    QString ignored;
    fileio::flushFolder(folderOf(m_libraryPath), &ignored);
    m_lock.release();
    return true;
}

void EditJournal::discard()
{
    QString ignored;
    m_file.close();
    // A file this journal did not make is not its to remove.
    if (m_created)
        fileio::remove(pathFor(m_libraryPath), &ignored);
    m_created = false;
    m_armed = false;
    m_lock.release();
}

bool EditJournal::rollBack(QFileDevice &library, QFileDevice *index, QString *error)
{
    if (!m_armed) {
        discard();
        return true;
    }
    Parsed p;
    if (!m_file.isOpen()) {
        m_file.setFileName(pathFor(m_libraryPath));
        if (!fileio::openExisting(m_file, error))
            return false;
    }
    if (parse(m_file, p) != Parse::Complete) {
        // The trailer never reached the file: nothing was overwritten behind it.
        discard();
        return true;
    }
    if (!playBack(m_file, p, library, index, error))
        return false;
    return finish(error);
}

EditJournal::Recovery EditJournal::recover(const QString &libraryPath, const QString &indexPath,
                                           QString *error)
{
    const QString journalPath = pathFor(libraryPath);
    if (fileio::entryAt(journalPath) == fileio::Entry::Missing)
        return Recovery::None;
    const QString native = QDir::toNativeSeparators(journalPath);
    QFile j(journalPath);
    QString why;
    if (!fileio::openExisting(j, &why)) {
        // A directory, a link or a FIFO under the journal's name: not ours to read or remove,
        // and no edit can make its journal while it stands there.
        if (error)
            *error = QCoreApplication::translate(
                         "EditJournal", "%1, not an edit journal; the library cannot be changed "
                                        "while it is there.")
                         .arg(why);
        return Recovery::Failed;
    }
    Parsed p;
    const Parse parsed = parse(j, p);
    if (parsed == Parse::Incomplete) {
        j.close();
        if (!fileio::remove(journalPath, &why)) {
            if (error)
                *error = why;
            return Recovery::Failed;
        }
        return Recovery::Discarded;
    }
    QFile library(libraryPath);
    QFile index(indexPath);
    const bool needsIndex = parsed == Parse::Complete && p.indexSize >= 0;
    if (!library.open(QIODevice::ReadWrite | QIODevice::Unbuffered) ||
        (needsIndex && index.exists() &&
         !index.open(QIODevice::ReadWrite | QIODevice::Unbuffered))) {
        if (error)
            *error = QCoreApplication::translate(
                         "EditJournal", "%1 holds an interrupted edit that cannot be undone: %2")
                         .arg(libraryPath,
                              library.isOpen() ? index.errorString() : library.errorString());
        return Recovery::Failed;
    }
    // Played back only over the files it was made from, as they were before the edit or
    // part-way through it.
    const bool belongs =
        parsed == Parse::Complete && matches(library, Library, p.ranges, p.identity[Library]) &&
        (!needsIndex || (index.isOpen() && matches(index, Index, p.ranges, p.identity[Index])));
    if (!belongs) {
        j.close();
        library.close();
        index.close();
        const QString aside = fileio::staleNameFor(journalPath);
        if (!fileio::rename(journalPath, aside, &why) ||
            !fileio::flushFolder(folderOf(libraryPath), &why)) {
            if (error)
                *error = QCoreApplication::translate(
                             "EditJournal", "%1 does not belong to the library and index now in "
                                            "place, and it cannot be moved aside: %2")
                             .arg(native, why);
            return Recovery::Failed;
        }
        if (error)
            *error =
                (parsed == Parse::Unidentified
                     ? QCoreApplication::translate(
                           "EditJournal", "%1 was left by an edit that was cut short, made by an "
                                          "earlier version of this program: it does not say "
                                          "which files it belongs to (%2 may have been replaced "
                                          "since).")
                     : QCoreApplication::translate(
                           "EditJournal", "%1 was left by an edit that was cut short, but %2 has "
                                          "been replaced since (a backup or another library "
                                          "copied over it)."))
                    .arg(native, QDir::toNativeSeparators(libraryPath)) +
                QCoreApplication::translate(
                    "EditJournal", " The journal was not played back and was moved aside to %1; "
                                   "the library was not changed.")
                    .arg(QDir::toNativeSeparators(aside));
        return Recovery::Stale;
    }
    if (!playBack(j, p, library, needsIndex ? &index : nullptr, &why)) {
        if (error)
            *error = QCoreApplication::translate(
                         "EditJournal", "%1 holds an interrupted edit that could not be undone: %2")
                         .arg(libraryPath, why);
        return Recovery::Failed;
    }
    j.close();
    if (!fileio::remove(journalPath, &why) || !fileio::flushFolder(folderOf(libraryPath), &why)) {
        // Played back but still there: the next Open plays it back again, to the same bytes.
        if (error)
            *error = why;
        return Recovery::Failed;
    }
    return Recovery::RolledBack;
}
