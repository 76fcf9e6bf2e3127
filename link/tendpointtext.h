#pragma once

#include "link/iohandler.h"

#include <QString>

// An open endpoint in words, as the relay's lines and captures name it:
// "udp 127.0.0.1:7004 -> 127.0.0.1:9003", "multicast 224.0.0.31:4701 on lo",
// "serial ttyUSB0 115200".
class TEndpointText
{
public:
    static QString of(const IOHandler::DeviceInfo &device);
    static QString address(const QHostAddress &address, quint16 port);
};
