// The committed sample library: its generator still writes it byte for byte, and every wiltool
// command works on it.
#include "samplelibrary.h"
#include "wilfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace wilfixture;

namespace {

QString samplePath(const char *name)
{
    return QDir(QStringLiteral(WIL_SAMPLES_DIR)).filePath(QLatin1String(name));
}

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run wiltool(const QStringList &args)
{
    QProcess p;
    p.start(qEnvironmentVariable("WILTOOL"), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Where two byte arrays first differ, for a failure message that says what to look at.
QByteArray firstDifference(const QByteArray &a, const QByteArray &b)
{
    qsizetype i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return QByteArray("sizes ") + QByteArray::number(a.size()) + " and " +
           QByteArray::number(b.size()) + ", first difference at byte " + QByteArray::number(i) +
           "; regenerate with: make_sample samples";
}

} // namespace

class TestSample : public QObject
{
    Q_OBJECT
  private slots:
    void generatorWritesTheCommittedFiles();
    void listsEveryImage();
    void rendersWhatWasDrawn();
    void editsWork();
};

void TestSample::generatorWritesTheCommittedFiles()
{
    const sample::Files files = sample::makeSampleLibrary();
    const QByteArray library = readFile(samplePath("sample.wil"));
    const QByteArray index = readFile(samplePath("sample.WIX"));
    QVERIFY2(library == files.library, firstDifference(library, files.library).constData());
    QVERIFY2(index == files.index, firstDifference(index, files.index).constData());
}

void TestSample::listsEveryImage()
{
    const QVector<sample::Image> images = sample::sampleImages();
    const QByteArray index = readFile(samplePath("sample.WIX"));
    const Run r =
        wiltool({QStringLiteral("info"), samplePath("sample.wil"), QStringLiteral("--list")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4 + images.size());
    QCOMPARE(lines[0], QStringLiteral("images: %1").arg(images.size()));
    QCOMPARE(lines[3], QStringLiteral("table: 48"));
    bool sawEmpty = false;
    for (int n = 0; n < images.size(); ++n) {
        const sample::Image &i = images[n];
        sawEmpty |= i.image.isNull();
        QCOMPARE(lines[4 + n], QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
                                   .arg(n)
                                   .arg(i.image.width())
                                   .arg(i.image.height())
                                   .arg(i.px)
                                   .arg(i.py)
                                   .arg(int32At(index, 48 + 4 * n)));
    }
    QVERIFY(sawEmpty);
}

void TestSample::rendersWhatWasDrawn()
{
    QTemporaryDir dir;
    const QVector<sample::Image> images = sample::sampleImages();
    for (int n = 0; n < images.size(); ++n) {
        const QString out = dir.filePath(QStringLiteral("%1.bmp").arg(n));
        const Run r =
            wiltool({QStringLiteral("render"), samplePath("sample.wil"), QString::number(n), out});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        if (images[n].image.isNull())
            QCOMPARE(QFileInfo(out).size(), 0);
        else
            QCOMPARE(QImage(out).convertToFormat(QImage::Format_RGB16), images[n].image);
    }
}

void TestSample::editsWork()
{
    QTemporaryDir dir;
    const QString lib = dir.filePath(QStringLiteral("sample.wil"));
    QVERIFY(QFile::copy(samplePath("sample.wil"), lib));
    QVERIFY(QFile::copy(samplePath("sample.WIX"), dir.filePath(QStringLiteral("sample.WIX"))));
    QFile::setPermissions(lib, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(dir.filePath(QStringLiteral("sample.WIX")),
                          QFile::ReadOwner | QFile::WriteOwner);
    const QVector<sample::Image> images = sample::sampleImages();
    const QString pic = dir.filePath(QStringLiteral("p.bmp"));
    QVERIFY(sample::walker(40, 60, 3, 2).save(pic, "BMP"));
    const QString count = QString::number(images.size());

    const QList<QStringList> steps{
        {QStringLiteral("setxy"), lib, QStringLiteral("0"), QStringLiteral("-7"),
         QStringLiteral("-70")},
        {QStringLiteral("replace"), lib, QStringLiteral("5"), pic},
        {QStringLiteral("append"), lib, pic, QStringLiteral("--xy"), QStringLiteral("-20,-58")},
        {QStringLiteral("render"), lib, count, dir.filePath(QStringLiteral("new.bmp"))},
    };
    for (const QStringList &step : steps) {
        const Run r = wiltool(step);
        QVERIFY2(r.code == 0, qPrintable(step.first() + QStringLiteral(": ") + r.err));
    }
    const Run r = wiltool({QStringLiteral("info"), lib, QStringLiteral("--list")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4 + images.size() + 1);
    QVERIFY(lines[4].startsWith(QStringLiteral("0\t48\t72\t-7\t-70\t")));
    QVERIFY(lines[4 + 5].startsWith(
        QStringLiteral("5\t40\t60\t%1\t%2\t").arg(images[5].px).arg(images[5].py)));
    QVERIFY(lines.last().startsWith(count + QStringLiteral("\t40\t60\t-20\t-58\t")));
    QCOMPARE(QImage(dir.filePath(QStringLiteral("new.bmp"))).convertToFormat(QImage::Format_RGB16),
             sample::walker(40, 60, 3, 2));
}

QTEST_GUILESS_MAIN(TestSample)
#include "tst_sample.moc"
