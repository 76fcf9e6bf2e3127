#include "ui/kit/tlabellineedit.h"

#include "ui/kit/tuidefine.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

// clang-format off
const char *const TLabelLineEdit::styleSheetText =
    "QLineEdit {                          background-color: #444444;                          color: white;                          border:none;                          border-radius: 4px;                          }                          QLineEdit::disabled {color: gray;}";
// clang-format on

TLabelLineEdit::TLabelLineEdit(const QString &text, const QString &unit, QWidget *parent)
    : QWidget(parent, Qt::WindowFlags())
{
    const TUiDefine *ui = TUiDefine::instance();
    boxLayout = new QHBoxLayout(this);
    boxLayout->setSpacing(5);
    boxLayout->setContentsMargins(0, 0, 0, 0);

    captionLabel = new QLabel;
    captionLabel->setFont(ui->widgetFont);
    captionLabel->setPalette(ui->labelPalette);
    captionLabel->setText(text);
    boxLayout->addWidget(captionLabel, 0, Qt::AlignVCenter);

    innerEdit = new QLineEdit;
    innerEdit->setFont(ui->widgetFont);
    innerEdit->setFixedHeight(25);
    boxLayout->addWidget(innerEdit, 0, Qt::AlignVCenter);

    if (!unit.isNull()) {
        unitLabel = new QLabel;
        unitLabel->setFont(ui->widgetFont);
        unitLabel->setPalette(ui->labelPalette);
        unitLabel->setText(unit);
        boxLayout->addWidget(unitLabel, 0, Qt::AlignVCenter);
    }

    boxLayout->addStretch(10);

    innerEdit->setStyleSheet(QString::fromLatin1(styleSheetText));
}

void TLabelLineEdit::setEditHeight(int height)
{
    innerEdit->setFixedHeight(height);
}

void TLabelLineEdit::setText(const QString &text)
{
    innerEdit->setText(text);
}

QString TLabelLineEdit::text() const
{
    return innerEdit->text();
}

void TLabelLineEdit::setEditEnabled(bool enabled)
{
    innerEdit->setEnabled(enabled);
}

void TLabelLineEdit::setWidgetsFont(const QFont &font)
{
    innerEdit->setFont(font);
    captionLabel->setFont(font);
    if (unitLabel)
        unitLabel->setFont(font);
}
