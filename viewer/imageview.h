#pragma once
// The view area: a plain surface inside the scroll area whose painting the main window does.
// It reports the mouse so that the window can show the pixel under it.

#include <QImage>
#include <QWidget>
#include <functional>

class ImageView : public QWidget
{
    Q_OBJECT
public:
    using Painter = std::function<void(QPainter &painter)>;

    explicit ImageView(QWidget *parent = nullptr);
    void setPainter(Painter painter) { m_painter = std::move(painter); }

    // The decoded picture of the shown image, kept so that a repaint draws it again instead of
    // decoding it on every paint. Whoever changes the image, the library or its pixels forgets
    // it; the painter then decodes once more and keeps the result.
    // `unreadable`: the record could not be decoded; the view says so instead of drawing.
    void keepPicture(const QImage &picture, const QPoint &placement, bool unreadable = false);
    void forgetPicture();
    bool hasPicture() const { return m_hasPicture; }
    bool unreadable() const { return m_unreadable; }
    const QImage &picture() const { return m_picture; }
    QPoint placement() const { return m_placement; }

signals:
    void mouseMovedTo(const QPoint &position);
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    Painter m_painter;
    QImage m_picture;
    QPoint m_placement;
    bool m_hasPicture = false;
    bool m_unreadable = false;
};
