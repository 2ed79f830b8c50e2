#pragma once
// The view area: a plain surface inside the scroll area whose painting the main window does.
// It reports the mouse so that the window can show the pixel under it.

#include <QWidget>
#include <functional>

class ImageView : public QWidget
{
    Q_OBJECT
public:
    using Painter = std::function<void(QPainter &painter)>;

    explicit ImageView(QWidget *parent = nullptr);
    void setPainter(Painter painter) { m_painter = std::move(painter); }

signals:
    void mouseMovedTo(const QPoint &position);
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    Painter m_painter;
};
