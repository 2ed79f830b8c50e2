#include "pairswap.h"

#include "editjournal.h"
#include "editlock.h"
#include "fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <zlib.h>

namespace {

const QByteArray kMagic = QByteArrayLiteral("WILSWAP1");
const QString kWorkPrefix = QStringLiteral(".wil-work-");
// A marker names five files; anything longer is not one of ours.
constexpr qint64 kMaxMarkerSize = 8 * 1024;
constexpr int kMaxNameBytes = 1024;

// What a marker says: where the swap of one library keeps its files. Every name is a bare file
// name: the scratch folder and the index lie in the library's folder, the rest in the scratch
// folder.
struct Marker
{
    bool hadLibrary = false;
    QString work; // the scratch folder
    QString newLibrary;
    QString newIndex;
    QString index;

    bool isValid() const
    {
        auto plain = [](const QString &name) {
            return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
                   !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
        };
        return plain(work) && work.startsWith(kWorkPrefix) && plain(newLibrary) &&
               plain(newIndex) && plain(index);
    }
};

quint32 crcOf(const QByteArray &bytes)
{
    return quint32(::crc32(::crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.data()),
                           uInt(bytes.size())));
}

QByteArray encode(const Marker &m)
{
    QByteArray out = kMagic;
    out.append(char(m.hadLibrary ? 1 : 0));
    for (const QString *name : {&m.work, &m.newLibrary, &m.newIndex, &m.index}) {
        const QByteArray utf8 = name->toUtf8();
        char length[2];
        qToLittleEndian<quint16>(quint16(utf8.size()), length);
        out.append(length, 2).append(utf8);
    }
    char crc[4];
    qToLittleEndian<quint32>(crcOf(out), crc);
    return out.append(crc, 4);
}

// False for a marker cut short while it was written (or not one of ours).
bool decode(const QByteArray &bytes, Marker &m)
{
    if (bytes.size() < kMagic.size() + 1 + 4 || !bytes.startsWith(kMagic))
        return false;
    const qsizetype body = bytes.size() - 4;
    if (qFromLittleEndian<quint32>(bytes.constData() + body) != crcOf(bytes.left(body)))
        return false;
    qsizetype at = kMagic.size();
    m.hadLibrary = bytes[at++] != 0;
    for (QString *name : {&m.work, &m.newLibrary, &m.newIndex, &m.index}) {
        if (body - at < 2)
            return false;
        const int length = qFromLittleEndian<quint16>(bytes.constData() + at);
        at += 2;
        if (length > kMaxNameBytes || body - at < length)
            return false;
        *name = QString::fromUtf8(bytes.constData() + at, length);
        at += length;
    }
    return at == body && m.isValid();
}

QString keptLibraryName(const QString &library)
{
    return QStringLiteral("previous-") + QFileInfo(library).fileName();
}

QString keptJournalName()
{
    return QStringLiteral("previous-journal");
}

bool exists(const QString &path)
{
    return QFileInfo::exists(path);
}

} // namespace

namespace pairswap {

QString markerPathFor(const QString &libraryPath)
{
    return libraryPath + QStringLiteral("-swap");
}

Recovery recover(const QString &libraryPath, QString *error)
{
    const QString markerPath = markerPathFor(libraryPath);
    QFile file(markerPath);
    if (!file.exists())
        return Recovery::None;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(markerPath),
                                                  file.errorString());
        return Recovery::Failed;
    }
    // A file of that name that is not a marker of ours is left alone.
    if (file.size() > kMaxMarkerSize)
        return Recovery::None;
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.size() >= kMagic.size() && !bytes.startsWith(kMagic))
        return Recovery::None;
    QString why;
    Marker m;
    if (!decode(bytes, m)) {
        // Cut short while it was written: nothing had been moved yet.
        if (!fileio::remove(markerPath, &why)) {
            if (error)
                *error = why;
            return Recovery::Failed;
        }
        return Recovery::Cleaned;
    }

    const QDir folder = QFileInfo(libraryPath).absoluteDir();
    const QDir work(folder.filePath(m.work));
    const QString newIndex = work.filePath(m.newIndex);
    const QString kept = work.filePath(keptLibraryName(libraryPath));
    const QString keptJournal = work.filePath(keptJournalName());
    bool undone = false;
    auto failed = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("%1: an interrupted replacement of the library could not be "
                                    "undone (%2); the old library is kept in %3")
                         .arg(QDir::toNativeSeparators(libraryPath), reason,
                              QDir::toNativeSeparators(work.path()));
        return Recovery::Failed;
    };
    // The new index is moved in last: while it is still in the scratch folder, the old index is
    // in place and the old library is either in place or kept aside.
    if (exists(newIndex)) {
        if (exists(keptJournal)) {
            if (!fileio::rename(keptJournal, EditJournal::pathFor(libraryPath), &why))
                return failed(why);
            undone = true;
        }
        if (exists(kept)) {
            if (!fileio::rename(kept, libraryPath, &why))
                return failed(why);
            undone = true;
        } else if (!m.hadLibrary && !exists(work.filePath(m.newLibrary)) && exists(libraryPath)) {
            // There was no library before, and the new one had already been moved in.
            if (!fileio::remove(libraryPath, &why))
                return failed(why);
            undone = true;
        }
        if (!fileio::flushFolder(folder.absolutePath(), &why) || !fileio::remove(newIndex, &why))
            return failed(why);
    }
    QDir(work).removeRecursively();
    if (!fileio::remove(markerPath, &why)) {
        if (error)
            *error = why;
        return Recovery::Failed;
    }
    return undone ? Recovery::RolledBack : Recovery::Cleaned;
}

} // namespace pairswap

bool replaceLibraryPair(const QString &newLibrary, const QString &library, const QString &newIndex,
                        const QString &index, QTemporaryDir &work, QString *error)
{
    const QFileInfo libraryInfo(library);
    const QString folder = libraryInfo.absolutePath();
    const QString workFolder = QFileInfo(work.path()).absoluteFilePath();
    Marker m;
    m.work = QFileInfo(workFolder).fileName();
    m.newLibrary = QFileInfo(newLibrary).fileName();
    m.newIndex = QFileInfo(newIndex).fileName();
    m.index = QFileInfo(index).fileName();
    if (!m.isValid() || QFileInfo(workFolder).absolutePath() != folder ||
        QFileInfo(index).absolutePath() != folder ||
        QFileInfo(newLibrary).absolutePath() != workFolder ||
        QFileInfo(newIndex).absolutePath() != workFolder) {
        if (error)
            *error = QStringLiteral("%1: the new files must be made in a scratch folder beside it")
                         .arg(QDir::toNativeSeparators(library));
        return false;
    }

    EditLock lock(library);
    if (!lock.acquire(EditLock::kEditWaitMs, error))
        return false;
    // A marker left by an earlier swap is settled first; this swap's marker takes its name.
    if (pairswap::recover(library, error) == pairswap::Recovery::Failed)
        return false;

    m.hadLibrary = libraryInfo.exists();
    // The new files take the old ones' access rights (a shared library stays shared).
    if (m.hadLibrary)
        QFile::setPermissions(newLibrary, QFile::permissions(library));
    if (QFileInfo::exists(index))
        QFile::setPermissions(newIndex, QFile::permissions(index));

    // The new files and the marker are on the disk before anything is moved.
    const QString marker = pairswap::markerPathFor(library);
    QString ignored;
    if (!fileio::flushFolder(workFolder, error))
        return false;
    if (!fileio::writeFile(marker, encode(m), error) || !fileio::flushFolder(folder, error)) {
        fileio::remove(marker, &ignored);
        return false;
    }

    QString why;
    // Puts the old pair back the way Open would after a crash.
    const auto undo = [&]() {
        QString undoError;
        if (pairswap::recover(library, &undoError) == pairswap::Recovery::Failed) {
            work.setAutoRemove(false);
            why += QStringLiteral("; %1. Opening the library again puts it back.").arg(undoError);
        }
        if (error)
            *error = why;
        return false;
    };
    // A journal left by an interrupted edit of the old pair would be played back over the new
    // one at its next opening: it goes aside with the old library.
    const QString journal = EditJournal::pathFor(library);
    if (QFileInfo::exists(journal) &&
        !fileio::rename(journal, QDir(workFolder).filePath(keptJournalName()), &why))
        return undo();
    if (m.hadLibrary &&
        !fileio::rename(library, QDir(workFolder).filePath(keptLibraryName(library)), &why))
        return undo();
    if (!fileio::rename(newLibrary, library, &why) || !fileio::rename(newIndex, index, &why))
        return undo();
    // The new pair is in place. A marker that cannot be removed now is removed by the next
    // Open, which finds nothing left to undo.
    if (fileio::flushFolder(folder, &ignored))
        fileio::remove(marker, &ignored);
    return true;
}

QString scratchTemplateFor(const QString &path)
{
    return QFileInfo(path).absolutePath() + QStringLiteral("/") + kWorkPrefix +
           QStringLiteral("XXXXXX");
}
