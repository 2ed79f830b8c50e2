#pragma once
// Libraries and picture folders for the export and import tests, and reading a library pair
// back record for record.
//
// The pictures use only the colours of gridPalette(), which lie so far apart that neither the
// RGB565 rounding of a library nor a bitmap reader's expansion of it can change which entry is
// nearest: a picture that went through a library and a folder comes back colour for colour.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

class TWIL;

namespace folderfixture {

// 64 colours (every red, green, blue of 0, 85, 170, 255; black is entry 0), then white again.
QVector<QRgb> gridPalette();
// A picture of grid colours; `black` lets some pixels be black (the transparent colour).
QImage gridPicture(int width, int height, quint32 seed, bool black = false);
// The picture as it reads back from a 16-bit record: every channel cut to 5/6/5 bits.
QImage asRgb565(const QImage &picture);
// The picture as the library component shows its compressed record: of the rows of W4 pixels
// stored, only width x height pixels are taken, so for a width that is no multiple of 4 the
// top rows lose pixels (black). Colours are kept.
QImage asCompressedShows(const QImage &picture);

struct Placement
{
    qint16 px = 0;
    qint16 py = 0;
    bool operator==(const Placement &o) const { return px == o.px && py == o.py; }
};

// A library ("test.wil" + "test.WIX" in `folder`) of compressed records made from `pictures`,
// image i placed at placements[i], with the grid palette.
// `frontSize` 1084 makes the layout of OffSet 4 (with the table at 52).
QString makeLibrary(const QString &folder, const QVector<QImage> &pictures,
                    const QVector<Placement> &placements, int tableStart = 48,
                    int frontSize = 1080);
// `count` grid pictures of assorted sizes (5 x 3 first, so that one width is not a multiple
// of 4), placed at (i * 3 - 5, 7 - i).
QVector<QImage> somePictures(int count, quint32 seed);
QVector<Placement> somePlacements(int count);
// makeLibrary() of somePictures(count, seed) at somePlacements(count).
QString makeSomeLibrary(const QString &folder, int count, quint32 seed);

// A picture folder: 24-bit bitmaps named names[i] and, where placements[i] is given, their
// placement files in Placements.
bool writePicture(const QString &path, const QImage &picture);
bool writeText(const QString &path, const QByteArray &bytes);

// A library pair as it lies on disk.
struct Library
{
    QByteArray wil;
    QByteArray wix;
    int tableStart = 48;
    qint32 wilCount = 0;
    qint32 wixCount = 0;
    QVector<qint32> entries; // wixCount entries from tableStart (0 where the file ends early)

    // The bytes of image n's record: from its entry to the next image's entry, the last one
    // to the end of the file.
    QByteArray record(int n) const;
};
Library readLibrary(const QString &libraryPath, int tableStart = 48);
// Opens the library at `path` in `wil`; whether it opened.
bool openWil(TWIL &wil, const QString &path);

// An 8-bit record read back through the palette: the picture's width x height (the columns
// added by rounding must be black entries, else `ok` is false), its placement.
struct Decoded
{
    bool ok = false;
    QImage image;
    Placement placement;
    int storedWidth = 0;
};
Decoded decode8(const QByteArray &record, const QVector<QRgb> &palette, int pictureWidth,
                bool secondPlacement = false);
// A 16-bit uncompressed record read back: width x height RGB565 colours.
Decoded decode16(const QByteArray &record, int pictureWidth);

// First difference of two pictures as text, empty when they are equal.
QString difference(const QImage &got, const QImage &expected);

} // namespace folderfixture
