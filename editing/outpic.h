#pragma once
// The picture folder, the exchange form between a library and ordinary image files: one bitmap
// per image named after its number, and a Placements sub-folder with one small text file per
// image holding its placement. The batch export writes it; every import reads it by the rules
// here.
//
//     folder/000007.bmp              image 7, a 16-bit RGB565 Windows bitmap
//     folder/Placements/000007.txt   "px" CR LF "py" CR LF

#include "inputrefusal.h"
#include "progress.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

class TWIL;

namespace outpic {

// "%.6d.bmp" and "%.6d.txt": image 7 is 000007.bmp, image 1234567 is 1234567.bmp.
QString pictureFileName(int n);
QString placementFileName(int n);
// The sub-folder of placement files, spelled exactly so when the export creates it.
QString placementsFolderName();
// The folder in native form with exactly one separator at its end.
QString withSeparator(const QString &folder);

// The bytes of a placement file: px CR LF py CR LF, plain decimal ("-12\r\n34\r\n").
QByteArray placementText(int px, int py);

struct Placement
{
    qint16 px = 0;
    qint16 py = 0;
};

// Lines end at CR, at LF or at CR LF; line 1 is px and line 2 py, by the lenient integer
// conversion, keeping the low 16 bits; further lines are ignored. nullopt for fewer than two
// lines.
std::optional<Placement> parsePlacementText(const QByteArray &bytes);

struct PlacementFile
{
    enum Status
    {
        Missing,   // no such file: the placement is (0, 0)
        Read,      // placement holds the two values
        TooShort,  // fewer than two lines: the reading operation stops here
        Unreadable // the file exists but cannot be read
    };
    Status status = Missing;
    Placement placement;
    QString error; // for TooShort and Unreadable: the file and the reason
};
// `path` may be empty (no such file).
PlacementFile readPlacementFile(const QString &path);

// A picture folder as the importers see it: its picture list, and its files found by name,
// where a name missing exactly is matched without regard to letter case ("000007.BMP" for
// "000007.bmp", "placements" for "Placements"). The folder is listed once, at construction.
class PictureFolder
{
public:
    explicit PictureFolder(const QString &folder);

    bool exists() const { return m_exists; }
    QString path() const { return m_path; } // with its trailing separator
    // "FOLDER: no such folder" when it does not exist.
    QString error() const;

    // Ordinary files (no folders, no hidden or system files) whose names end in ".bmp" in any
    // letter case, ordered by QString::compare(Qt::CaseInsensitive), exact names breaking ties.
    const QStringList &pictures() const { return m_pictures; }
    QString filePath(const QString &name) const { return m_path + name; }

    // Full path of the file `name` in this folder, empty when there is none.
    QString findFile(const QString &name) const;
    // The existing Placements sub-folder (with its separator), empty when there is none.
    QString placementsFolder() const;
    // Placements/NAME.txt for the picture NAME.ext; empty when there is none.
    QString placementFileFor(const QString &pictureName) const;
    // The numbered files of image n in this folder (picture-only and placement-only modes).
    QString numberedBitmap(int n) const { return findFile(pictureFileName(n)); }
    QString numberedPlacement(int n) const { return findFile(placementFileName(n)); }

    // The names in one folder, for looking files up without a disk access each.
    struct Listing
    {
        QSet<QString> exact;
        QHash<QString, QString> folded; // case-folded name -> first such name in picture order
        static Listing of(const QString &folder, bool folders);
        // `folder` + the name found, empty when there is none.
        QString find(const QString &folder, const QString &name) const;
    };

private:
    QString m_path;
    bool m_exists = false;
    QStringList m_pictures;
    Listing m_files;
    Listing m_folders;
    mutable std::optional<QString> m_placementsFolder;
    mutable std::optional<Listing> m_placementFiles;
};

// The order of the picture list.
bool picturesInOrder(const QString &a, const QString &b);

// Messages of the export window, also printed by the command line.
inline QString msgOpenLibraryFirst()
{
    return QStringLiteral("请先打开wil文件！");
}
inline QString msgBadNumber()
{
    return QStringLiteral("请输入正确的编号");
}
inline QString msgNoExportFolder()
{
    return QStringLiteral("请输入导出的位置！");
}
inline QString msgExportDone()
{
    return QStringLiteral("批量导出图片成功！");
}

// The second line of a finished export's message when some images could not be decoded: how
// many, and the numbers of the first ten of them. Empty when there are none.
inline QString undecodableNote(const QList<int> &images)
{
    if (images.isEmpty())
        return {};
    constexpr int kListed = 10;
    QStringList numbers;
    for (int n : images.first(qMin(images.size(), kListed)))
        numbers << QString::number(n);
    QString note = QStringLiteral("%1 张图片无法读取，已导出为空文件：%2")
                       .arg(images.size())
                       .arg(numbers.join(QStringLiteral(", ")));
    if (images.size() > kListed)
        note += QStringLiteral(" 及另外 %1 张").arg(images.size() - kListed);
    return note;
}

struct ExportRange
{
    int begin = 0;
    int end = -1; // below begin: nothing to export
};

// The export window's checks, in its order: a library is open, both numbers read (nullopt:
// the field did not hold an integer), the range clamped to the library and not reversed by
// more than one, a folder chosen. Fills `range` when the input is accepted.
InputRefusal checkExportInput(const TWIL &wil, std::optional<qint32> begin,
                              std::optional<qint32> end, const QString &folder, ExportRange &range);

// Writes images range.begin .. range.end into `folder` (which must exist): each as a 16-bit
// RGB565 bitmap (zero bytes for an image without pixels) and its placement file, creating the
// Placements sub-folder when there is none. Existing files of the same names are replaced,
// nothing else is touched. Stops at the first file that cannot be written, with `error`
// naming it; the files of earlier images remain. Images whose records cannot be decoded are
// written as zero-byte bitmaps (never as another image's pixels) and listed in `undecodable`.
bool exportPictures(TWIL &wil, const QString &folder, const ExportRange &range,
                    const ProgressFn &progress, QString *error, QList<int> *undecodable = nullptr);

} // namespace outpic
