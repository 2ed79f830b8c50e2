#pragma once
// A field that only its picker button fills (folders, pictures, library names): read-only,
// and drawn so that it looks it, with a tooltip that says how to fill it.

class QLineEdit;
class QString;

void makePickedField(QLineEdit *field, const QString &howToFill);
