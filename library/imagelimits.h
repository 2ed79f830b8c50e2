#pragma once
// How large one image may be, for every decoder and for every picture brought into a library.
// No sprite or tile comes near the limit; a header beyond it is forged or damaged, and honouring
// it would cost gigabytes of memory and minutes of inflating.

#include <QString>
#include <QtGlobal>

namespace imagelimits {

// The largest width and the largest height of one image: 8192 x 8192 RGB565 pixels take 128 MiB.
constexpr int kMaxImageSide = 8192;

constexpr bool isTooLarge(qint64 width, qint64 height)
{
    return width > kMaxImageSide || height > kMaxImageSide;
}

// "W x H pixels: beyond the limit of 8192 x 8192", for the messages of the command line.
inline QString tooLargeText(qint64 width, qint64 height)
{
    return QStringLiteral("%1 x %2 pixels: beyond the limit of %3 x %3")
        .arg(width)
        .arg(height)
        .arg(kMaxImageSide);
}

// The longest raw deflate stream that any encoder needs for `n` bytes. zlib's own conservative
// bound (n + n/8 + n/64 + 5, for every level and memory setting, stored blocks included), with
// room for one dynamic Huffman header of the largest kind (under 300 bytes) that an encoder
// other than zlib may spend even on a few bytes.
constexpr qint64 deflateBound(qint64 n)
{
    return n + (n + 7) / 8 + (n + 63) / 64 + 5 + 512;
}

// The longest pixel block (6-byte block header + payload) a compressed record of width x height
// can need: its pixel sequence is at most the rounded width x height x 2 bytes. A longer block
// cannot be one of this image, whatever its payload.
constexpr qint64 maxPixelBlockLength(qint64 width, qint64 height)
{
    const qint64 rounded = 4 * ((8 * width + 31) / 32);
    return 6 + deflateBound(rounded * height * 2);
}

} // namespace imagelimits
