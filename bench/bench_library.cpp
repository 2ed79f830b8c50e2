// Decoding and opening speed of the library component.
//
//   build/bench/bench_library
//
// Full decode (LoadBitmap: seek, read, inflate, into the RGB565 bitmap) is measured against a
// bare inflate of the same pixel blocks; the summary at the end gives decode throughput as a
// share of inflate throughput (target: at least 85%) and the time to open a library whose
// index holds 100,000 entries (target: under 20 ms).

#include "mywil.h"
#include "samplelibrary.h"
#include "wilfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace {

struct Picture
{
    const char *name;
    QImage image;
    QByteArray payload; // the deflate stream of its pixel block
};

// Both libraries are written once into a temporary folder that lives as long as the process.
struct Fixtures
{
    QTemporaryDir dir;
    QString decodeLibrary; // image 0: 96 x 128 sprite, image 1: 800 x 600 scene
    QString bigLibrary;    // 100,000 small sprites
    std::vector<Picture> pictures;

    Fixtures()
    {
        pictures.push_back({"sprite 96x128", sample::walker(96, 128, 1, 1), {}});
        pictures.push_back({"image 800x600", sample::scene(800, 600), {}});
        wilfixture::LibraryBuilder b;
        for (Picture &p : pictures) {
            const QByteArray record = wilfixture::compressedRecord(p.image, -10, -20);
            p.payload = record.mid(16 + 6);
            b.add(record);
        }
        decodeLibrary = writeLibrary(b, QStringLiteral("decode"));

        wilfixture::LibraryBuilder big;
        QVector<QByteArray> records;
        for (int frame = 0; frame < 6; ++frame)
            records << wilfixture::compressedRecord(sample::burst(12, frame), -6, -6);
        for (int n = 0; n < 100000; ++n)
            big.add(records[n % records.size()]);
        bigLibrary = writeLibrary(big, QStringLiteral("big"));
    }

    QString writeLibrary(const wilfixture::LibraryBuilder &b, const QString &name)
    {
        const QString lib = dir.filePath(name + QStringLiteral(".wil"));
        if (!wilfixture::writeFile(lib, b.library()) ||
            !wilfixture::writeFile(dir.filePath(name + QStringLiteral(".WIX")), b.index()))
            std::fprintf(stderr, "cannot write the fixture %s\n", qPrintable(lib));
        return lib;
    }
};

Fixtures &fixtures()
{
    static Fixtures f;
    return f;
}

qint64 pixelBytes(const QImage &image)
{
    return qint64(wilfixture::roundedWidth(image.width())) * image.height() * 2;
}

void BM_FullDecode(benchmark::State &state)
{
    const Picture &p = fixtures().pictures[size_t(state.range(0))];
    TWIL wil;
    wil.FileName = fixtures().decodeLibrary;
    wil.Open();
    const int n = int(state.range(0));
    if (!wil.isOpen() || wil.LoadBitmap(n).size() != p.image.size() || !wil.lastDecodeOk()) {
        state.SkipWithError("the component does not decode the fixture");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(wil.LoadBitmap(n).constBits());
    state.SetBytesProcessed(state.iterations() * pixelBytes(p.image));
    state.SetLabel(p.name);
}

void BM_RawInflate(benchmark::State &state)
{
    const Picture &p = fixtures().pictures[size_t(state.range(0))];
    QByteArray out(pixelBytes(p.image), '\0');
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) {
        state.SkipWithError("inflateInit2");
        return;
    }
    for (auto _ : state) {
        inflateReset(&z);
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(p.payload.constData()));
        z.avail_in = uInt(p.payload.size());
        z.next_out = reinterpret_cast<Bytef *>(out.data());
        z.avail_out = uInt(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END) {
            state.SkipWithError("inflate");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    inflateEnd(&z);
    state.SetBytesProcessed(state.iterations() * pixelBytes(p.image));
    state.SetLabel(p.name);
}

void BM_Open100k(benchmark::State &state)
{
    for (auto _ : state) {
        TWIL wil;
        wil.FileName = fixtures().bigLibrary;
        wil.Open();
        if (wil.ImageCount() != 100000) {
            state.SkipWithError("the component does not open the fixture");
            break;
        }
        benchmark::DoNotOptimize(wil.Offsets.constData());
    }
}

BENCHMARK(BM_FullDecode)->Arg(0)->Arg(1);
BENCHMARK(BM_RawInflate)->Arg(0)->Arg(1);
BENCHMARK(BM_Open100k)->Unit(benchmark::kMillisecond);

// Google Benchmark 1.8 replaced the error flag of a run by a skip state.
template <class R> bool failed(const R &run)
{
    if constexpr (requires { run.error_occurred; })
        return run.error_occurred;
    else
        return bool(run.skipped);
}

// Prints the usual table, then the figures that the targets are about.
class SummaryReporter : public benchmark::ConsoleReporter
{
  public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (failed(run))
                continue;
            // With --benchmark_repetitions the median stands for the benchmark.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median)
                continue;
            if (run.run_type == Run::RT_Iteration && m_fromMedian.count(run.run_name.str()))
                continue;
            if (median)
                m_fromMedian.insert(run.run_name.str());
            // CPU time: the machine may be shared, and the read of a record is system time
            // of this process, so nothing of the decode is left out.
            m_seconds[run.run_name.str()] =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n");
        for (size_t i = 0; i < fixtures().pictures.size(); ++i) {
            const std::string arg = "/" + std::to_string(i);
            const auto decode = m_seconds.find("BM_FullDecode" + arg);
            const auto inflate = m_seconds.find("BM_RawInflate" + arg);
            if (decode == m_seconds.end() || inflate == m_seconds.end())
                continue;
            std::printf("full decode of the %s: %.1f%% of raw inflate throughput "
                        "(CPU %.1f us vs %.1f us; target >= 85%%)\n",
                        fixtures().pictures[i].name, 100.0 * inflate->second / decode->second,
                        decode->second * 1e6, inflate->second * 1e6);
        }
        if (const auto open = m_seconds.find("BM_Open100k"); open != m_seconds.end())
            std::printf("open of a 100,000-entry library: CPU %.2f ms (target < 20 ms)\n",
                        open->second * 1e3);
    }

  private:
    std::map<std::string, double> m_seconds;
    std::set<std::string> m_fromMedian;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    fixtures();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
