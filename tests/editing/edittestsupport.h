#pragma once
// What the editing tests share: sample images, a library built from them, the pair of files
// as bytes, and failures injected at the k-th file operation.

#include "fakeeditorhost.h"
#include "fileio.h"
#include "mywil.h"
#include "wilfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <QStringList>
#include <QTimer>

namespace edittest {

struct Sample
{
    QImage image; // RGB16, no black pixel
    qint16 px = 0;
    qint16 py = 0;
};

// n images of differing sizes (widths not all multiples of 4) and placements.
inline QList<Sample> samples(int n)
{
    QList<Sample> out;
    for (int i = 0; i < n; ++i)
        out.append({wilfixture::patternImage(5 + 3 * i, 4 + i), qint16(-3 * i), qint16(7 * i - 2)});
    return out;
}

// Every image of the open library as it decodes, with its placement: what a later read-back
// is compared with.
inline QList<Sample> decodeAll(TWIL &wil)
{
    QList<Sample> out;
    for (int n = 0; n < wil.ImageCount(); ++n) {
        const QImage image = wil.LoadBitmap(n);
        out.append({image, qint16(wil.px), qint16(wil.py)});
    }
    return out;
}

// The image a picture becomes in a record: its width rounded up to a multiple of 4 with black
// columns, in RGB565.
inline QImage padded(const QImage &image)
{
    QImage out(wilfixture::roundedWidth(image.width()), image.height(), QImage::Format_RGB32);
    out.fill(Qt::black);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.setPixel(x, y, image.pixel(x, y));
    return out.convertToFormat(QImage::Format_RGB16);
}

// The two files of a library, byte for byte.
struct Pair
{
    QByteArray library;
    QByteArray index;
    bool operator==(const Pair &o) const { return library == o.library && index == o.index; }
};

inline Pair readPair(const QString &libraryPath, const QString &indexPath)
{
    return {wilfixture::readFile(libraryPath), wilfixture::readFile(indexPath)};
}

inline QString indexOf(const QString &libraryPath)
{
    const QFileInfo info(libraryPath);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
           QStringLiteral(".WIX");
}

// Everything in a folder, hidden entries included (a scratch folder left behind shows here).
inline QStringList entriesOf(const QString &folder)
{
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    return names;
}

// Whether the last box shown was the error box.
inline bool lastIsError(const FakeEditorHost &host)
{
    return !host.scripted.messages.isEmpty() &&
           host.scripted.messages.last().caption == FakeEditorHost::errorCaption();
}

// What a batch window showed while its run was under way, seen among the events the run lets
// through: whether the run was caught at all, and what `probe` returned then.
struct WhileRunning
{
    bool seen = false;
    bool probed = true;
};

// Starts the window's run; while it runs, probes the window, clicks start again and asks the
// window to close, both of which it must ignore.
template <typename Form, typename Probe> WhileRunning startAndProbe(Form &form, Probe probe)
{
    WhileRunning result;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] {
        if (!form.isRunning() || result.seen)
            return;
        result.seen = true;
        result.probed = probe();
        form.suiButton2Click(); // must not start a second run
        form.reject();          // nor close the window under the running one
    });
    timer.start();
    form.suiButton2->click();
    timer.stop();
    return result;
}

// Makes the k-th file operation (1-based) fail while it lives; counts them all.
class FailAt
{
  public:
    explicit FailAt(int k) : m_k(k)
    {
        fileio::setFaultHook([this](fileio::Op, const QString &) {
            return ++m_seen == m_k ? fileio::Fault::Fail : fileio::Fault::None;
        });
    }
    ~FailAt() { fileio::setFaultHook({}); }
    FailAt(const FailAt &) = delete;
    FailAt &operator=(const FailAt &) = delete;
    bool triggered() const { return m_seen >= m_k; }
    int seen() const { return m_seen; }

  private:
    int m_k;
    int m_seen = 0;
};

} // namespace edittest
