// The view area, the thumbnail grid and autoplay, read back as pixels, cells and labels.
#include "viewerharness.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>

using namespace wilfixture;

namespace {

QSize defaultViewSize(const TFormMain &w)
{
    return w.ScrollBox1->size() - QSize(5, 5);
}

QImage grabGrid(const TFormMain &w) { return w.DrawGrid1->viewport()->grab().toImage(); }

// The drawn area of the grid cell for image n, in viewport coordinates.
QRect cellRect(const TFormMain &w, int n)
{
    const QRect section = w.DrawGrid1->visualRect(w.DrawGrid1->model()->index(n / 6, n % 6));
    return {section.topLeft(), QSize(ThumbnailGrid::CellSize, ThumbnailGrid::CellSize)};
}

} // namespace

namespace {

// A click where a user clicks a check box: on its box and caption, not on the empty rest of
// the widget, which does not toggle it.
void clickCheckBox(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect clickable =
        box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, clickable.center());
}

} // namespace

class TestImageView : public QObject
{
    Q_OBJECT
private slots:
    void sizing_data();
    void sizing();
    void drawsWholeImage_data();
    void drawsWholeImage();
    void blackIsTransparent();
    void zoom_data();
    void zoom();
    void fitScalesDown();
    void anchorCross_data();
    void anchorCross();
    void checkerboard();
    void pixelUnderMouse();
    void skipTinyImages_data();
    void skipTinyImages();
    void thumbnails_data();
    void thumbnails();
    void cellNumber();
    void cellNumberOverASprite();
    void gridSelection();
    void gridKeyboard();
    void paintingChangesNothing();
    void nothingDrawnWithoutLibrary();
    void undecodableIsMarked_data();
    void undecodableIsMarked();
    void autoplay_data();
    void autoplay();
    void autoplayStop();
    void autoplayFollowsOtherButtons();
};

void TestImageView::sizing_data()
{
    QTest::addColumn<int>("width"); // -1: the default view area's width
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("ownSize"); // the view area takes the image's size
    QTest::addColumn<bool>("hbar");
    QTest::addColumn<bool>("vbar");
    QTest::newRow("fits") << 100 << 80 << false << false << false;
    QTest::newRow("wider") << 600 << 200 << true << true << false;
    QTest::newRow("taller") << 200 << 600 << true << false << true;
    QTest::newRow("width at the bound") << -1 << 10 << true << false << false;
}

void TestImageView::sizing()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, ownSize);
    QFETCH(bool, hbar);
    QFETCH(bool, vbar);
    Harness h;
    const QSize bound = defaultViewSize(*h.window);
    if (width < 0)
        width = bound.width();
    QVERIFY(h.open({{patternImage(width, height)}}));
    TFormMain &w = *h.window;
    QCOMPARE(w.PaintBox1->size(), ownSize ? QSize(width, height) : bound);
    // Qt shows or hides the scroll bars once pending events have run.
    QTRY_COMPARE(w.ScrollBox1->horizontalScrollBar()->isVisible(), hbar);
    QTRY_COMPARE(w.ScrollBox1->verticalScrollBar()->isVisible(), vbar);
    QCOMPARE(w.LabelSize->text(), QStringLiteral("%1*%2").arg(width).arg(height));
}

void TestImageView::drawsWholeImage_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("fits") << QSize(100, 80);
    QTest::newRow("wider") << QSize(600, 200);
    // Widths are multiples of 4: a compressed record of another width stores fewer pixels than
    // its W4-wide rows hold, and its top rows stay black by the format.
    QTest::newRow("taller: no rows lost") << QSize(148, 600);
}

void TestImageView::drawsWholeImage()
{
    QFETCH(QSize, size);
    Harness h;
    const QImage image = patternImage(size.width(), size.height());
    QVERIFY(h.open({{image}}));
    const QImage view = h.grabView();
    const int r = size.width() - 1, b = size.height() - 1;
    for (const QPoint p : {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b), QPoint(r / 2, b / 2)})
        QCOMPARE(pixelOf(view, p.x(), p.y()), shown(image, p.x(), p.y()));
    if (view.width() > size.width())
        QCOMPARE(pixelOf(view, size.width(), 0), h.viewBackground());
    if (view.height() > size.height())
        QCOMPARE(pixelOf(view, 0, size.height()), h.viewBackground());
}

void TestImageView::blackIsTransparent()
{
    Harness h;
    QImage image = solidImage(20, 20, Qt::red);
    QPainter(&image).fillRect(5, 5, 5, 5, Qt::black);
    QVERIFY(h.open({{image}, {solidImage(30, 30, Qt::black)}}));
    QImage view = h.grabView();
    QCOMPARE(pixelOf(view, 4, 4), qRgb(255, 0, 0));
    QCOMPARE(pixelOf(view, 5, 5), h.viewBackground());
    QCOMPARE(pixelOf(view, 9, 9), h.viewBackground());

    h.window->FillInfo(1);
    view = h.grabView();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            QCOMPARE(pixelOf(view, x, y), h.viewBackground());
}

void TestImageView::zoom_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("drawn");
    QTest::addColumn<bool>("viewGrows");
    QTest::newRow("50%, halves round to even") << "Rb50" << QSize(5, 3) << QSize(2, 2) << false;
    QTest::newRow("50%") << "Rb50" << QSize(60, 50) << QSize(30, 25) << false;
    QTest::newRow("200%") << "rb200" << QSize(60, 50) << QSize(120, 100) << false;
    QTest::newRow("400%") << "rb400" << QSize(60, 50) << QSize(240, 200) << false;
    QTest::newRow("800%") << "rb800" << QSize(60, 50) << QSize(480, 400) << true;
}

void TestImageView::zoom()
{
    QFETCH(QString, option);
    QFETCH(QSize, image);
    QFETCH(QSize, drawn);
    QFETCH(bool, viewGrows);
    Harness h;
    const QImage picture = patternImage(image.width(), image.height());
    QVERIFY(h.open({{picture}}));
    TFormMain &w = *h.window;
    QTest::mouseClick(w.findChild<QRadioButton *>(option), Qt::LeftButton);
    QCOMPARE(w.LabelSize->text(), QStringLiteral("%1*%2").arg(image.width()).arg(image.height()));
    QCOMPARE(w.PaintBox1->size(), viewGrows ? drawn : defaultViewSize(w));

    const QImage view = h.grabView();
    QVERIFY(pixelOf(view, drawn.width() - 1, drawn.height() - 1) != h.viewBackground());
    if (view.width() > drawn.width())
        QCOMPARE(pixelOf(view, drawn.width(), 0), h.viewBackground());
    if (view.height() > drawn.height())
        QCOMPARE(pixelOf(view, 0, drawn.height()), h.viewBackground());
    const int factor = drawn.width() / image.width();
    if (factor >= 2) {
        // Nearest neighbour: every view pixel of a zoomed image pixel has its colour.
        const QPoint p(7, 3);
        for (int dy = 0; dy < factor; ++dy)
            for (int dx = 0; dx < factor; ++dx)
                QCOMPARE(pixelOf(view, p.x() * factor + dx, p.y() * factor + dy), shown(picture, p.x(), p.y()));
    }
}

void TestImageView::fitScalesDown()
{
    Harness h;
    QVERIFY(h.open({{solidImage(1000, 500, Qt::green)}}));
    TFormMain &w = *h.window;
    QTest::mouseClick(w.rbauto, Qt::LeftButton);
    const QSize area = defaultViewSize(w);
    QCOMPARE(w.PaintBox1->size(), area);
    QApplication::processEvents();
    QVERIFY(!w.ScrollBox1->horizontalScrollBar()->isVisible());
    QCOMPARE(w.LabelSize->text(), QStringLiteral("1000*500"));
    const double scale = std::min(area.width() / 1000.0, area.height() / 500.0);
    QCOMPARE(w.viewScale(), scale);
    const QImage view = h.grabView();
    QCOMPARE(pixelOf(view, int(1000 * scale) - 1, 0), qRgb(0, 255, 0));
    QCOMPARE(pixelOf(view, 0, int(500 * scale) - 2), qRgb(0, 255, 0));
    QCOMPARE(pixelOf(view, 0, int(500 * scale) + 2), h.viewBackground());
}

void TestImageView::anchorCross_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("factor");
    QTest::newRow("100%") << "rb100" << 1;
    QTest::newRow("200%") << "rb200" << 2;
}

void TestImageView::anchorCross()
{
    QFETCH(QString, option);
    QFETCH(int, factor);
    Harness h;
    QVERIFY(h.open({{solidImage(40, 40, Qt::blue), -10, -20}}));
    TFormMain &w = *h.window;
    QTest::mouseClick(w.findChild<QRadioButton *>(option), Qt::LeftButton);
    QCOMPARE(pixelOf(h.grabView(), 10 * factor, 20 * factor), qRgb(0, 0, 255));
    clickCheckBox(w.CheckBoxzuobiao);
    const QImage view = h.grabView();
    const QPoint anchor(10 * factor, 20 * factor);
    for (const QPoint d : {QPoint(0, 0), QPoint(-5, 0), QPoint(5, 0), QPoint(0, -5), QPoint(0, 5)})
        QCOMPARE(pixelOf(view, anchor.x() + d.x(), anchor.y() + d.y()), qRgb(255, 0, 0));
    QCOMPARE(pixelOf(view, anchor.x() + 3, anchor.y() + 3), qRgb(0, 0, 255));
}

void TestImageView::checkerboard()
{
    Harness h;
    QVERIFY(h.open({{solidImage(20, 20, Qt::black)}}));
    TFormMain &w = *h.window;
    QCOMPARE(pixelOf(h.grabView(), 0, 0), h.viewBackground());
    clickCheckBox(w.checkboxTransparent);
    const QImage view = h.grabView();
    QCOMPARE(pixelOf(view, 0, 0), qRgb(255, 255, 255));
    QCOMPARE(pixelOf(view, 8, 0), qRgb(0xcc, 0xcc, 0xcc));
    QCOMPARE(pixelOf(view, 8, 8), qRgb(255, 255, 255));
    QCOMPARE(pixelOf(view, 25, 0), h.viewBackground()); // only behind the image
}

void TestImageView::pixelUnderMouse()
{
    Harness h;
    QVERIFY(h.open({{patternImage(30, 30)}}));
    TFormMain &w = *h.window;
    QTest::mouseClick(w.rb200, Qt::LeftButton);
    clickCheckBox(w.checkboxXY);
    QTest::mouseMove(w.PaintBox1, QPoint(21, 41));
    QTRY_COMPARE(w.LabelXY->text(), QStringLiteral("10, 20"));
    QTest::mouseMove(w.PaintBox1, QPoint(100, 100)); // beyond the 60 x 60 image
    QTRY_COMPARE(w.LabelXY->text(), QString());
    QCOMPARE(w.imagePixelAt(QPoint(59, 59)), QPoint(29, 29));
}

void TestImageView::skipTinyImages_data()
{
    QTest::addColumn<bool>("skip");
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("to");
    // Images: 10x10, 1x1, 1x5, 10x10, 5x1.
    QTest::newRow("option off") << false << 0 << "next" << 1;
    QTest::newRow("next skips forward") << true << 0 << "next" << 3;
    QTest::newRow("not beyond the last") << true << 3 << "next" << 4;
    QTest::newRow("prev skips backward") << true << 4 << "prev" << 3;
    QTest::newRow("prev past two") << true << 3 << "prev" << 0;
    QTest::newRow("end skips backward") << true << 0 << "end" << 3;
    QTest::newRow("grid choice is kept") << true << 0 << "grid 2" << 2;
}

void TestImageView::skipTinyImages()
{
    QFETCH(bool, skip);
    QFETCH(int, from);
    QFETCH(QString, action);
    QFETCH(int, to);
    Harness h;
    QVERIFY(h.open({{patternImage(10, 10)}, {patternImage(1, 1)}, {patternImage(1, 5)},
                    {patternImage(10, 10)}, {patternImage(5, 1)}}));
    TFormMain &w = *h.window;
    if (skip)
        clickCheckBox(w.CheckBoxjump);
    w.FillInfo(from);
    if (action == QLatin1String("next"))
        QTest::mouseClick(w.btndown, Qt::LeftButton);
    else if (action == QLatin1String("prev"))
        QTest::mouseClick(w.btnup, Qt::LeftButton);
    else if (action == QLatin1String("end"))
        QTest::keyClick(&w, Qt::Key_End);
    else
        w.DrawGrid1->setCurrentIndex(w.DrawGrid1->model()->index(0, action.section(u' ', 1).toInt()));
    QCOMPARE(w.CurrentImage, to);
}

void TestImageView::thumbnails_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("drawn");
    QTest::newRow("small at its own size") << QSize(20, 20) << QSize(20, 20);
    QTest::newRow("exactly a cell") << QSize(64, 64) << QSize(64, 64);
    QTest::newRow("wide: width shrunk only") << QSize(128, 32) << QSize(64, 32);
    QTest::newRow("tall: height shrunk only") << QSize(28, 100) << QSize(28, 64);
}

void TestImageView::thumbnails()
{
    QFETCH(QSize, image);
    QFETCH(QSize, drawn);
    Harness h;
    const Sprite red{solidImage(image.width(), image.height(), Qt::red)};
    QVERIFY(h.open({red, red}));
    const QImage grid = grabGrid(*h.window);
    const QRect cell = cellRect(*h.window, 1); // not selected
    const QRgb redPixel = qRgb(255, 0, 0);
    QCOMPARE(pixelOf(grid, cell.x(), cell.y()), redPixel);
    QCOMPARE(pixelOf(grid, cell.x() + drawn.width() - 1, cell.y() + drawn.height() - 1), redPixel);
    if (drawn.width() < 64)
        QVERIFY(pixelOf(grid, cell.x() + drawn.width(), cell.y()) != redPixel);
    if (drawn.height() < 64)
        QVERIFY(pixelOf(grid, cell.x(), cell.y() + drawn.height()) != redPixel);
    // The one-pixel grid line beside the cell is not painted over.
    QVERIFY(pixelOf(grid, cell.x() + 64, cell.y()) != redPixel);
}

// The number has a backing of the grid's own colour, so a sprite under it does not hide it.
void TestImageView::cellNumberOverASprite()
{
    Harness h;
    const Sprite red{solidImage(64, 64, Qt::red)};
    QVERIFY(h.open({red, red}));
    TFormMain &w = *h.window;
    const QImage grid = grabGrid(w);
    const QRect cell = cellRect(w, 1);
    const QRect text = QFontMetrics(w.DrawGrid1->viewport()->font())
                           .boundingRect(QRect(QPoint(0, 0), cell.size()).adjusted(0, 0, -1, -1),
                                         Qt::AlignRight | Qt::AlignBottom, QStringLiteral("00001"))
                           .translated(cell.topLeft());
    const QRgb base = w.DrawGrid1->palette().color(QPalette::Base).rgb() | 0xff000000u;
    QCOMPARE(pixelOf(grid, text.left() - 1, text.center().y()), base);
    QCOMPARE(pixelOf(grid, text.left() - 2, text.top()), base);
    // Above and left of the backing, the sprite.
    QCOMPARE(pixelOf(grid, text.left() - 4, text.top() - 3), qRgb(255, 0, 0));
}

void TestImageView::cellNumber()
{
    Harness h;
    QList<Sprite> sprites;
    for (int i = 0; i < 16; ++i)
        sprites.append({solidImage(10, 10, Qt::black)});
    QVERIFY(h.open(sprites));
    TFormMain &w = *h.window;
    w.DrawGrid1->resize(w.DrawGrid1->width(), 4 * 65 + 10);
    // An all-black image leaves only the number, "%.5d" in the lower right corner.
    const QRect cell = cellRect(w, 15);
    QCOMPARE(cell.topLeft(), w.DrawGrid1->visualRect(w.DrawGrid1->model()->index(2, 3)).topLeft());
    QImage expected(cell.size(), QImage::Format_RGB32);
    expected.fill(w.DrawGrid1->palette().color(QPalette::Base));
    {
        QPainter p(&expected);
        p.setFont(w.DrawGrid1->viewport()->font());
        p.setPen(w.DrawGrid1->palette().color(QPalette::Text));
        p.drawText(QRect(QPoint(0, 0), cell.size()).adjusted(0, 0, -1, -1),
                   Qt::AlignRight | Qt::AlignBottom, QStringLiteral("00015"));
    }
    const QImage actual = grabGrid(w).copy(cell).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(actual, expected);
}

void TestImageView::gridSelection()
{
    Harness h;
    QVERIFY(h.open(patternSprites(8)));
    TFormMain &w = *h.window;
    QCOMPARE(w.DrawGrid1->rowCount(), 2);
    const auto click = [&](int n) {
        QTest::mouseClick(w.DrawGrid1->viewport(), Qt::LeftButton, Qt::NoModifier, cellRect(w, n).center());
    };
    click(7);
    QCOMPARE(w.CurrentImage, 7);
    QCOMPARE(w.LabelIndex->text(), QStringLiteral("7/7"));
    QCOMPARE(w.DrawGrid1->currentCell(), QPoint(1, 1));
    // A cell past the last image changes nothing.
    click(9);
    QCOMPARE(w.CurrentImage, 7);
    QCOMPARE(w.DrawGrid1->currentCell(), QPoint(1, 1));
    // Showing an image selects its cell.
    QTest::mouseClick(w.btnup, Qt::LeftButton);
    QCOMPARE(w.DrawGrid1->currentCell(), QPoint(0, 1));
    QVERIFY(w.DrawGrid1->selectionModel()->isSelected(w.DrawGrid1->model()->index(1, 0)));
    QCOMPARE(w.DrawGrid1->selectionModel()->selectedIndexes().size(), 1);
}

void TestImageView::gridKeyboard()
{
    Harness h;
    QVERIFY(h.active);
    QVERIFY(h.open(patternSprites(8)));
    TFormMain &w = *h.window;
    w.FillInfo(1);
    w.DrawGrid1->setFocus();
    QTest::keyClick(w.DrawGrid1, Qt::Key_Down);
    QCOMPARE(w.CurrentImage, 7);
    QTest::keyClick(w.DrawGrid1, Qt::Key_Up);
    QCOMPARE(w.CurrentImage, 1);
}

void TestImageView::paintingChangesNothing()
{
    Harness h;
    QVERIFY(h.open(patternSprites(12)));
    TFormMain &w = *h.window;
    const auto click = [&](int n, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(w.DrawGrid1->viewport(), Qt::LeftButton, modifiers, cellRect(w, n).center());
    };
    click(2, Qt::NoModifier);
    click(8, Qt::ControlModifier); // several cells selected, the last chosen is shown
    click(4, Qt::ControlModifier);
    QCOMPARE(w.CurrentImage, 4);
    QCOMPARE(w.DrawGrid1->selectionModel()->selectedIndexes().size(), 3);
    w.DrawGrid1->viewport()->repaint();
    grabGrid(w);
    h.grabView();
    w.DrawGrid1->verticalScrollBar()->setValue(1);
    QApplication::processEvents();
    QCOMPARE(w.CurrentImage, 4);
    QCOMPARE(w.DrawGrid1->currentCell(), QPoint(4, 0));
    QCOMPARE(w.LabelIndex->text(), QStringLiteral("4/11"));
}

void TestImageView::nothingDrawnWithoutLibrary()
{
    Harness h;
    const QImage view = h.grabView();
    for (int y = 0; y < view.height(); y += 7)
        for (int x = 0; x < view.width(); x += 7)
            QCOMPARE(pixelOf(view, x, y), h.viewBackground());
    const QImage grid = grabGrid(*h.window);
    const QRect cell = cellRect(*h.window, 0);
    const QRgb base = h.window->DrawGrid1->palette().color(QPalette::Base).rgb();
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            QVERIFY2(pixelOf(grid, x, y) == base, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
}

void TestImageView::undecodableIsMarked_data()
{
    // A record that does not decode is shown as what it is: a marked view and cell, never the
    // picture decoded before it, and no size; the placement is the record's own.
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("too large") << compressedRecord(wilfixture::patternImage(8196, 1), 5, 6, 0);
    // Large enough that no uncompressed layout fits its extent either.
    Compressed c;
    c.width = 64, c.height = 64, c.px = 5, c.py = 6;
    c.pixels = wilfixture::rgb565Rows(solidImage(64, 64, Qt::green));
    c.method = 3;
    QTest::newRow("unknown method") << compressedRecord(c);
}

void TestImageView::undecodableIsMarked()
{
    QFETCH(QByteArray, record);
    Harness h;
    LibraryBuilder b;
    b.add(compressedRecord(solidImage(64, 64, Qt::red), 0, 0));
    b.add(record);
    QVERIFY(h.window->openLibrary(b.write(h.dir.path())));
    TFormMain &w = *h.window;
    w.FillInfo(1);
    QCOMPARE(w.LabelSize->text(), QStringLiteral("—"));
    QCOMPARE(w.LabelX->text(), QStringLiteral("5"));
    QCOMPARE(w.LabelY->text(), QStringLiteral("6"));
    const QImage view = h.grabView();
    const QRgb mark = TFormMain::UnreadableColor;
    QCOMPARE(pixelOf(view, 24, 24), mark); // the crossing of the box's diagonals
    QCOMPARE(pixelOf(view, 0, 10), mark);  // its left side
    for (int y = 1; y < 64; y += 7)
        for (int x = 50; x < 64; x += 5) // right of the box: nothing of the red image before
            QVERIFY2(pixelOf(view, x, y) != qRgb(255, 0, 0),
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    const QImage grid = grabGrid(w);
    const QRect cell = cellRect(w, 1);
    QCOMPARE(pixelOf(grid, cell.x() + 12, cell.y() + 12), mark);
    // A sound cell carries no mark.
    const QRect sound = cellRect(w, 0);
    QVERIFY(pixelOf(grid, sound.x() + 12, sound.y() + 12) != mark);
}

void TestImageView::autoplay_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("from");
    QTest::addColumn<QList<int>>("sequence");
    QTest::newRow("3 images from the first") << 3 << 0 << QList<int>{1, 2};
    QTest::newRow("at the last") << 3 << 2 << QList<int>{};
    QTest::newRow("single image") << 1 << 0 << QList<int>{};
}

void TestImageView::autoplay()
{
    QFETCH(int, count);
    QFETCH(int, from);
    QFETCH(QList<int>, sequence);
    Harness h;
    QVERIFY(h.open(patternSprites(count)));
    TFormMain &w = *h.window;
    w.FillInfo(from);
    w.btnstopClick(); // a Stop pressed while idle is forgotten
    QList<int> shownImages;
    connect(&w, &TFormMain::imageShown, this, [&](int n) { shownImages << n; });
    QTest::mouseClick(w.BtnAutoPlay, Qt::LeftButton);
    QCOMPARE(shownImages, sequence);
    QCOMPARE(w.CurrentImage, count - 1);
}

void TestImageView::autoplayStop()
{
    Harness h;
    QVERIFY(h.open(patternSprites(10)));
    TFormMain &w = *h.window;
    QList<int> shownImages;
    connect(&w, &TFormMain::imageShown, this, [&](int n) {
        shownImages << n;
        if (n == 3) // pressed while image 3 is shown: reaches the loop as a pending event
            QMetaObject::invokeMethod(w.btnstop, [&] { QTest::mouseClick(w.btnstop, Qt::LeftButton); },
                                      Qt::QueuedConnection);
    });
    QTest::mouseClick(w.BtnAutoPlay, Qt::LeftButton);
    QCOMPARE(shownImages, (QList<int>{1, 2, 3}));
    QCOMPARE(w.CurrentImage, 3);
    QCOMPARE(w.LabelIndex->text(), QStringLiteral("3/9"));
}

void TestImageView::autoplayFollowsOtherButtons()
{
    Harness h;
    QVERIFY(h.open(patternSprites(5)));
    TFormMain &w = *h.window;
    QList<int> shownImages;
    bool pressed = false;
    connect(&w, &TFormMain::imageShown, this, [&](int n) {
        shownImages << n;
        if (n == 2 && !pressed) {
            pressed = true;
            QMetaObject::invokeMethod(w.btnup, [&] { QTest::mouseClick(w.btnup, Qt::LeftButton); },
                                      Qt::QueuedConnection);
        }
    });
    QTest::mouseClick(w.BtnAutoPlay, Qt::LeftButton);
    QCOMPARE(shownImages, (QList<int>{1, 2, 1, 2, 3, 4}));
}

QTEST_MAIN(TestImageView)
#include "tst_imageview.moc"
