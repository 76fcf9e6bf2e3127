#include "ui/kit/tuidefine.h"

#include <QBrush>

TUiDefine::TUiDefine(QObject *parent) : QObject(parent), widgetHeight(40), widgetMinWidth(100)
{
    labelPalette.setBrush(QPalette::WindowText, QBrush(Qt::white, Qt::SolidPattern));
    labelFont.setPixelSize(18);
    widgetFont = labelFont;
    widgetFont.setPixelSize(18);
}

TUiDefine *TUiDefine::instance()
{
    static TUiDefine theUiDefine;
    return &theUiDefine;
}
