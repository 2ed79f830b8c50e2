#include "mail.h"

#include "dialogs.h"
#include "extractrec.h"
#include "fileio.h"
#include "imageview.h"
#include "integertext.h"
#include "mywil.h"
#include "pickedfield.h"
#include "pictureloader.h"
#include "thumbnailgrid.h"

#include <algorithm>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cfenv>
#include <cmath>

namespace {

const QString OpenNotice = QStringLiteral("Only new type korean library format can be opened.");
const QString BrokenLibrary = QStringLiteral("WIl文件已经被破坏或不是wil文件！");
const QString BadNumber = QStringLiteral("请输入正确的格式");
const QString SaveDone = QStringLiteral("导出图片成功！");
const QString LoadDone = QStringLiteral("导入图片成功！");
const QString LoadFailed = QStringLiteral("导入图片失败！");

constexpr int ClientWidth = 699;
constexpr int ClientHeight = 650;
constexpr int LeftPanelWidth = 273;
constexpr int GridPanelHeight = 269;
constexpr int ButtonWidth = 110;
constexpr int ButtonHeight = 25;

// Rounds half to even, as the view's zoom has always rounded scaled sizes.
int roundEven(double value)
{
    return int(std::nearbyint(value)); // the default rounding mode is to nearest, ties to even
}

QString describeError(const QString &file, const QString &reason)
{
    if (file.isEmpty())
        return reason;
    const QString native = QDir::toNativeSeparators(file);
    if (reason.contains(file) || reason.contains(native))
        return reason;
    return QStringLiteral("%1: %2").arg(native, reason);
}

QString dataFormatText(int fileType, int offset, const QString &previous)
{
    switch (fileType) {
    case 0:
        return QStringLiteral("VREN   数据格式(1)");
    case 1:
        return QStringLiteral("VREN   数据格式(2)");
    case 2:
        return offset == 0 ? QStringLiteral("ZEP   数据格式(1)") : QStringLiteral("ZEP   数据格式(2)");
    default:
        return previous;
    }
}

QPushButton *panelButton(const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setFixedSize(ButtonWidth, ButtonHeight);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    button->setFont(font);
    return button;
}

void drawCheckerboard(QPainter &painter, const QRect &area)
{
    constexpr int square = 8;
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, QColor(0xff, 0xff, 0xff));
    for (int y = area.top(); y <= area.bottom(); y += square)
        for (int x = area.left(); x <= area.right(); x += square)
            if (((x - area.left()) / square + (y - area.top()) / square) % 2)
                painter.fillRect(QRect(x, y, square, square), QColor(0xcc, 0xcc, 0xcc));
    painter.restore();
}

} // namespace

template <typename F> void TFormMain::guarded(const QString &file, F &&work)
{
    // An exception must not cross a Qt event handler: it would end the program.
    try {
        work();
    } catch (const WilError &e) {
        showErrMessage(describeError(file, e.message()));
    } catch (const std::bad_alloc &) {
        showErrMessage(describeError(file, tr("内存不足")));
    } catch (const std::exception &e) {
        showErrMessage(describeError(file, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        showErrMessage(describeError(file, tr("意外的错误")));
    }
}

TFormMain::TFormMain(Dialogs &dialogs, QWidget *parent) : QWidget(parent), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("VARNEL WIL EDITOR - NEW KOREAN TYPE"));
    QFont windowFont = font();
    windowFont.setPixelSize(13);
    setFont(windowFont);
    setAcceptDrops(true);

    auto *leftPanel = new QWidget(this);
    leftPanel->setFixedWidth(LeftPanelWidth);
    buildLeftPanel(leftPanel);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    ScrollBox1 = new QScrollArea(Splitter1);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PaintBox1 = new ImageView;
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->setPainter([this](QPainter &p) { PaintBox1Paint(p); });
    ScrollBox1->setWidget(PaintBox1);
    connect(PaintBox1, &ImageView::mouseMovedTo, this, &TFormMain::showMouseInfo);
    connect(PaintBox1, &ImageView::mouseLeft, LabelXY, &QLabel::clear);

    suiPanel1 = new QFrame(Splitter1);
    suiPanel1->setObjectName(QStringLiteral("suiPanel1"));
    auto *gridLayout = new QVBoxLayout(suiPanel1);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    DrawGrid1 = new ThumbnailGrid(suiPanel1);
    DrawGrid1->setObjectName(QStringLiteral("DrawGrid1"));
    gridLayout->addWidget(DrawGrid1);
    DrawGrid1->setCellFilter([this](int column, int row) {
        const qint64 n = qint64(row) * ThumbnailGrid::Columns + column;
        return Wil && Wil->isOpen() && n < Wil->ImageCount();
    });
    DrawGrid1->setCellPainter([this](QPainter &p, int column, int row, const QRect &rect, bool selected) {
        DrawGrid1DrawCell(p, column, row, rect, selected);
    });
    connect(DrawGrid1, &ThumbnailGrid::cellChosen, this, [this](int column, int row) {
        guarded(libraryFile(), [&] {
            const qint64 n = qint64(row) * ThumbnailGrid::Columns + column;
            if (Wil->isOpen() && n < Wil->ImageCount() && n != CurrentImage)
                FillInfo(int(n));
        });
    });

    Splitter1->addWidget(ScrollBox1);
    Splitter1->addWidget(suiPanel1);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setSizes({ClientHeight - GridPanelHeight - Splitter1->handleWidth(), GridPanelHeight});

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(leftPanel);
    layout->addWidget(Splitter1, 1);
    // No explicit minimum size: the layout's own keeps every control whole and apart, where a
    // fixed 130 x 23 would let the window shrink over them.

    const auto shortcut = [this](const QKeySequence &keys, void (TFormMain::*handler)()) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    shortcut(QKeySequence(Qt::Key_Left), &TFormMain::btnupClick);
    shortcut(QKeySequence(Qt::Key_PageUp), &TFormMain::btnupClick);
    shortcut(QKeySequence(Qt::Key_Right), &TFormMain::btndownClick);
    shortcut(QKeySequence(Qt::Key_PageDown), &TFormMain::btndownClick);
    shortcut(QKeySequence(Qt::Key_Home), &TFormMain::firstImageClick);
    shortcut(QKeySequence(Qt::Key_End), &TFormMain::lastImageClick);
    shortcut(QKeySequence::Open, &TFormMain::Button2Click);

    resize(ClientWidth, ClientHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

TFormMain::~TFormMain()
{
    // The component closes the library file as it goes.
    delete Wil;
    Wil = nullptr;
}

void TFormMain::FormCreate()
{
    Wil = new TWIL(this);
    Wil->setNotifier([this](const QString &text) {
        m_dialogs.message(this, QApplication::applicationDisplayName(), text, Dialogs::Icon::Warning);
    });
}

void TFormMain::buildLeftPanel(QWidget *panel)
{
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(QStringLiteral("File:"), panel));
    EditFileName = new QLineEdit(panel);
    EditFileName->setObjectName(QStringLiteral("EditFileName"));
    makePickedField(EditFileName, tr("用“...”按钮打开数据文件"));
    EditFileName->setAcceptDrops(false);
    fileRow->addWidget(EditFileName, 1);
    Button2 = new QPushButton(QStringLiteral("..."), panel);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setFixedSize(30, ButtonHeight);
    fileRow->addWidget(Button2);
    column->addLayout(fileRow);

    auto *buttons = new QGridLayout;
    buttons->setHorizontalSpacing(12);
    buttons->setVerticalSpacing(6);
    const auto pair = [&](int row, QPushButton *&left, const char *leftName, const QString &leftCaption,
                          QPushButton *&right, const char *rightName, const QString &rightCaption) {
        left = panelButton(leftCaption, panel);
        left->setObjectName(QString::fromLatin1(leftName));
        right = panelButton(rightCaption, panel);
        right->setObjectName(QString::fromLatin1(rightName));
        buttons->addWidget(left, row, 0);
        buttons->addWidget(right, row, 1);
    };
    pair(0, btnup, "btnup", QStringLiteral("Prev"), btndown, "btndown", QStringLiteral("Next"));
    pair(1, btndelete, "btndelete", QStringLiteral("Delete"), BtnJump, "BtnJump", QStringLiteral("Jump"));
    pair(2, BtnAutoPlay, "BtnAutoPlay", QStringLiteral("AutoPlay"), btnstop, "btnstop", QStringLiteral("Stop"));
    pair(3, btninput, "btninput", QStringLiteral("Load"), BtnOut, "BtnOut", QStringLiteral("Save"));
    pair(4, btnAdd, "btnAdd", QStringLiteral("Add"), btnCreate, "btnCreate", QStringLiteral("Create"));
    pair(5, btnallinput, "btnallinput", QStringLiteral("Import"), btnallOut, "btnallOut", QStringLiteral("Export"));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addLayout(buttons);
    buttonRow->addStretch();
    column->addLayout(buttonRow);

    for (QPushButton *b : {btnup, btndown, btndelete, BtnJump, BtnAutoPlay, btnstop, btninput, BtnOut,
                           btnAdd, btnCreate, btnallinput, btnallOut})
        b->setEnabled(false);

    suiGroupBox1 = new QGroupBox(tr("图片信息"), panel);
    suiGroupBox1->setObjectName(QStringLiteral("suiGroupBox1"));
    auto *info = new QGridLayout(suiGroupBox1);
    info->setColumnStretch(1, 1);
    const auto infoLabel = [&](const char *name) {
        auto *label = new QLabel(suiGroupBox1);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    Labeltype = infoLabel("Labeltype");
    LabelSize = infoLabel("LabelSize");
    LabelX = infoLabel("LabelX");
    LabelY = infoLabel("LabelY");
    LabelIndex = infoLabel("LabelIndex");
    btnx = new QPushButton(QStringLiteral("X"), suiGroupBox1);
    btnx->setObjectName(QStringLiteral("btnx"));
    btny = new QPushButton(QStringLiteral("Y"), suiGroupBox1);
    btny->setObjectName(QStringLiteral("btny"));
    for (QPushButton *b : {btnx, btny})
        b->setFixedSize(40, ButtonHeight);
    info->addWidget(new QLabel(QStringLiteral("Type:"), suiGroupBox1), 0, 0);
    info->addWidget(Labeltype, 0, 1);
    info->addWidget(new QLabel(QStringLiteral("Size:"), suiGroupBox1), 1, 0);
    info->addWidget(LabelSize, 1, 1);
    info->addWidget(btnx, 2, 0);
    info->addWidget(LabelX, 2, 1);
    info->addWidget(btny, 3, 0);
    info->addWidget(LabelY, 3, 1);
    info->addWidget(new QLabel(QStringLiteral("Pos:"), suiGroupBox1), 4, 0);
    info->addWidget(LabelIndex, 4, 1);
    LabelReadOnly = infoLabel("LabelReadOnly");
    LabelReadOnly->setWordWrap(true);
    // The reason takes a few lines: the panel grows for them rather than cutting them off.
    LabelReadOnly->setMinimumHeight(4 * LabelReadOnly->fontMetrics().lineSpacing());
    LabelReadOnly->hide();
    info->addWidget(LabelReadOnly, 5, 0, 1, 2);
    column->addWidget(suiGroupBox1);

    buildViewOptions();
    column->addWidget(suiGroupBox2);
    column->addStretch();

    connect(Button2, &QPushButton::clicked, this, &TFormMain::Button2Click);
    connect(btnup, &QPushButton::clicked, this, &TFormMain::btnupClick);
    connect(btndown, &QPushButton::clicked, this, &TFormMain::btndownClick);
    connect(btndelete, &QPushButton::clicked, this, &TFormMain::btndeleteClick);
    connect(BtnJump, &QPushButton::clicked, this, &TFormMain::BtnJumpClick);
    connect(BtnAutoPlay, &QPushButton::clicked, this, &TFormMain::BtnAutoPlayClick);
    connect(btnstop, &QPushButton::clicked, this, &TFormMain::btnstopClick);
    connect(btninput, &QPushButton::clicked, this, &TFormMain::btninputClick);
    connect(BtnOut, &QPushButton::clicked, this, &TFormMain::BtnOutClick);
    connect(btnAdd, &QPushButton::clicked, this, &TFormMain::btnAddClick);
    connect(btnCreate, &QPushButton::clicked, this, &TFormMain::btnCreateClick);
    connect(btnallinput, &QPushButton::clicked, this, &TFormMain::btnallinputClick);
    connect(btnallOut, &QPushButton::clicked, this, &TFormMain::btnallOutClick);
    connect(btnx, &QPushButton::clicked, this, &TFormMain::btnxClick);
    connect(btny, &QPushButton::clicked, this, &TFormMain::btnyClick);
}

void TFormMain::buildViewOptions()
{
    suiGroupBox2 = new QGroupBox(tr("显示"));
    suiGroupBox2->setObjectName(QStringLiteral("suiGroupBox2"));
    auto *grid = new QGridLayout(suiGroupBox2);
    auto *zoom = new QButtonGroup(suiGroupBox2);
    const auto radio = [&](const char *name, const QString &caption, int row, int col) {
        auto *button = new QRadioButton(caption, suiGroupBox2);
        button->setObjectName(QString::fromLatin1(name));
        zoom->addButton(button);
        grid->addWidget(button, row, col);
        return button;
    };
    Rb50 = radio("Rb50", QStringLiteral("50%"), 0, 0);
    rb100 = radio("rb100", QStringLiteral("100%"), 0, 1);
    rb200 = radio("rb200", QStringLiteral("200%"), 0, 2);
    rb400 = radio("rb400", QStringLiteral("400%"), 1, 0);
    rb800 = radio("rb800", QStringLiteral("800%"), 1, 1);
    rbauto = radio("rbauto", tr("适应窗口"), 1, 2);
    rb100->setChecked(true);
    const auto check = [&](const char *name, const QString &caption, int row) {
        auto *box = new QCheckBox(caption, suiGroupBox2);
        box->setObjectName(QString::fromLatin1(name));
        grid->addWidget(box, row, 0, 1, 3);
        return box;
    };
    checkboxTransparent = check("checkboxTransparent", tr("显示透明色"), 2);
    CheckBoxjump = check("CheckBoxjump", tr("跳过极小的图片"), 3);
    checkboxXY = check("checkboxXY", tr("显示鼠标处的像素"), 4);
    CheckBoxzuobiao = check("CheckBoxzuobiao", tr("显示坐标原点"), 5);
    LabelXY = new QLabel(suiGroupBox2);
    LabelXY->setObjectName(QStringLiteral("LabelXY"));
    grid->addWidget(LabelXY, 6, 0, 1, 3);

    for (QRadioButton *b : {Rb50, rb100, rb200, rb400, rb800, rbauto})
        connect(b, &QRadioButton::clicked, this, &TFormMain::rb800Click);
    for (QCheckBox *b : {checkboxTransparent, CheckBoxjump, checkboxXY, CheckBoxzuobiao})
        connect(b, &QCheckBox::clicked, this, &TFormMain::rb800Click);

    connect(checkboxXY, &QCheckBox::toggled, this, [this](bool on) {
        PaintBox1->setMouseTracking(on);
        LabelXY->clear();
    });
}

QString TFormMain::libraryFile() const { return Wil ? Wil->FileName : QString(); }

// ---- messages -------------------------------------------------------------------------------

void TFormMain::showMessage(const QString &text)
{
    m_dialogs.message(this, QStringLiteral("消息！"), text, Dialogs::Icon::Information);
}

void TFormMain::showErrMessage(const QString &text)
{
    m_dialogs.message(this, QStringLiteral("错误！"), text, Dialogs::Icon::Warning);
}

// ---- grid -----------------------------------------------------------------------------------

void TFormMain::DrawGrid1DrawCell(QPainter &canvas, int column, int row, const QRect &rect, bool)
{
    const qint64 n = qint64(row) * ThumbnailGrid::Columns + column;
    if (!Wil->isOpen() || n >= Wil->ImageCount())
        return;
    bool drawn = false;
    try {
        Wil->DrawImage(canvas, rect, true, int(n));
        drawn = Wil->lastDecodeOk();
    } catch (...) {
    }
    // A damaged record is marked as such; the number still tells which one it is.
    if (!drawn)
        drawUnreadableMark(canvas, rect.adjusted(2, 2, -2, -2), false);
    const QString number = QString::asprintf("%.5d", int(n));
    const QRect textArea = rect.adjusted(0, 0, -1, -1);
    // On a backing of its own the number stays readable over any sprite.
    const QRect textRect =
        canvas.fontMetrics().boundingRect(textArea, Qt::AlignRight | Qt::AlignBottom, number);
    canvas.fillRect(textRect.adjusted(-2, -1, 0, 0).intersected(rect),
                    DrawGrid1->palette().color(QPalette::Base));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawText(textArea, Qt::AlignRight | Qt::AlignBottom, number);
}

// ---- the view -------------------------------------------------------------------------------

void TFormMain::drawUnreadableMark(QPainter &canvas, const QRect &box, bool withWords)
{
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setPen(QPen(QColor::fromRgb(UnreadableColor), 1));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawRect(box);
    canvas.drawLine(box.topLeft(), box.bottomRight());
    canvas.drawLine(box.bottomLeft(), box.topRight());
    if (withWords)
        canvas.drawText(QRect(box.right() + 8, box.top(), 400, box.height()),
                        Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("无法读取此图片"));
    canvas.restore();
}

double TFormMain::zoomFactor() const
{
    if (Rb50->isChecked())
        return 0.5;
    if (rb200->isChecked())
        return 2;
    if (rb400->isChecked())
        return 4;
    if (rb800->isChecked())
        return 8;
    return 1;
}

double TFormMain::viewScale() const
{
    if (!rbauto->isChecked())
        return zoomFactor();
    const int w = m_imageSize.width(), h = m_imageSize.height();
    if (w <= 0 || h <= 0)
        return 1;
    const QSize area = PaintBox1->size();
    return std::min({1.0, double(area.width()) / w, double(area.height()) / h});
}

QPoint TFormMain::imagePixelAt(const QPoint &viewPosition) const
{
    const double scale = viewScale();
    if (m_imageSize.isEmpty() || scale <= 0)
        return {-1, -1};
    const int x = int(std::floor(viewPosition.x() / scale));
    const int y = int(std::floor(viewPosition.y() / scale));
    if (x < 0 || y < 0 || x >= m_imageSize.width() || y >= m_imageSize.height())
        return {-1, -1};
    return {x, y};
}

void TFormMain::showMouseInfo(const QPoint &viewPosition)
{
    if (!checkboxXY->isChecked() || !Wil->isOpen()) {
        LabelXY->clear();
        return;
    }
    const QPoint pixel = imagePixelAt(viewPosition);
    LabelXY->setText(pixel.x() < 0 ? QString() : QStringLiteral("%1, %2").arg(pixel.x()).arg(pixel.y()));
}

void TFormMain::PaintBox1Paint(QPainter &canvas)
{
    if (!Wil->isOpen())
        return;
    try {
        if (!PaintBox1->hasPicture()) {
            const QImage *decoded = Wil->GetBitmap(CurrentImage);
            if (!decoded)
                return;
            // The component keeps the previous picture when a record does not decode: it is
            // not this image's, and is not shown as if it were.
            PaintBox1->keepPicture(Wil->lastDecodeOk() ? *decoded : QImage(),
                                   QPoint(Wil->px, Wil->py), !Wil->lastDecodeOk());
        }
        const QImage *bitmap = &PaintBox1->picture();
        const QPoint placement = PaintBox1->placement();
        const double scale = viewScale();
        const QSize own = bitmap->size();
        const QSize drawn(std::max(own.width() > 0 ? 1 : 0, roundEven(own.width() * scale)),
                          std::max(own.height() > 0 ? 1 : 0, roundEven(own.height() * scale)));
        if (checkboxTransparent->isChecked() && !drawn.isEmpty())
            drawCheckerboard(canvas, QRect(QPoint(0, 0), drawn));
        if (!drawn.isEmpty()) {
            if (drawn == own) {
                DrawTransparent(canvas, 0, 0, 0, *bitmap);
            } else {
                // Scaled by the painter, without smoothing: nearest neighbour keeps pixels crisp,
                // and only the part of a large zoomed image that is exposed gets drawn.
                canvas.save();
                canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
                canvas.scale(double(drawn.width()) / own.width(), double(drawn.height()) / own.height());
                DrawTransparent(canvas, 0, 0, 0, *bitmap);
                canvas.restore();
            }
        }
        if (PaintBox1->unreadable())
            drawUnreadableMark(canvas, QRect(0, 0, 48, 48), true);
        if (CheckBoxzuobiao->isChecked()) {
            // The anchor lies at (-px, -py) from the image's top-left corner.
            const QPointF anchor(-placement.x() * scale, -placement.y() * scale);
            constexpr int arm = 10;
            canvas.save();
            canvas.setPen(QPen(QColor(255, 0, 0), 1));
            canvas.setRenderHint(QPainter::Antialiasing, false);
            const QPoint a = anchor.toPoint();
            canvas.drawLine(a.x() - arm, a.y(), a.x() + arm, a.y());
            canvas.drawLine(a.x(), a.y() - arm, a.x(), a.y() + arm);
            canvas.restore();
        }
    } catch (...) {
        // Painting must not raise; a record that cannot be drawn leaves the view empty.
    }
}

void TFormMain::FormPaint() { PaintBox1->update(); }

// ---- showing an image -----------------------------------------------------------------------

void TFormMain::FillInfo(int n)
{
    if (!Wil->isOpen())
        return;
    CurrentImage = n;
    const QImage *bitmap = Wil->GetBitmap(n);
    int w = Wil->Width;
    int h = Wil->Height;
    QString sizeText = QStringLiteral("%1*%2").arg(w).arg(h);
    QPoint placement(Wil->px, Wil->py);
    bool headerRead = true;
    if (!bitmap) {
        PaintBox1->forgetPicture();
    } else if (Wil->lastDecodeOk()) {
        PaintBox1->keepPicture(*bitmap, placement);
    } else {
        // Nothing of the previous image is shown, and no size: the view says the image cannot
        // be read. The placement is the record's own where its header could be read.
        const RecordInfo info = Wil->inspectRecord(n);
        placement = QPoint(info.px, info.py);
        headerRead = info.extent >= 8;
        PaintBox1->keepPicture(QImage(), placement, true);
        sizeText = QStringLiteral("—");
        w = h = 0;
    }
    m_imageSize = QSize(w, h);

    // The view area fills the scroll area unless the image needs more room.
    QSize area(ScrollBox1->width() - 5, ScrollBox1->height() - 5);
    if (!rbauto->isChecked()) {
        const double factor = zoomFactor();
        const int sw = roundEven(w * factor);
        const int sh = roundEven(h * factor);
        if (sw >= area.width() || sh >= area.height())
            area = QSize(sw, sh);
    }
    PaintBox1->resize(area.expandedTo(QSize(0, 0)));

    LabelX->setText(headerRead ? QString::number(placement.x()) : QStringLiteral("—"));
    LabelY->setText(headerRead ? QString::number(placement.y()) : QStringLiteral("—"));
    LabelSize->setText(sizeText);
    LabelIndex->setText(QStringLiteral("%1/%2").arg(n).arg(Wil->ImageCount() - 1));
    Labeltype->setText(dataFormatText(Wil->FileType, Wil->OffSet, Labeltype->text()));
    PaintBox1->update();

    // What cannot be done is not offered, and says why.
    QString whyReadOnly;
    const bool writable = Wil->canEdit(&whyReadOnly);
    for (QPushButton *b : {btnup, btndown, BtnJump, BtnAutoPlay, btnstop, BtnOut, btnallOut, btnCreate})
        b->setEnabled(true);
    for (QPushButton *b : libraryChangingButtons()) {
        b->setEnabled(writable);
        b->setToolTip(writable ? QString() : whyReadOnly);
    }
    // The file is the one in the field above: the panel gives only the reason.
    const QString prefix = QDir::toNativeSeparators(Wil->FileName) + QStringLiteral(": ");
    LabelReadOnly->setText(
        writable ? QString()
                 : QStringLiteral("只读：%1")
                       .arg(whyReadOnly.startsWith(prefix) ? whyReadOnly.mid(prefix.size())
                                                           : whyReadOnly));
    LabelReadOnly->setToolTip(writable ? QString() : whyReadOnly);
    LabelReadOnly->setVisible(!writable);
    if (n == Wil->ImageCount() - 1) {
        btndown->setEnabled(false);
        btnup->setEnabled(true);
    }
    if (n == 0)
        btnup->setEnabled(false);

    if (n >= 0)
        DrawGrid1->selectCell(n % ThumbnailGrid::Columns, n / ThumbnailGrid::Columns);
    if (checkboxXY->isChecked())
        showMouseInfo(PaintBox1->mapFromGlobal(QCursor::pos()));
    emit imageShown(n);
}

void TFormMain::showLibraryAsItIs()
{
    // The picture kept for the view may be another image's now, or gone.
    PaintBox1->forgetPicture();
    if (!Wil->isOpen()) {
        showNoLibrary();
        return;
    }
    const int n = std::clamp(CurrentImage, 0, std::max(Wil->ImageCount() - 1, 0));
    DrawGrid1->setRowCount(Wil->ImageCount() / ThumbnailGrid::Columns + 1);
    DrawGrid1->refresh();
    FillInfo(n);
}

QList<QPushButton *> TFormMain::libraryChangingButtons() const
{
    return {btninput, btnallinput, btnAdd, btndelete, btnx, btny};
}

void TFormMain::showNoLibrary()
{
    CurrentImage = 0;
    PaintBox1->forgetPicture();
    PaintBox1->update();
    for (QLabel *label : {Labeltype, LabelSize, LabelX, LabelY, LabelIndex})
        label->clear();
    DrawGrid1->setRowCount(0);
    DrawGrid1->refresh();
    for (QPushButton *b : {btnup, btndown, btndelete, BtnJump, BtnAutoPlay, btnstop, btninput,
                           BtnOut, btnAdd, btnCreate, btnallinput, btnallOut})
        b->setEnabled(false);
    for (QPushButton *b : libraryChangingButtons())
        b->setToolTip(QString());
    btnx->setEnabled(true);
    btny->setEnabled(true);
    LabelReadOnly->clear();
    LabelReadOnly->hide();
}

bool TFormMain::isTinyImage(int n)
{
    const QImage *bitmap = Wil->GetBitmap(n);
    if (!bitmap || !Wil->lastDecodeOk())
        return false; // a damaged record is shown, not skipped
    return bitmap->width() <= 1 || bitmap->height() <= 1;
}

int TFormMain::skipTinyImages(int n, int step)
{
    if (!CheckBoxjump->isChecked() || !Wil->isOpen())
        return n;
    const int last = Wil->ImageCount() - 1;
    while (n + step >= 0 && n + step <= last && n >= 0 && n <= last && isTinyImage(n))
        n += step;
    return n;
}

// ---- opening --------------------------------------------------------------------------------

void TFormMain::Button2Click()
{
    guarded(QString(), [&] {
        showMessage(OpenNotice);
        const QString path = m_dialogs.openFile(this, tr("打开数据文件"),
                                                {tr("数据文件 (*.wil)"), tr("所有文件 (*)")});
        if (path.isEmpty())
            return;
        guarded(path, [&] { openLibrary(path); });
    });
}

bool TFormMain::openLibrary(const QString &path)
{
    EditFileName->setText(QDir::toNativeSeparators(path));
    if (Wil->isOpen())
        Wil->Close();
    // Nothing of the library open before stays on show, whether this one opens or not.
    showNoLibrary();
    if (!QFileInfo(path).isFile())
        return false;
    Wil->FileName = path;
    Wil->Open();
    if (!Wil->isOpen()) {
        showErrMessage(BrokenLibrary);
        return false;
    }
    CurrentImage = 0;
    DrawGrid1->setRowCount(Wil->ImageCount() / ThumbnailGrid::Columns + 1);
    DrawGrid1->refresh();
    FillInfo(0);
    return true;
}

void TFormMain::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile() &&
        QFileInfo(urls.first().toLocalFile()).suffix().compare(QLatin1String("wil"), Qt::CaseInsensitive) == 0)
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return;
    const QString path = urls.first().toLocalFile();
    if (QFileInfo(path).suffix().compare(QLatin1String("wil"), Qt::CaseInsensitive) != 0)
        return;
    event->acceptProposedAction();
    // The notice is modal: show it after the drag has ended, not inside it.
    QTimer::singleShot(0, this, [this, path] {
        guarded(path, [&] {
            showMessage(OpenNotice);
            openLibrary(path);
        });
    });
}

// ---- navigation -----------------------------------------------------------------------------

void TFormMain::btnupClick()
{
    guarded(libraryFile(), [&] {
        if (!Wil->isOpen())
            return;
        const int n = std::max(0, CurrentImage - 1);
        FillInfo(skipTinyImages(n, -1));
    });
}

void TFormMain::btndownClick()
{
    guarded(libraryFile(), [&] {
        if (!Wil->isOpen())
            return;
        const int last = std::max(0, Wil->ImageCount() - 1);
        const int n = std::min(last, CurrentImage + 1);
        FillInfo(skipTinyImages(n, +1));
    });
}

void TFormMain::firstImageClick()
{
    guarded(libraryFile(), [&] {
        if (Wil->isOpen() && Wil->ImageCount() > 0)
            FillInfo(skipTinyImages(0, +1));
    });
}

void TFormMain::lastImageClick()
{
    guarded(libraryFile(), [&] {
        if (Wil->isOpen() && Wil->ImageCount() > 0)
            FillInfo(skipTinyImages(Wil->ImageCount() - 1, -1));
    });
}

void TFormMain::BtnJumpClick()
{
    guarded(libraryFile(), [&] {
        if (!Wil->isOpen())
            return;
        const auto answer = m_dialogs.inputText(this, QStringLiteral("跳转"),
                                                QStringLiteral("请输入图片索引号    "), m_jumpText);
        if (!answer)
            return;
        m_jumpText = *answer;
        // A text that does not read fully is worth the digits read before the misfit.
        const qint32 v = readInteger(*answer).value;
        if (v >= 0 && v < Wil->ImageCount())
            FillInfo(v);
    });
}

void TFormMain::BtnAutoPlayClick()
{
    guarded(libraryFile(), [&] {
        AutoPlayStop = false;
        while (CurrentImage < Wil->ImageCount() - 1 && !AutoPlayStop) {
            ++CurrentImage;
            CurrentImage = skipTinyImages(CurrentImage, +1);
            FillInfo(CurrentImage);
            // Lets the view repaint and Stop and the other buttons reach us.
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    });
}

void TFormMain::btnstopClick() { AutoPlayStop = true; }

void TFormMain::rb800Click()
{
    guarded(libraryFile(), [&] {
        if (!checkboxXY->isChecked())
            LabelXY->clear();
        FillInfo(CurrentImage);
    });
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    AutoPlayStop = true; // a running autoplay must not outlive the window
    QWidget::closeEvent(event);
}

// ---- save and load --------------------------------------------------------------------------

void TFormMain::BtnOutClick()
{
    guarded(libraryFile(), [&] {
        if (!Wil->isOpen())
            return;
        const QString path =
            m_dialogs.saveFile(this, tr("保存图片"), QString::asprintf("%.6d.bmp", CurrentImage),
                               {QStringLiteral("Bitmaps (*.bmp)")}, QStringLiteral("bmp"));
        if (path.isEmpty())
            return;
        guarded(path, [&] { saveCurrentImage(path); });
    });
}

bool TFormMain::saveCurrentImage(const QString &path)
{
    if (!Wil->isOpen())
        return false;
    // Writing the picture over the library or its index would destroy what it was read from.
    const QString target = QFileInfo(path).absoluteFilePath();
    for (const QString &own : {Wil->FileName, Wil->IndexFileName}) {
        if (!own.isEmpty() && QFileInfo(own).absoluteFilePath() == target) {
            showErrMessage(describeError(path, tr("这是当前打开的数据文件本身")));
            return false;
        }
    }
    const QImage *bitmap = Wil->GetBitmap(CurrentImage);
    if (!bitmap)
        return false;
    if (!Wil->lastDecodeOk()) {
        // The component kept the previous picture: saving it would export the wrong image.
        showErrMessage(describeError(Wil->FileName, tr("图片 %1 无法解码").arg(CurrentImage)));
        return false;
    }
    const QByteArray bytes = encodeBitmap16(*bitmap);
    // Written whole or not at all: a failed save never leaves a truncated picture behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        showErrMessage(describeError(path, file.errorString()));
        return false;
    }
    showMessage(SaveDone);
    return true;
}

void TFormMain::btninputClick()
{
    guarded(libraryFile(), [&] {
        const QString path = m_dialogs.openPicture(this, tr("载入图片"));
        // The window repaints before the work starts.
        QCoreApplication::processEvents();
        if (path.isEmpty()) {
            showMessage(LoadFailed);
            return;
        }
        guarded(path, [&] { loadIntoCurrentImage(path); });
    });
}

bool TFormMain::loadIntoCurrentImage(const QString &path)
{
    const LoadedPicture picture = loadPicture(path);
    if (picture.status == LoadedPicture::Unreadable) {
        showErrMessage(LoadFailed + QLatin1Char('\n') + describeError(path, picture.error));
        return false;
    }
    // A zero-length file stands for an image without pixels, as export writes one.
    if (!Wil->ReplaceBitmap(CurrentImage, picture.image)) {
        const QString reason = Wil->errorString();
        // The component may have read the library again (another program changed it).
        showLibraryAsItIs();
        showMessage(reason.isEmpty() ? LoadFailed : LoadFailed + QLatin1Char('\n') + reason);
        return false;
    }
    // Show the new image and its size at once rather than at the next paint.
    FillInfo(CurrentImage);
    DrawGrid1->refresh();
    showMessage(LoadDone);
    return true;
}

// ---- placement ------------------------------------------------------------------------------

void TFormMain::btnxClick() { editPlacement(true); }
void TFormMain::btnyClick() { editPlacement(false); }

void TFormMain::editPlacement(bool horizontal)
{
    guarded(libraryFile(), [&] {
        const auto answer = horizontal
            ? m_dialogs.inputText(this, QStringLiteral("更改图片横坐标"),
                                  QStringLiteral("请输入图片横坐标    "), QStringLiteral("1"))
            : m_dialogs.inputText(this, QStringLiteral("更改图片纵坐标"),
                                  QStringLiteral("请输入图片纵坐标    "), QStringLiteral("1"));
        if (!answer)
            return;
        const IntegerReading reading = readInteger(*answer);
        if (!reading.ok) {
            showErrMessage(BadNumber);
            return;
        }
        if (!Wil->isOpen())
            return; // nothing to write to
        // The record holds a signed 16-bit value: only the low 16 bits are kept.
        const qint16 value = qint16(reading.value);
        const bool written = horizontal ? Wil->SetImagePx(CurrentImage, value)
                                        : Wil->SetImagePy(CurrentImage, value);
        if (!written) {
            const QString reason = Wil->errorString();
            showLibraryAsItIs();
            showErrMessage(describeError(Wil->FileName, reason));
            return;
        }
        FillInfo(CurrentImage);
    });
}

// ---- editing windows ------------------------------------------------------------------------

void TFormMain::showWindow(const std::function<void()> &show, bool needsLibrary)
{
    guarded(libraryFile(), [&] {
        if (needsLibrary && !Wil->isOpen())
            return;
        if (show)
            show();
        // The window may have changed the library.
        showLibraryAsItIs();
        takeBackKeyboard();
    });
}

void TFormMain::takeBackKeyboard()
{
    // The editing window had the keyboard; without this the keys do nothing until a click.
    raise();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void TFormMain::btnallOutClick() { showWindow(m_windows.showFormout, true); }

void TFormMain::btnallinputClick()
{
    guarded(libraryFile(), [&] {
        if (!Wil->isOpen() || !m_windows.showFormadd)
            return;
        m_windows.showFormadd(Wil->ImageCount() - 1);
        showLibraryAsItIs();
        takeBackKeyboard();
    });
}

void TFormMain::btnAddClick() { showWindow(m_windows.showFormaddone, true); }
void TFormMain::btnCreateClick() { showWindow(m_windows.showFormnew, false); }
void TFormMain::btndeleteClick() { showWindow(m_windows.showFormdel, false); }

// ---- resources ------------------------------------------------------------------------------

bool TFormMain::Extractrec(const QString &type, const QString &name, const QString &target,
                           QString *error)
{
    QString reason;
    if (::Extractrec(type, name, target, &reason))
        return true;
    if (error)
        *error = describeError(target, reason);
    return false;
}
