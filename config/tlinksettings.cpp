#include "config/tlinksettings.h"

#include "link/tserialports.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QSerialPort>

namespace {
// The form's own texts keep the form's translation context.
QString formText(const char *text)
{
    return QCoreApplication::translate("TIoForm", text);
}

qint32 valueOf(const QVector<TLinkSettings::Choice> &choices, const QString &text, qint32 none)
{
    for (const TLinkSettings::Choice &c : choices)
        if (c.text == text)
            return c.value;
    return none;
}
} // namespace

const QVector<TLinkSettings::Choice> &TLinkSettings::conTypes()
{
    static const QVector<Choice> list{{formText("Serial"), IOHandler::Serial},
                                      {formText("Udp单播"), IOHandler::UdpUnicast},
                                      {formText("Udp组播"), IOHandler::UdpMulticast},
                                      {formText("Tcp客户端"), IOHandler::TcpClient},
                                      {formText("Tcp服务端"), IOHandler::TcpServer}};
    return list;
}

IOHandler::ConType TLinkSettings::kindOf(const QString &text)
{
    static const QVector<Choice> words{{QStringLiteral("serial"), IOHandler::Serial},
                                       {QStringLiteral("udp"), IOHandler::UdpUnicast},
                                       {QStringLiteral("multicast"), IOHandler::UdpMulticast},
                                       {QStringLiteral("tcpclient"), IOHandler::TcpClient},
                                       {QStringLiteral("tcpserver"), IOHandler::TcpServer}};
    const QString typed = text.trimmed();
    for (const QVector<Choice> *list : {&conTypes(), &words})
        for (const Choice &c : *list)
            if (typed.compare(c.text, Qt::CaseInsensitive) == 0)
                return IOHandler::ConType(c.value);
    return IOHandler::None;
}

QString TLinkSettings::kindWord(IOHandler::ConType kind)
{
    switch (kind) {
    case IOHandler::Serial:
        return QStringLiteral("serial");
    case IOHandler::UdpUnicast:
        return QStringLiteral("udp");
    case IOHandler::UdpMulticast:
        return QStringLiteral("multicast");
    case IOHandler::TcpClient:
        return QStringLiteral("tcpclient");
    case IOHandler::TcpServer:
        return QStringLiteral("tcpserver");
    default:
        return QString();
    }
}

const QVector<TLinkSettings::Choice> &TLinkSettings::baudRates()
{
    static const QVector<Choice> list = [] {
        QVector<Choice> rates;
        for (int rate :
             {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
            rates.append({QString::number(rate), rate});
        return rates;
    }();
    return list;
}

const QVector<TLinkSettings::Choice> &TLinkSettings::dataBitsChoices()
{
    static const QVector<Choice> list{{QStringLiteral("5"), QSerialPort::Data5},
                                      {QStringLiteral("6"), QSerialPort::Data6},
                                      {QStringLiteral("7"), QSerialPort::Data7},
                                      {QStringLiteral("8"), QSerialPort::Data8}};
    return list;
}

const QVector<TLinkSettings::Choice> &TLinkSettings::stopBitsChoices()
{
    static const QVector<Choice> list{{QStringLiteral("1"), QSerialPort::OneStop},
                                      {QStringLiteral("1.5"), QSerialPort::OneAndHalfStop},
                                      {QStringLiteral("2"), QSerialPort::TwoStop}};
    return list;
}

const QVector<TLinkSettings::Choice> &TLinkSettings::parities()
{
    static const QVector<Choice> list{{QStringLiteral("NONE"), QSerialPort::NoParity},
                                      {QStringLiteral("EVEN"), QSerialPort::EvenParity},
                                      {QStringLiteral("ODD"), QSerialPort::OddParity},
                                      {QStringLiteral("SPACE"), QSerialPort::SpaceParity},
                                      {QStringLiteral("MARK"), QSerialPort::MarkParity}};
    return list;
}

QStringList TLinkSettings::interfaceNames()
{
    QStringList names;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &netInterface : interfaces)
        names.append(netInterface.humanReadableName());
    return names;
}

TLinkSettings TLinkSettings::defaults()
{
    TLinkSettings s;
    s.conType = conTypes().first().text;
    s.serialPort = TSerialPorts::entries().value(0);
    s.baudRate = QStringLiteral("115200");
    s.dataBits = QStringLiteral("8");
    s.stopBits = QStringLiteral("1");
    s.parity = QStringLiteral("NONE");
    s.groupIp = QStringLiteral("224.0.0.31");
    s.groupPort = QStringLiteral("4701");
    s.localIp = QStringLiteral("127.0.0.1");
    s.localPort = QStringLiteral("7001");
    s.remoteIp = QStringLiteral("127.0.0.1");
    s.remotePort = QStringLiteral("9000");
    s.netInterface = interfaceNames().value(0);
    return s;
}

quint16 TLinkSettings::portFromText(const QString &text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok, 10);
    return ok && port >= 1 && port <= 65535 ? quint16(port) : 0;
}

IOHandler::DeviceInfo TLinkSettings::device() const
{
    IOHandler::DeviceInfo device{};
    const IOHandler::ConType kind = kindOf(conType);
    switch (kind) {
    case IOHandler::TcpClient:
    case IOHandler::TcpServer:
    case IOHandler::UdpUnicast:
        device.conType = kind;
        device.udp.localAddr = QHostAddress(localIp);
        device.udp.localPort = portFromText(localPort);
        device.udp.remoteAddr = QHostAddress(remoteIp);
        device.udp.remotePort = portFromText(remotePort);
        device.udp.fixedPeer = fixedPeer;
        break;
    case IOHandler::UdpMulticast: {
        device.conType = IOHandler::UdpMulticast;
        device.udp.localAddr = QHostAddress(groupIp);
        device.udp.localPort = portFromText(groupPort);
        device.udp.remoteAddr = device.udp.localAddr;
        device.udp.remotePort = device.udp.localPort;
        // The list may have changed since the name was chosen: a name that
        // is no longer listed (or none) leaves the interface invalid.
        const auto interfaces = QNetworkInterface::allInterfaces();
        for (const QNetworkInterface &candidate : interfaces)
            if (!netInterface.isEmpty() && candidate.humanReadableName() == netInterface) {
                device.udp.netInterface = candidate;
                break;
            }
        device.udp.loopBack = loopBack != Qt::Unchecked;
        device.reconnect = autoReconnect;
        break;
    }
    case IOHandler::Serial:
        device.conType = IOHandler::Serial;
        device.serial.portName = serialPort;
        device.serial.baudRate = valueOf(baudRates(), baudRate, 0);
        device.serial.dataBits = valueOf(dataBitsChoices(), dataBits, QSerialPort::Data8);
        device.serial.stopBits = valueOf(stopBitsChoices(), stopBits, QSerialPort::OneStop);
        device.serial.parity = valueOf(parities(), parity, QSerialPort::NoParity);
        device.reconnect = autoReconnect;
        break;
    default:
        break;
    }
    return device;
}

TLinkSettings TLinkSettings::following(const QStringList &serialPorts, int stride) const
{
    // A port the step would carry past 65535 stays as it is; the row then
    // collides with the one above, which Connect says, instead of binding
    // a port nobody chose.
    const auto nextPort = [stride](const QString &text) {
        const int port = portFromText(text);
        return port >= 1 && port + stride <= 65535 ? QString::number(port + stride) : text;
    };
    TLinkSettings next = *this;
    next.localPort = nextPort(localPort);
    next.remotePort = nextPort(remotePort);
    // Rows on one group and port would hear each other's sends.
    next.groupPort = nextPort(groupPort);
    const int port = serialPorts.indexOf(serialPort);
    if (port >= 0 && port + 1 < serialPorts.size())
        next.serialPort = serialPorts.at(port + 1);
    return next;
}
