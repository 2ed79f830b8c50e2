#include "samplelibrary.h"

#include "wilfixture.h"

#include <QVector>
#include <algorithm>
#include <cstdlib>

namespace sample {

namespace {

struct Rgb
{
    int r, g, b;
};

// RGB565 by truncation; a colour that truncates to 0 would turn transparent, so it becomes the
// darkest visible grey instead.
quint16 rgb565(Rgb c)
{
    const int r = std::clamp(c.r, 0, 255), g = std::clamp(c.g, 0, 255), b = std::clamp(c.b, 0, 255);
    const quint16 v = quint16(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    return v ? v : quint16(0x0841);
}

Rgb scaled(Rgb c, int num, int den)
{
    return {c.r * num / den, c.g * num / den, c.b * num / den};
}

// Deterministic noise; std::rand differs between C libraries.
class Lcg
{
  public:
    explicit Lcg(quint32 seed) : m_state(seed * 2654435761u + 1) {}
    int next(int bound) // 0 .. bound - 1
    {
        m_state = m_state * 1664525u + 1013904223u;
        return int((m_state >> 8) % quint32(bound));
    }

  private:
    quint32 m_state;
};

int isqrt(int v)
{
    int r = 0;
    while ((r + 1) * (r + 1) <= v)
        ++r;
    return r;
}

class Canvas
{
  public:
    Canvas(int width, int height) : m_image(width, height, QImage::Format_RGB16)
    {
        m_image.fill(0);
    }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width() && y < height(); }
    quint16 at(int x, int y) const
    {
        return reinterpret_cast<const quint16 *>(m_image.constScanLine(y))[x];
    }
    void set(int x, int y, quint16 v)
    {
        if (inside(x, y))
            reinterpret_cast<quint16 *>(m_image.scanLine(y))[x] = v;
    }
    // Lit from the upper left: brighter towards it, darker away from it.
    void shadedEllipse(int cx, int cy, int a, int b, Rgb colour)
    {
        a = std::max(a, 1);
        b = std::max(b, 1);
        for (int y = cy - b; y <= cy + b; ++y)
            for (int x = cx - a; x <= cx + a; ++x) {
                const int dx = x - cx, dy = y - cy;
                if (dx * dx * b * b + dy * dy * a * a > a * a * b * b)
                    continue;
                const int light = 300 - (dx * 100 / a + dy * 100 / b);
                set(x, y, rgb565(scaled(colour, std::clamp(light, 120, 400), 300)));
            }
    }
    void shadedRect(int x0, int y0, int w, int h, Rgb colour)
    {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                set(x, y, rgb565(scaled(colour, 260 - (x - x0) * 80 / std::max(w, 1), 260)));
    }
    // A dark rim around every drawn shape, as sprites have.
    void outline(Rgb colour)
    {
        const QImage before = m_image;
        const auto was = [&](int x, int y) {
            return inside(x, y) && reinterpret_cast<const quint16 *>(before.constScanLine(y))[x];
        };
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                if (!was(x, y) &&
                    (was(x - 1, y) || was(x + 1, y) || was(x, y - 1) || was(x, y + 1)))
                    set(x, y, rgb565(colour));
    }
    QImage image() const { return m_image; }

  private:
    QImage m_image;
};

const Rgb kCloth[8] = {{180, 40, 40},  {40, 140, 60},  {50, 70, 190},  {170, 150, 40},
                       {140, 50, 160}, {40, 150, 160}, {200, 110, 40}, {120, 120, 130}};
const int kFacing[8] = {0, 1, 1, 1, 0, -1, -1, -1};

} // namespace

QImage walker(int width, int height, int direction, int frame)
{
    Canvas c(width, height);
    direction = ((direction % 8) + 8) % 8;
    const int cx = width / 2;
    const int feet = height - 4;
    const int facing = kFacing[direction];
    const int stride = (frame % 3 - 1) * std::max(1, width / 16);

    const int legW = std::max(2, width / 8);
    const int legH = height / 4;
    const Rgb trousers{90, 64, 48};
    c.shadedRect(cx - width / 8 - legW / 2 + stride, feet - legH, legW, legH, trousers);
    c.shadedRect(cx + width / 8 - legW / 2 - stride, feet - legH, legW, legH, trousers);

    const int torsoH = height * 3 / 10;
    const int torsoY = feet - legH - torsoH / 2 + 1;
    const Rgb cloth = kCloth[direction];
    const int armW = std::max(2, width / 10);
    const Rgb sleeve = scaled(cloth, 3, 4);
    c.shadedRect(cx - width / 4 - armW + 1, torsoY - torsoH / 3 - stride, armW, torsoH * 2 / 3,
                 sleeve);
    c.shadedRect(cx + width / 4, torsoY - torsoH / 3 + stride, armW, torsoH * 2 / 3, sleeve);
    c.shadedEllipse(cx, torsoY, width / 4, torsoH / 2, cloth);

    const int r = std::max(2, width / 7);
    const int headX = cx + facing * std::max(1, width / 16);
    const int headY = torsoY - torsoH / 2 - r + 1;
    c.shadedEllipse(headX, headY, r, r, {230, 190, 150});
    c.shadedEllipse(headX - facing, headY - r / 2, r, std::max(1, r / 2), {70, 40, 20}); // hair
    if (direction != 4) { // seen from behind there is no face
        const quint16 eye = rgb565({30, 20, 20});
        c.set(headX + facing * r / 2 - (facing == 0 ? r / 3 : 0), headY, eye);
        if (facing == 0)
            c.set(headX + r / 3, headY, eye);
    }

    if (facing != 0) { // a blade held forward
        const int handX = facing > 0 ? cx + width / 4 + armW / 2 : cx - width / 4 - armW / 2;
        const int handY = torsoY + torsoH / 3 + stride;
        for (int i = 0; i < height / 5; ++i)
            c.set(handX + facing * i / 2, handY - i, rgb565({200, 200, 215 - i * 2}));
    }

    c.outline({24, 18, 12});
    // The shadow lies under the figure: only where nothing is drawn yet.
    const int sa = width * 3 / 8, sb = std::max(2, height / 24);
    for (int y = feet - sb; y <= feet + sb; ++y)
        for (int x = cx - sa; x <= cx + sa; ++x) {
            const int dx = x - cx, dy = y - feet;
            if (c.inside(x, y) && !c.at(x, y) &&
                dx * dx * sb * sb + dy * dy * sa * sa <= sa * sa * sb * sb)
                c.set(x, y, rgb565({20, 22, 28}));
        }
    return c.image();
}

QImage burst(int size, int frame)
{
    Canvas c(size, size);
    const int centre = size / 2;
    const int radius = size * (2 + frame) / (3 * (3 + frame)) + 1;
    const int thickness = std::max(1, size / 10);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int d = isqrt((x - centre) * (x - centre) + (y - centre) * (y - centre));
            const int off = std::abs(d - radius);
            if (off <= thickness) {
                const int i = 255 - off * 200 / (thickness + 1);
                c.set(x, y, rgb565({255 * i / 255, (200 - frame * 25) * i / 255, 40 * i / 255}));
            } else if (d < radius / 3) {
                const int i = 255 - d * 300 / std::max(radius, 1);
                c.set(x, y, rgb565({255 * i / 255, 240 * i / 255, 160 * i / 255}));
            }
        }
    Lcg rng(quint32(size * 31 + frame));
    for (int k = 0; k < size / 2; ++k) {
        const int x = rng.next(size), y = rng.next(size);
        const int d = isqrt((x - centre) * (x - centre) + (y - centre) * (y - centre));
        if (d < radius - thickness || d > radius + 3 * thickness)
            continue;
        const quint16 spark = rgb565({255, 255, 220});
        c.set(x, y, spark);
        c.set(x - 1, y, spark);
        c.set(x + 1, y, spark);
        c.set(x, y - 1, spark);
        c.set(x, y + 1, spark);
    }
    return c.image();
}

QImage groundTile(int width, int height, int variant)
{
    static const Rgb soil[4] = {{86, 120, 52}, {128, 100, 70}, {150, 140, 110}, {70, 90, 100}};
    const Rgb base = soil[((variant % 4) + 4) % 4];
    Canvas c(width, height);
    Lcg rng(quint32(variant * 7919 + width * 31 + height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Inside the diamond whose corners touch the middle of each edge.
            if (std::abs(2 * x - width + 1) * height + std::abs(2 * y - height + 1) * width >
                width * height)
                continue;
            const int grain = rng.next(49) - 24;
            const int patch = ((x / 6 + y / 4) % 3) * 10;
            c.set(x, y, rgb565({base.r + grain + patch, base.g + grain, base.b + grain - patch}));
        }
    return c.image();
}

QImage scene(int width, int height)
{
    Canvas c(width, height);
    Lcg rng(quint32(width * 131 + height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Grass with soft patches, pebbles here and there.
            const int patch = ((x / 24 + y / 16) % 4) * 8 + ((x / 7 + y / 5) % 3) * 4;
            const int grain = rng.next(33) - 16;
            Rgb colour{60 + patch + grain, 110 + patch + grain, 40 + grain};
            if (rng.next(400) == 0)
                colour = {170, 165, 150};
            c.set(x, y, rgb565(colour));
        }
    int k = 0;
    for (int y = 20; y + 128 < height; y += 150)
        for (int x = 15; x + 96 < width; x += 130, ++k) {
            const QImage figure = (k % 3 == 2) ? burst(96, k % 6) : walker(96, 128, k % 8, k % 3);
            for (int fy = 0; fy < figure.height(); ++fy) {
                const auto *line = reinterpret_cast<const quint16 *>(figure.constScanLine(fy));
                for (int fx = 0; fx < figure.width(); ++fx)
                    if (line[fx])
                        c.set(x + fx, y + fy, line[fx]);
            }
        }
    return c.image();
}

QVector<Image> sampleImages()
{
    QVector<Image> images;
    // 0-23: a figure walking in eight directions, three steps each, anchored at its feet.
    for (int direction = 0; direction < 8; ++direction)
        for (int frame = 0; frame < 3; ++frame)
            images.append({walker(48, 72, direction, frame), qint16(-24 + frame - 1), -68});
    // 24-29: a spell effect growing frame by frame, centred above the anchor.
    for (int frame = 0; frame < 6; ++frame) {
        const int size = 24 + 12 * frame;
        images.append({burst(size, frame), qint16(-size / 2), qint16(-size / 2 - 20)});
    }
    // 30: an image without pixels that still carries a placement.
    images.append({QImage(), 5, -5});
    // 31-33: small ones; 33 is stored, not deflated. Widths stay multiples of 4: a compressed
    // record keeps only width x height pixels of its rounded rows, so any other width would
    // lose the end of the top row.
    images.append({walker(12, 27, 2, 1), -6, -25});
    images.append({burst(32, 2), -16, -36});
    images.append({walker(36, 45, 5, 0), -18, -42, 0});
    // 34-36: ground tiles.
    for (int variant = 0; variant < 3; ++variant)
        images.append({groundTile(48, 32, variant), -24, -16});
    // 37: a large figure.
    images.append({walker(96, 128, 1, 1), -48, -122});
    // 38, 39: a flat tile and the smallest spark.
    images.append({groundTile(64, 31, 3), -32, -15});
    images.append({burst(8, 0), -4, -4});
    return images;
}

Files makeSampleLibrary()
{
    using namespace wilfixture;
    LibraryBuilder b;
    // A 6 x 6 x 6 colour cube (entry 0 black) and 40 greys: enough for pictures brought in
    // through the palette to keep their colours.
    QVector<QRgb> palette;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int bl = 0; bl < 6; ++bl)
                palette << qRgb(r * 51, g * 51, bl * 51);
    for (int i = 0; i < 40; ++i)
        palette << qRgb(6 + i * 6, 6 + i * 6, 6 + i * 6);
    b.setPalette(palette);
    for (const Image &i : sampleImages())
        b.add(i.image.isNull() ? compressedEmptyRecord(0, 0, i.px, i.py)
                               : compressedRecord(i.image, i.px, i.py, i.method));
    return {b.library(), b.index()};
}

} // namespace sample
