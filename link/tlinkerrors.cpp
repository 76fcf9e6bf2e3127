#include "link/tlinkerrors.h"

#include "link/tlinknames.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QMetaEnum>
#include <QNetworkInterface>

namespace {
QString endpoint(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

QString withReason(const QString &firstWords, const QString &reason)
{
    return firstWords + QStringLiteral(": ") + reason;
}
} // namespace

QString TLinkErrors::bindFailed(const QAbstractSocket &socket, const QHostAddress &address,
                                quint16 port)
{
    return withReason(tr("rec udp error"),
                      portReason(socket.error(), socket.errorString(), address, port));
}

QString TLinkErrors::localInvalid(const IOHandler::UdpInfo &udp)
{
    if (udp.localAddr.isNull())
        return tr("invalid local address");
    if (udp.localPort == 0)
        return tr("invalid local port");
    return QString();
}

QString TLinkErrors::listenFailed(QAbstractSocket::SocketError error, const QString &errorString,
                                  const QHostAddress &address, quint16 port)
{
    return withReason(tr("tcp server error"), portReason(error, errorString, address, port));
}

QString TLinkErrors::portReason(QAbstractSocket::SocketError error, const QString &errorString,
                                const QHostAddress &address, quint16 port)
{
    const QString where = endpoint(address, port);
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return tr("%1 is already in use").arg(where);
    case QAbstractSocket::SocketAddressNotAvailableError:
        return tr("%1 is not an address of this computer").arg(address.toString());
    case QAbstractSocket::SocketAccessError:
        return tr("%1 needs privileges this user does not have").arg(where);
    default:
        return tr("%1 cannot be used: %2").arg(where, errorString);
    }
}

QString TLinkErrors::joinFailed(const QAbstractSocket &socket, const QHostAddress &group,
                                const QNetworkInterface &netInterface)
{
    const QString where =
        netInterface.isValid() ? netInterface.humanReadableName() : tr("the default interface");
    // A group that is no multicast address is a typing error: say which.
    const QString reason = group.isNull() ? tr("the group is not an IP address")
                           : !group.isMulticast()
                               ? tr("%1 is not a multicast group address").arg(group.toString())
                               : socket.errorString();
    return withReason(tr("join multicast group %1 on %2 failed").arg(group.toString(), where),
                      reason);
}

QString TLinkErrors::serialFailed(QSerialPort::SerialPortError error, const QString &errorString,
                                  const QString &device)
{
    const char *name = QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(error);
    QString reason;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        reason = tr("%1 does not exist").arg(device);
        break;
    case QSerialPort::PermissionError:
        reason =
            tr("%1 is in use by another program or may not be opened by this user").arg(device);
        break;
    default:
        reason = device.isEmpty() ? tr("no port was chosen")
                                  : tr("%1 cannot be used: %2").arg(device, errorString);
        break;
    }
    return withReason(tr("open serial failed:") + QLatin1String(name ? name : "UnknownError"),
                      reason);
}

QString TLinkErrors::serialLost(const QString &device)
{
    return tr("serial port %1 was lost: unplugged, reset, or closed at its other end").arg(device);
}

QString TLinkErrors::forRow(int id, const QString &text)
{
    return withReason(TLinkNames::rowName(id), text);
}

QString TLinkErrors::reasonOf(const QString &text)
{
    const int cut = text.indexOf(QLatin1String(": "));
    return cut < 0 ? text : text.mid(cut + 2);
}

QString TLinkErrors::takeoverRisk(const IOHandler::UdpInfo &udp)
{
    return tr("any host that reaches %1 can take this link over; \"Fixed peer\" answers only %2")
        .arg(endpoint(udp.localAddr, udp.localPort), endpoint(udp.remoteAddr, udp.remotePort));
}
