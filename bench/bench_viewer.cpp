// FillInfo of one large image, and one full repaint of a screenful of thumbnails. Run headless:
//   build/bench/bench_viewer
#include "mail.h"
#include "mywil.h"
#include "scripteddialogs.h"
#include "thumbnailgrid.h"
#include "wilfixture.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSplitter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// A shown main window with a library of `count` images of `size` open.
struct OpenWindow
{
    OpenWindow(int count, QSize size)
    {
        wilfixture::LibraryBuilder builder;
        for (int i = 0; i < count; ++i) {
            QImage image = wilfixture::patternImage(size.width(), size.height());
            image.setPixel(0, 0, qRgb(255, i % 256, 0));
            builder.add(wilfixture::compressedRecord(image, qint16(-i), qint16(i)));
        }
        const QString library = dir.filePath(QStringLiteral("bench.wil"));
        ok = wilfixture::writeFile(library, builder.library()) &&
             wilfixture::writeFile(dir.filePath(QStringLiteral("bench.WIX")), builder.index());
        window.show();
        QApplication::processEvents();
        ok = ok && window.openLibrary(library);
    }
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    TFormMain window{dialogs};
    bool ok = false;
};

void BM_FillInfo800x600(benchmark::State &state)
{
    OpenWindow f(2, {800, 600});
    if (!f.ok) {
        state.SkipWithError("library not opened");
        return;
    }
    for (auto _ : state)
        f.window.FillInfo(0);
}
BENCHMARK(BM_FillInfo800x600)->Unit(benchmark::kMillisecond);

// The decode alone, for comparison: what FillInfo adds is the rest.
void BM_Decode800x600(benchmark::State &state)
{
    OpenWindow f(2, {800, 600});
    if (!f.ok) {
        state.SkipWithError("library not opened");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(f.window.Wil->GetBitmap(0));
}
BENCHMARK(BM_Decode800x600)->Unit(benchmark::kMillisecond);

void BM_GridRepaint24Thumbnails(benchmark::State &state)
{
    OpenWindow f(60, {96, 128});
    if (!f.ok) {
        state.SkipWithError("library not opened");
        return;
    }
    // Exactly four rows of six cells in sight.
    ThumbnailGrid *grid = f.window.DrawGrid1;
    const int frames = grid->height() - grid->viewport()->height();
    f.window.Splitter1->setSizes({400, 4 * (ThumbnailGrid::CellSize + 1) + frames});
    QApplication::processEvents();
    const QSize area = grid->viewport()->size();
    state.counters["visible_cells"] = double((area.height() / (ThumbnailGrid::CellSize + 1)) *
                                             std::min(6, area.width() / (ThumbnailGrid::CellSize + 1)));
    QImage target(area, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        grid->viewport()->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_GridRepaint24Thumbnails)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
