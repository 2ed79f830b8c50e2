#include "folderinput.h"
#include "inputcursor.h"

#include "editjournal.h"
#include "pairswap.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtEndian>
#include <zlib.h>

namespace fuzzinput {

namespace {

// A folder a crash leaves holds a handful of files.
constexpr int kMaxEntries = 16;

bool plainComponent(const QString &part)
{
    return !part.isEmpty() && part != QLatin1String(".") && part != QLatin1String("..") &&
           !part.contains(u'\\') && !part.contains(QChar(0));
}

// The name's parts when it stays inside the folder (one folder deep at most), else empty.
QStringList safeParts(const QString &name)
{
    QString n = name;
    if (n.endsWith(u'/'))
        n.chop(1);
    const QStringList parts = n.split(u'/');
    if (parts.size() > 2)
        return {};
    for (const QString &p : parts)
        if (!plainComponent(p))
            return {};
    return parts;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

QString libraryName()
{
    return QStringLiteral("f.wil");
}

FolderInput unpackFolder(const char *data, size_t size)
{
    FolderInput in;
    InputCursor input(data, data + size);
    while (input.left() > 0 && in.files.size() < kMaxEntries) {
        const QString name = QString::fromUtf8(input.take(input.takeByte()));
        const QByteArray length = input.take(2);
        const quint16 n = length.size() == 2 ? qFromLittleEndian<quint16>(length.constData()) : 0;
        in.files.append({name, input.take(n)});
    }
    return in;
}

QByteArray packFolder(const FolderInput &input)
{
    QByteArray out;
    for (const auto &[name, content] : input.files) {
        const QByteArray utf8 = name.toUtf8().left(255);
        const QByteArray bytes = content.left(0xFFFF);
        out.append(char(utf8.size())).append(utf8);
        char length[2];
        qToLittleEndian<quint16>(quint16(bytes.size()), length);
        out.append(length, 2).append(bytes);
    }
    return out;
}

FolderInput readFolder(const QString &dir)
{
    FolderInput in;
    const QDir root(dir);
    QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList names;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = root.relativeFilePath(path);
        if (name.endsWith(QLatin1String("-lock")) || name.count(u'/') > 1)
            continue;
        if (it.fileInfo().isDir()) {
            if (QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                names.append(name + u'/');
        } else {
            names.append(name);
        }
    }
    names.sort();
    for (const QString &name : names)
        in.files.append({name, name.endsWith(u'/') ? QByteArray() : readAll(root.filePath(name))});
    return in;
}

ChecksumPlace checksumPlace(Checksum kind, qsizetype size)
{
    // The journal's trailer: range count, CRC-32, end mark (16 bytes). The marker's: CRC-32.
    const qsizetype trailer = kind == Checksum::Journal ? 16 : 4;
    const qsizetype inTrailer = kind == Checksum::Journal ? 4 : 0;
    if (kind == Checksum::None || size < trailer)
        return {};
    return {size - trailer + inTrailer, size - trailer};
}

void writeFolder(const FolderInput &input, const QString &dir, Checksum fix)
{
    const QDir root(dir);
    const QString lib = root.filePath(libraryName());
    const QString sealed = fix == Checksum::Journal ? EditJournal::pathFor(lib)
                           : fix == Checksum::Marker ? pairswap::markerPathFor(lib)
                                                     : QString();
    for (const auto &[name, content] : input.files) {
        const QStringList parts = safeParts(name);
        if (parts.isEmpty())
            continue;
        if (parts.size() == 2 || name.endsWith(u'/'))
            root.mkdir(parts.first()); // fails harmlessly where a file of that name is
        if (name.endsWith(u'/'))
            continue;
        const QString path = root.filePath(parts.join(u'/'));
        QByteArray bytes = content;
        if (path == sealed) {
            const ChecksumPlace place = checksumPlace(fix, bytes.size());
            if (place.at >= 0) {
                const quint32 crc = quint32(
                    ::crc32(::crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.data()),
                            uInt(place.bodyEnd)));
                qToLittleEndian<quint32>(crc, bytes.data() + place.at);
            }
        }
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }
}

} // namespace fuzzinput
