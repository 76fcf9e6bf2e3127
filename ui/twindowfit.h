#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QByteArray;
class QWidget;

// Where the window may stand on a screen: never larger than the screen's
// free area with its decorations (title bar included), never partly off
// it, and tall enough for what it holds whenever the screen allows.
class TWindowFit
{
public:
    struct Window
    {
        // The widget's own rectangle, as it stands or as stored; its size
        // counts only when `sized`.
        QRect geometry;
        bool sized = false;
        // What the contents want, and the least they take.
        QSize wanted;
        QSize minimum;
        // The decorations around the widget.
        QMargins frame;
    };
    // How much of a stored size to keep.
    enum class Height
    {
        // At least as tall as the rows want, up to the screen's height: a
        // window at start, or after rows were added.
        Grow,
        // The operator's height, as long as it fits.
        Keep
    };
    // The widget rectangle to use; `place` also brings it into `available`.
    static QRect fitted(const Window &window, const QRect &available, Height height, bool place);
    // Resizes `window` (and, with `place`, moves it) to what its screen
    // allows; its decorations as the window manager told them, or estimated.
    static void fit(QWidget &window, Height height, bool place);
    // The window as `geometry` (saved by QWidget::saveGeometry) left it,
    // then fitted: a stored size too small for the rows, or one from a
    // larger screen, would hide the buttons or the last rows.
    static void restore(QWidget &window, const QByteArray &geometry);
    // Decorations a window manager will add before it has said: a title
    // bar of `titleBar` pixels above a thin border.
    static QMargins estimatedFrame(int titleBar);
};
