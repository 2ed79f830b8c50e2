#include "pickedfield.h"

#include <QLineEdit>
#include <QPalette>

void makePickedField(QLineEdit *field, const QString &howToFill)
{
    field->setReadOnly(true);
    // The window's own colour behind the text: nothing invites typing where typing does nothing.
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field->setPalette(palette);
    field->setToolTip(howToFill);
}
