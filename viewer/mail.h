#pragma once
// The main window: opens a library, shows one image at a time with its size, placement and
// number, steps and plays through the images, shows them all as thumbnails, exports the current
// image to a bitmap file or replaces it from a picture, edits its placement, and opens the
// editing windows.

#include "editorhost.h"

#include <QPoint>
#include <QSize>
#include <QWidget>
#include <functional>

class Dialogs;
class ImageView;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSplitter;
class QFrame;
class ThumbnailGrid;
class TWIL;

// The editing windows are created at start-up after the main window; start-up hands the main
// window one function per window that shows it modally. A button whose window is not set does
// nothing.
struct EditingWindowHooks
{
    std::function<void()> showFormout{};           // "Export": batch export
    // "Import": the batch window. Before showing it, its end field EditEnd gets `lastImage` in
    // decimal and its folder field EditPicPath is emptied.
    std::function<void(int lastImage)> showFormadd{};
    std::function<void()> showFormaddone{};        // "Add": add one picture
    std::function<void()> showFormnew{};           // "Create": new library
    std::function<void()> showFormdel{};           // "Delete": delete or blank a range
};

class TFormMain : public QWidget, public EditorHost
{
    Q_OBJECT
public:
    explicit TFormMain(Dialogs &dialogs, QWidget *parent = nullptr);
    ~TFormMain() override;

    void setEditingWindows(EditingWindowHooks hooks) { m_windows = std::move(hooks); }

    // EditorHost
    TWIL &wil() override { return *Wil; }
    int currentImage() const override { return CurrentImage; }
    Dialogs &dialogs() override { return m_dialogs; }
    void showMessage(const QString &text) override;
    void showErrMessage(const QString &text) override;

    // The work behind the buttons, each given what its picker would have chosen. Each reports
    // its result in a message box like the button does and returns whether it succeeded.
    bool openLibrary(const QString &path);
    bool saveCurrentImage(const QString &path);
    bool loadIntoCurrentImage(const QString &path);
    // Writes the program's embedded resource `type`/`name` (letter case ignored) to `target`.
    bool Extractrec(const QString &type, const QString &name, const QString &target,
                    QString *error = nullptr);

    // Shows image n (no library open: nothing happens).
    void FillInfo(int n);
    // Shows the library as the component now holds it, after an edit or after it was read
    // again: the current image (kept where it is, within the new count), the panel, the grid.
    void showLibraryAsItIs() override;
    // The window as it is with no library open: empty view, panel and grid, and only what
    // needs no library offered.
    void showNoLibrary();
    // The buttons whose action changes the open library: offered only when it may be changed.
    QList<QPushButton *> libraryChangingButtons() const;
    // Makes the main window active again, with the keyboard, after an editing window.
    void takeBackKeyboard();
    // The colour of the mark on an image whose record cannot be decoded.
    static constexpr QRgb UnreadableColor = 0xffc80000;

    // The factor the view is drawn at: the chosen zoom, or for the fit option what makes the
    // current image fit the view.
    double viewScale() const;
    // The pixel of the current image under a point of the view area, or (-1, -1).
    QPoint imagePixelAt(const QPoint &viewPosition) const;

    // Shared with the editing windows.
    TWIL *Wil = nullptr;
    int CurrentImage = 0;
    bool AutoPlayStop = false;

    // Controls, named as the window's form data names them.
    QLineEdit *EditFileName;
    QPushButton *Button2;
    QPushButton *btnup, *btndown;
    QPushButton *btndelete, *BtnJump;
    QPushButton *BtnAutoPlay, *btnstop;
    QPushButton *btninput, *BtnOut;
    QPushButton *btnAdd, *btnCreate;
    QPushButton *btnallinput, *btnallOut;
    QGroupBox *suiGroupBox1;
    QLabel *Labeltype, *LabelSize, *LabelX, *LabelY, *LabelIndex;
    // Shown only while the open library cannot be changed, with the reason.
    QLabel *LabelReadOnly;
    QPushButton *btnx, *btny;
    QGroupBox *suiGroupBox2;
    QRadioButton *Rb50, *rb100, *rb200, *rb400, *rb800, *rbauto;
    QCheckBox *checkboxTransparent, *CheckBoxjump, *checkboxXY, *CheckBoxzuobiao;
    QLabel *LabelXY; // the pixel under the mouse, while checkboxXY is checked
    QSplitter *Splitter1;
    QScrollArea *ScrollBox1;
    ImageView *PaintBox1;
    QFrame *suiPanel1;
    ThumbnailGrid *DrawGrid1;

signals:
    // FillInfo has shown image n.
    void imageShown(int n);

public slots:
    void FormPaint();
    void Button2Click();
    void btnupClick();
    void btndownClick();
    void BtnJumpClick();
    void BtnAutoPlayClick();
    void btnstopClick();
    void BtnOutClick();
    void btninputClick();
    void btnallOutClick();
    void btnallinputClick();
    void btnAddClick();
    void btnCreateClick();
    void btndeleteClick();
    void btnxClick();
    void btnyClick();
    void rb800Click();
    void firstImageClick();
    void lastImageClick();

public:
    void PaintBox1Paint(QPainter &canvas);
    void DrawGrid1DrawCell(QPainter &canvas, int column, int row, const QRect &rect, bool selected);
    // A box with both diagonals (and, in the view, the words) for an image that cannot be read.
    void drawUnreadableMark(QPainter &canvas, const QRect &box, bool withWords);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void FormCreate();
    void buildLeftPanel(QWidget *panel);
    void buildViewOptions();
    void editPlacement(bool horizontal);
    void showWindow(const std::function<void()> &show, bool needsLibrary);
    // Moves from n in `step` (+1 or -1) past images of at most one pixel in width or height
    // while the skip option is on, never beyond the first or last image.
    int skipTinyImages(int n, int step);
    bool isTinyImage(int n);
    void showMouseInfo(const QPoint &viewPosition);
    double zoomFactor() const;
    // Runs a handler's work; an error it raises is shown in the error box, naming `file`.
    template <typename F> void guarded(const QString &file, F &&work);
    QString libraryFile() const;

    Dialogs &m_dialogs;
    EditingWindowHooks m_windows;
    QString m_jumpText = QStringLiteral("0"); // the jump dialog shows what it last held
    QSize m_imageSize;                        // the shown image's own size
};
