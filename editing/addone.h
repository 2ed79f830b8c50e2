#pragma once
// Adding one picture to the open library: appended behind the last image, or inserted before
// an image. Callers reopen the component afterwards (Close, then Open).

#include "progress.h"

#include <QImage>
#include <QString>

class TWIL;

namespace addonemsg {
inline QString noPicture()
{
    return QStringLiteral("请选择要添加图片文件!");
}
inline QString done()
{
    return QStringLiteral("加入图片成功！");
}
inline QString failed()
{
    return QStringLiteral("加入图片失败！");
}
} // namespace addonemsg

// A null `picture` stands for a picture without pixels (a picture file of length 0).

// Through the component's own append: 16-bit pixels; a picture at most 1 pixel wide or high,
// or one without pixels, becomes an empty image.
bool appendOnePicture(TWIL &wil, const QImage &picture, qint16 px, qint16 py, QString *error);

// As image `at` (at or beyond the last image: behind it), as a record of palette indices;
// a picture without pixels becomes an empty image. Only the part of the library behind the
// new record moves; on failure both files are put back as they were.
bool insertOnePicture(TWIL &wil, const QImage &picture, qint16 px, qint16 py, int at,
                      QString *error, const ProgressFn &progress = {});
