#include "pictureloader.h"

#include <QFileInfo>
#include <QImageReader>

LoadedPicture loadPicture(const QString &path)
{
    LoadedPicture result;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        result.error = QStringLiteral("%1: no such file").arg(path);
        return result;
    }
    if (info.size() == 0) {
        result.status = LoadedPicture::Empty;
        return result;
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    // A corrupt header must not make us allocate gigabytes.
    QImageReader::setAllocationLimit(1024);
    QImage image = reader.read();
    if (image.isNull()) {
        result.error = QStringLiteral("%1: %2").arg(path, reader.errorString());
        return result;
    }
    if (image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(line[x]) == 0)
                    line[x] = qRgb(0, 0, 0);
        }
    }
    image.convertTo(QImage::Format_RGB32);
    result.status = LoadedPicture::Loaded;
    result.image = std::move(image);
    return result;
}

QImage blackPixel()
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 0));
    return image;
}
