#pragma once

#include "link/iohandler.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QSerialPort>
#include <QString>

class QHostAddress;
class QNetworkInterface;

// What the operator reads when a link fails: the first words say what
// failed, as they always have, and the reason follows in plain words after
// ": ", naming the address, port or device that was asked for. A box puts
// the row name in front (forRow); the link's error event carries the text
// without it.
class TLinkErrors
{
    Q_DECLARE_TR_FUNCTIONS(TLinkErrors)

public:
    // A socket that could not bind address:port.
    static QString bindFailed(const QAbstractSocket &socket, const QHostAddress &address,
                              quint16 port);
    // Why a local address or port typed for a socket cannot be used, or
    // empty: text that is no address or no port reaches the link as a null
    // address or port 0, which would bind every interface or a random port.
    static QString localInvalid(const IOHandler::UdpInfo &udp);
    // A TCP server that could not listen on address:port.
    static QString listenFailed(QAbstractSocket::SocketError error, const QString &errorString,
                                const QHostAddress &address, quint16 port);
    // A bound socket that could not join the group on the interface.
    static QString joinFailed(const QAbstractSocket &socket, const QHostAddress &group,
                              const QNetworkInterface &netInterface);
    // A serial device that could not be opened.
    static QString serialFailed(QSerialPort::SerialPortError error, const QString &errorString,
                                const QString &device);
    // An open serial device that stopped working: the system's words for it
    // ("Inappropriate ioctl for device") tell an operator nothing.
    static QString serialLost(const QString &device);
    static QString forRow(int id, const QString &text);
    // A unicast link that answers whoever sent last, bound where others
    // reach it.
    static QString takeoverRisk(const IOHandler::UdpInfo &udp);
    // The reason alone, without the words that say what failed.
    static QString reasonOf(const QString &text);

private:
    static QString portReason(QAbstractSocket::SocketError error, const QString &errorString,
                              const QHostAddress &address, quint16 port);
};
