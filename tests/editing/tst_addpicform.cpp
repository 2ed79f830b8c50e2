// The batch window, headless: how the mode and operation buttons enable the fields, each
// refusal with its message and focus, the reports, the grid refresh, the window staying open
// after a file problem, and no second start while running.

#include "addpic.h"
#include "addpicform.h"
#include "edittestsupport.h"
#include "fakeeditorhost.h"
#include "fileio.h"
#include "folderfixture.h"
#include "outpic.h"
#include "wilfixture.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace folderfixture;

namespace {

Library snapshotOf(const QString &path)
{
    return readLibrary(path);
}

bool same(const Library &a, const Library &b)
{
    return a.wil == b.wil && a.wix == b.wix;
}

// A start the window must refuse: the error box it shows and the field that then has the
// focus ("" where it is not checked).
void addRefusal(const char *name, const QStringList &clicks, const QString &folder,
                const QString &begin, const QString &end, const QString &message,
                const QString &focus)
{
    QTest::newRow(name) << clicks << folder << begin << end << message << focus;
}

// A start that runs: the image count afterwards.
void addRun(const char *name, const QStringList &clicks, const QString &folder,
            const QString &begin, const QString &end, const QString &xy, int count)
{
    QTest::newRow(name) << clicks << folder << begin << end << xy << count;
}

} // namespace

class TestAddPicForm : public QObject
{
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void initialState();
    void buttonStates_data();
    void buttonStates();
    void refusals_data();
    void refusals();
    void runs_data();
    void runs();
    void failedAppendReportsFailure();
    void fileProblemKeepsWindowOpen_data();
    void fileProblemKeepsWindowOpen();
    void noSecondStartWhileRunning();

  private:
    // The window with `clicks` (object names of radio buttons) clicked in order.
    void click(TFormadd &form, const QStringList &clicks);
    void chooseFolder(TFormadd &form, const QString &folder);
    // `folder` names the one to choose: "in" (the pictures), "placements" or "" (none).
    void fill(TFormadd &form, const QStringList &clicks, const QString &folder,
              const QString &begin, const QString &end);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeEditorHost> m_host;
    QString m_library;
    QString m_pictures;   // three numbered pictures with placement files
    QString m_placements; // its Placements folder
};

void TestAddPicForm::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_library = makeSomeLibrary(m_dir->path(), 8, 1);
    m_pictures = m_dir->filePath("in");
    m_placements = m_pictures + "/Placements";
    const QVector<QImage> pictures = somePictures(3, 40);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(writePicture(m_pictures + "/" + outpic::pictureFileName(i), pictures[i]));
        QVERIFY(writeText(m_placements + "/" + outpic::placementFileName(i),
                          outpic::placementText(i, -i)));
    }
    m_host = std::make_unique<FakeEditorHost>();
    QVERIFY(m_host->open(m_library));
}

void TestAddPicForm::cleanup()
{
    fileio::setFaultHook({});
    m_host.reset();
    m_dir.reset();
}

void TestAddPicForm::click(TFormadd &form, const QStringList &clicks)
{
    for (const QString &name : clicks) {
        auto *button = form.findChild<QRadioButton *>(name);
        QVERIFY2(button, qPrintable(name));
        button->click();
    }
}

void TestAddPicForm::chooseFolder(TFormadd &form, const QString &folder)
{
    m_host->scripted.fileAnswers << folder;
    form.suiButton1->click();
}

void TestAddPicForm::fill(TFormadd &form, const QStringList &clicks, const QString &folder,
                          const QString &begin, const QString &end)
{
    click(form, clicks);
    if (folder == "in")
        chooseFolder(form, m_pictures);
    else if (folder == "placements")
        chooseFolder(form, m_placements);
    form.editBegin->setText(begin);
    form.EditEnd->setText(end);
}

void TestAddPicForm::initialState()
{
    TFormadd form(*m_host);
    const QStringList names{"suiGroupBox4",    "RabtnAll",     "RabtnPic",        "Rabtnxy",
                            "Label1",          "EditPicPath",  "suiButton1",      "suiGroupBox2",
                            "editBegin",       "EditEnd",      "suiGroupBox3",    "RabtnAdd",
                            "RabtnInsert",     "RabtnReplace", "GroupBoxxy",      "RabtnFile",
                            "suiRadioButton2", "editxy",       "suiProgressBar1", "suiButton2",
                            "suiButton3"};
    for (const QString &name : names)
        QVERIFY2(form.findChild<QWidget *>(name), qPrintable(name));
    QVERIFY(form.RabtnAll->isChecked());
    QVERIFY(form.RabtnAdd->isChecked());
    QVERIFY(form.RabtnFile->isChecked());
    QVERIFY(!form.suiGroupBox2->isEnabled());
    QCOMPARE(form.editBegin->text(), QStringLiteral("0"));
    QCOMPARE(form.EditEnd->text(), QStringLiteral("0"));
    QCOMPARE(form.editxy->text(), QStringLiteral("0,0"));
    QCOMPARE(form.Label1->text(), addpic::labelPictureFolder());
    QVERIFY(form.EditPicPath->isReadOnly());
}

void TestAddPicForm::buttonStates_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("operation"); // the checked operation button
    // Enabled, in this order: range group, editBegin, EditEnd, RabtnAdd, RabtnInsert,
    // GroupBoxxy.
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("label");
    const QString pictures = addpic::labelPictureFolder();
    QTest::newRow("initial") << QStringList{} << "RabtnAdd"
                             << "--- ++ +" << pictures;
    QTest::newRow("insert") << QStringList{"RabtnInsert"} << "RabtnInsert"
                            << "++- ++ +" << pictures;
    QTest::newRow("replace") << QStringList{"RabtnReplace"} << "RabtnReplace"
                             << "+++ ++ +" << pictures;
    QTest::newRow("add again") << QStringList{"RabtnReplace", "RabtnAdd"} << "RabtnAdd"
                               << "--- ++ +" << pictures;
    QTest::newRow("pictures only") << QStringList{"RabtnPic"} << "RabtnReplace"
                                   << "+++ -- -" << pictures;
    QTest::newRow("placements only") << QStringList{"Rabtnxy"} << "RabtnReplace"
                                     << "+++ -- +" << addpic::labelPlacementFolder();
    QTest::newRow("back to pictures and placements")
        << QStringList{"Rabtnxy", "RabtnAll"} << "RabtnReplace"
        << "+++ ++ +" << pictures;
    QTest::newRow("back to insert")
        << QStringList{"RabtnPic", "RabtnAll", "RabtnInsert"} << "RabtnInsert"
        << "++- ++ +" << pictures;
}

void TestAddPicForm::buttonStates()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, operation);
    QFETCH(QString, enabled);
    QFETCH(QString, label);
    TFormadd form(*m_host);
    click(form, clicks);
    QVERIFY(form.findChild<QRadioButton *>(operation)->isChecked());
    const QList<QWidget *> widgets{form.suiGroupBox2, form.editBegin,   form.EditEnd,
                                   form.RabtnAdd,     form.RabtnInsert, form.GroupBoxxy};
    const QString flags = QString(enabled).remove(u' ');
    for (int i = 0; i < widgets.size(); ++i)
        QVERIFY2(widgets[i]->isEnabled() == (flags[i] == u'+'),
                 qPrintable(widgets[i]->objectName()));
    QVERIFY(form.RabtnReplace->isEnabled());
    QCOMPARE(form.Label1->text(), label);
}

void TestAddPicForm::refusals_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("folder"); // "", "in", "placements"
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const QString number = outpic::msgBadNumber();
    const QString format = addpic::msgBadFormat();
    const QStringList insert{"RabtnInsert"}, replace{"RabtnReplace"}, pic{"RabtnPic"},
        xy{"Rabtnxy"}, xyFixed{"Rabtnxy", "suiRadioButton2"};
    addRefusal("append, no folder", {}, "", "0", "0", addpic::msgNoFolder(), "");
    addRefusal("insert, begin invalid", insert, "in", "x", "7", number, "editBegin");
    addRefusal("insert, begin negative", insert, "in", "-1", "7", number, "editBegin");
    addRefusal("insert, begin past the last", insert, "in", "8", "7", number, "editBegin");
    // The end field is disabled in insert mode, so it cannot take the focus.
    addRefusal("insert, end still checked", insert, "in", "2", "8", number, "");
    addRefusal("replace, end below begin", replace, "in", "3", "2", number, "EditEnd");
    addRefusal("replace, too few pictures", replace, "in", "0", "3", addpic::msgTooFewPictures(),
               "EditEnd");
    addRefusal("pictures only, no folder", pic, "", "0", "1", addpic::msgNoFolder(), "");
    addRefusal("pictures only, end invalid", pic, "in", "0", "", number, "EditEnd");
    addRefusal("pictures only, too few", pic, "in", "1", "4", addpic::msgTooFewPictures(),
               "EditEnd");
    addRefusal("placements only, no folder", xy, "", "0", "1", addpic::msgNoFolder(), "");
    addRefusal("placements only, begin invalid", xy, "placements", "$", "1", format, "editBegin");
    addRefusal("placements only, end past the last", xyFixed, "", "0", "8", format, "EditEnd");
}

void TestAddPicForm::refusals()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, folder);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    const Library before = snapshotOf(m_library);
    TFormadd form(*m_host);
    fill(form, clicks, folder, begin, end);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.suiButton2->click();
    // The refusal, then the failed run's report: both in the error box.
    QCOMPARE(m_host->errorTexts(), (QStringList{message, addpic::msgImportFailed()}));
    // The focus is on the field when the report of the run follows the error box.
    QCOMPARE(m_host->focusAtMessage.size(), 2);
    if (!focus.isEmpty())
        QCOMPARE(m_host->focusAtMessage[1], form.findChild<QWidget *>(focus));
    // A refused run still reports failure and closes the window.
    QVERIFY(m_host->infoTexts().isEmpty());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.EditPicPath->text(), QString());
    QVERIFY(same(snapshotOf(m_library), before));
    QCOMPARE(m_host->component.ImageCount(), 8);
}

void TestAddPicForm::runs_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("xy");
    QTest::addColumn<int>("count");    // image count afterwards
    addRun("append", {}, "in", "0", "0", "0,0", 11);
    addRun("insert before 2", {"RabtnInsert"}, "in", "2", "7", "0,0", 11);
    addRun("replace 5-7", {"RabtnReplace"}, "in", "5", "7", "0,0", 8);
    addRun("append with a fixed placement", {"suiRadioButton2"}, "in", "0", "0", "4,5", 11);
    addRun("pictures only 0-2", {"RabtnPic"}, "in", "0", "2", "0,0", 8);
    addRun("placements only 0-2", {"Rabtnxy"}, "placements", "0", "2", "0,0", 8);
    addRun("fixed placements, no folder", {"Rabtnxy", "suiRadioButton2"}, "", "$1", "3", "-3,7", 8);
}

void TestAddPicForm::runs()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, folder);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(QString, xy);
    QFETCH(int, count);
    TFormadd form(*m_host);
    fill(form, clicks, folder, begin, end);
    form.editxy->setText(xy);
    form.show();
    form.suiButton2->click();
    QCOMPARE(m_host->errorTexts(), QStringList());
    QCOMPARE(m_host->infoTexts(), QStringList{addpic::msgImportDone()});
    QVERIFY(!form.isVisible());
    QCOMPARE(form.EditPicPath->text(), QString());
    QVERIFY(form.suiProgressBar1->isHidden());
    QCOMPARE(form.suiProgressBar1->value(), 0);
    // The main window is shown the library as it now is, once, before the result.
    QCOMPARE(m_host->refreshedCounts, QList<int>{count});
    const Library after = readLibrary(m_library);
    QCOMPARE(after.wilCount, count);
    QCOMPARE(after.wixCount, count);
    // Fields other than the folder keep their values.
    QCOMPARE(form.editBegin->text(), begin);
    QCOMPARE(form.editxy->text(), xy);
}

void TestAddPicForm::failedAppendReportsFailure()
{
    const Library before = snapshotOf(m_library);
    TFormadd form(*m_host);
    chooseFolder(form, m_pictures);
    form.show();
    int writes = 0;
    fileio::setFaultHook([&](fileio::Op op, const QString &) {
        return op == fileio::Op::Write && ++writes == 2 ? fileio::Fault::Fail : fileio::Fault::None;
    });
    form.suiButton2->click();
    QCOMPARE(m_host->infoTexts(), QStringList());
    // The window's own words first, then why, in the error box.
    QCOMPARE(m_host->errorTexts().size(), 1);
    QCOMPARE(m_host->errorTexts()[0].section(u'\n', 0, 0), addpic::msgImportFailed());
    QVERIFY(m_host->errorTexts()[0].section(u'\n', 1).contains(QStringLiteral("injected failure")));
    QVERIFY(!form.isVisible());
    QVERIFY(same(snapshotOf(m_library), before));
    QCOMPARE(m_host->refreshedCounts, QList<int>{8});
}

void TestAddPicForm::fileProblemKeepsWindowOpen_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("problem"); // "gone": the folder vanished; "short": a short file
    QTest::newRow("append, folder gone") << QStringList{} << "gone";
    QTest::newRow("pictures only, folder gone") << QStringList{"RabtnPic"} << "gone";
    QTest::newRow("placements only, folder gone") << QStringList{"Rabtnxy"} << "gone";
    QTest::newRow("placements only, short file") << QStringList{"Rabtnxy"} << "short";
}

void TestAddPicForm::fileProblemKeepsWindowOpen()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, problem);
    // What the error box must name.
    const QString named =
        problem == "gone" ? QDir::toNativeSeparators(m_pictures) : QStringLiteral("000001.txt");
    TFormadd form(*m_host);
    click(form, clicks);
    form.editBegin->setText("0");
    form.EditEnd->setText("2");
    const bool placementsOnly = clicks.contains("Rabtnxy");
    chooseFolder(form, placementsOnly && problem == "short" ? m_placements : m_pictures);
    if (problem == "gone")
        QVERIFY(QDir(m_pictures).removeRecursively());
    else
        QVERIFY(writeText(m_placements + "/000001.txt", "1\r\n"));
    form.show();
    form.suiButton2->click();
    QCOMPARE(m_host->errorTexts().size(), 1);
    QVERIFY2(m_host->errorTexts()[0].contains(named), qPrintable(m_host->errorTexts()[0]));
    QVERIFY(m_host->infoTexts().isEmpty());
    QVERIFY(form.isVisible());
    QVERIFY(form.suiButton2->isEnabled());
    QVERIFY(form.suiProgressBar1->isHidden());
    if (problem == "short") {
        // Image 0 already carries its new placement.
        const Library after = readLibrary(m_library);
        QCOMPARE(int(wilfixture::int16At(after.record(0), 4)), 0);
        QCOMPARE(int(wilfixture::int16At(after.record(2), 4)), int(somePlacements(8)[2].px));
    }
}

void TestAddPicForm::noSecondStartWhileRunning()
{
    TFormadd form(*m_host);
    chooseFolder(form, m_pictures);
    form.show();
    const edittest::WhileRunning running = edittest::startAndProbe(
        form, [&] { return form.suiButton2->isEnabled() || form.RabtnAll->isEnabled(); });
    QVERIFY(running.seen);
    QVERIFY(!running.probed); // no control enabled
    QCOMPARE(m_host->infoTexts(), QStringList{addpic::msgImportDone()});
    QCOMPARE(readLibrary(m_library).wilCount, 11);
}

QTEST_MAIN(TestAddPicForm)
#include "tst_addpicform.moc"
