// Start-up: the application, then every window once, in a fixed order, then the event loop.
// No command-line arguments are read and no settings are kept.

#include "dialogs.h"
#include "mail.h"

#include <QApplication>

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
    // Each is constructed with FormMain as its EditorHost and handed to the main window here:
    //   FormMain.setEditingWindows({
    //       .showFormout = [&] { Formout.exec(); },
    //       .showFormadd = [&](int lastImage) {
    //           Formadd.EditEnd->setText(QString::number(lastImage));
    //           Formadd.EditPicPath->clear();
    //           Formadd.exec();
    //       },
    //       .showFormaddone = [&] { Formaddone.exec(); },
    //       .showFormnew = [&] { Formnew.exec(); },
    //       .showFormdel = [&] { Formdel.exec(); },
    //   });
    // Until then their buttons do nothing.

    FormMain.show();
    return app.exec();
}
