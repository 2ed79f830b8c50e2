#pragma once
// A main window on scripted dialogs, and libraries written for it into a temporary folder.

#include "imageview.h"
#include "mail.h"
#include "mywil.h"
#include "scripteddialogs.h"
#include "thumbnailgrid.h"
#include "wilfixture.h"

#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct Sprite
{
    QImage image;
    qint16 px = 0;
    qint16 py = 0;
};

inline QImage solidImage(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB16);
    image.fill(color);
    return image;
}

// `count` images of `size`, each a different pattern with no black pixel.
inline QList<Sprite> patternSprites(int count, QSize size = {8, 6})
{
    QList<Sprite> sprites;
    for (int i = 0; i < count; ++i) {
        QImage image = wilfixture::patternImage(size.width(), size.height());
        image.setPixel(0, 0, qRgb(255, (i % 64) * 4, (i / 64 % 32) * 8)); // tells them apart
        sprites.append({image, qint16(-i), qint16(i * 2)});
    }
    return sprites;
}

inline QString writeLibrary(const QString &folder, const QList<Sprite> &sprites,
                            const QString &baseName = QStringLiteral("test"))
{
    wilfixture::LibraryBuilder builder;
    for (const Sprite &s : sprites)
        builder.add(wilfixture::compressedRecord(s.image, s.px, s.py));
    return builder.write(folder, baseName);
}

// What the screen shows for a pixel of an RGB565 image.
inline QRgb shown(const QImage &image, int x, int y)
{
    return image.convertToFormat(QImage::Format_RGB16).pixel(x, y) | 0xff000000u;
}

inline QRgb pixelOf(const QImage &grabbed, int x, int y) { return grabbed.pixel(x, y) | 0xff000000u; }

class Harness
{
public:
    Harness() : window(std::make_unique<TFormMain>(dialogs))
    {
        window->show();
        window->activateWindow(); // the keyboard shortcuts act in the active window
        active = QTest::qWaitForWindowActive(window.get());
    }
    // Writes the sprites as a library and opens it; false when the window did not open it.
    bool open(const QList<Sprite> &sprites)
    {
        path = writeLibrary(dir.path(), sprites);
        return window->openLibrary(path) && window->Wil->isOpen();
    }
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto &m : dialogs.messages)
            texts << m.text;
        return texts;
    }
    // Grabs the view area as the screen shows it.
    QImage grabView() const { return window->PaintBox1->grab().toImage(); }
    QRgb viewBackground() const { return window->PaintBox1->palette().color(QPalette::Window).rgb(); }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFormMain> window;
    QString path;
    bool active = false;
};
