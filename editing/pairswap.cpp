#include "pairswap.h"

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
    const QString kept = work.filePath(QStringLiteral("previous-") + QFileInfo(library).fileName());
    if (hadLibrary && !fileio::rename(library, kept, error))
        return false;

    // Puts the state back to the old library (or to none); the old index was never touched.
    const auto restore = [&](const QString &why) {
        QString restoreError;
        const bool restored = hadLibrary ? fileio::rename(kept, library, &restoreError)
                                         : fileio::remove(library, &restoreError);
        if (error)
            *error = why;
        if (!restored) {
            work.setAutoRemove(false);
            if (error && hadLibrary)
                *error += QStringLiteral("; the old library could not be put back (%1) and is "
                                         "kept as %2")
                              .arg(restoreError, QDir::toNativeSeparators(kept));
            else if (error)
                *error += QStringLiteral("; %1").arg(restoreError);
        }
        return false;
    };

    QString why;
    if (!fileio::rename(newLibrary, library, &why)) {
        if (hadLibrary)
            return restore(why);
        if (error)
            *error = why;
        return false;
    }
    if (!fileio::rename(newIndex, index, &why))
        return restore(why);
    return true;
}

QString scratchTemplateFor(const QString &path)
{
    return QFileInfo(path).absolutePath() + QStringLiteral("/.wil-work-XXXXXX");
}
