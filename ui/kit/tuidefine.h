#pragma once

#include <QFont>
#include <QObject>
#include <QPalette>

// The shared look of the widget kit: label palette, fonts and sizes. One
// instance, created on first use by instance() and never changed afterwards.
class TUiDefine : public QObject
{
    Q_OBJECT
public:
    explicit TUiDefine(QObject *parent = nullptr);

    static TUiDefine *instance();

    QPalette labelPalette; // WindowText solid white in every colour group
    QFont labelFont;       // the default font, 18 pixels
    QFont widgetFont;      // the same font as labelFont
    int widgetHeight;      // fixed height of combo boxes and buttons
    int widgetMinWidth;    // minimum width of combo boxes and buttons
};
