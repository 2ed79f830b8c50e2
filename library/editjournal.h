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
    bool begin(qint64 librarySize, qint64 indexSize, QString *error);
    // Copies `length` bytes at `pos` of `source` into the journal, streamed in chunks.
    bool save(Target target, QFileDevice &source, qint64 pos, qint64 length, QString *error);
    // Writes the trailer and flushes the journal and its folder: the edit may now write.
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
        Failed      // a complete journal could not be played back; it stays for the next try
    };
    // What Open does first: plays a complete journal back into the pair, removes an incomplete
    // one. The files are opened here and closed again.
    static Recovery recover(const QString &libraryPath, const QString &indexPath, QString *error);

    // Bytes copied at a time, into and out of the journal (1 MiB unless set).
    static void setChunkSize(qint64 bytes);

  private:
    bool append(const char *data, qint64 len, QString *error);

    QString m_libraryPath;
    QString m_indexPath;
    EditLock m_lock; // held from begin to the journal's removal
    QFile m_file;
    qint64 m_pos = 0;
    quint32 m_crc = 0;
    quint32 m_ranges = 0;
    bool m_armed = false;
};
