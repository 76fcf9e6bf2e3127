#pragma once

#include "link/iohandler.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What one port form holds, as the texts it shows and the settings file
// stores. The window and the relay without a window read the same values
// and make the same link records from them, so a file means the same link
// in both.
struct TLinkSettings
{
    // A text the operator picks, and the value the link is opened with.
    struct Choice
    {
        QString text;
        qint32 value;
    };
    static const QVector<Choice> &conTypes();
    // The kind a stored or typed text names: the window's own texts or the
    // words a script types ("serial", "udp", "multicast"), in any case;
    // IOHandler::None for anything else.
    static IOHandler::ConType kindOf(const QString &text);
    static QString kindWord(IOHandler::ConType kind);
    static const QVector<Choice> &baudRates();
    static const QVector<Choice> &dataBitsChoices();
    static const QVector<Choice> &stopBitsChoices();
    static const QVector<Choice> &parities();
    // The interfaces a multicast row may join, by the names the form lists.
    static QStringList interfaceNames();

    // A fresh form: serial on the first port listed, unicast 127.0.0.1:7001
    // answering 127.0.0.1:9000, group 224.0.0.31:4701 on the first interface.
    static TLinkSettings defaults();

    // The record the link opens with, from the fields of the chosen kind
    // only; its id is left at 0. A kind it does not know opens nothing.
    IOHandler::DeviceInfo device() const;
    // A row that was never stored starts from the row above it: same kind,
    // addresses and serial line, every port `stride` higher and the next
    // port of `serialPorts`, so that rows added one after another never
    // collide.
    TLinkSettings following(const QStringList &serialPorts, int stride = 1) const;

    // Decimal 1 to 65535, else 0, which no link opens on: a port nobody
    // typed must never be bound.
    static quint16 portFromText(const QString &text);

    QString conType;
    QString serialPort;
    QString baudRate;
    QString dataBits;
    QString stopBits;
    QString parity;
    QString groupIp;
    QString groupPort;
    QString localIp;
    QString localPort;
    QString remoteIp;
    QString remotePort;
    QString netInterface;
    // As the check box holds it: 0 unchecked, 1 partly, 2 checked.
    int loopBack = 0;
    bool autoReconnect = false;
    bool fixedPeer = false;
};
