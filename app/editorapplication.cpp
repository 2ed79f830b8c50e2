#include "editorapplication.h"

#include <QApplication>

const char *const kEditorApplicationTitle = "VARNEL-Wil编辑器 Ver3.1";

void setUpEditorApplication(QApplication &app)
{
    // The title is the application's name, not its display name: Qt appends a display name to
    // every window title, which would cut narrow message boxes' captions down to "…".
    app.setApplicationName(QString::fromUtf8(kEditorApplicationTitle));
}
