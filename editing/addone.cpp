#include "addone.h"

#include "libraryedit.h"
#include "mywil.h"
#include "paletteimage.h"
#include "recordsplice.h"

#include <QCoreApplication>

namespace {

bool failWith(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool refuseUnlessWritable(const TWIL &wil, QString *error)
{
    if (!wil.isOpen())
        return failWith(error, QCoreApplication::translate("addone", "no library is open"));
    // A pair that does not hold together is open for reading only for that reason.
    if (!wil.inconsistency().isEmpty())
        return failWith(error, wil.inconsistency());
    if (wil.isReadOnly())
        return failWith(error,
                        QCoreApplication::translate("addone", "%1 is read-only").arg(wil.FileName));
    return true;
}

} // namespace

bool appendOnePicture(TWIL &wil, const QImage &picture, qint16 px, qint16 py, QString *error)
{
    if (!refuseUnlessWritable(wil, error))
        return false;
    const bool ok = picture.isNull() ? wil.AddEmpty() : wil.AddBitmap(picture, px, py);
    return ok || failWith(error, wil.errorString());
}

bool insertOnePicture(TWIL &wil, const QImage &picture, qint16 px, qint16 py, int at,
                      QString *error, const ProgressFn &progress)
{
    if (!refuseUnlessWritable(wil, error))
        return false;
    LibraryEdit edit(wil);
    if (!edit.begin(error))
        return false;
    // A current image left behind the last one (after a removal) inserts behind the last.
    const int position = std::clamp(at, 0, wil.ImageCount());
    QByteArray record;
    if (picture.isNull()) {
        record = emptyRecordBytes();
    } else {
        PaletteImage palette(wil.colorTable());
        record = palette.makeRecord(picture, px, py, wil.OffSet > 0);
        if (record.isEmpty())
            return failWith(error, QCoreApplication::translate(
                                       "addone", "a picture of %1 x %2 is too large for a record")
                                       .arg(picture.width())
                                       .arg(picture.height()));
    }
    return spliceRecords(wil, position, 0, {record}, error, progress);
}
