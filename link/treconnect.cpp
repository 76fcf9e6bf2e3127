#include "link/treconnect.h"

#include "link/tendpoint.h"

TReconnect::TReconnect(IOHandler::DeviceInfo &record, std::function<void()> back, QObject *parent)
    : QObject(parent), record(record), back(std::move(back))
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &TReconnect::onTimer);
}

void TReconnect::waitFor(TEndpoint &lost, IOHandler::ConType kind)
{
    endpoint = &lost;
    endpoint->close();
    record.conType = IOHandler::None;
    waitingFor = kind;
    waited.start();
    timer.start(delayAfter(0));
}

void TReconnect::stop()
{
    timer.stop();
    waitingFor = IOHandler::None;
    endpoint = nullptr;
}

void TReconnect::onTimer()
{
    if (attempt())
        return;
    timer.start(delayAfter(waited.elapsed()));
}

bool TReconnect::attempt()
{
    QString failure;
    if (!endpoint || !endpoint->reopen(record, failure))
        return false;
    record.conType = waitingFor;
    waitingFor = IOHandler::None;
    endpoint = nullptr;
    back();
    return true;
}
