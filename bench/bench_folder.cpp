// Picture folders at speed: batch export of 10,000 sprites (against decoding alone plus
// writing the same bytes), the palette mapping of append, the append of 1,000 bitmaps, and the
// insert of one picture before image 0 of a 1 GB library (against dd of the tail).
//
//     build/bench/bench_folder
//     WIL_BENCH_DIR=/dev/shm build/bench/bench_folder      (files in memory: steadier figures)
//     WIL_BENCH_1GB=1 build/bench/bench_folder --benchmark_filter=Insert

#include "addpic.h"
#include "fileio.h"
#include "benchlibrary.h"
#include "mywil.h"
#include "outpic.h"
#include "paletteimage.h"
#include "pictureloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

constexpr int SpriteWidth = 96;
constexpr int SpriteHeight = 128;

// Under WIL_BENCH_DIR when set (a memory file system such as /dev/shm takes the disk, and the
// other users of a shared one, out of the figures), else the temporary folder.
QTemporaryDir &scratch()
{
    static QTemporaryDir dir([] {
        const QString base = qEnvironmentVariable("WIL_BENCH_DIR", QDir::tempPath());
        return base + QStringLiteral("/wilbench-XXXXXX");
    }());
    return dir;
}

bool openWil(TWIL &wil, const QString &path)
{
    wil.Close();
    wil.FileName = path;
    wil.Open();
    return wil.isOpen();
}

// 10,000 compressed sprites (64 distinct ones, cycled).
const QString &exportLibrary()
{
    static const QString path = [] {
        const QString folder = scratch().filePath(QStringLiteral("export"));
        QDir().mkpath(folder);
        QVector<QByteArray> records;
        for (int i = 0; i < 64; ++i)
            records << benchlibrary::compressedRecord(
                benchlibrary::sprite(SpriteWidth, SpriteHeight, quint32(i)), qint16(i - 40),
                qint16(-i));
        return benchlibrary::writeLibrary(folder, benchlibrary::gamePalette(), 10000,
                                          [&](int i) { return records[i % 64]; });
    }();
    return path;
}

void BM_Export10000Sprites(benchmark::State &state)
{
    TWIL wil;
    if (!openWil(wil, exportLibrary())) {
        state.SkipWithError("library not written");
        return;
    }
    const QString out = scratch().filePath(QStringLiteral("export-out"));
    QDir().mkpath(out);
    for (auto _ : state) {
        QString error;
        if (!outpic::exportPictures(wil, out, {0, wil.ImageCount() - 1}, {}, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
    }
    state.counters["images/s"] = benchmark::Counter(
        double(wil.ImageCount()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Export10000Sprites)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// What export cannot beat: decoding every image and writing files of the same sizes.
void BM_DecodeAndWriteSameBytes(benchmark::State &state)
{
    TWIL wil;
    if (!openWil(wil, exportLibrary())) {
        state.SkipWithError("library not written");
        return;
    }
    const QString out = scratch().filePath(QStringLiteral("baseline-out"));
    QDir().mkpath(out + QStringLiteral("/Placements"));
    const QByteArray bitmap(66 + SpriteWidth * SpriteHeight * 2, 'b');
    const QByteArray placement("-12\r\n34\r\n");
    for (auto _ : state) {
        for (int n = 0; n < wil.ImageCount(); ++n) {
            benchmark::DoNotOptimize(wil.LoadBitmap(n).constBits());
            QFile b(out + u'/' + outpic::pictureFileName(n));
            if (!b.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                b.write(bitmap) != bitmap.size())
                state.SkipWithError("write failed");
            b.close();
            QFile p(out + QStringLiteral("/Placements/") + outpic::placementFileName(n));
            if (!p.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                p.write(placement) != placement.size())
                state.SkipWithError("write failed");
        }
    }
    state.counters["images/s"] = benchmark::Counter(
        double(wil.ImageCount()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeAndWriteSameBytes)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// 1,000 24-bit 96 x 128 bitmaps, all different.
const QString &pictureFolder()
{
    static const QString folder = [] {
        const QString f = scratch().filePath(QStringLiteral("pictures"));
        QDir().mkpath(f + QStringLiteral("/Placements"));
        for (int i = 0; i < 1000; ++i) {
            benchlibrary::sprite(SpriteWidth, SpriteHeight, quint32(1000 + i))
                .convertToFormat(QImage::Format_RGB888)
                .save(f + u'/' + outpic::pictureFileName(i), "BMP");
            QFile p(f + QStringLiteral("/Placements/") + outpic::placementFileName(i));
            if (p.open(QIODevice::WriteOnly))
                p.write(outpic::placementText(i % 50, -(i % 70)));
        }
        return f;
    }();
    return folder;
}

// The palette mapping alone, with a cache that starts empty for each batch of 1,000.
void BM_PaletteMapping(benchmark::State &state)
{
    const outpic::PictureFolder folder(pictureFolder());
    QVector<QImage> pictures;
    for (const QString &name : folder.pictures())
        pictures << loadPicture(folder.filePath(name)).image;
    const QVector<QRgb> palette = benchlibrary::gamePalette();
    qint64 pixels = 0;
    for (auto _ : state) {
        PaletteImage image(palette);
        for (const QImage &p : pictures) {
            benchmark::DoNotOptimize(image.makeRecord(p, 1, 2, false).constData());
            pixels += qint64(p.width()) * p.height();
        }
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PaletteMapping)->Unit(benchmark::kMillisecond)->UseRealTime();

// The worst case: every pixel a colour not seen before, so each one is searched (in the
// candidates of its colour cell) rather than found in the cache.
void BM_PaletteMappingAllNewColours(benchmark::State &state)
{
    const QVector<QRgb> palette = benchlibrary::gamePalette();
    QImage noise(SpriteWidth, SpriteHeight, QImage::Format_RGB32);
    qint64 pixels = 0;
    quint32 colour = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PaletteImage image(palette);
        state.ResumeTiming();
        for (int picture = 0; picture < 100; ++picture) {
            state.PauseTiming();
            // Consecutive colours scattered over the cube by a multiplicative step.
            for (int y = 0; y < SpriteHeight; ++y) {
                auto *line = reinterpret_cast<QRgb *>(noise.scanLine(y));
                for (int x = 0; x < SpriteWidth; ++x)
                    line[x] = 0xFF000000u | ((colour++ * 2654435761u) >> 8);
            }
            state.ResumeTiming();
            benchmark::DoNotOptimize(image.makeRecord(noise, 0, 0, false).constData());
            pixels += qint64(SpriteWidth) * SpriteHeight;
        }
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PaletteMappingAllNewColours)->Unit(benchmark::kMillisecond)->UseRealTime();

// Whole append: listing, loading, mapping, writing, reopening.
void BM_Append1000Bitmaps(benchmark::State &state)
{
    const QString folderPath = pictureFolder();
    const QString libFolder = scratch().filePath(QStringLiteral("append"));
    QDir().mkpath(libFolder);
    const QVector<QByteArray> records{
        benchlibrary::compressedRecord(benchlibrary::sprite(SpriteWidth, SpriteHeight, 1), 0, 0)};
    const QString pristine = benchlibrary::writeLibrary(libFolder, benchlibrary::gamePalette(), 10,
                                                        [&](int) { return records[0]; });
    const QByteArray wilBytes = [&] {
        QFile f(pristine);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QByteArray wixBytes = [&] {
        QFile f(libFolder + QStringLiteral("/bench.WIX"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    TWIL wil;
    qint64 pixels = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto &[name, bytes] :
             {std::pair{pristine, wilBytes}, std::pair{libFolder + "/bench.WIX", wixBytes}}) {
            QFile f(name);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(bytes);
        }
        if (!openWil(wil, pristine)) {
            state.SkipWithError("library did not open");
            return;
        }
        state.ResumeTiming();
        const outpic::PictureFolder folder(folderPath);
        QString error;
        if (!addpic::Add(wil, folder, folder.pictures(), {}, {}, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        pixels += qint64(folder.pictures().size()) * SpriteWidth * SpriteHeight;
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
    state.counters["pictures/s"] = benchmark::Counter(double(pixels) / (SpriteWidth * SpriteHeight),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Append1000Bitmaps)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

double runDd(const QStringList &args)
{
    QElapsedTimer timer;
    timer.start();
    QProcess dd;
    dd.start(QStringLiteral("dd"), args);
    if (!dd.waitForFinished(-1) || dd.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

// One picture inserted before image 0 of a 1 GB library: the whole library moves. Compared
// with dd reading the same tail and writing it once to another file.
void BM_Insert1GB(benchmark::State &state)
{
    if (qEnvironmentVariableIntValue("WIL_BENCH_1GB") != 1) {
        state.SkipWithError("opt-in: set WIL_BENCH_1GB=1");
        return;
    }
    const qint64 target = qint64(1) << 30;
    if (QStorageInfo(scratch().path()).bytesAvailable() < 3 * target) {
        state.SkipWithError("less than 3 GB free beside the temporary folder");
        return;
    }
    const QString libFolder = scratch().filePath(QStringLiteral("big"));
    QDir().mkpath(libFolder);
    // 8-bit records of 96 x 128, as the editor writes them.
    QByteArray record(8 + SpriteWidth * SpriteHeight, '\x07');
    qToLittleEndian<quint16>(SpriteWidth, record.data());
    qToLittleEndian<quint16>(SpriteHeight, record.data() + 2);
    qToLittleEndian<qint16>(0, record.data() + 4);
    qToLittleEndian<qint16>(0, record.data() + 6);
    const int count = int(target / record.size());
    const QString path = benchlibrary::writeLibrary(libFolder, benchlibrary::gamePalette(), count,
                                                    [&](int) { return record; });
    const QString one = scratch().filePath(QStringLiteral("one"));
    QDir().mkpath(one);
    benchlibrary::sprite(SpriteWidth, SpriteHeight, 5).save(one + QStringLiteral("/a.bmp"), "BMP");
    const outpic::PictureFolder folder(one);
    const qint64 tail = QFileInfo(path).size() - 1080;
    // The fixture's own writing must reach the disk first: the edit flushes the library, and
    // would otherwise be timed writing out the whole fixture as well.
    for (const QString &file : {path, indexFileNameFor(path)}) {
        QFile f(file);
        QString error;
        if (!f.open(QIODevice::ReadWrite) || !fileio::flush(f, &error)) {
            state.SkipWithError("the fixture cannot be flushed");
            return;
        }
    }

    TWIL wil;
    if (!openWil(wil, path)) {
        state.SkipWithError("library did not open");
        return;
    }
    double insertSeconds = 0;
    int inserts = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        if (!addpic::InSert(wil, folder, folder.pictures(), {}, 0, {}, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        insertSeconds += seconds;
        ++inserts;
        state.SetIterationTime(seconds);
    }
    insertSeconds /= qMax(inserts, 1);
    const QString copy = scratch().filePath(QStringLiteral("tail.copy"));
    const QStringList ddArgs{
        QStringLiteral("if=") + path, QStringLiteral("of=") + copy,
        QStringLiteral("bs=8M"),      QStringLiteral("iflag=skip_bytes,count_bytes"),
        QStringLiteral("skip=1080"),  QStringLiteral("count=%1").arg(tail),
        QStringLiteral("status=none")};
    // The middle of three runs: a disk shared with other work gives scattered single figures.
    const auto medianDd = [&](const QStringList &args) {
        std::vector<double> runs;
        for (int i = 0; i < 3; ++i) {
            runs.push_back(runDd(args));
            QFile::remove(copy);
        }
        std::sort(runs.begin(), runs.end());
        return runs[1];
    };
    const double dd = medianDd(ddArgs);
    const double ddSync = medianDd(ddArgs + QStringList{QStringLiteral("conv=fsync")});
    state.counters["tail_MB"] = double(tail) / 1e6;
    state.counters["insert_s"] = insertSeconds;
    state.counters["dd_s"] = dd;
    state.counters["dd_fsync_s"] = ddSync;
    state.counters["insert/dd"] = dd > 0 ? insertSeconds / dd : 0;
    state.counters["insert/dd_fsync"] = ddSync > 0 ? insertSeconds / ddSync : 0;
    wil.Close();
    QFile::remove(path);
}
BENCHMARK(BM_Insert1GB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
