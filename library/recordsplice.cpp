// Placeholder body: the real splice replaces this file.
#include "recordsplice.h"
#include "mywil.h"

bool spliceRecords(TWIL &, int, int, const QList<QByteArray> &, QString *error,
                   const ProgressFn &)
{
    if (error)
        *error = QStringLiteral("not implemented");
    return false;
}
