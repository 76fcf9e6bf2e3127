#include "link/treconnect.h"

#include "link/tserialendpoint.h"
#include "link/tudpendpoint.h"

TReconnect::TReconnect(IOHandler::DeviceInfo &record, TSerialEndpoint &serial, TUdpEndpoint &udp,
                       std::function<void()> back, QObject *parent)
    : QObject(parent), record(record), serial(serial), udp(udp), back(std::move(back))
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &TReconnect::onTimer);
}

void TReconnect::waitFor(IOHandler::ConType kind)
{
    if (kind == IOHandler::Serial)
        serial.close();
    else
        udp.release();
    record.conType = IOHandler::None;
    waitingFor = kind;
    waited.start();
    timer.start(delayAfter(0));
}

void TReconnect::stop()
{
    timer.stop();
    waitingFor = IOHandler::None;
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
    const bool open = waitingFor == IOHandler::Serial ? serial.open(record.serial, failure)
                                                      : udp.rejoin(record.udp, failure);
    if (!open)
        return false;
    record.conType = waitingFor;
    waitingFor = IOHandler::None;
    back();
    return true;
}
