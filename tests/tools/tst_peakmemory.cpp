// wiltool's reading commands on libraries whose records claim far more than any image needs,
// run as child processes: the peak memory of each stays under 512 MB, and an image beyond
// 8192 x 8192 is reported as too large. Libraries of gigabytes are sparse files: they cost
// the disk nothing.
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <zlib.h>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
extern char **environ;
#endif

using namespace wilfixture;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr qint64 kBudgetKiB = 512 * 1024;

// A raw deflate stream of `chunks` x 16 MiB of zero bytes, made without deflating them all:
// one chunk flushed to a byte boundary repeats, since every back reference in it finds zeros
// whichever chunk came before, and an empty final block closes the stream.
QByteArray deflatedZeros(int chunks)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    const QByteArray zeros(16 << 20, '\0');
    QByteArray chunk(1 << 20, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
    z.avail_in = uInt(zeros.size());
    z.next_out = reinterpret_cast<Bytef *>(chunk.data());
    z.avail_out = uInt(chunk.size());
    deflate(&z, Z_SYNC_FLUSH);
    chunk.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return chunk.repeated(chunks) + QByteArray("\x03\x00", 2);
}

QByteArray recordHeader(int width, int height, quint32 blockLength)
{
    QByteArray h(16, '\0');
    qToLittleEndian<quint16>(quint16(width), h.data());
    qToLittleEndian<quint16>(quint16(height), h.data() + 2);
    qToLittleEndian<quint32>(blockLength, h.data() + 12);
    return h;
}

// A compressed record; with `payload` shorter than the block length, the file grows sparse to
// hold the rest as zeros.
QByteArray compressedHead(int width, int height, quint16 method, quint32 blockLength,
                          const QByteArray &payload)
{
    QByteArray block(6, '\0');
    qToLittleEndian<quint16>(method, block.data());
    return recordHeader(width, height, blockLength) + block + payload;
}

struct Result
{
    int exitCode = -1;
    qint64 peakKiB = -1;
    QByteArray output; // stdout and stderr
};

#ifdef Q_OS_LINUX
// The child's peak resident size from wait4. Linux carries the spawning process's high-water
// mark into the child at exec, so the figure errs high by at most this test's own few tens of
// megabytes, never low.
Result runWiltool(const QStringList &args, const QString &outputFile)
{
    Result r;
    QList<QByteArray> argv8{qEnvironmentVariable("WILTOOL").toLocal8Bit()};
    for (const QString &a : args)
        argv8 << a.toLocal8Bit();
    QList<char *> argv;
    for (QByteArray &a : argv8)
        argv << a.data();
    argv << nullptr;
    const QByteArray out = outputFile.toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return r;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peakKiB = usage.ru_maxrss;
    r.output = readFile(outputFile);
    return r;
}
#endif

} // namespace

class TestPeakMemory : public QObject
{
    Q_OBJECT
  private slots:
    void commands_data();
    void commands();
};

void TestPeakMemory::commands_data()
{
    QTest::addColumn<QByteArray>("record"); // written at 1080, then the file grows to `size`
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("tooLarge"); // what `info --list` says, empty when it decodes

    const int side = 8192;
    const quint32 sequence = quint32(side) * side * 2;
    {
        // 2 MB of deflate data that inflate to 2 GiB: 32767 x 32767 pixels.
        const QByteArray zeros = deflatedZeros(128);
        QByteArray r = compressedHead(32767, 32767, 8, quint32(6 + zeros.size()), zeros);
        QTest::newRow("32767 x 32767 deflated") << r << qint64(1080 + r.size())
                                                << "32767 x 32767 pixels";
    }
    QTest::newRow("block length 0xFFFFFFFF in a 4 GiB file")
        << compressedHead(4, 4, 8, 0xFFFFFFFFu, {}) << qint64(1080 + 16 + 0xFFFFFFFFll)
        << QString();
    QTest::newRow("stored block length 0xFFFFFFFF in a 4 GiB file")
        << compressedHead(4, 4, 0, 0xFFFFFFFFu, {}) << qint64(1080 + 16 + 0xFFFFFFFFll)
        << QString();
    {
        const QByteArray zeros = deflatedZeros(8);
        QByteArray r = compressedHead(side, side, 8, quint32(6 + zeros.size()), zeros);
        QTest::newRow("8192 x 8192 deflated") << r << qint64(1080 + r.size()) << QString();
    }
    QTest::newRow("8192 x 8192 stored")
        << compressedHead(side, side, 0, 6 + sequence, {}) << qint64(1080 + 22 + sequence)
        << QString();
    QTest::newRow("16-bit 8192 x 8192") << recordHeader(side, side, 0).left(8)
                                       << qint64(1080 + 8 + qint64(sequence)) << QString();
    QTest::newRow("16-bit 65532 x 32767")
        << recordHeader(65532, 32767, 0).left(8) << qint64(1080 + 8 + 65532ll * 32767 * 2)
        << "65532 x 32767 pixels";
}

void TestPeakMemory::commands()
{
#ifndef Q_OS_LINUX
    QSKIP("peak memory is read from wait4");
#else
    if (kSanitized)
        QSKIP("the sanitizer's own memory would be measured");
    QFETCH(QByteArray, record);
    QFETCH(qint64, size);
    QFETCH(QString, tooLarge);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    LibraryBuilder b;
    b.add(record);
    const QString lib = b.write(dir.path());
    {
        QFile f(lib);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(size)); // sparse
    }
    const QString exportDir = dir.filePath(QStringLiteral("export"));
    QVERIFY(QDir().mkpath(exportDir));
    const QString output = dir.filePath(QStringLiteral("output.txt"));
    const QList<QStringList> commands{
        {"info", lib, "--list"},
        {"render", lib, "0", dir.filePath(QStringLiteral("0.bmp"))},
        {"export", lib, exportDir},
        {"check", lib},
    };
    for (const QStringList &command : commands) {
        const Result r = runWiltool(command, output);
        const QString what = command.first() + QStringLiteral(": ") + QString::fromLocal8Bit(r.output.left(600));
        QVERIFY2(r.exitCode == 0 || r.exitCode == 1, qPrintable(what));
        QVERIFY2(r.peakKiB > 0 && r.peakKiB < kBudgetKiB,
                 qPrintable(QStringLiteral("%1 KiB at peak; %2").arg(r.peakKiB).arg(what)));
        qInfo("%s: %lld KiB at peak", qPrintable(command.first()), r.peakKiB);
        if (!tooLarge.isEmpty() && command.first() != QStringLiteral("export"))
            QVERIFY2(r.output.contains(tooLarge.toUtf8()), qPrintable(what));
        QFile::remove(dir.filePath(QStringLiteral("0.bmp")));
        QDir(exportDir).removeRecursively();
        QDir().mkpath(exportDir);
    }
#endif
}

QTEST_GUILESS_MAIN(TestPeakMemory)
#include "tst_peakmemory.moc"
