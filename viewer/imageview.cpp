#include "imageview.h"

#include <QMouseEvent>
#include <QPainter>

ImageView::ImageView(QWidget *parent) : QWidget(parent)
{
    // Where no image pixel is drawn the scroll area's background shows through.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

void ImageView::keepPicture(const QImage &picture, const QPoint &placement, bool unreadable)
{
    m_picture = picture;
    m_placement = placement;
    m_hasPicture = true;
    m_unreadable = unreadable;
}

void ImageView::forgetPicture()
{
    m_picture = QImage();
    m_hasPicture = false;
    m_unreadable = false;
    update();
}

void ImageView::paintEvent(QPaintEvent *)
{
    if (!m_painter)
        return;
    QPainter painter(this);
    m_painter(painter);
}

void ImageView::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMovedTo(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void ImageView::leaveEvent(QEvent *event)
{
    emit mouseLeft();
    QWidget::leaveEvent(event);
}
