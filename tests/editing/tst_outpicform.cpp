// The batch export window, headless: each refusal with its message and focus, the export with
// its report, a write failure that keeps the window open, and no second start while running.

#include "edittestsupport.h"
#include "fakeeditorhost.h"
#include "fileio.h"
#include "folderfixture.h"
#include "outpic.h"
#include "outpicform.h"
#include "wilfixture.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace folderfixture;

class TestOutpicForm : public QObject
{
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void initialState();
    void folderPicker();
    void refusals_data();
    void refusals();
    void exportsAndCloses();
    void undecodableImagesAreCounted_data();
    void undecodableImagesAreCounted();
    void writeFailureKeepsWindowOpen();
    void noSecondStartWhileRunning();

  private:
    // An empty folder "out" beside the library.
    QString makeOutFolder();
    // makeOutFolder(), chosen through the window's picker.
    QString chooseOutFolder(TFormout &form);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeEditorHost> m_host;
    QString m_library;
};

void TestOutpicForm::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_library = makeSomeLibrary(m_dir->path(), 5, 1);
    m_host = std::make_unique<FakeEditorHost>();
}

void TestOutpicForm::cleanup()
{
    fileio::setFaultHook({});
    m_host.reset();
    m_dir.reset();
}

QString TestOutpicForm::makeOutFolder()
{
    const QString out = m_dir->filePath("out");
    QDir().mkpath(out);
    return out;
}

QString TestOutpicForm::chooseOutFolder(TFormout &form)
{
    const QString out = makeOutFolder();
    m_host->scripted.fileAnswers << out;
    form.suiButton1->click();
    return out;
}

void TestOutpicForm::initialState()
{
    TFormout form(*m_host);
    const QStringList names{"EditPicPath",     "suiButton1", "editBegin", "EditEnd",
                            "suiProgressBar1", "suiButton2", "suiButton3"};
    for (const QString &name : names)
        QVERIFY2(form.findChild<QWidget *>(name), qPrintable(name));
    QVERIFY(form.EditPicPath->isReadOnly());
    QCOMPARE(form.EditPicPath->text(), QString());
    QCOMPARE(form.editBegin->text(), QStringLiteral("0"));
    QCOMPARE(form.EditEnd->text(), QStringLiteral("0"));
    QCOMPARE(form.suiProgressBar1->value(), 0);
    QVERIFY(!form.suiProgressBar1->isHidden());
}

void TestOutpicForm::folderPicker()
{
    TFormout form(*m_host);
    m_host->scripted.fileAnswers << m_dir->path();
    form.suiButton1->click();
    QCOMPARE(form.EditPicPath->text(), QDir::toNativeSeparators(m_dir->path()));
    form.suiButton1->click(); // cancelled: nothing changes
    QCOMPARE(form.EditPicPath->text(), QDir::toNativeSeparators(m_dir->path()));
}

void TestOutpicForm::refusals_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const QString bad = outpic::msgBadNumber();
    QTest::newRow("no library") << false << "0"
                                << "4" << true << outpic::msgOpenLibraryFirst() << "";
    QTest::newRow("begin invalid") << true << "5 "
                                   << "4" << true << bad << "editBegin";
    QTest::newRow("begin empty") << true << ""
                                 << "4" << true << bad << "editBegin";
    QTest::newRow("end invalid") << true << "0"
                                 << "four" << true << bad << "EditEnd";
    QTest::newRow("range reversed") << true << "4"
                                    << "2" << true << bad << "EditEnd";
    QTest::newRow("no folder") << true << "0"
                               << "4" << false << outpic::msgNoExportFolder() << "";
}

void TestOutpicForm::refusals()
{
    QFETCH(bool, open);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    QFETCH(bool, folder);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    if (open)
        QVERIFY(m_host->open(m_library));
    TFormout form(*m_host);
    const QString out = folder ? chooseOutFolder(form) : makeOutFolder();
    form.editBegin->setText(begin);
    form.EditEnd->setText(end);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.suiButton3->setFocus();
    form.suiButton2->click();
    QCOMPARE(m_host->errorTexts(), QStringList{message});
    QVERIFY(m_host->infoTexts().isEmpty());
    if (!focus.isEmpty())
        QCOMPARE(form.focusWidget(), form.findChild<QWidget *>(focus));
    else
        QCOMPARE(form.focusWidget(), form.suiButton3);
    QVERIFY(form.isVisible());
    QVERIFY(QDir(out).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void TestOutpicForm::exportsAndCloses()
{
    QVERIFY(m_host->open(m_library));
    TFormout form(*m_host);
    const QString out = chooseOutFolder(form);
    form.editBegin->setText("-3");
    form.EditEnd->setText("$64");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.suiButton2->click();
    QCOMPARE(m_host->errorTexts(), QStringList());
    QCOMPARE(m_host->infoTexts(), QStringList{outpic::msgExportDone()});
    QVERIFY(!form.isVisible());
    QVERIFY(form.suiProgressBar1->isHidden());
    QCOMPARE(outpic::PictureFolder(out).pictures().size(), 5);
    // The fields keep their values for the next showing.
    QCOMPARE(form.editBegin->text(), QStringLiteral("-3"));
    QCOMPARE(form.EditPicPath->text(), QDir::toNativeSeparators(out));
}

// Images whose records cannot be decoded are written as empty files, and the message of a
// finished export says how many and which: the first ten numbers, then how many more.
void TestOutpicForm::undecodableImagesAreCounted_data()
{
    QTest::addColumn<QList<int>>("damaged");
    QTest::addColumn<QString>("note");
    QTest::newRow("none") << QList<int>{} << QString();
    QTest::newRow("two") << QList<int>{1, 3} << QStringLiteral("2 张图片无法读取，已导出为空文件：1, 3");
    QList<int> many;
    for (int n = 2; n < 15; ++n)
        many << n;
    QTest::newRow("thirteen") << many
                              << QStringLiteral("13 张图片无法读取，已导出为空文件：2, 3, 4, 5, "
                                                "6, 7, 8, 9, 10, 11 及另外 3 张");
}

void TestOutpicForm::undecodableImagesAreCounted()
{
    QFETCH(QList<int>, damaged);
    QFETCH(QString, note);
    wilfixture::LibraryBuilder b;
    for (int n = 0; n < 16; ++n) {
        wilfixture::Compressed c;
        c.width = 4, c.height = 2, c.pixels = QVector<quint16>(8, quint16(0x1234 + n));
        c.method = damaged.contains(n) ? 3 : 8;
        b.add(wilfixture::compressedRecord(c));
    }
    const QString library = b.write(m_dir->path(), QStringLiteral("damaged"));
    QVERIFY(m_host->open(library));
    TFormout form(*m_host);
    chooseOutFolder(form);
    form.editBegin->setText(QStringLiteral("0"));
    form.EditEnd->setText(QStringLiteral("15"));
    form.show();
    form.suiButton2->click();
    QCOMPARE(m_host->errorTexts(), QStringList());
    const QString expected =
        note.isEmpty() ? outpic::msgExportDone() : outpic::msgExportDone() + u'\n' + note;
    QCOMPARE(m_host->infoTexts(), QStringList{expected});
}

void TestOutpicForm::writeFailureKeepsWindowOpen()
{
    QVERIFY(m_host->open(m_library));
    TFormout form(*m_host);
    const QString out = chooseOutFolder(form);
    form.EditEnd->setText("4");
    form.show();
    fileio::setFaultHook([](fileio::Op op, const QString &file) {
        return op == fileio::Op::Write && file.contains("000003.txt") ? fileio::Fault::Fail
                                                                      : fileio::Fault::None;
    });
    form.suiButton2->click();
    QCOMPARE(m_host->errorTexts().size(), 1);
    QVERIFY2(m_host->errorTexts()[0].contains("000003.txt"), qPrintable(m_host->errorTexts()[0]));
    QVERIFY(m_host->infoTexts().isEmpty());
    QVERIFY(form.isVisible());
    QVERIFY(form.suiButton2->isEnabled());
    QVERIFY(QFileInfo::exists(out + "/000002.bmp"));
    QVERIFY(!QFileInfo::exists(out + "/000004.bmp"));
}

void TestOutpicForm::noSecondStartWhileRunning()
{
    QVERIFY(m_host->open(m_library));
    TFormout form(*m_host);
    const QString out = chooseOutFolder(form);
    form.EditEnd->setText("4");
    form.show();
    const edittest::WhileRunning running = edittest::startAndProbe(
        form, [&] { return form.suiButton2->isEnabled() && form.editBegin->isEnabled(); });
    QVERIFY(running.seen);
    QVERIFY(!running.probed); // start disabled
    QCOMPARE(m_host->infoTexts(), QStringList{outpic::msgExportDone()});
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TestOutpicForm)
#include "tst_outpicform.moc"
