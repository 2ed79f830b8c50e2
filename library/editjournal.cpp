#include "editjournal.h"

#include "fileio.h"

#include <QFileInfo>
#include <QtEndian>
#include <zlib.h>

// Layout, little-endian:
//   header   "WILJRNL1", int64 library size, int64 index size, 8 zero bytes      (32 bytes)
//   ranges   uint32 target, uint32 0, int64 position, int64 length, the bytes    (24 + length)
//   trailer  uint32 range count, uint32 CRC-32 of everything before, "WILJEND1" (16 bytes)

namespace {

constexpr char kMagic[] = "WILJRNL1";
constexpr char kEndMagic[] = "WILJEND1";
constexpr qint64 kHeaderSize = 32;
constexpr qint64 kRangeHeaderSize = 24;
constexpr qint64 kTrailerSize = 16;

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

struct Parsed
{
    qint64 librarySize = 0;
    qint64 indexSize = 0;
    QVector<Range> ranges;
};

// A complete journal parsed; false when it is incomplete or damaged in any way.
bool parse(QFileDevice &j, Parsed &out)
{
    const qint64 size = j.size();
    if (size < kHeaderSize + kTrailerSize)
        return false;
    char trailer[kTrailerSize];
    if (!fileio::readAt(j, size - kTrailerSize, trailer, kTrailerSize) ||
        memcmp(trailer + 8, kEndMagic, 8) != 0)
        return false;
    const quint32 count = qFromLittleEndian<quint32>(trailer);
    const quint32 storedCrc = qFromLittleEndian<quint32>(trailer + 4);

    const qint64 body = size - kTrailerSize;
    quint32 crc = quint32(::crc32(0, nullptr, 0));
    QByteArray buf(qMin(chunkSize(), body), Qt::Uninitialized);
    for (qint64 at = 0; at < body;) {
        const qint64 n = qMin<qint64>(buf.size(), body - at);
        if (!fileio::readAt(j, at, buf.data(), n))
            return false;
        crc = crcOf(crc, buf.constData(), n);
        at += n;
    }
    if (crc != storedCrc)
        return false;

    char header[kHeaderSize];
    if (!fileio::readAt(j, 0, header, kHeaderSize) || memcmp(header, kMagic, 8) != 0)
        return false;
    out.librarySize = qFromLittleEndian<qint64>(header + 8);
    out.indexSize = qFromLittleEndian<qint64>(header + 16);
    if (out.librarySize < 0 || out.indexSize < -1)
        return false;
    qint64 at = kHeaderSize;
    for (quint32 i = 0; i < count; ++i) {
        char h[kRangeHeaderSize];
        if (at + kRangeHeaderSize > body || !fileio::readAt(j, at, h, kRangeHeaderSize))
            return false;
        Range r{qFromLittleEndian<quint32>(h), qFromLittleEndian<qint64>(h + 8),
                qFromLittleEndian<qint64>(h + 16), at + kRangeHeaderSize};
        const qint64 limit = r.target == EditJournal::Library ? out.librarySize : out.indexSize;
        if (r.target > EditJournal::Index || limit < 0 || r.pos < 0 || r.length < 0 ||
            r.pos > limit || r.length > limit - r.pos || r.length > body - r.dataAt)
            return false;
        out.ranges.append(r);
        at = r.dataAt + r.length;
    }
    return at == body;
}

// Writes every saved range back and gives both files their old sizes.
bool playBack(QFileDevice &j, const Parsed &p, QFileDevice &library, QFileDevice *index,
              QString *error)
{
    if (p.indexSize >= 0 && !index) {
        if (error)
            *error = QStringLiteral("The index file cannot be opened.");
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
                    *error = QStringLiteral("%1 cannot be read.").arg(j.fileName());
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
    if (!m_lock.acquire(EditLock::kEditWaitMs, error))
        return false;
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
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
                *error = QStringLiteral("%1 cannot be read.").arg(source.fileName());
            return false;
        }
        if (!append(buf.constData(), n, error))
            return false;
        done += n;
    }
    ++m_ranges;
    return true;
}

bool EditJournal::arm(QString *error)
{
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
    if (!fileio::remove(m_file.fileName(), error))
        return false;
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
    fileio::remove(m_file.fileName(), &ignored);
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
    if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    if (!parse(m_file, p)) {
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
    QFile j(pathFor(libraryPath));
    if (!j.exists())
        return Recovery::None;
    Parsed p;
    const bool complete = j.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && parse(j, p);
    if (!complete) {
        j.close();
        QString why;
        if (!fileio::remove(j.fileName(), &why)) {
            if (error)
                *error = why;
            return Recovery::Failed;
        }
        return Recovery::Discarded;
    }
    QFile library(libraryPath);
    QFile index(indexPath);
    if (!library.open(QIODevice::ReadWrite | QIODevice::Unbuffered) ||
        (p.indexSize >= 0 && !index.open(QIODevice::ReadWrite | QIODevice::Unbuffered))) {
        if (error)
            *error = QStringLiteral("%1 holds an interrupted edit that cannot be undone: %2")
                         .arg(libraryPath,
                              library.isOpen() ? index.errorString() : library.errorString());
        return Recovery::Failed;
    }
    QString why;
    if (!playBack(j, p, library, p.indexSize >= 0 ? &index : nullptr, &why)) {
        if (error)
            *error = QStringLiteral("%1 holds an interrupted edit that could not be undone: %2")
                         .arg(libraryPath, why);
        return Recovery::Failed;
    }
    j.close();
    if (!fileio::remove(j.fileName(), &why) || !fileio::flushFolder(folderOf(libraryPath), &why)) {
        // Played back but still there: the next Open plays it back again, to the same bytes.
        if (error)
            *error = why;
        return Recovery::Failed;
    }
    return Recovery::RolledBack;
}
