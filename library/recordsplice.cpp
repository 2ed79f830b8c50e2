#include "recordsplice.h"

#include "editjournal.h"
#include "fileio.h"
#include "libraryedit.h"
#include "mywil.h"
#include "mywil_p.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <limits>

namespace {

qint64 &chunkSize()
{
    static qint64 size = 1 << 20;
    return size;
}

QByteArray int32Bytes(qint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<qint32>(v, b.data());
    return b;
}

class Splice
{
  public:
    Splice(TWIL &wil, int first, int removeCount, const QList<QByteArray> &records,
           const ProgressFn &progress)
        : m_wil(wil), m_first(first), m_removeCount(removeCount), m_records(records),
          m_progress(progress)
    {
    }

    bool run(QString *error)
    {
        if (!plan(error))
            return false;
        QFile &lib = *m_wil.LibraryStream;
        EditJournal journal(m_wil.FileName, m_wil.IndexFileName);
        QString why;
        if (!writeJournal(journal, &why)) {
            QString ignored;
            journal.rollBack(lib, &m_index, &ignored);
            fileio::explainFullDisk(folder(), m_needed, &why);
            return fail(error, why);
        }
        if (apply(&why) && journal.finish(&why)) {
            m_index.close();
            updateComponent();
            return true;
        }
        QString rollbackError;
        const bool restored = journal.rollBack(lib, &m_index, &rollbackError);
        fileio::explainFullDisk(folder(), m_needed, &why);
        if (error)
            *error = restored
                         ? why
                         : QCoreApplication::translate(
                               "recordsplice", "%1 (the files could not all be put back as they "
                                               "were: the next Open undoes the edit)")
                               .arg(why);
        return false;
    }

  private:
    bool fail(QString *error, const QString &message)
    {
        if (error)
            *error = message;
        return false;
    }

    // Checks everything and works out the new layout before a byte is written.
    bool plan(QString *error)
    {
        if (!m_wil.canEdit(error))
            return false;
        const int count = m_wil.ImageCount();
        if (m_first < 0 || m_removeCount < 0 || m_first > count || m_removeCount > count - m_first)
            return fail(error,
                        QCoreApplication::translate(
                            "recordsplice", "Images %1 to %2 are not in the library (it holds %3).")
                            .arg(m_first)
                            .arg(m_first + m_removeCount - 1)
                            .arg(count));
        for (const QByteArray &r : m_records)
            if (r.isEmpty())
                return fail(error,
                            QCoreApplication::translate(
                                "recordsplice", "A record without bytes cannot be written."));
        QFile &lib = *m_wil.LibraryStream;
        m_oldSize = lib.size();
        const qint64 front = 1080 + m_wil.OffSet;
        const QVector<qint32> old = m_wil.Offsets.mid(0, count);

        if (m_removeCount == 0) {
            m_start = m_end = m_first < count ? qint64(old[m_first]) : m_oldSize;
        } else {
            m_start = std::numeric_limits<qint64>::max();
            m_end = 0;
            for (int i = m_first; i < m_first + m_removeCount; ++i) {
                m_start = qMin<qint64>(m_start, old[i]);
                m_end = qMax(m_end, m_wil.recordExtentEnd(i));
            }
            for (int i = 0; i < count; ++i) {
                if (i >= m_first && i < m_first + m_removeCount)
                    continue;
                if (old[i] >= m_start && old[i] < m_end)
                    return fail(error, QCoreApplication::translate(
                                           "recordsplice", "Image %1 shares bytes with the images "
                                                           "being replaced.")
                                           .arg(i));
            }
        }
        if (m_start < front || m_end > m_oldSize || m_end < m_start)
            return fail(error,
                        QCoreApplication::translate(
                            "recordsplice", "The record of image %1 lies outside the library "
                                            "file.")
                            .arg(m_first));

        qint64 newLength = 0;
        for (const QByteArray &r : m_records)
            newLength += r.size();
        m_delta = newLength - (m_end - m_start);
        if (m_oldSize + m_delta > std::numeric_limits<qint32>::max())
            return fail(error, QCoreApplication::translate(
                                   "recordsplice", "The library would grow beyond 2 GB, which its "
                                                   "index cannot address."));

        m_table.reserve(count - m_removeCount + m_records.size());
        auto kept = [&](qint32 e) { return qint64(e) >= m_end ? qint32(e + m_delta) : e; };
        for (int i = 0; i < m_first; ++i)
            m_table.append(kept(old[i]));
        qint64 at = m_start;
        for (const QByteArray &r : m_records) {
            m_table.append(qint32(at));
            at += r.size();
        }
        for (int i = m_first + m_removeCount; i < count; ++i)
            m_table.append(kept(old[i]));

        m_tableStart = m_wil.indexTableStart();
        m_firstChanged = 0;
        while (m_firstChanged < m_table.size() && m_firstChanged < old.size() &&
               m_table[m_firstChanged] == old[m_firstChanged])
            ++m_firstChanged;
        if (!QFileInfo(m_wil.IndexFileName).isFile())
            return fail(error,
                        QCoreApplication::translate("recordsplice", "The index file %1 is missing.")
                            .arg(m_wil.IndexFileName));
        m_index.setFileName(m_wil.IndexFileName);
        if (!m_index.open(QIODevice::ReadWrite))
            return fail(error,
                        QStringLiteral("%1: %2").arg(m_wil.IndexFileName, m_index.errorString()));
        return checkFreeSpace(error);
    }

    // The journal copies everything behind the change, and both files may grow: a disk without
    // that much room is refused before anything is written.
    bool checkFreeSpace(QString *error)
    {
        const qint64 indexSize = m_index.size();
        const qint64 tableFrom = m_tableStart + 4 * qint64(m_firstChanged);
        const qint64 libraryEnd = m_delta == 0 ? m_end : m_oldSize;
        const qint64 newIndexSize = m_tableStart + 4 * qint64(m_table.size());
        constexpr qint64 kJournalFrame = 4096; // headers, trailer, and a block per file
        m_needed = kJournalFrame + 8 + (libraryEnd - m_start) + qMax<qint64>(0, indexSize - tableFrom) +
                   qMax<qint64>(0, m_delta) + qMax<qint64>(0, newIndexSize - indexSize);
        if (fileio::checkFreeSpace(folder(), m_needed, error))
            return true;
        m_index.close();
        return false;
    }

    QString folder() const { return QFileInfo(m_wil.FileName).absolutePath(); }

    // Copies everything the edit will overwrite, and the old sizes, into the journal and
    // flushes it before a byte of either file changes.
    bool writeJournal(EditJournal &journal, QString *error)
    {
        QFile &lib = *m_wil.LibraryStream;
        m_indexSize = m_index.size();
        m_tableFrom = m_tableStart + 4 * qint64(m_firstChanged);
        if (m_indexSize < 48) {
            m_index.close();
            return fail(error, QCoreApplication::translate(
                                   "recordsplice", "The index file %1 is shorter than its header.")
                                   .arg(m_wil.IndexFileName));
        }
        if (!fileio::readAt(lib, 44, m_libraryCount, 4) ||
            !fileio::readAt(m_index, 44, m_indexCount, 4))
            return fail(error, QCoreApplication::translate("recordsplice", "%1 cannot be read.")
                                   .arg(m_wil.FileName));
        // A replacement of the same size overwrites only its own bytes; any other moves the
        // whole tail.
        const qint64 libraryEnd = m_delta == 0 ? m_end : m_oldSize;
        journal.setNewSizes(m_oldSize + m_delta, m_tableStart + 4 * qint64(m_table.size()));
        return journal.begin(m_oldSize, m_indexSize, error) &&
               journal.save(EditJournal::Library, lib, 44, 4, error) &&
               journal.save(EditJournal::Library, lib, m_start, libraryEnd - m_start, error) &&
               journal.save(EditJournal::Index, m_index, 44, 4, error) &&
               journal.save(EditJournal::Index, m_index, m_tableFrom,
                            qMax<qint64>(0, m_indexSize - m_tableFrom), error) &&
               journal.arm(error);
    }

    bool apply(QString *error)
    {
        QFile &lib = *m_wil.LibraryStream;

        // Growing: make room first, moving the tail from its end. Shrinking: write the records,
        // then pull the tail forward from its start.
        if (m_delta > 0 && !moveTail(error))
            return false;
        qint64 at = m_start;
        for (const QByteArray &r : m_records) {
            if (!fileio::writeAt(lib, at, r, error))
                return false;
            at += r.size();
        }
        if (m_delta < 0 && (!moveTail(error) || !fileio::resize(lib, m_oldSize + m_delta, error)))
            return false;

        // The index: only what differs. Its table ends with the last entry.
        const qint32 newCount = qint32(m_table.size());
        const QByteArray countBytes = int32Bytes(newCount);
        const qint64 indexEnd = m_tableStart + 4 * qint64(newCount);
        const bool tableChanges = m_firstChanged < m_table.size();
        const QByteArray oldIndexCount(m_indexCount, 4);
        const QByteArray oldLibraryCount(m_libraryCount, 4);
        const bool indexChanges =
            tableChanges || m_indexSize != indexEnd || oldIndexCount != countBytes;
        if (tableChanges) {
            QByteArray bytes;
            bytes.reserve((m_table.size() - m_firstChanged) * 4);
            for (qsizetype i = m_firstChanged; i < m_table.size(); ++i)
                bytes.append(int32Bytes(m_table[i]));
            if (!fileio::writeAt(m_index, m_tableFrom, bytes, error))
                return false;
        }
        if (m_indexSize > indexEnd && !fileio::resize(m_index, indexEnd, error))
            return false;
        if (oldIndexCount != countBytes && !fileio::writeAt(m_index, 44, countBytes, error))
            return false;
        if (oldLibraryCount != countBytes && !fileio::writeAt(lib, 44, countBytes, error))
            return false;
        return (!indexChanges || fileio::flush(m_index, error)) && fileio::flush(lib, error);
    }

    // The component follows the files.
    void updateComponent()
    {
        QVector<QPair<qint32, qint32>> placements;
        for (const QByteArray &r : m_records)
            placements.append(r.size() >= 8
                                  ? qMakePair(qint32(qFromLittleEndian<qint16>(r.constData() + 4)),
                                              qint32(qFromLittleEndian<qint16>(r.constData() + 6)))
                                  : qMakePair(0, 0));
        TWILPrivate::setTable(m_wil, m_table);
        TWILPrivate::setLibrarySize(m_wil, m_oldSize + m_delta);
        TWILPrivate::splicePlacements(m_wil, m_first, m_removeCount, placements);
    }

    // Moves the bytes behind the replaced records by m_delta, one chunk at a time, never
    // overwriting a byte that is still to be read.
    bool moveTail(QString *error)
    {
        QFile &lib = *m_wil.LibraryStream;
        const qint64 tail = m_oldSize - m_end;
        const qint64 chunk = chunkSize();
        const int chunks = int((tail + chunk - 1) / chunk);
        if (m_progress)
            m_progress(0, chunks);
        for (int i = 0; i < chunks; ++i) {
            const qint64 done = qint64(i) * chunk;
            const qint64 length = qMin(chunk, tail - done);
            const qint64 from = m_delta > 0 ? m_oldSize - done - length : m_end + done;
            QByteArray bytes(length, Qt::Uninitialized);
            if (!fileio::readAt(lib, from, bytes.data(), length))
                return fail(error, QCoreApplication::translate("recordsplice", "%1 cannot be read.")
                                       .arg(m_wil.FileName));
            if (!fileio::writeAt(lib, from + m_delta, bytes, error))
                return false;
            if (m_progress)
                m_progress(i + 1, chunks);
        }
        return true;
    }

    TWIL &m_wil;
    const int m_first;
    const int m_removeCount;
    const QList<QByteArray> &m_records;
    const ProgressFn &m_progress;

    qint64 m_oldSize = 0;
    qint64 m_needed = 0; // bytes of free space the edit takes at most
    qint64 m_start = 0; // the bytes being replaced: [m_start, m_end)
    qint64 m_end = 0;
    qint64 m_delta = 0;
    QVector<qint32> m_table;
    qsizetype m_firstChanged = 0;
    int m_tableStart = 48;
    QFile m_index;
    qint64 m_indexSize = 0;
    qint64 m_tableFrom = 0; // the first index byte that changes
    char m_libraryCount[4] = {};
    char m_indexCount[4] = {};
};

} // namespace

void setSpliceChunkSize(qint64 bytes)
{
    chunkSize() = qMax<qint64>(1, bytes);
}

bool spliceRecords(TWIL &wil, int first, int removeCount, const QList<QByteArray> &records,
                   QString *error, const ProgressFn &progress)
{
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    return Splice(wil, first, removeCount, records, progress).run(error);
}
