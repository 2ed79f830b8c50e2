#include "editorhost.h"

#include "dialogs.h"
#include "mywil.h"

#include <QDir>
#include <QFileInfo>

QString EditorHost::pickFolder(QWidget *parent, const QString &caption)
{
    const QString libraryFolder =
        wil().isOpen() ? QFileInfo(wil().FileName).absolutePath() : QString();
    QString start = QDir::homePath();
    // A folder removed since it was picked is passed over.
    for (const QString &candidate : {m_lastPickedFolder, libraryFolder}) {
        if (!candidate.isEmpty() && QFileInfo(candidate).isDir()) {
            start = candidate;
            break;
        }
    }
    const QString folder = dialogs().selectFolder(parent, caption, start);
    if (!folder.isEmpty())
        m_lastPickedFolder = folder;
    return folder;
}
