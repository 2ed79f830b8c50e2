#pragma once
// The sample library a new user opens first (samples/sample.wil), and the sprite-like pictures
// the benchmarks decode. Everything is drawn with integer arithmetic only, so the same bytes come
// out on every machine and the committed sample can be checked against its generator.

#include <QByteArray>
#include <QImage>
#include <QVector>

namespace sample {

// A walking figure on black (transparent): direction 0-7, frame 0-2. Format_RGB16.
QImage walker(int width, int height, int direction, int frame);
// A burst of light growing with `frame`, on black. Format_RGB16.
QImage burst(int size, int frame);
// A ground tile: a textured diamond, `variant` picks the soil. Format_RGB16.
QImage groundTile(int width, int height, int variant);
// A full scene without transparency: tiled ground with figures on it. Format_RGB16.
QImage scene(int width, int height);

struct Image
{
    QImage image; // null for the image without pixels
    qint16 px = 0;
    qint16 py = 0;
    quint16 method = 8; // of the pixel block: 8 deflate, 0 stored
};
// The images of the sample library, in order.
QVector<Image> sampleImages();

struct Files
{
    QByteArray library; // the .wil file
    QByteArray index;   // the .WIX file
};
// The sample pair: a few dozen compressed records with placements, one of them an image
// without pixels and one stored without deflate.
Files makeSampleLibrary();

} // namespace sample
