#include "ui/kit/tcontainer.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QRectF>

TContainer::TContainer(QWidget *parent) : QWidget(parent, Qt::WindowFlags())
{
    setAttribute(Qt::WA_QuitOnClose, false);
}

void TContainer::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QBrush(QColor(0x22, 0x22, 0x22), Qt::SolidPattern));
        painter.setPen(QColor(Qt::transparent));
        painter.drawRoundedRect(QRectF(0, 0, width() - 1, height() - 1), 10, 10, Qt::AbsoluteSize);
    }
    QWidget::paintEvent(event);
}
