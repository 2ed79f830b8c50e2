#include "pairstamp.h"

#include <QFile>
#include <QFileInfo>

#include <zlib.h>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// Header and palette (with the room a second-placement library keeps behind them).
constexpr qint64 kFrontPart = 1084;
// Of a (forged) index larger than this only the beginning is summed: its times and size must
// do for the rest.
constexpr qint64 kIndexChecksumLimit = qint64(64) << 20;

quint32 checksumOf(const QString &path, qint64 length)
{
    QFile f(path);
    if (length <= 0 || !f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    QByteArray buffer(qMin<qint64>(length, qint64(1) << 20), Qt::Uninitialized);
    for (qint64 done = 0; done < length;) {
        const qint64 n = f.read(buffer.data(), qMin<qint64>(buffer.size(), length - done));
        if (n <= 0)
            break;
        crc = crc32(crc, reinterpret_cast<const Bytef *>(buffer.constData()), uInt(n));
        done += n;
    }
    return quint32(crc);
}
} // namespace

PairStamp::FileState PairStamp::stateOf(const QString &path, qint64 checksumBytes)
{
    FileState s;
#ifdef Q_OS_UNIX
    struct stat st;
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0)
        return s;
    s.exists = true;
    s.size = st.st_size;
    s.file = quint64(st.st_ino);
    s.device = quint64(st.st_dev);
#if defined(Q_OS_DARWIN)
    s.modified = qint64(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
    s.changed = qint64(st.st_ctimespec.tv_sec) * 1000000000 + st.st_ctimespec.tv_nsec;
#else
    s.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
#endif
    // Only a regular file is read: a FIFO or device would hang or never end.
    if (!S_ISREG(st.st_mode))
        return s;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return s;
    s.exists = true;
    s.size = info.size();
    s.modified = info.lastModified().toMSecsSinceEpoch();
    s.changed = info.metadataChangeTime().toMSecsSinceEpoch();
    s.file = quint64(info.birthTime().toMSecsSinceEpoch());
    if (!info.isFile())
        return s;
#endif
    s.checksum = checksumOf(path, qMin(s.size, checksumBytes));
    return s;
}

PairStamp PairStamp::take(const QString &libraryPath, const QString &indexPath)
{
    PairStamp stamp;
    stamp.m_taken = true;
    stamp.m_library = stateOf(libraryPath, kFrontPart);
    stamp.m_index = stateOf(indexPath, kIndexChecksumLimit);
    return stamp;
}
