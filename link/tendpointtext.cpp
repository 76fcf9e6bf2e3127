#include "link/tendpointtext.h"

#include "link/tserialports.h"

QString TEndpointText::address(const QHostAddress &address, quint16 port)
{
    return address.toString() + QLatin1Char(':') + QString::number(port);
}

QString TEndpointText::of(const IOHandler::DeviceInfo &d)
{
    switch (d.conType) {
    case IOHandler::UdpUnicast:
        return QStringLiteral("udp %1 -> %2")
            .arg(address(d.udp.localAddr, d.udp.localPort),
                 address(d.udp.remoteAddr, d.udp.remotePort));
    case IOHandler::TcpClient:
        return QStringLiteral("tcpclient -> %1").arg(address(d.udp.remoteAddr, d.udp.remotePort));
    case IOHandler::TcpServer:
        return QStringLiteral("tcpserver %1").arg(address(d.udp.localAddr, d.udp.localPort));
    case IOHandler::UdpMulticast:
        return QStringLiteral("multicast %1 on %2")
            .arg(address(d.udp.localAddr, d.udp.localPort),
                 d.udp.netInterface.isValid() ? d.udp.netInterface.humanReadableName()
                                              : QStringLiteral("the default interface"));
    default:
        return QStringLiteral("serial %1 %2")
            .arg(TSerialPorts::deviceName(d.serial.portName))
            .arg(d.serial.baudRate ? d.serial.baudRate : 115200);
    }
}
