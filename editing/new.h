#pragma once
// Creating a new library from a picture folder, starting from the two embedded templates.

#include "integertext.h"
#include "progress.h"

#include <QString>

class TWIL;

namespace newmsg {
inline QString noFolder()
{
    return QStringLiteral("请输入图片所在路径!");
}
inline QString noFileName()
{
    return QStringLiteral("请输入新建数据文件名!");
}
inline QString done()
{
    return QStringLiteral("建立新文件成功!");
}
inline QString failed()
{
    return QStringLiteral("建立新文件失败!");
}
} // namespace newmsg

struct NewLibraryOptions
{
    QString pictureFolder;
    QString libraryPath;           // the new library; its index is derived from it
    bool fixedPlacement = false;   // false: each picture's placement file
    FixedPlacement placement;      // when fixedPlacement
    bool paletteFromFirst = false; // the colour table of the first picture as the palette
};

// Builds the library (every picture of the folder's picture list in order, a picture file of
// length 0 as an empty image) in a scratch folder beside it, then puts it in place of any
// library and index of the same name. A failure leaves whatever was there before untouched.
// `openLibrary` is the library open in the main window, if any: when the new library replaces
// its files, it is closed for the swap and reopened on the new files (`replacedOpen` then set).
bool createLibrary(const NewLibraryOptions &options, TWIL *openLibrary, QString *error,
                   const ProgressFn &progress = {}, bool *replacedOpen = nullptr);
