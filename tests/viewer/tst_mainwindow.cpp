// The main window driven as a user would: buttons, dialogs answered by script, labels read back.
#include "viewerharness.h"

#include <QAbstractButton>
#include <QDir>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QUrl>
#include <QtEndian>

using namespace wilfixture;

namespace {

const QString Notice = QStringLiteral("Only new type korean library format can be opened.");
const QString Broken = QStringLiteral("WIl文件已经被破坏或不是wil文件！");
const QString BadNumber = QStringLiteral("请输入正确的格式");
const QString Info = QStringLiteral("消息！");
const QString Error = QStringLiteral("错误！");

QPushButton *button(TFormMain &w, const QString &name)
{
    return w.findChild<QPushButton *>(name);
}

// Every button of the left panel whose state FillInfo sets.
QList<QPushButton *> editingButtons(TFormMain &w)
{
    return {w.btninput, w.btnallinput, w.btnAdd, w.btndelete, w.btnx, w.btny};
}
QList<QPushButton *> viewingButtons(TFormMain &w)
{
    return {w.BtnJump, w.BtnAutoPlay, w.btnstop, w.BtnOut, w.btnallOut, w.btnCreate};
}

// The placement of image n as a separate reader of the file sees it.
QPoint storedPlacement(const QString &library, int n)
{
    TWIL reader;
    reader.FileName = library;
    reader.Open();
    reader.LoadBitmap(n);
    return {reader.px, reader.py};
}

QImage storedImage(const QString &library, int n)
{
    TWIL reader;
    reader.FileName = library;
    reader.Open();
    return reader.LoadBitmap(n).copy();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void startState_data();
    void startState();
    void layout();
    void nothingOverlapsAtMinimumSize();
    void openThroughPicker_data();
    void openThroughPicker();
    void gridRows_data();
    void gridRows();
    void infoPanel();
    void readOnlyPair();
    void dataFormat_data();
    void dataFormat();
    void endButtons_data();
    void endButtons();
    void prevNextClicks();
    void jump_data();
    void jump();
    void placement_data();
    void placement();
    void placementWithoutLibrary_data();
    void placementWithoutLibrary();
    void save_data();
    void save();
    void saveFailure_data();
    void saveFailure();
    void load_data();
    void load();
    void editingWindows_data();
    void editingWindows();
    void failedReopen();
    void viewDecodesOnce();
    void handlerErrorsAreShown_data();
    void handlerErrorsAreShown();
    void keyboard_data();
    void keyboard();
    void ctrlOOpens();
    void dropLibrary_data();
    void dropLibrary();
    void extractrec_data();
    void extractrec();
};

void TestMainWindow::startState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    const auto row = [](const char *name, const char *caption, bool enabled) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << enabled;
    };
    row("Button2", "...", true);
    row("btnup", "Prev", false);
    row("btndown", "Next", false);
    row("btndelete", "Delete", false);
    row("BtnJump", "Jump", false);
    row("BtnAutoPlay", "AutoPlay", false);
    row("btnstop", "Stop", false);
    row("btninput", "Load", false);
    row("BtnOut", "Save", false);
    row("btnAdd", "Add", false);
    row("btnCreate", "Create", false);
    row("btnallinput", "Import", false);
    row("btnallOut", "Export", false);
    row("btnx", "X", true);
    row("btny", "Y", true);
}

void TestMainWindow::startState()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    Harness h;
    QPushButton *b = button(*h.window, name);
    QVERIFY(b);
    QCOMPARE(b->text(), caption);
    QCOMPARE(b->isEnabled(), enabled);
}

void TestMainWindow::layout()
{
    Harness h;
    TFormMain &w = *h.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("VARNEL WIL EDITOR - NEW KOREAN TYPE"));
    QCOMPARE(w.size(), QSize(699, 650));
    QCOMPARE(w.btnup->parentWidget()->width(), 273);
    // Buttons of 110 x 25 in two columns, the pairs side by side in order.
    const QList<QPair<QPushButton *, QPushButton *>> pairs{
        {w.btnup, w.btndown}, {w.btndelete, w.BtnJump}, {w.BtnAutoPlay, w.btnstop},
        {w.btninput, w.BtnOut}, {w.btnAdd, w.btnCreate}, {w.btnallinput, w.btnallOut}};
    int previousY = -1;
    for (const auto &[left, right] : pairs) {
        QCOMPARE(left->size(), QSize(110, 25));
        QCOMPARE(right->size(), QSize(110, 25));
        QCOMPARE(left->y(), right->y());
        QCOMPARE(left->x(), w.btnup->x());
        QCOMPARE(right->x(), w.btndown->x());
        QVERIFY(left->x() + 110 <= right->x());
        QVERIFY(left->y() > previousY);
        previousY = left->y();
    }
    QVERIFY(w.EditFileName->isReadOnly());
    QVERIFY(w.suiGroupBox2->isVisible());
    QVERIFY(w.rb100->isChecked());
    QCOMPARE(w.DrawGrid1->rowCount(), 1);
    QCOMPARE(w.DrawGrid1->model()->columnCount(), 6);
    QCOMPARE(w.suiPanel1->height(), 269);
}

void TestMainWindow::nothingOverlapsAtMinimumSize()
{
    Harness h;
    QVERIFY(h.open(patternSprites(3)));
    TFormMain &w = *h.window;
    w.resize(1, 1);
    QCoreApplication::processEvents();
    QCOMPARE(w.size(), w.minimumSize());
    w.layout()->activate();
    QList<QWidget *> controls;
    for (QWidget *c : w.findChildren<QWidget *>()) {
        if (c->isVisibleTo(&w) &&
            (qobject_cast<QAbstractButton *>(c) || qobject_cast<QLabel *>(c) ||
             qobject_cast<QLineEdit *>(c) || qobject_cast<QGroupBox *>(c) ||
             c == static_cast<QWidget *>(w.ScrollBox1) || c == static_cast<QWidget *>(w.DrawGrid1)))
            controls << c;
    }
    const auto area = [&w](QWidget *c) { return QRect(c->mapTo(&w, QPoint(0, 0)), c->size()); };
    const auto name = [](QWidget *c) {
        const auto *label = qobject_cast<QLabel *>(c);
        const auto *button = qobject_cast<QAbstractButton *>(c);
        return c->objectName() + u'/' +
               (label    ? label->text()
                : button ? button->text()
                         : QString());
    };
    for (QWidget *c : controls) {
        QVERIFY2(w.rect().contains(area(c)), qPrintable(name(c) + QStringLiteral(" is cut off")));
        // Controls of a fixed size keep it; the others get at least what they ask for.
        const auto *label = qobject_cast<QLabel *>(c);
        if (c->minimumSize() != c->maximumSize() && (!label || !label->wordWrap()))
            QVERIFY2(c->width() >= c->minimumSizeHint().width() &&
                         c->height() >= c->minimumSizeHint().height(),
                     qPrintable(name(c) + QStringLiteral(" is squeezed")));
        for (QWidget *other : controls) {
            if (c == other || c->isAncestorOf(other) || other->isAncestorOf(c))
                continue;
            QVERIFY2(!area(c).intersects(area(other)),
                     qPrintable(name(c) + QStringLiteral(" overlaps ") + name(other)));
        }
    }
    QVERIFY(w.DrawGrid1->height() >= w.DrawGrid1->rowHeight(0));
}

void TestMainWindow::openThroughPicker_data()
{
    QTest::addColumn<QString>("choice"); // what the picker answers
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("cancelled") << "" << false << QStringList{Notice};
    QTest::newRow("no such file") << "missing.wil" << false << QStringList{Notice};
    QTest::newRow("not a library") << "short.wil" << false << QStringList{Notice, Broken};
    QTest::newRow("library") << "test.wil" << true << QStringList{Notice};
}

void TestMainWindow::openThroughPicker()
{
    QFETCH(QString, choice);
    QFETCH(bool, opened);
    QFETCH(QStringList, messages);
    Harness h;
    writeLibrary(h.dir.path(), patternSprites(3));
    QVERIFY(writeFile(h.dir.filePath(QStringLiteral("short.wil")), QByteArray(10, 'x')));
    const QString path = choice.isEmpty() ? QString() : h.dir.filePath(choice);
    h.dialogs.fileAnswers.enqueue(path);

    QTest::mouseClick(h.window->Button2, Qt::LeftButton);

    // The component may explain first why it refused the file.
    QCOMPARE(h.messageTexts().first(), messages.first());
    QCOMPARE(h.messageTexts().last(), messages.last());
    QCOMPARE(h.dialogs.messages.first().caption, Info);
    if (messages.size() > 1)
        QCOMPARE(h.dialogs.messages.last().caption, Error);
    else
        QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.window->EditFileName->text(), QDir::toNativeSeparators(path));
    QCOMPARE(h.window->Wil->isOpen(), opened);
    QCOMPARE(h.window->LabelIndex->text(), opened ? QStringLiteral("0/2") : QString());
    QCOMPARE(h.window->btndown->isEnabled(), opened);
}

void TestMainWindow::gridRows_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rows");
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("5") << 5 << 1;
    QTest::newRow("6 gets a free row") << 6 << 2;
    QTest::newRow("11") << 11 << 2;
    QTest::newRow("12") << 12 << 3;
}

void TestMainWindow::gridRows()
{
    QFETCH(int, count);
    QFETCH(int, rows);
    Harness h;
    QVERIFY(h.open(patternSprites(count, {2, 2})));
    QCOMPARE(h.window->DrawGrid1->rowCount(), rows);
    QCOMPARE(h.window->LabelIndex->text(), QStringLiteral("0/%1").arg(count - 1));
}

// A pair that does not hold together is shown, but nothing offers to change it: the buttons
// that would are disabled and say why, and the panel says the library is read-only.
void TestMainWindow::readOnlyPair()
{
    Harness h;
    QVERIFY(h.open(patternSprites(3)));
    TFormMain &w = *h.window;
    QVERIFY(!w.LabelReadOnly->isVisibleTo(&w));
    for (QPushButton *b : editingButtons(w))
        QCOMPARE(b->toolTip(), QString());

    QByteArray library = readFile(h.path);
    qToLittleEndian<qint32>(2, library.data() + 44); // the index still counts 3
    QVERIFY(writeFile(h.path, library));
    const int before = h.dialogs.messages.size();
    QVERIFY(w.openLibrary(h.path));

    QCOMPARE(h.dialogs.messages.size(), before + 1);
    const QString notice = h.dialogs.messages.last().text;
    QVERIFY2(notice.contains(QStringLiteral("wiltool check")), qPrintable(notice));
    QVERIFY(w.Wil->isReadOnly());
    QCOMPARE(w.LabelIndex->text(), QStringLiteral("0/1"));
    QVERIFY(w.LabelReadOnly->isVisibleTo(&w));
    QVERIFY2(w.LabelReadOnly->text().startsWith(QStringLiteral("只读")),
             qPrintable(w.LabelReadOnly->text()));
    QVERIFY(w.LabelReadOnly->text().contains(QStringLiteral("counts 2 images and its index 3")));
    for (QPushButton *b : editingButtons(w)) {
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY2(b->toolTip().contains(QStringLiteral("counts 2 images")),
                 qPrintable(b->objectName()));
    }
    for (QPushButton *b : viewingButtons(w))
        QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
}

void TestMainWindow::infoPanel()
{
    Harness h;
    QVERIFY(h.open({{solidImage(32, 48, Qt::red), -3, 7}, {solidImage(5, 4, Qt::green), 100, -200}}));
    TFormMain &w = *h.window;
    QCOMPARE(w.CurrentImage, 0);
    QCOMPARE(w.LabelSize->text(), QStringLiteral("32*48"));
    QCOMPARE(w.LabelX->text(), QStringLiteral("-3"));
    QCOMPARE(w.LabelY->text(), QStringLiteral("7"));
    QCOMPARE(w.LabelIndex->text(), QStringLiteral("0/1"));
    QCOMPARE(w.Labeltype->text(), QStringLiteral("VREN   数据格式(1)"));
    QCOMPARE(w.DrawGrid1->currentCell(), QPoint(0, 0));
    for (QPushButton *b : editingButtons(w) + viewingButtons(w))
        QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));

    w.FillInfo(1);
    QCOMPARE(w.LabelSize->text(), QStringLiteral("5*4"));
    QCOMPARE(w.LabelX->text(), QStringLiteral("100"));
    QCOMPARE(w.LabelY->text(), QStringLiteral("-200"));
    QCOMPARE(w.LabelIndex->text(), QStringLiteral("1/1"));
    QCOMPARE(w.DrawGrid1->currentCell(), QPoint(1, 0));
    QVERIFY(h.dialogs.messages.isEmpty());
}

void TestMainWindow::dataFormat_data()
{
    QTest::addColumn<int>("fileType");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("editable");
    QTest::newRow("type 0") << 0 << 0 << "VREN   数据格式(1)" << true;
    QTest::newRow("type 1") << 1 << 4 << "VREN   数据格式(2)" << true;
    QTest::newRow("type 2, no placeholders") << 2 << 0 << "ZEP   数据格式(1)" << false;
    QTest::newRow("type 2, placeholders") << 2 << 3 << "ZEP   数据格式(2)" << false;
    // The component refuses every edit of a type it does not know: nothing offers one.
    QTest::newRow("unknown type keeps the text") << 7 << 0 << "VREN   数据格式(1)" << false;
}

void TestMainWindow::dataFormat()
{
    QFETCH(int, fileType);
    QFETCH(int, offset);
    QFETCH(QString, text);
    QFETCH(bool, editable);
    Harness h;
    QVERIFY(h.open(patternSprites(3)));
    TFormMain &w = *h.window;
    w.FillInfo(1);
    w.Wil->FileType = fileType;
    w.Wil->OffSet = offset;
    w.FillInfo(1);
    QCOMPARE(w.Labeltype->text(), text);
    for (QPushButton *b : editingButtons(w))
        QCOMPARE(b->isEnabled(), editable);
    for (QPushButton *b : viewingButtons(w) + QList<QPushButton *>{w.btnup, w.btndown})
        QVERIFY(b->isEnabled());
}

void TestMainWindow::endButtons_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("prev");
    QTest::addColumn<bool>("next");
    QTest::newRow("single image") << 1 << 0 << false << false;
    QTest::newRow("first of 3") << 3 << 0 << false << true;
    QTest::newRow("middle of 3") << 3 << 1 << true << true;
    QTest::newRow("last of 3") << 3 << 2 << true << false;
    QTest::newRow("no images") << 0 << 0 << false << true;
}

void TestMainWindow::endButtons()
{
    QFETCH(int, count);
    QFETCH(int, shown);
    QFETCH(bool, prev);
    QFETCH(bool, next);
    Harness h;
    QVERIFY(h.open(patternSprites(count)));
    TFormMain &w = *h.window;
    w.FillInfo(shown);
    QCOMPARE(w.btnup->isEnabled(), prev);
    QCOMPARE(w.btndown->isEnabled(), next);
    // Stepping never leaves the images (an empty library stays at 0).
    w.btnupClick();
    QCOMPARE(w.CurrentImage, std::max(0, shown - 1));
    w.FillInfo(shown);
    w.btndownClick();
    QCOMPARE(w.CurrentImage, std::min(std::max(0, count - 1), shown + 1));
}

void TestMainWindow::prevNextClicks()
{
    Harness h;
    QVERIFY(h.open(patternSprites(3)));
    TFormMain &w = *h.window;
    QTest::mouseClick(w.btndown, Qt::LeftButton);
    QTest::mouseClick(w.btndown, Qt::LeftButton);
    QCOMPARE(w.CurrentImage, 2);
    QCOMPARE(w.LabelIndex->text(), QStringLiteral("2/2"));
    QVERIFY(!w.btndown->isEnabled());
    QTest::mouseClick(w.btnup, Qt::LeftButton);
    QCOMPARE(w.CurrentImage, 1);
    QCOMPARE(w.LabelX->text(), QStringLiteral("-1"));
    QCOMPARE(w.LabelY->text(), QStringLiteral("2"));
    QCOMPARE(w.DrawGrid1->currentCell(), QPoint(1, 0));
}

void TestMainWindow::jump_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // from image 1 of 20
    QTest::newRow("number") << true << "19" << 19;
    QTest::newRow("digits before a misfit") << true << "12a" << 12;
    QTest::newRow("empty reads as 0") << true << "" << 0;
    QTest::newRow("letters read as 0") << true << "abc" << 0;
    QTest::newRow("negative") << true << "-3" << 1;
    QTest::newRow("count itself") << true << "20" << 1;
    QTest::newRow("hex") << true << "$A" << 10;
    QTest::newRow("0x hex") << true << "0x0b" << 11;
    QTest::newRow("leading blank") << true << " 5" << 5;
    QTest::newRow("sign lost on trailing blank") << true << "-5 " << 5;
    QTest::newRow("cancelled") << false << "" << 1;
}

void TestMainWindow::jump()
{
    QFETCH(bool, answered);
    QFETCH(QString, text);
    QFETCH(int, expected);
    Harness h;
    QVERIFY(h.open(patternSprites(20, {2, 2})));
    h.window->FillInfo(1);
    h.dialogs.inputAnswers.enqueue(answered ? std::optional<QString>(text) : std::nullopt);
    QTest::mouseClick(h.window->BtnJump, Qt::LeftButton);
    QCOMPARE(h.dialogs.inputCaptions, QStringList{QStringLiteral("跳转")});
    QCOMPARE(h.window->CurrentImage, expected);
    QCOMPARE(h.window->LabelIndex->text(), QStringLiteral("%1/19").arg(expected));
    QVERIFY(h.dialogs.messages.isEmpty());
}

void TestMainWindow::placement_data()
{
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("stored");
    QTest::newRow("x decimal") << true << true << "-5" << true << -5;
    QTest::newRow("x hex") << true << true << "$10" << true << 16;
    QTest::newRow("x low 16 bits") << true << true << "70000" << true << 4464;
    QTest::newRow("x negative low 16 bits") << true << true << "-70000" << true << -4464;
    QTest::newRow("x leading blank") << true << true << " 7" << true << 7;
    QTest::newRow("y largest") << false << true << "32767" << true << 32767;
    QTest::newRow("y wraps") << false << true << "32768" << true << -32768;
    QTest::newRow("x empty") << true << true << "" << false << 0;
    QTest::newRow("x fraction") << true << true << "1.5" << false << 0;
    QTest::newRow("y letters") << false << true << "12a" << false << 0;
    QTest::newRow("x cancelled") << true << false << "" << false << 0;
}

void TestMainWindow::placement()
{
    QFETCH(bool, horizontal);
    QFETCH(bool, answered);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, stored);
    Harness h;
    const QList<Sprite> sprites = patternSprites(3);
    QVERIFY(h.open(sprites));
    h.window->FillInfo(1);
    const QByteArray before = readFile(h.path);
    h.dialogs.inputAnswers.enqueue(answered ? std::optional<QString>(text) : std::nullopt);

    QTest::mouseClick(horizontal ? h.window->btnx : h.window->btny, Qt::LeftButton);

    QCOMPARE(h.dialogs.inputCaptions,
             QStringList{horizontal ? QStringLiteral("更改图片横坐标") : QStringLiteral("更改图片纵坐标")});
    QLabel *label = horizontal ? h.window->LabelX : h.window->LabelY;
    if (!valid) {
        QCOMPARE(h.messageTexts(), answered ? QStringList{BadNumber} : QStringList{});
        if (answered)
            QCOMPARE(h.dialogs.messages.first().caption, Error);
        QCOMPARE(readFile(h.path), before);
        QCOMPARE(label->text(), QString::number(horizontal ? sprites[1].px : sprites[1].py));
        return;
    }
    QVERIFY(h.dialogs.messages.isEmpty());
    QCOMPARE(label->text(), QString::number(stored));
    const QPoint placement = storedPlacement(h.path, 1);
    QCOMPARE(horizontal ? placement.x() : placement.y(), stored);
    QCOMPARE(horizontal ? placement.y() : placement.x(), int(horizontal ? sprites[1].py : sprites[1].px));
    QCOMPARE(storedPlacement(h.path, 0), QPoint(sprites[0].px, sprites[0].py));
}

void TestMainWindow::placementWithoutLibrary_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("number") << "5" << QStringList{};
    QTest::newRow("not a number") << "abc" << QStringList{BadNumber};
}

void TestMainWindow::placementWithoutLibrary()
{
    QFETCH(QString, text);
    QFETCH(QStringList, messages);
    Harness h;
    h.dialogs.inputAnswers.enqueue(text);
    QTest::mouseClick(h.window->btnx, Qt::LeftButton);
    QCOMPARE(h.dialogs.inputCaptions.size(), 1);
    QCOMPARE(h.messageTexts(), messages);
    QCOMPARE(h.window->LabelX->text(), QString());
    QCOMPARE(h.window->LabelIndex->text(), QString());
}

void TestMainWindow::save_data()
{
    QTest::addColumn<int>("image");
    QTest::addColumn<QString>("target"); // empty: the dialog is cancelled
    QTest::addColumn<QString>("proposal");
    QTest::newRow("image 0") << 0 << "a.bmp" << "000000.bmp";
    QTest::newRow("image 42") << 42 << "b.bmp" << "000042.bmp";
    QTest::newRow("any extension is a bitmap") << 3 << "c.png" << "000003.bmp";
    QTest::newRow("cancelled") << 42 << "" << "000042.bmp";
}

void TestMainWindow::save()
{
    QFETCH(int, image);
    QFETCH(QString, target);
    QFETCH(QString, proposal);
    Harness h;
    QList<Sprite> sprites = patternSprites(43, {2, 2});
    sprites[image].image = wilfixture::patternImage(7, 5); // odd width: padded rows
    QVERIFY(h.open(sprites));
    h.window->FillInfo(image);
    const QString path = target.isEmpty() ? QString() : h.dir.filePath(target);
    h.dialogs.fileAnswers.enqueue(path);

    QTest::mouseClick(h.window->BtnOut, Qt::LeftButton);

    QCOMPARE(h.dialogs.pickerProposals, QStringList{proposal});
    if (path.isEmpty()) {
        QVERIFY(h.dialogs.messages.isEmpty());
        return;
    }
    QCOMPARE(h.messageTexts(), QStringList{QStringLiteral("导出图片成功！")});
    QCOMPARE(h.dialogs.messages.first().caption, Info);
    // The same bytes the command line's render writes: the decoded image as a 16-bit bitmap.
    const QImage expected = storedImage(h.path, image);
    QCOMPARE(readFile(path), encodeBitmap16(expected));
    const QString wiltool = qEnvironmentVariable("WILTOOL");
    if (QFileInfo(wiltool).isExecutable()) {
        const QString rendered = h.dir.filePath(QStringLiteral("rendered.bmp"));
        QCOMPARE(QProcess::execute(wiltool, {QStringLiteral("render"), h.path, QString::number(image), rendered}), 0);
        QCOMPARE(readFile(path), readFile(rendered));
    }
    QImage written;
    QVERIFY(written.loadFromData(readFile(path), "BMP"));
    QCOMPARE(written.size(), QSize(7, 5));
    QCOMPARE(written.pixel(6, 4) | 0xff000000u, shown(sprites[image].image, 6, 4));
    QVERIFY(!QFile::exists(path + QStringLiteral(".txt")));
}

void TestMainWindow::saveFailure_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("missing folder") << "no/such/folder/x.bmp";
    QTest::newRow("the library itself") << "test.wil";
    QTest::newRow("its index") << "test.WIX";
}

void TestMainWindow::saveFailure()
{
    QFETCH(QString, target);
    Harness h;
    QVERIFY(h.open(patternSprites(2)));
    const QByteArray library = readFile(h.path);
    const QByteArray index = readFile(h.dir.filePath(QStringLiteral("test.WIX")));
    const QString path = h.dir.filePath(target);
    h.dialogs.fileAnswers.enqueue(path);
    QTest::mouseClick(h.window->BtnOut, Qt::LeftButton);
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().caption, Error);
    QVERIFY2(h.dialogs.lastMessage().contains(QDir::toNativeSeparators(path)),
             qPrintable(h.dialogs.lastMessage()));
    QCOMPARE(readFile(h.path), library);
    QCOMPARE(readFile(h.dir.filePath(QStringLiteral("test.WIX"))), index);
}

void TestMainWindow::load_data()
{
    QTest::addColumn<QString>("picture"); // file written into the folder; empty: cancelled
    QTest::addColumn<bool>("withLibrary");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("cancelled") << "" << true << Info << "导入图片失败！" << false;
    QTest::newRow("png with alpha") << "p.png" << true << Info << "导入图片成功！" << true;
    QTest::newRow("bmp") << "p.bmp" << true << Info << "导入图片成功！" << true;
    QTest::newRow("not a picture") << "p.txt" << true << Error << "导入图片失败！" << false;
    // What export writes for an image without pixels comes back as one.
    QTest::newRow("zero-length picture") << "empty.bmp" << true << Info << "导入图片成功！" << true;
    QTest::newRow("no library") << "p.png" << false << Info << "导入图片失败！" << false;
}

void TestMainWindow::load()
{
    QFETCH(QString, picture);
    QFETCH(bool, withLibrary);
    QFETCH(QString, caption);
    QFETCH(QString, message);
    QFETCH(bool, replaced);
    Harness h;
    if (withLibrary) {
        QVERIFY(h.open(patternSprites(3)));
        h.window->FillInfo(1);
    }
    // 3 x 2: red, green, blue / white, a fully transparent pixel, yellow.
    QImage source(3, 2, QImage::Format_ARGB32);
    const QList<QRgb> colours{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                              qRgb(255, 255, 255), qRgba(255, 0, 255, 0), qRgb(255, 255, 0)};
    for (int i = 0; i < 6; ++i)
        source.setPixel(i % 3, i / 3, colours[i]);
    QString path;
    if (!picture.isEmpty()) {
        path = h.dir.filePath(picture);
        if (picture.endsWith(QLatin1String(".txt")))
            QVERIFY(writeFile(path, "not a picture"));
        else if (picture == QLatin1String("empty.bmp"))
            QVERIFY(writeFile(path, {}));
        else
            QVERIFY(source.save(path));
    }
    h.dialogs.fileAnswers.enqueue(path);

    // Without a library the button is disabled; the handler does not check on its own.
    if (withLibrary)
        QTest::mouseClick(h.window->btninput, Qt::LeftButton);
    else
        h.window->btninputClick();

    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().caption, caption);
    QVERIFY2(h.dialogs.lastMessage().startsWith(message), qPrintable(h.dialogs.lastMessage()));
    if (caption == Error)
        QVERIFY(h.dialogs.lastMessage().contains(QDir::toNativeSeparators(path)));
    if (!withLibrary)
        return;
    const QImage stored = storedImage(h.path, 1);
    if (!replaced) {
        QCOMPARE(stored.size(), QSize(8, 6));
        return;
    }
    if (picture == QLatin1String("empty.bmp")) {
        TWIL reader;
        reader.FileName = h.path;
        reader.Open();
        const RecordInfo info = reader.inspectRecord(1);
        QCOMPARE(info.kind, RecordInfo::EmptyRecord);
        QCOMPARE(info.size, 9);
        return;
    }
    // Written records are W4 wide: the added column is black.
    QCOMPARE(stored.size(), QSize(4, 2));
    QCOMPARE(h.window->LabelSize->text(), QStringLiteral("4*2"));
    const bool hasAlpha = picture.endsWith(QLatin1String(".png"));
    for (int i = 0; i < 6; ++i) {
        const QRgb expected = (i == 4 && hasAlpha) ? qRgb(0, 0, 0) : (colours[i] | 0xff000000u);
        QCOMPARE(stored.pixel(i % 3, i / 3) | 0xff000000u, expected);
    }
    QCOMPARE(stored.pixel(3, 0) | 0xff000000u, qRgb(0, 0, 0));
}

void TestMainWindow::editingWindows_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("needsLibrary");
    QTest::newRow("Export") << "btnallOutClick" << "Formout" << true;
    QTest::newRow("Import") << "btnallinputClick" << "Formadd 4" << true;
    QTest::newRow("Add") << "btnAddClick" << "Formaddone" << true;
    QTest::newRow("Create") << "btnCreateClick" << "Formnew" << false;
    QTest::newRow("Delete") << "btndeleteClick" << "Formdel" << false;
}

void TestMainWindow::editingWindows()
{
    QFETCH(QString, handler);
    QFETCH(QString, window);
    QFETCH(bool, needsLibrary);
    Harness h;
    QStringList shown;
    h.window->setEditingWindows({
        .showFormout = [&] { shown << QStringLiteral("Formout"); },
        .showFormadd = [&](int last) { shown << QStringLiteral("Formadd %1").arg(last); },
        .showFormaddone = [&] { shown << QStringLiteral("Formaddone"); },
        .showFormnew = [&] { shown << QStringLiteral("Formnew"); },
        .showFormdel = [&] { shown << QStringLiteral("Formdel"); },
    });
    QVERIFY(QMetaObject::invokeMethod(h.window.get(), handler.toLatin1().constData()));
    QCOMPARE(shown, needsLibrary ? QStringList{} : QStringList{window.section(u' ', 0, 0)});

    shown.clear();
    QVERIFY(h.open(patternSprites(5)));
    h.window->FillInfo(2);
    QCOMPARE(h.window->btnCreate->isEnabled(), true);
    // The editing window takes the keyboard while it is open, as a real one does.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(QMetaObject::invokeMethod(h.window.get(), handler.toLatin1().constData()));
    other.hide();
    QCOMPARE(shown, QStringList{window});
    QCOMPARE(h.window->CurrentImage, 2);
    // The keys work in the main window again without a click.
    QTRY_VERIFY(h.window->isActiveWindow());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QCOMPARE(h.window->CurrentImage, 3);
}

void TestMainWindow::failedReopen()
{
    // A library that cannot be opened leaves nothing of the one open before it: the view, the
    // panel and the grid are cleared and the window is back where it started.
    Harness h;
    QVERIFY(h.open(patternSprites(14)));
    TFormMain &w = *h.window;
    w.FillInfo(3);
    QVERIFY(w.DrawGrid1->cellHoldsImage(0, 0));
    const QString broken = h.dir.filePath(QStringLiteral("short.wil"));
    QVERIFY(writeFile(broken, QByteArray(10, 'x')));

    QVERIFY(!w.openLibrary(broken));

    QCOMPARE(h.dialogs.lastMessage(), Broken);
    QVERIFY(!w.Wil->isOpen());
    QCOMPARE(w.CurrentImage, 0);
    for (QLabel *label : {w.Labeltype, w.LabelSize, w.LabelX, w.LabelY, w.LabelIndex})
        QCOMPARE(label->text(), QString());
    QCOMPARE(w.DrawGrid1->rowCount(), 1); // one empty row, as at start-up
    QVERIFY(!w.DrawGrid1->cellHoldsImage(0, 0));
    // The buttons as at start-up: X and Y say themselves that no library is open.
    for (QPushButton *b : editingButtons(w) + viewingButtons(w) + QList{w.btnup, w.btndown})
        QVERIFY2(b->isEnabled() == (b == w.btnx || b == w.btny), qPrintable(b->objectName()));
    // Nothing is drawn until a library is open again.
    const QImage view = h.grabView();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            QCOMPARE(pixelOf(view, x, y), h.viewBackground());
    // Prev and Next do nothing without a library.
    w.btnupClick();
    QCOMPARE(w.CurrentImage, 0);

    // A file that is no longer there clears the window the same way.
    QVERIFY(h.open(patternSprites(3)));
    QVERIFY(!w.openLibrary(h.dir.filePath(QStringLiteral("gone.wil"))));
    QCOMPARE(w.LabelIndex->text(), QString());
    QCOMPARE(w.DrawGrid1->rowCount(), 1); // one empty row, as at start-up
}

void TestMainWindow::viewDecodesOnce()
{
    // The shown image is decoded when it is chosen, not on every paint: a repaint draws the
    // picture already decoded, so pixels changed in the file behind the window's back show only
    // once the image is shown anew or an editing window has run.
    Harness h;
    auto libraryOf = [](QColor color) {
        LibraryBuilder b;
        b.add(compressedRecord(solidImage(8, 6, color), 0, 0, 0)); // stored: the same size
        return b.library();
    };
    const QString lib = h.dir.filePath(QStringLiteral("test.wil"));
    LibraryBuilder first;
    first.add(compressedRecord(solidImage(8, 6, Qt::red), 0, 0, 0));
    first.write(h.dir.path());
    QVERIFY(h.window->openLibrary(lib));
    TFormMain &w = *h.window;
    const QRgb red = shown(solidImage(1, 1, Qt::red), 0, 0);
    QCOMPARE(pixelOf(h.grabView(), 2, 2), red);

    QVERIFY(writeFile(lib, libraryOf(Qt::green)));
    w.PaintBox1->repaint();
    QCOMPARE(pixelOf(h.grabView(), 2, 2), red);
    QCOMPARE(pixelOf(h.grabView(), 2, 2), red);

    w.FillInfo(0);
    QCOMPARE(pixelOf(h.grabView(), 2, 2), shown(solidImage(1, 1, Qt::green), 0, 0));

    QVERIFY(writeFile(lib, libraryOf(Qt::blue)));
    w.setEditingWindows({.showFormaddone = [] {}});
    w.btnAddClick();
    QCOMPARE(pixelOf(h.grabView(), 2, 2), shown(solidImage(1, 1, Qt::blue), 0, 0));
}

void TestMainWindow::handlerErrorsAreShown_data()
{
    QTest::addColumn<bool>("wilError");
    QTest::newRow("library error") << true;
    QTest::newRow("other error") << false;
}

void TestMainWindow::handlerErrorsAreShown()
{
    QFETCH(bool, wilError);
    Harness h;
    QVERIFY(h.open(patternSprites(2)));
    h.window->setEditingWindows({.showFormnew = [&] {
        if (wilError)
            throw WilError(QStringLiteral("disk full"));
        throw std::runtime_error("disk full");
    }});
    QTest::mouseClick(h.window->btnCreate, Qt::LeftButton);
    QCOMPARE(h.dialogs.messages.size(), 1);
    QCOMPARE(h.dialogs.messages.first().caption, Error);
    QVERIFY(h.dialogs.lastMessage().contains(QStringLiteral("disk full")));
    QVERIFY(h.dialogs.lastMessage().contains(QDir::toNativeSeparators(h.path)));
    // The window goes on working.
    QTest::mouseClick(h.window->btndown, Qt::LeftButton);
    QCOMPARE(h.window->CurrentImage, 1);
}

void TestMainWindow::keyboard_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("Right") << int(Qt::Key_Right) << 0 << 1;
    QTest::newRow("PageDown") << int(Qt::Key_PageDown) << 0 << 1;
    QTest::newRow("Left") << int(Qt::Key_Left) << 2 << 1;
    QTest::newRow("PageUp") << int(Qt::Key_PageUp) << 2 << 1;
    QTest::newRow("Left at the first") << int(Qt::Key_Left) << 0 << 0;
    QTest::newRow("Right at the last") << int(Qt::Key_Right) << 4 << 4;
    QTest::newRow("Home") << int(Qt::Key_Home) << 3 << 0;
    QTest::newRow("End") << int(Qt::Key_End) << 1 << 4;
}

void TestMainWindow::keyboard()
{
    QFETCH(int, key);
    QFETCH(int, from);
    QFETCH(int, to);
    Harness h;
    QVERIFY(h.active);
    QVERIFY(h.open(patternSprites(5)));
    h.window->FillInfo(from);
    QTest::keyClick(h.window.get(), Qt::Key(key));
    QCOMPARE(h.window->CurrentImage, to);
    QCOMPARE(h.window->LabelIndex->text(), QStringLiteral("%1/4").arg(to));
}

void TestMainWindow::ctrlOOpens()
{
    Harness h;
    QVERIFY(h.active);
    writeLibrary(h.dir.path(), patternSprites(2));
    h.dialogs.fileAnswers.enqueue(h.dir.filePath(QStringLiteral("test.wil")));
    QTest::keyClick(h.window.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(h.messageTexts(), QStringList{Notice});
    QVERIFY(h.window->Wil->isOpen());
}

void TestMainWindow::dropLibrary_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("library") << "test.wil" << true;
    QTest::newRow("upper-case extension") << "TEST.WIL" << true;
    QTest::newRow("index file") << "test.WIX" << false;
}

void TestMainWindow::dropLibrary()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    Harness h;
    const QString written = writeLibrary(h.dir.path(), patternSprites(3), QFileInfo(name).completeBaseName());
    const QString path = h.dir.filePath(name);
    if (name.endsWith(QLatin1String(".WIL")))
        QVERIFY(QFile::rename(written, path));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = h.window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.window.get(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    if (!accepted)
        return;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.window.get(), &drop);
    QTRY_VERIFY(h.window->Wil->isOpen());
    QCOMPARE(h.messageTexts(), QStringList{Notice});
    QCOMPARE(h.window->EditFileName->text(), QDir::toNativeSeparators(path));
    QCOMPARE(h.window->LabelIndex->text(), QStringLiteral("0/2"));
}

void TestMainWindow::extractrec_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::newRow("as stored") << "testres" << "tmpl" << true;
    QTest::newRow("letter case ignored") << "TESTRES" << "Tmpl" << true;
    QTest::newRow("missing") << "testres" << "wix" << false;
}

void TestMainWindow::extractrec()
{
    QFETCH(QString, type);
    QFETCH(QString, name);
    QFETCH(bool, found);
    Harness h;
    const QString target = h.dir.filePath(QStringLiteral("out.wil"));
    QVERIFY(writeFile(target, "old contents, longer than the resource"));
    QString error;
    QCOMPARE(h.window->Extractrec(type, name, target, &error), found);
    if (found) {
        QCOMPARE(readFile(target), QByteArray("template bytes\0\1\2", 17));
    } else {
        QVERIFY(error.contains(QDir::toNativeSeparators(target)));
        QCOMPARE(readFile(target), QByteArray("old contents, longer than the resource"));
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
