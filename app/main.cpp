// Start-up: the application, then every window once, in a fixed order, then the event loop.
// No command-line arguments are read and no settings are kept.

#include "addoneform.h"
#include "addpicform.h"
#include "delform.h"
#include "dialogs.h"
#include "editorapplication.h"
#include "mail.h"
#include "newform.h"
#include "outpicform.h"

#include <QApplication>
#include <QLineEdit>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    setUpEditorApplication(app);

    QtDialogs dialogs;
    TFormMain FormMain(dialogs);

    // The editing windows follow the main window, in this order, each created once and reused
    // so that its fields keep their values between showings:
    //   Formout (batch export), Formadd (batch add, insert, replace), Formnew (new library),
    //   Formdel (delete or blank), Formaddone (add one picture).
    // Each takes FormMain as its EditorHost and is handed to the main window, which shows it
    // modally from its button.
    TFormout Formout(FormMain, &FormMain);
    TFormadd Formadd(FormMain, &FormMain);
    TFormnew Formnew(FormMain, &FormMain);
    TFormdel Formdel(FormMain, &FormMain);
    TFormaddone Formaddone(FormMain, &FormMain);
    EditingWindowHooks windows;
    windows.showFormout = [&] { Formout.exec(); };
    windows.showFormadd = [&](int lastImage) {
        Formadd.EditEnd->setText(QString::number(lastImage));
        Formadd.EditPicPath->clear();
        Formadd.exec();
    };
    windows.showFormaddone = [&] { Formaddone.exec(); };
    windows.showFormnew = [&] { Formnew.exec(); };
    windows.showFormdel = [&] { Formdel.exec(); };
    FormMain.setEditingWindows(std::move(windows));

    FormMain.show();
    return app.exec();
}
