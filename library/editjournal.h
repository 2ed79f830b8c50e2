#pragma once
// A rollback journal for edits made in place: before the first byte of a library or its index
// is overwritten, the bytes about to be overwritten and the old sizes of both files are copied
// into a file beside the library ("<library>-journal") and flushed to the disk. Only then may
// the edit write. Once both files are complete and flushed, the journal is removed.
//
// A journal that ends with its trailer and whose CRC-32 matches is complete: the pair may hold
// a half-made edit, and playing the journal back puts both files exactly as they were. A
// journal without a good trailer was interrupted while being written, before anything was
// overwritten, and is simply removed. Playing back is idempotent, so a crash while rolling
// back is cured by rolling back again.
//
//     EditJournal j(libraryPath, indexPath);
//     j.begin(library.size(), index.size(), &err);
//     j.save(EditJournal::Library, library, 44, 4, &err);   // any number of ranges
//     j.arm(&err);                                          // from here the files may change
//     ... write both files, flush them ...
//     j.finish(&err);     // or, on failure, j.rollBack(library, &index, &err)
//
// Every write, flush and removal goes through fileio, so tests can fail or end the process at
// each of them, the journal's own included.

#include "editlock.h"

#include <QFile>
#include <QString>
#include <QVector>
#include <QtGlobal>

class EditJournal
{
  public:
    enum Target : quint32
    {
        Library = 0,
        Index = 1
    };

    EditJournal(const QString &libraryPath, const QString &indexPath);
    ~EditJournal();
    EditJournal(const EditJournal &) = delete;
    EditJournal &operator=(const EditJournal &) = delete;

    // The journal file of a library.
    static QString pathFor(const QString &libraryPath);

    // Starts a new journal holding the old sizes of both files (index -1: the edit leaves the
    // index alone). Takes the library's edit lock first: false while another program edits it.
    // The journal is made as a new file: anything already standing under its name (a journal
    // left by a crash, a link, a directory, a FIFO) refuses the edit.
    bool begin(qint64 librarySize, qint64 indexSize, QString *error);
    // Copies `length` bytes at `pos` of `source` into the journal, streamed in chunks.
    bool save(Target target, QFileDevice &source, qint64 pos, qint64 length, QString *error);
    // The sizes both files will have once the edit is complete, where known before it writes
    // (-1, the default: it only grows, by an amount not known yet). Open plays the journal back
    // only over files whose sizes lie between the old and these. Any time before arm.
    void setNewSizes(qint64 librarySize, qint64 indexSize);
    // Writes what the journal belongs to (sizes, checksums of stretches the edit never changes,
    // read from the files as they are now) and the trailer, and flushes the journal and its
    // folder: the edit may now write.
    bool arm(QString *error);
    // The edit is complete and both files are flushed: the journal goes.
    bool finish(QString *error);
    // Puts both files back from the armed journal, then removes it. Before arm, only removes it.
    // `index` may be null when the edit leaves it alone.
    bool rollBack(QFileDevice &library, QFileDevice *index, QString *error);
    // Drops an unarmed journal (nothing was overwritten).
    void discard();
    bool isArmed() const { return m_armed; }

    enum class Recovery
    {
        None,       // no journal
        Discarded,  // an incomplete journal: nothing had been overwritten; removed
        RolledBack, // an interrupted edit was undone
        Stale,      // a complete journal that does not belong to the files now present (a
                    // backup copied over them, another pair): moved aside, the pair untouched
        Failed      // a complete journal could not be played back; it stays for the next try
    };
    // What Open does first: plays a complete journal back into the pair, removes an incomplete
    // one, moves a stale one aside ("<journal>.stale-<date>", `error` says so). The files are
    // opened here and closed again.
    static Recovery recover(const QString &libraryPath, const QString &indexPath, QString *error);

    // Bytes copied at a time, into and out of the journal (1 MiB unless set).
    static void setChunkSize(qint64 bytes);

  private:
    struct SavedRange
    {
        quint32 target;
        qint64 pos;
        qint64 length;
    };

    bool append(const char *data, qint64 len, QString *error);

    QString m_libraryPath;
    QString m_indexPath;
    EditLock m_lock; // held from begin to the journal's removal
    QFile m_file;
    qint64 m_pos = 0;
    quint32 m_crc = 0;
    quint32 m_ranges = 0;
    bool m_armed = false;
    bool m_created = false; // the file is this journal's own, made by begin
    qint64 m_oldSizes[2] = {-1, -1};
    qint64 m_newSizes[2] = {-1, -1};
    QFileDevice *m_sources[2] = {nullptr, nullptr};
    QVector<SavedRange> m_saved;
};
