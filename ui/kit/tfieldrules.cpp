#include "ui/kit/tfieldrules.h"

#include <QFontMetrics>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {
// A line edit keeps a small margin on each side of its text on top of what
// the style's frame takes; a caret at the end needs one pixel more.
constexpr int textMargin = 2 * 2 + 1;
} // namespace

int TFieldRules::widthFor(const QLineEdit *edit, const QString &sample)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    const QMargins margins = edit->textMargins();
    const int text = QFontMetrics(edit->font()).horizontalAdvance(sample) + textMargin +
                     margins.left() + margins.right();
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(text, edit->height()), edit)
        .width();
}

void TFieldRules::makeAddressField(QLineEdit *edit)
{
    // Partial quads ("192.168.") are intermediate input, so typing works
    // from left to right; letters and octets above 255 are refused.
    static const QRegularExpression quad(
        QStringLiteral("^((25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)\\.){3}"
                       "(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)$"));
    edit->setValidator(new QRegularExpressionValidator(quad, edit));
    edit->setMinimumWidth(widthFor(edit, QStringLiteral("255.255.255.255")));
}

void TFieldRules::makePortField(QLineEdit *edit)
{
    edit->setValidator(new QIntValidator(1, 65535, edit));
    edit->setMinimumWidth(widthFor(edit, QStringLiteral("65535")));
}

void TFieldRules::fitButtonToText(QPushButton *button)
{
    // The kit's style sheet sets the text size; the padding matches the
    // space the default style leaves around a button's label.
    button->ensurePolished();
    const int needed = QFontMetrics(button->font()).horizontalAdvance(button->text()) + 24;
    if (button->minimumWidth() < needed)
        button->setMinimumWidth(needed);
}
