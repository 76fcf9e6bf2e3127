#include "ui/kit/telidedlabel.h"

#include "ui/kit/tuidefine.h"

#include <QFontMetrics>

TElidedLabel::TElidedLabel(const QString &sample, Qt::TextElideMode mode, QWidget *parent)
    : QLabel(parent), mode(mode)
{
    setFont(TUiDefine::instance()->widgetFont);
    setPalette(TUiDefine::instance()->labelPalette);
    leastWidth = QFontMetrics(font()).horizontalAdvance(sample);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TElidedLabel::setFullText(const QString &text)
{
    if (text == full)
        return;
    full = text;
    elide();
}

QSize TElidedLabel::minimumSizeHint() const
{
    return {leastWidth, QLabel::minimumSizeHint().height()};
}

QSize TElidedLabel::sizeHint() const
{
    return minimumSizeHint();
}

void TElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void TElidedLabel::elide()
{
    const QString shown = QFontMetrics(font()).elidedText(full, mode, width());
    if (shown != text())
        setText(shown);
}
