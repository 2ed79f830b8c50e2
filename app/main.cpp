// Start-up: the application, then every window once, in a fixed order, then the event loop.
// No command-line arguments are read and no settings are kept.

#include "addpicform.h"
#include "dialogs.h"
#include "mail.h"
#include "outpicform.h"

#include <QApplication>
#include <QLineEdit>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("VARNEL-Wil编辑器 Ver3.1"));

    QtDialogs dialogs;
    TFormMain FormMain(dialogs);

    // The editing windows follow the main window, in this order, each created once and reused
    // so that its fields keep their values between showings:
    //   Formout (batch export), Formadd (batch add, insert, replace), Formnew (new library),
    //   Formdel (delete or blank), Formaddone (add one picture).
    // Each is constructed with FormMain as its EditorHost and handed to the main window here.
    TFormout Formout(FormMain, &FormMain);
    TFormadd Formadd(FormMain, &FormMain);
    EditingWindowHooks windows;
    windows.showFormout = [&] { Formout.exec(); };
    windows.showFormadd = [&](int lastImage) {
        Formadd.EditEnd->setText(QString::number(lastImage));
        Formadd.EditPicPath->clear();
        Formadd.exec();
    };
    // Still to come: showFormaddone, showFormnew, showFormdel; until then their buttons do
    // nothing.
    FormMain.setEditingWindows(std::move(windows));

    FormMain.show();
    return app.exec();
}
