#pragma once

#include "link/iohandler.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class TEndpoint;

// A lost device, tried again: every 500 ms for the first 5 s, then every
// 2 s, until it is back or the wait is stopped. A try that fails is no news:
// the operator heard of the loss once. Lives in the link's thread, so every
// try runs there.
class TReconnect : public QObject
{
    Q_OBJECT
public:
    // The record is the link's; `back` runs once the device is open again,
    // with the record's kind set.
    TReconnect(IOHandler::DeviceInfo &record, std::function<void()> back,
               QObject *parent = nullptr);

    // Lets go of the lost device of `kind` (a serial port or a multicast
    // group) and starts the tries; the endpoint must outlive the wait.
    void waitFor(TEndpoint &endpoint, IOHandler::ConType kind);
    void stop();
    bool isWaiting() const { return timer.isActive(); }
    // The pause before the next try, after waiting `waitedMs`.
    static int delayAfter(qint64 waitedMs) { return waitedMs < 5000 ? 500 : 2000; }

private:
    void onTimer();
    bool attempt();

    IOHandler::DeviceInfo &record;
    TEndpoint *endpoint = nullptr;
    std::function<void()> back;
    IOHandler::ConType waitingFor = IOHandler::None;
    QTimer timer;
    QElapsedTimer waited;
};
