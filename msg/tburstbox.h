#pragma once

#include "msg/tmsgmanager.h"

#include <QElapsedTimer>
#include <QMap>
#include <QMessageBox>
#include <QTimer>

// One self-closing box for a burst of messages, such as every row of
// "connect all" failing at once. A row (the message's id) has one line in
// it, its latest; the box looks like its most severe line. It closes itself
// a fixed time after its last line came, and messages that follow each
// other closely belong to it even when the operator closed it in between.
class TBurstBox : public QMessageBox
{
    Q_OBJECT
public:
    // Messages this close together are one burst.
    static constexpr int burstGapMs = 500;

    struct Look
    {
        const char *title;
        QMessageBox::Icon icon;
    };
    static Look lookOf(MsgLevel level);

    explicit TBurstBox(int timeoutMs);

    // Shows the line and restarts the time the box stays up.
    void add(int id, MsgLevel level, const QString &text);
    // False once the burst is over and the box only waits to be freed.
    bool takesMore() const { return state != Over; }

signals:
    void burstOver();

private:
    enum State
    {
        Showing,
        Lingering, // closed, but the burst may still go on
        Over
    };
    struct Line
    {
        MsgLevel level;
        QString text;
    };

    void onFinished();

    QMap<int, Line> lines;
    QTimer closeTimer;
    QTimer gapTimer;
    QElapsedTimer sinceLastLine;
    State state = Showing;
};
