#include "pairswap.h"

#include "editjournal.h"
#include "fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

bool replaceLibraryPair(const QString &newLibrary, const QString &library, const QString &newIndex,
                        const QString &index, QTemporaryDir &work, QString *error)
{
    const bool hadLibrary = QFileInfo::exists(library);
    // The new files take the old ones' access rights (a shared library stays shared).
    if (hadLibrary)
        QFile::setPermissions(newLibrary, QFile::permissions(library));
    if (QFileInfo::exists(index))
        QFile::setPermissions(newIndex, QFile::permissions(index));

    // A journal left by an interrupted edit of the old pair would be played back over the new
    // one at its next opening: it goes aside with the old library, and back with it.
    const QString journal = EditJournal::pathFor(library);
    const bool hadJournal = QFileInfo::exists(journal);
    const QString keptJournal = work.filePath(QStringLiteral("previous-journal"));
    if (hadJournal && !fileio::rename(journal, keptJournal, error))
        return false;
    const QString kept = work.filePath(QStringLiteral("previous-") + QFileInfo(library).fileName());

    // Puts back what was moved aside: the old library (or none) and its journal; the old index
    // was never touched.
    const auto restore = [&](const QString &why, bool libraryMoved) {
        QString restoreError;
        bool restored = true;
        if (libraryMoved)
            restored = hadLibrary ? fileio::rename(kept, library, &restoreError)
                                  : fileio::remove(library, &restoreError);
        if (restored && hadJournal)
            restored = fileio::rename(keptJournal, journal, &restoreError);
        if (error)
            *error = why;
        if (!restored) {
            work.setAutoRemove(false);
            if (error)
                *error += QStringLiteral("; the old library could not be put back (%1): it is "
                                         "kept in %2")
                              .arg(restoreError, QDir::toNativeSeparators(work.path()));
        }
        return false;
    };

    QString why;
    if (hadLibrary && !fileio::rename(library, kept, &why))
        return restore(why, false);
    if (!fileio::rename(newLibrary, library, &why) || !fileio::rename(newIndex, index, &why))
        return restore(why, true);
    return true;
}

QString scratchTemplateFor(const QString &path)
{
    return QFileInfo(path).absolutePath() + QStringLiteral("/.wil-work-XXXXXX");
}
