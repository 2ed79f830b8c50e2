// Removing and blanking a range: the operations, and the delete window that runs them.

#include "del.h"
#include "delform.h"
#include "edittestsupport.h"
#include "fakeeditorhost.h"
#include "libraryedit.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace edittest;
using wilfixture::LibraryBuilder;

namespace {

struct Layout
{
    int tableStart = 48;
    int frontSize = 1080;
};

LibraryBuilder builderFor(const QList<Sample> &images, Layout layout, bool compressed = true)
{
    LibraryBuilder b;
    b.setTableStart(layout.tableStart, 0xA5A5A5A5u).setFrontSize(layout.frontSize);
    for (const Sample &s : images)
        b.add(compressed ? wilfixture::compressedRecord(s.image, s.px, s.py)
                         : wilfixture::uncompressed16Record(s.image, s.px, s.py));
    return b;
}

// Every image of the open library decodes to `expected`, in order, with its placement.
void verifyImages(TWIL &wil, const QList<Sample> &expected)
{
    QVERIFY(wil.isOpen());
    QCOMPARE(wil.ImageCount(), int(expected.size()));
    for (int k = 0; k < expected.size(); ++k) {
        const QImage &got = wil.LoadBitmap(k);
        QVERIFY2(wil.lastDecodeOk(), qPrintable(QStringLiteral("image %1").arg(k)));
        QCOMPARE(got, expected[k].image);
        QCOMPARE(wil.px, int(expected[k].px));
        QCOMPARE(wil.py, int(expected[k].py));
    }
}

} // namespace

class TestDel : public QObject
{
    Q_OBJECT
  private slots:
    void remove_data();
    void remove();
    void removeRefusesOverlappingRecords();
    void removeFailureKeepsAPair();
    void blank_data();
    void blank();
    void blankIsAllOrNothing();
    void windowRefuses_data();
    void windowRefuses();
    void windowRemoves();
    void windowBlanks();
    void windowReportsFailure();
    void windowNoticesAnotherProgramsEdit();
};

void TestDel::remove_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("tableStart");
    QTest::addColumn<int>("frontSize");
    QTest::newRow("first of three") << 3 << 0 << 0 << 48 << 1080;
    QTest::newRow("inner range") << 6 << 2 << 3 << 48 << 1080;
    QTest::newRow("single inner") << 6 << 3 << 3 << 48 << 1080;
    QTest::newRow("to the last") << 6 << 4 << 5 << 48 << 1080;
    QTest::newRow("every image") << 4 << 0 << 3 << 48 << 1080;
    QTest::newRow("table at 52") << 5 << 1 << 2 << 52 << 1080;
    QTest::newRow("first two, records from 1084") << 5 << 0 << 1 << 52 << 1084;
    QTest::newRow("every image, records from 1084") << 2 << 0 << 1 << 52 << 1084;
}

// The pair after a removal is exactly the pair built from the remaining records: records keep
// their bytes and close up, the first record starts where the old first one did, the index
// keeps its bytes up to its table, and both counts agree. Then every image reads back.
void TestDel::remove()
{
    QFETCH(int, count);
    QFETCH(int, begin);
    QFETCH(int, end);
    QFETCH(int, tableStart);
    QFETCH(int, frontSize);
    const Layout layout{tableStart, frontSize};
    const QList<Sample> images = samples(count);
    QTemporaryDir dir;
    const QString lib = builderFor(images, layout).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    QList<Sample> kept = decodeAll(host.component);
    kept.remove(begin, end - begin + 1);
    QString error;
    QVERIFY2(Del(host.component, begin, end, &error), qPrintable(error));

    QList<Sample> keptSamples = images;
    keptSamples.remove(begin, end - begin + 1);
    const LibraryBuilder expected = builderFor(keptSamples, layout);
    QCOMPARE(readPair(lib, indexOf(lib)), (Pair{expected.library(), expected.index()}));
    QCOMPARE(entriesOf(dir.path()), QStringList({"test.WIX", "test.wil"}));
    verifyImages(host.component, kept);
}

// An image whose record lies inside the stretch to be removed would be lost with it.
void TestDel::removeRefusesOverlappingRecords()
{
    QTemporaryDir dir;
    LibraryBuilder b = builderFor(samples(4), {});
    b.setEntry(3, b.entries()[1] + 4); // image 3 points into image 1's record
    const QString lib = b.write(dir.path());
    const Pair before = readPair(lib, indexOf(lib));
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    QString error;
    QVERIFY(!Del(host.component, 1, 1, &error));
    QVERIFY(error.contains(QStringLiteral("image 3")));
    QCOMPARE(readPair(lib, indexOf(lib)), before);
    QVERIFY(host.component.isOpen());
}

// A failure at any file operation leaves the old pair or the new pair, never a mix, no
// scratch files, and the component open on whichever pair is there.
void TestDel::removeFailureKeepsAPair()
{
    const QList<Sample> images = samples(5);
    QList<Sample> kept = images;
    kept.remove(1, 2);
    const LibraryBuilder before = builderFor(images, {52, 1080});
    const LibraryBuilder after = builderFor(kept, {52, 1080});
    const Pair oldPair{before.library(), before.index()};
    const Pair newPair{after.library(), after.index()};
    QList<Sample> decoded;
    {
        QTemporaryDir dir;
        FakeEditorHost host;
        QVERIFY(host.open(before.write(dir.path())));
        decoded = decodeAll(host.component);
    }
    QList<Sample> decodedKept = decoded;
    decodedKept.remove(1, 2);

    int points = 0;
    for (int k = 1;; ++k) {
        QTemporaryDir dir;
        const QString lib = before.write(dir.path());
        FakeEditorHost host;
        QVERIFY(host.open(lib));
        QString error;
        bool ok = false;
        bool triggered = false;
        {
            FailAt failure(k);
            ok = Del(host.component, 1, 2, &error);
            triggered = failure.triggered();
        }
        if (!triggered) {
            QVERIFY(ok);
            break;
        }
        ++points;
        const QString where = QStringLiteral("failure at operation %1").arg(k);
        const Pair now = readPair(lib, indexOf(lib));
        QVERIFY2(now == (ok ? newPair : oldPair), qPrintable(where));
        QVERIFY2(ok || !error.isEmpty(), qPrintable(where));
        QCOMPARE(entriesOf(dir.path()), QStringList({"test.WIX", "test.wil"}));
        verifyImages(host.component, ok ? decodedKept : decoded);
    }
    qInfo("%d failure points", points);
    QVERIFY(points >= 4); // writes, flushes and both renames were all tried
}

void TestDel::blank_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    QTest::newRow("inner") << 4 << 1 << 2;
    QTest::newRow("first") << 3 << 0 << 0;
    QTest::newRow("last") << 3 << 2 << 2;
    QTest::newRow("every image") << 3 << 0 << 2;
}

// Blanked images are black, 4 x 1, keep their placement and their number; the others are
// unchanged.
void TestDel::blank()
{
    QFETCH(int, count);
    QFETCH(int, begin);
    QFETCH(int, end);
    QTemporaryDir dir;
    const QList<Sample> images = samples(count);
    const QString lib = builderFor(images, {}).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    QList<Sample> expected = decodeAll(host.component);
    QList<int> steps;
    QString error;
    QVERIFY2(Del1(host.component, begin, end, &error,
                  [&steps](int position, int) { steps.append(position); }),
             qPrintable(error));

    QVERIFY(std::is_sorted(steps.begin(), steps.end()));
    QCOMPARE(steps.first(), 0);
    QCOMPARE(steps.last(), 2 * (end - begin + 1));
    QImage black(4, 1, QImage::Format_RGB16);
    black.fill(0);
    for (int n = begin; n <= end; ++n)
        expected[n].image = black;
    verifyImages(host.component, expected);
    for (int n = begin; n <= end; ++n) {
        const RecordInfo info = host.component.inspectRecord(n);
        QCOMPARE(info.width, 4);
        QCOMPARE(info.height, 1);
    }
}

// The range is blanked as one edit: a failure at any point leaves every image as it was, and a
// blanking that reports success blanked the whole range.
void TestDel::blankIsAllOrNothing()
{
    const QList<Sample> images = samples(4);
    for (int k = 1;; ++k) {
        QTemporaryDir dir;
        const QString lib = builderFor(images, {}).write(dir.path());
        FakeEditorHost host;
        QVERIFY(host.open(lib));
        const QList<Sample> decoded = decodeAll(host.component);
        bool ok = false;
        bool triggered = false;
        {
            FailAt failure(k);
            QString error;
            ok = Del1(host.component, 1, 3, &error);
            triggered = failure.triggered();
        }
        if (!triggered) {
            QVERIFY(ok);
            break;
        }
        const QString where = QStringLiteral("failure at operation %1").arg(k);
        QVERIFY(host.component.isOpen());
        QCOMPARE(host.component.ImageCount(), 4);
        QImage black(4, 1, QImage::Format_RGB16);
        black.fill(0);
        QCOMPARE(host.component.LoadBitmap(0), decoded[0].image);
        int blanked = 0;
        for (int n = 1; n < 4; ++n) {
            const QImage &got = host.component.LoadBitmap(n);
            QVERIFY(host.component.lastDecodeOk());
            if (got == black)
                ++blanked;
            else
                QCOMPARE(got, decoded[n].image);
            QCOMPARE(host.component.px, int(images[n].px));
            QCOMPARE(host.component.py, int(images[n].py));
        }
        QVERIFY2(blanked == (ok ? 3 : 0), qPrintable(where));
    }
}

void TestDel::windowRefuses_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("focus"); // the field refused
    QTest::newRow("begin empty") << true << ""
                                 << "1"
                                 << "editBegin";
    QTest::newRow("begin negative") << true << "-1"
                                    << "1"
                                    << "editBegin";
    QTest::newRow("begin past the last") << true << "3"
                                         << "3"
                                         << "editBegin";
    QTest::newRow("begin with trailing blank") << true << "1 "
                                               << "1"
                                               << "editBegin";
    QTest::newRow("end below begin") << true << "2"
                                     << "1"
                                     << "EditEnd";
    QTest::newRow("end past the last") << true << "0"
                                       << "3"
                                       << "EditEnd";
    QTest::newRow("end not a number") << true << "0"
                                      << "x"
                                      << "EditEnd";
    QTest::newRow("no library open") << false << "0"
                                     << "0"
                                     << "editBegin";
}

void TestDel::windowRefuses()
{
    QFETCH(bool, open);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(QString, focus);
    QTemporaryDir dir;
    const QString lib = builderFor(samples(3), {}).write(dir.path());
    const Pair before = readPair(lib, indexOf(lib));
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    if (!open)
        host.component.Close();
    TFormdel form(host);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.editBegin->setText(begin);
    form.EditEnd->setText(end);
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);

    QCOMPARE(host.scripted.messages.size(), 1);
    QVERIFY(lastIsError(host));
    QCOMPARE(host.scripted.lastMessage(), QStringLiteral("请输入正确的编号"));
    QCOMPARE(form.focusWidget()->objectName(), focus);
    QVERIFY(form.isVisible());
    QCOMPARE(readPair(lib, indexOf(lib)), before);
}

void TestDel::windowRemoves()
{
    QTemporaryDir dir;
    const QList<Sample> images = samples(8);
    const QString lib = builderFor(images, {}).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    QList<Sample> kept = decodeAll(host.component);
    kept.remove(1, 2);
    TFormdel form(host);
    form.show();
    form.editBegin->setText(QStringLiteral("$1"));
    form.EditEnd->setText(QStringLiteral(" 2"));
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);

    QCOMPARE(host.scripted.lastMessage(), QStringLiteral("删除成功"));
    QVERIFY(!lastIsError(host));
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(host.refreshedCounts, QList<int>{6});
    verifyImages(host.component, kept);
}

void TestDel::windowBlanks()
{
    QTemporaryDir dir;
    const QString lib = builderFor(samples(3), {}).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    TFormdel form(host);
    form.show();
    form.EditEnd->setText(QStringLiteral("1"));
    form.RabtnNull->setChecked(true);
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);

    QCOMPARE(host.scripted.lastMessage(), QStringLiteral("删除成功"));
    QVERIFY(!form.suiProgressBar1->isVisible());
    QCOMPARE(host.component.ImageCount(), 3);
    QCOMPARE(host.component.LoadBitmap(1).size(), QSize(4, 1));
    QCOMPARE(host.refreshedCounts.size(), 1);
}

// Another program removed images after the window's library was read: the numbers the user
// typed may now mean other images, so nothing is removed, the library is read again and the
// user is told why.
void TestDel::windowNoticesAnotherProgramsEdit()
{
    QTemporaryDir dir;
    const QString lib = builderFor(samples(5), {}).write(dir.path());
    FakeEditorHost host;
    QVERIFY(host.open(lib));
    {
        TWIL other;
        other.FileName = lib;
        other.Open();
        QString error;
        QVERIFY2(::Del(other, 0, 1, &error), qPrintable(error));
    }
    const QByteArray afterOther = wilfixture::readFile(lib);
    TFormdel form(host);
    form.show();
    form.editBegin->setText(QStringLiteral("0"));
    form.EditEnd->setText(QStringLiteral("1"));
    form.RabtnDel->setChecked(true);
    QTest::mouseClick(form.suiButton2, Qt::LeftButton);

    QCOMPARE(host.scripted.lastMessage(),
             QStringLiteral("删除失败\n") + LibraryEdit::changedMessage(lib));
    QCOMPARE(wilfixture::readFile(lib), afterOther);
    QCOMPARE(host.component.ImageCount(), 3);
}

// A failed removal or blanking says so, and the library stays open and whole.
void TestDel::windowReportsFailure()
{
    for (const bool blank : {false, true}) {
        QTemporaryDir dir;
        const QList<Sample> images = samples(3);
        const QString lib = builderFor(images, {}).write(dir.path());
        FakeEditorHost host;
        QVERIFY(host.open(lib));
        const QList<Sample> decoded = decodeAll(host.component);
        TFormdel form(host);
        form.show();
        form.EditEnd->setText(QStringLiteral("1"));
        (blank ? form.RabtnNull : form.RabtnDel)->setChecked(true);
        {
            FailAt failure(1);
            QTest::mouseClick(form.suiButton2, Qt::LeftButton);
        }
        // The window's own words first, then why.
        QCOMPARE(host.scripted.lastMessage().section(u'\n', 0, 0), QStringLiteral("删除失败"));
        QVERIFY(host.scripted.lastMessage().section(u'\n', 1).contains(
            QStringLiteral("injected failure")));
        QVERIFY(lastIsError(host));
        verifyImages(host.component, decoded);
    }
}

QTEST_MAIN(TestDel)
#include "tst_del.moc"
