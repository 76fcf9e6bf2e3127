#include "link/treconnect.h"

TReconnect::TReconnect(std::function<bool()> attempt, QObject *parent)
    : QObject(parent), attempt(std::move(attempt))
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &TReconnect::onTimer);
}

void TReconnect::begin()
{
    waited.start();
    timer.start(delayAfter(0));
}

void TReconnect::stop()
{
    timer.stop();
}

void TReconnect::onTimer()
{
    if (attempt())
        return;
    timer.start(delayAfter(waited.elapsed()));
}
