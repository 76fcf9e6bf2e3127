#include "ui/kit/tlabelcombox.h"

#include "ui/kit/tlabel.h"
#include "ui/kit/tuidefine.h"

#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QSizePolicy>
#include <QSpacerItem>

// clang-format off
const char *const TLabelCombox::styleSheetText =
    "QComboBox {            background-color: #444444;            border-radius: 4px;            height:40;            color: white;            }            QComboBox::disabled {            background-color: #333333;            color: gray;            }            QComboBox QAbstractItemView {                background-color: #444444;                color: white;                border-radius: 4px;                height:40;                selection-background-col            }";
// clang-format on

TLabelCombox::TLabelCombox(const QString &text, QWidget *parent)
    : QWidget(parent, Qt::WindowFlags())
{
    const TUiDefine *ui = TUiDefine::instance();
    boxLayout = new QHBoxLayout(this);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(0);

    captionLabel = new TLabel(static_cast<QWidget *>(nullptr));
    if (!text.isEmpty()) {
        captionLabel->setText(text + QStringLiteral(":"));
        captionLabel->setFont(ui->widgetFont);
        captionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        boxLayout->addWidget(captionLabel);
    } else {
        // Never laid out and never shown; owned by the composite.
        captionLabel->setParent(this);
        captionLabel->hide();
    }

    innerCombo = new QComboBox;
    boxLayout->addWidget(innerCombo);
    innerCombo->setFixedHeight(ui->widgetHeight);
    innerCombo->setMinimumWidth(ui->widgetMinWidth);
    innerCombo->setFont(ui->widgetFont);

    boxLayout->addItem(new QSpacerItem(1, 1, QSizePolicy::Expanding, QSizePolicy::Fixed));

    setStyleSheet(QString::fromLatin1(styleSheetText));
}

void TLabelCombox::addItem(const QString &text)
{
    innerCombo->addItem(text);
}

void TLabelCombox::addItems(const QStringList &texts)
{
    innerCombo->addItems(texts);
}

QString TLabelCombox::currentText() const
{
    return innerCombo->currentText();
}

void TLabelCombox::setWidgetsFont(const QFont &font)
{
    captionLabel->setFont(font);
    innerCombo->setFont(font);
}
