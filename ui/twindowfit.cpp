#include "ui/twindowfit.h"

#include <QDebug>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QtGlobal>

QRect TWindowFit::fitted(const Window &w, const QRect &available, Height height, bool place)
{
    const int widest = available.width() - w.frame.left() - w.frame.right();
    const int tallest = available.height() - w.frame.top() - w.frame.bottom();
    int width = w.sized ? w.geometry.width() : w.wanted.width();
    // Nothing scrolls sideways: the least width wins over a small screen.
    width = qMax(qMin(width, widest), w.minimum.width());
    int h = w.sized ? w.geometry.height() : w.wanted.height();
    if (height == Height::Grow)
        h = qMax(h, qMin(w.wanted.height(), tallest));
    h = qMax(qMin(h, tallest), w.minimum.height());
    QRect result(w.geometry.topLeft(), QSize(width, h));
    if (!place)
        return result;
    // The decorated window inside the free area, its top left corner first.
    const int left = available.left() + w.frame.left();
    const int top = available.top() + w.frame.top();
    const int right = available.right() - w.frame.right() - width + 1;
    const int bottom = available.bottom() - w.frame.bottom() - h + 1;
    result.moveTo(qMax(left, qMin(result.x(), right)), qMax(top, qMin(result.y(), bottom)));
    return result;
}

QMargins TWindowFit::estimatedFrame(int titleBar)
{
    constexpr int border = 4;
    return {border, titleBar + border, border, border};
}

void TWindowFit::fit(QWidget &window, Height height, bool place)
{
    QScreen *where = window.screen();
    if (!where)
        return;
    Window w;
    w.geometry = window.geometry();
    w.sized = window.testAttribute(Qt::WA_Resized);
    w.wanted = window.sizeHint();
    w.minimum = window.minimumSizeHint();
    const QRect frame = window.frameGeometry();
    w.frame =
        frame == w.geometry
            ? estimatedFrame(window.style()->pixelMetric(QStyle::PM_TitleBarHeight))
            : QMargins(w.geometry.left() - frame.left(), w.geometry.top() - frame.top(),
                       frame.right() - w.geometry.right(), frame.bottom() - w.geometry.bottom());
    const QRect fitted = TWindowFit::fitted(w, where->availableGeometry(), height, place);
    if (!w.sized || fitted.size() != window.size())
        window.resize(fitted.size());
    if (place && fitted.topLeft() != window.pos())
        window.move(fitted.topLeft());
}

void TWindowFit::restore(QWidget &window, const QByteArray &geometry)
{
    const bool restored = !geometry.isEmpty() && window.restoreGeometry(geometry);
    if (!geometry.isEmpty() && !restored)
        qDebug() << "settings file: window geometry not usable, default size used";
    fit(window, Height::Grow, restored);
}
