#include "config/tsettingscheck.h"

#include "config/tlinksettings.h"
#include "config/tsettingskeys.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace K = TSettingsKeys;

namespace {
QString listed(const QVector<TLinkSettings::Choice> &choices)
{
    QStringList texts;
    for (const TLinkSettings::Choice &c : choices)
        texts.append(c.text);
    return texts.join(QStringLiteral(", "));
}

bool among(const QVector<TLinkSettings::Choice> &choices, const QString &text)
{
    for (const TLinkSettings::Choice &c : choices)
        if (c.text == text)
            return true;
    return false;
}
} // namespace

QString TSettingsCheck::portRule()
{
    return QStringLiteral("a port is 1 to 65535");
}

QString TSettingsCheck::addressRule()
{
    return QStringLiteral("an address is an IPv4 dotted quad such as 127.0.0.1 (names are not "
                          "resolved)");
}

bool TSettingsCheck::isPort(const QString &text)
{
    return TLinkSettings::portFromText(text) != 0;
}

bool TSettingsCheck::isDottedQuad(const QString &text)
{
    static const QRegularExpression quad(
        QStringLiteral("^((25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)\\.){3}"
                       "(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)$"));
    return quad.match(text).hasMatch();
}

bool TSettingsCheck::isGroupAddress(const QString &text)
{
    return isDottedQuad(text) && QHostAddress(text).isMulticast();
}

QStringList TSettingsCheck::keysOf(IOHandler::ConType kind)
{
    switch (kind) {
    case IOHandler::Serial:
        return {K::conType,  K::serialPortName, K::baudRate,     K::dataBits,
                K::stopBits, K::parity,         K::autoReconnect};
    case IOHandler::UdpUnicast:
        return {K::conType, K::localIp, K::localPort, K::remoteIp, K::remotePort, K::fixedPeer};
    case IOHandler::TcpClient:
        return {K::conType, K::remoteIp, K::remotePort};
    case IOHandler::TcpServer:
        return {K::conType, K::localIp, K::localPort, K::remoteIp, K::fixedPeer};
    case IOHandler::UdpMulticast:
        return {K::conType,         K::localIpGroup, K::localPortGroup,
                K::udpNetInterface, K::loopBack,     K::autoReconnect};
    default:
        return {K::conType};
    }
}

TSettingsProblems TSettingsCheck::check(const QString &group, const TLinkSettings &v)
{
    TSettingsProblems problems;
    const auto need = [&](bool good, const QString &key, const QString &value,
                          const QString &allowed) {
        if (!good)
            problems.append({group, key, value, allowed});
    };
    const auto port = [&](const QString &key, const QString &value) {
        need(isPort(value), key, value, portRule());
    };
    const auto address = [&](const QString &key, const QString &value) {
        need(isDottedQuad(value), key, value, addressRule());
    };
    const IOHandler::ConType kind = TLinkSettings::kindOf(v.conType);
    switch (kind) {
    case IOHandler::Serial:
        need(!v.serialPort.trimmed().isEmpty(), K::serialPortName, v.serialPort,
             QStringLiteral("a serial port is a device name or path such as ttyUSB0"));
        need(among(TLinkSettings::baudRates(), v.baudRate), K::baudRate, v.baudRate,
             QStringLiteral("a baud rate is one of ") + listed(TLinkSettings::baudRates()));
        need(among(TLinkSettings::dataBitsChoices(), v.dataBits), K::dataBits, v.dataBits,
             QStringLiteral("data bits are one of ") + listed(TLinkSettings::dataBitsChoices()));
        need(among(TLinkSettings::stopBitsChoices(), v.stopBits), K::stopBits, v.stopBits,
             QStringLiteral("stop bits are one of ") + listed(TLinkSettings::stopBitsChoices()));
        need(among(TLinkSettings::parities(), v.parity), K::parity, v.parity,
             QStringLiteral("a parity is one of ") + listed(TLinkSettings::parities()));
        break;
    case IOHandler::UdpUnicast:
        address(K::localIp, v.localIp);
        port(K::localPort, v.localPort);
        address(K::remoteIp, v.remoteIp);
        port(K::remotePort, v.remotePort);
        break;
    case IOHandler::TcpClient:
        address(K::remoteIp, v.remoteIp);
        port(K::remotePort, v.remotePort);
        break;
    case IOHandler::TcpServer:
        address(K::localIp, v.localIp);
        port(K::localPort, v.localPort);
        // Only a fixed peer is a peer the server must know.
        if (v.fixedPeer)
            address(K::remoteIp, v.remoteIp);
        break;
    case IOHandler::UdpMulticast: {
        need(isGroupAddress(v.groupIp), K::localIpGroup, v.groupIp,
             QStringLiteral("a group is an IPv4 multicast address, 224.0.0.0 to "
                            "239.255.255.255"));
        port(K::localPortGroup, v.groupPort);
        const QStringList interfaces = TLinkSettings::interfaceNames();
        need(interfaces.contains(v.netInterface), K::udpNetInterface, v.netInterface,
             QStringLiteral("an interface is one of this computer's: ") +
                 interfaces.join(QStringLiteral(", ")));
        break;
    }
    default:
        need(
            false, K::conType, v.conType,
            QStringLiteral(
                "a kind is serial, udp, multicast, tcpclient or tcpserver (or as the window writes "
                "them: ") +
                listed(TLinkSettings::conTypes()) + QLatin1Char(')'));
        break;
    }
    return problems;
}
