#pragma once
// Bringing a picture folder into the open library: whole pictures appended, inserted before an
// image or put in place of a range (each drawn into the library palette and stored as an 8-bit
// record), or only the pixels or only the placements of a range replaced. No widgets: the batch
// window and the command line both call these.
//
// Every operation keeps its own read and write offsets and positions the library file before
// each access: events processed in between (a repaint decoding through the same file) move the
// file's position. Append, insert and replace leave both files exactly as they were when they
// fail.

#include "inputrefusal.h"
#include "integertext.h"
#include "outpic.h"
#include "progress.h"

#include <QString>
#include <QStringList>
#include <optional>

class PaletteImage;
class TWIL;

namespace addpic {

// The window's three source modes and the operations of picture-and-placement mode.
enum class Source
{
    PicturesAndPlacements,
    PicturesOnly,
    PlacementsOnly
};
enum class Operation
{
    Append,
    Insert,
    Replace
};

// Where each picture's placement comes from: its placement file (missing: (0, 0)) or one fixed
// placement for all.
struct PlacementRule
{
    bool fromFiles = true;
    FixedPlacement fixed;
};

// What the user asked for, as the window's fields hold it.
struct Request
{
    Source source = Source::PicturesAndPlacements;
    Operation operation = Operation::Append;
    QString folder;              // empty: none chosen
    std::optional<qint32> start; // nullopt: the field is not an integer
    std::optional<qint32> end;
    PlacementRule placement;
};

// An accepted request.
struct Plan
{
    Source source = Source::PicturesAndPlacements;
    Operation operation = Operation::Append;
    std::optional<outpic::PictureFolder> folder; // absent only for fixed placements alone
    int start = 0;
    int end = -1;
    PlacementRule placement;
};

// Messages of the batch window, also printed by the command line.
inline QString msgNoFolder()
{
    return QStringLiteral("请输入图片所在路径!");
}
inline QString msgBadFormat()
{
    return QStringLiteral("请输入正确的格式");
}
inline QString msgTooFewPictures()
{
    return QStringLiteral("图片数目不够！");
}
inline QString msgImportDone()
{
    return QStringLiteral("批量导入成功");
}
inline QString msgImportFailed()
{
    return QStringLiteral("批量导入失败");
}
inline QString labelPictureFolder()
{
    return QStringLiteral("图片所在文件夹：");
}
inline QString labelPlacementFolder()
{
    return QStringLiteral("坐标所在文件夹：");
}

// The window's checks, in its order for each mode: a folder chosen, the folder still there
// (listed), the range (start and end image numbers of the library, end not below start),
// enough pictures for a replacement. Fills `plan` when the input is accepted.
InputRefusal check(const TWIL &wil, const Request &request, Plan &plan);

// Runs an accepted plan.
bool run(TWIL &wil, const Plan &plan, const ProgressFn &progress, QString *error);

// Appends one record per picture of `pictures` (names in `folder`) at the end of the library,
// then reopens it.
bool Add(TWIL &wil, const outpic::PictureFolder &folder, const QStringList &pictures,
         const PlacementRule &placement, const ProgressFn &progress, QString *error);
// Inserts all pictures before image `start`, then reopens the library.
bool InSert(TWIL &wil, const outpic::PictureFolder &folder, const QStringList &pictures,
            const PlacementRule &placement, int start, const ProgressFn &progress, QString *error);
// Puts pictures 0 .. end - start in place of images start .. end, then reopens the library.
bool Replace(TWIL &wil, const outpic::PictureFolder &folder, const QStringList &pictures,
             const PlacementRule &placement, int start, int end, const ProgressFn &progress,
             QString *error);
// Replaces the pixels of images start .. end by the folder's numbered bitmaps, keeping their
// placements (a missing bitmap gives a black pixel; a damaged one is refused). One edit: when any image
// cannot be replaced, none is.
bool AddPic(TWIL &wil, const outpic::PictureFolder &folder, int start, int end,
            const ProgressFn &progress, QString *error);
// Sets the placements of images start .. end from the numbered placement files of `folder`
// (itself a placements folder; may be null with a fixed placement). Stops at the first file
// that cannot be read; earlier images keep their new placements.
bool AddXy(TWIL &wil, const outpic::PictureFolder *folder, const PlacementRule &placement,
           int start, int end, const ProgressFn &progress, QString *error);

// The record of one picture of a folder, as append, insert and replace write it: the picture
// (1 x 1 black when it is missing) drawn into the palette, with its placement. False with
// `error` when its placement file cannot be read or the picture is damaged, too large or not a
// picture.
bool pictureRecord(PaletteImage &palette, const outpic::PictureFolder &folder,
                   const QString &picture, const PlacementRule &placement, bool secondPlacement,
                   QByteArray &record, QString *error);

} // namespace addpic
