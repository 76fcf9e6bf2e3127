#include "ui/kit/twidget.h"

#include <QBrush>
#include <QColor>
#include <QPalette>

TWidget::TWidget(QWidget *parent) : QWidget(parent, Qt::WindowFlags())
{
    setWindowFlags(Qt::WindowStaysOnTopHint);
    setWindowModality(Qt::NonModal);
}

void TWidget::paintEvent(QPaintEvent *event)
{
    QPalette palette;
    palette.setBrush(QPalette::Window, QBrush(QColor(0x22, 0x22, 0x22), Qt::SolidPattern));
    setAutoFillBackground(true);
    setPalette(palette);
    QWidget::paintEvent(event);
}
