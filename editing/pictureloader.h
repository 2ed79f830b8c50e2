#pragma once
// Loads a picture file of any format Qt reads, as the import operations want it: opaque
// pixels, with every fully transparent pixel black (the transparent colour of the libraries).

#include <QImage>
#include <QString>

struct LoadedPicture
{
    enum Status {
        Loaded,    // image holds the picture
        Empty,     // a zero-length file (what export writes for an image without pixels)
        Unreadable // missing, damaged (fewer pixels than its header claims, or a reader
                   // error), larger than 8192 x 8192 or not a picture; error names the file
                   // and says why
    };
    Status status = Unreadable;
    QImage image; // Format_RGB32 when Loaded, null otherwise
    QString error;
};

LoadedPicture loadPicture(const QString &path);

// The stand-in for a picture that cannot be loaded: 1 x 1, black.
QImage blackPixel();
