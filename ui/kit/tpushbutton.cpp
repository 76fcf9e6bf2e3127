#include "ui/kit/tpushbutton.h"

#include "ui/kit/tuidefine.h"

// clang-format off
const char *const TPushButton::styleSheetText =
    "QPushButton {            background-color: #626270;            font-size: 18px;            border-radius: 4px;            color: white;            height: 40;            width: 100;            text-align:center;        }        QPushButton::disabled {            background-color: #444444;            color: gray;        }        QPushButton::hover {            background-color: #585d83;            color: white;        }";
// clang-format on

TPushButton::TPushButton(QWidget *parent) : QPushButton(parent)
{
    initStyle();
}

TPushButton::TPushButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    initStyle();
}

TPushButton::TPushButton(const QIcon &icon, const QString &text, QWidget *parent)
    : QPushButton(icon, text, parent)
{
    initStyle();
}

void TPushButton::initStyle()
{
    const TUiDefine *ui = TUiDefine::instance();
    setFont(ui->widgetFont);
    setFixedHeight(ui->widgetHeight);
    setMinimumWidth(ui->widgetMinWidth);
    setStyleSheet(QString::fromLatin1(styleSheetText));
    setMaximumWidth(200);
}
