#include "pairswap.h"

#include "editjournal.h"
#include "editlock.h"
#include "fileio.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <limits>
#include <zlib.h>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

namespace {

const QByteArray kMagic = QByteArrayLiteral("WILSWAP1");
const QString kWorkPrefix = QStringLiteral(".wil-work-");
// A marker names five files; anything longer is not one of ours.
constexpr qint64 kMaxMarkerSize = 8 * 1024;
constexpr int kMaxNameBytes = 1024;
// A file's mark covers this much of its front and of its end.
constexpr qint64 kMarkStretch = 64 * 1024;

// Which file one of the pair was when the marker was written: its size and the CRC-32 of its
// first and last 64 KiB. Enough to tell it from a backup or another library copied in its place.
struct FileMark
{
    qint64 size = -1; // -1: no file; -2: something that is not a regular file
    quint32 crc = 0;
    bool operator==(const FileMark &o) const { return size == o.size && crc == o.crc; }
};

// The mark of the file at `path`; false when it is there but cannot be read.
bool markOf(const QString &path, FileMark &mark)
{
    mark = {};
    switch (fileio::entryAt(path)) {
    case fileio::Entry::Missing:
        return true;
    case fileio::Entry::File:
        break;
    default:
        mark.size = -2;
        return true;
    }
    QFile f(path);
    if (!fileio::openExisting(f, nullptr))
        return false;
    const qint64 size = f.size();
    const qint64 head = qMin(size, kMarkStretch);
    const qint64 tailAt = qMax(head, size - kMarkStretch);
    QByteArray bytes(head + (size - tailAt), Qt::Uninitialized);
    if (!fileio::readAt(f, 0, bytes.data(), head) ||
        !fileio::readAt(f, tailAt, bytes.data() + head, size - tailAt))
        return false;
    mark.size = size;
    mark.crc =
        quint32(::crc32(::crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.constData()),
                        uInt(bytes.size())));
    return true;
}

FileMark markOf(const QString &path)
{
    FileMark mark;
    if (!markOf(path, mark))
        mark.size = -2;
    return mark;
}

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
    // The pair before the swap and the pair it puts in place.
    FileMark oldLibrary, oldIndex, newLibraryMark, newIndexMark;

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
    for (const FileMark *mark : {&m.oldLibrary, &m.oldIndex, &m.newLibraryMark, &m.newIndexMark}) {
        char bytes[12];
        qToLittleEndian<qint64>(mark->size, bytes);
        qToLittleEndian<quint32>(mark->crc, bytes + 8);
        out.append(bytes, 12);
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
    for (FileMark *mark : {&m.oldLibrary, &m.oldIndex, &m.newLibraryMark, &m.newIndexMark}) {
        if (body - at < 12)
            return false;
        mark->size = qFromLittleEndian<qint64>(bytes.constData() + at);
        mark->crc = qFromLittleEndian<quint32>(bytes.constData() + at + 8);
        at += 12;
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
    return fileio::entryAt(path) != fileio::Entry::Missing;
}

// Whether the files the marker names are those of its swap. Until the new index is in, the old
// index is in place, the old library is in place or kept aside (or back in place: a backup of
// it restored), and the new library waits in the scratch folder or is in place; after that,
// the new pair is in place. Anything else was put there since, and the undo would destroy it.
bool belongsToSwap(const Marker &m, const QDir &folder, const QDir &work, const QString &library)
{
    const QString kept = work.filePath(keptLibraryName(library));
    const QString newLibrary = work.filePath(m.newLibrary);
    const QString newIndex = work.filePath(m.newIndex);
    const FileMark inPlace = markOf(library);
    const FileMark index = markOf(folder.filePath(m.index));
    if (!exists(newIndex))
        return inPlace == m.newLibraryMark && index == m.newIndexMark;
    if (fileio::entryAt(work.path()) != fileio::Entry::Directory || !(index == m.oldIndex) ||
        !(markOf(newIndex) == m.newIndexMark))
        return false;
    if (exists(newLibrary) && !(markOf(newLibrary) == m.newLibraryMark))
        return false;
    const FileMark none;
    if (exists(kept))
        return markOf(kept) == m.oldLibrary &&
               (inPlace == none || inPlace == m.oldLibrary || inPlace == m.newLibraryMark);
    // Nothing kept aside: the old library never left, or there was none.
    return m.hadLibrary ? inPlace == m.oldLibrary : inPlace == none || inPlace == m.newLibraryMark;
}

// The scratch folder's name carries its maker's process and host, so that a later program can
// tell that the maker is gone (a kill leaves the folder, up to a whole copy of the library).
QString hostTag()
{
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const quint32 crc = quint32(::crc32(
        ::crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(host.data()), uInt(host.size())));
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}

// Whether the process `pid` of this host has ended. Any doubt counts as alive.
bool processIsGone(qint64 pid)
{
    if (pid <= 0 || pid == QCoreApplication::applicationPid())
        return false;
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool gone = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return gone;
#else
    if (pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
#endif
}

// The scratch folders named by the markers in `folder`, in use or moved aside as stale: one may
// hold the only copy of an old library.
QSet<QString> foldersNamedByMarkers(const QDir &folder)
{
    QSet<QString> named;
    const QStringList markers =
        folder.entryList({QStringLiteral("*-swap"), QStringLiteral("*-swap.stale-*")},
                         QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QString &name : markers) {
        QFile file(folder.filePath(name));
        if (!fileio::openExisting(file, nullptr) || file.size() > kMaxMarkerSize)
            continue;
        Marker m;
        if (decode(file.readAll(), m))
            named.insert(m.work);
    }
    return named;
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
    if (fileio::entryAt(markerPath) == fileio::Entry::Missing)
        return Recovery::None;
    QFile file(markerPath);
    QString why;
    if (!fileio::openExisting(file, &why)) {
        if (error)
            *error = QCoreApplication::translate(
                         "pairswap", "%1, not a replacement marker; the library cannot be changed "
                                     "while it is there.")
                         .arg(why);
        return Recovery::Failed;
    }
    // A file of that name that is not a marker of ours is left alone.
    if (file.size() > kMaxMarkerSize)
        return Recovery::None;
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.size() >= kMagic.size() && !bytes.startsWith(kMagic))
        return Recovery::None;
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
    if (!belongsToSwap(m, folder, work, libraryPath)) {
        // Whatever stands there now is not what the swap left: moving the old library back
        // would destroy it. The scratch folder stays too, as it may hold the only copy of the
        // old library.
        const QString aside = fileio::staleNameFor(markerPath);
        if (!fileio::rename(markerPath, aside, &why) ||
            !fileio::flushFolder(folder.absolutePath(), &why)) {
            if (error)
                *error = QCoreApplication::translate(
                             "pairswap", "%1 does not belong to the library and index now in "
                                         "place, and it cannot be moved aside: %2")
                             .arg(QDir::toNativeSeparators(markerPath), why);
            return Recovery::Failed;
        }
        if (error)
            *error =
                QCoreApplication::translate(
                    "pairswap", "%1 was left by a replacement of %2 that was cut short, but "
                                "the files now in place are not those it was made for (a "
                                "backup or another library copied over them). Nothing was "
                                "moved back: the marker was moved aside to %3, and the "
                                "scratch folder %4 it names is kept, as it may hold the "
                                "only copy of the old library. The library was not changed.")
                    .arg(QDir::toNativeSeparators(markerPath),
                         QDir::toNativeSeparators(libraryPath), QDir::toNativeSeparators(aside),
                         QDir::toNativeSeparators(work.path()));
        return Recovery::Stale;
    }
    bool undone = false;
    auto failed = [&](const QString &reason) {
        if (error)
            *error = QCoreApplication::translate(
                         "pairswap", "%1: an interrupted replacement of the library could not be "
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
    if (fileio::entryAt(work.path()) == fileio::Entry::Directory)
        QDir(work).removeRecursively();
    if (!fileio::remove(markerPath, &why)) {
        if (error)
            *error = why;
        return Recovery::Failed;
    }
    return undone ? Recovery::RolledBack : Recovery::Cleaned;
}

int removeDeadScratchFolders(const QString &libraryPath)
{
    const QDir folder = QFileInfo(libraryPath).absoluteDir();
    const QStringList candidates =
        folder.entryList({kWorkPrefix + QStringLiteral("*")},
                         QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    if (candidates.isEmpty())
        return 0;
    static const QRegularExpression owned(
        QStringLiteral("^\\.wil-work-(\\d{1,19})-([0-9a-f]{8})-"));
    const QString host = hostTag();
    QSet<QString> named;
    bool namedRead = false;
    int removed = 0;
    for (const QString &name : candidates) {
        const QRegularExpressionMatch match = owned.match(name);
        if (!match.hasMatch() || match.captured(2) != host ||
            !processIsGone(match.captured(1).toLongLong()))
            continue;
        if (!namedRead) {
            named = foldersNamedByMarkers(folder);
            namedRead = true;
        }
        const QString path = folder.filePath(name);
        if (named.contains(name) || fileio::entryAt(path) != fileio::Entry::Directory)
            continue;
        if (QDir(path).removeRecursively())
            ++removed;
    }
    return removed;
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
            *error = QCoreApplication::translate(
                         "pairswap", "%1: the new files must be made in a scratch folder beside it")
                         .arg(QDir::toNativeSeparators(library));
        return false;
    }

    EditLock lock(library);
    if (!lock.acquire(EditLock::kEditWaitMs, error))
        return false;
    // A marker left by an earlier swap is settled first; this swap's marker takes its name.
    if (pairswap::recover(library, error) == pairswap::Recovery::Failed)
        return false;

    // Dead edits' scratch folders go while no edit of this library can start.
    pairswap::removeDeadScratchFolders(library);

    m.hadLibrary = libraryInfo.exists();
    // The new files take the old ones' access rights (a shared library stays shared).
    if (m.hadLibrary)
        QFile::setPermissions(newLibrary, QFile::permissions(library));
    if (QFileInfo::exists(index))
        QFile::setPermissions(newIndex, QFile::permissions(index));

    // What the marker belongs to: the pair as it is and the pair that replaces it.
    for (const auto &[path, mark] :
         {std::pair{library, &m.oldLibrary}, std::pair{index, &m.oldIndex},
          std::pair{newLibrary, &m.newLibraryMark}, std::pair{newIndex, &m.newIndexMark}}) {
        if (!markOf(path, *mark)) {
            if (error)
                *error = QCoreApplication::translate("pairswap", "%1 cannot be read.")
                             .arg(QDir::toNativeSeparators(path));
            return false;
        }
    }

    // The new files and the marker are on the disk before anything is moved. The marker is a
    // new file: nothing standing under its name (a link above all) is written through.
    const QString marker = pairswap::markerPathFor(library);
    QString ignored;
    if (!fileio::flushFolder(workFolder, error))
        return false;
    QFile markerFile(marker);
    if (!fileio::createNew(markerFile, error)) {
        if (fileio::entryAt(marker) == fileio::Entry::File && error)
            error->append(QCoreApplication::translate(
                "pairswap", "; it is not a replacement marker of this program, "
                            "remove it to change the library"));
        return false;
    }
    if (!fileio::writeAt(markerFile, 0, encode(m), error) || !fileio::flush(markerFile, error) ||
        !fileio::flushFolder(folder, error)) {
        markerFile.close();
        fileio::remove(marker, &ignored);
        return false;
    }
    markerFile.close();

    QString why;
    // Puts the old pair back the way Open would after a crash.
    const auto undo = [&]() {
        QString undoError;
        if (pairswap::recover(library, &undoError) == pairswap::Recovery::Failed) {
            work.setAutoRemove(false);
            why += QCoreApplication::translate("pairswap",
                                               "; %1. Opening the library again puts it back.")
                       .arg(undoError);
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
           QStringLiteral("%1-%2-XXXXXX").arg(QCoreApplication::applicationPid()).arg(hostTag());
}
