#pragma once
// Draws pictures into the library palette, as the editing windows store them: 8-bit records
// of palette indices. The nearest colour is exact (squared RGB distance, ties to the lowest
// index) and remembered across a whole batch, since libraries import thousands of pictures.

#include <QByteArray>
#include <QImage>
#include <QVector>
#include <memory>

class PaletteImage
{
public:
    explicit PaletteImage(const QVector<QRgb> &colorTable);
    ~PaletteImage();
    PaletteImage(const PaletteImage &) = delete;
    PaletteImage &operator=(const PaletteImage &) = delete;

    // The picture as an Indexed8 image of width W4 (the width rounded up to a multiple of 4)
    // and the picture's height, each at least 1; added columns black.
    QImage convert(const QImage &picture);
    // A complete uncompressed 8-bit record of the picture: width, height, px, py, px and py
    // again when `secondPlacement`, then the indices bottom row first.
    QByteArray makeRecord(const QImage &picture, qint16 px, qint16 py, bool secondPlacement);
    // Palette index nearest to `rgb`.
    quint8 nearest(QRgb rgb);

    // Width of the record of a picture `pictureWidth` wide: rounded up to a multiple of 4,
    // at least 4.
    static int recordWidth(int pictureWidth);
    // Whether a record's 16-bit width and height fields can hold the picture. makeRecord
    // returns an empty QByteArray for a picture that does not fit.
    static bool fitsRecord(const QSize &pictureSize);

private:
    // Maps the picture onto `width` x `height` indices at `dst`, each row `rowStep` bytes on
    // from the last (bottom row first when `bottomUp`); what lies outside the picture is black.
    void mapRows(const QImage &picture, int width, int height, uchar *dst, qsizetype rowStep,
                 bool bottomUp);

    struct Private;
    std::unique_ptr<Private> d;
};
