#pragma once
// Libraries and picture folders for the benchmarks, written directly (no test framework).

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>
#include <functional>

namespace benchlibrary {

// 256 colours like a game palette: system colours, then ramps of many hues and greys.
QVector<QRgb> gamePalette();

// A sprite: a shaded figure on black (the transparent colour); `seed` varies hue and shape.
QImage sprite(int width, int height, quint32 seed);

// The compressed record of an image (16-byte header, method 8, CRC-32, raw deflate).
QByteArray compressedRecord(const QImage &image, qint16 px, qint16 py);

// Writes `folder`/bench.wil and bench.WIX with the records `record(i)` for i < count; returns
// the library's path, empty on failure. Records are produced one at a time, so a library of
// any size needs little memory.
QString writeLibrary(const QString &folder, const QVector<QRgb> &palette, int count,
                     const std::function<QByteArray(int)> &record);

} // namespace benchlibrary
