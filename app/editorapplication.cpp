#include "editorapplication.h"

#include <QApplication>
#include <QTranslator>

const char *const kEditorApplicationTitle = "VARNEL-Wil编辑器 Ver3.1";

void setUpEditorApplication(QApplication &app)
{
    // The title is the application's name, not its display name: Qt appends a display name to
    // every window title, which would cut narrow message boxes' captions down to "…".
    app.setApplicationName(QString::fromUtf8(kEditorApplicationTitle));

    // The windows are Chinese; the library component and the editing operations give their
    // reasons in English (wiltool prints them as they are), so the editor shows them through
    // the translation compiled into it.
    auto *chinese = new QTranslator(&app);
    if (chinese->load(QStringLiteral(":/i18n/wileditor_zh_CN.qm")))
        QCoreApplication::installTranslator(chinese);
    else
        delete chinese;
}
