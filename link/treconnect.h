#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// When a lost device is tried again: every 500 ms for the first 5 s, then
// every 2 s, until an attempt succeeds or the schedule is stopped. Lives in
// the link's thread, so every attempt runs there.
class TReconnect : public QObject
{
    Q_OBJECT
public:
    // `attempt` returns true once the device is back.
    explicit TReconnect(std::function<bool()> attempt, QObject *parent = nullptr);

    void begin();
    void stop();
    bool isWaiting() const { return timer.isActive(); }
    // The pause before the next attempt, after waiting `waitedMs`.
    static int delayAfter(qint64 waitedMs) { return waitedMs < 5000 ? 500 : 2000; }

private:
    void onTimer();

    std::function<bool()> attempt;
    QTimer timer;
    QElapsedTimer waited;
};
