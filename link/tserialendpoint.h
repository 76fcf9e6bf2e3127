#pragma once

#include "link/iohandler.h"
#include "link/tserialports.h"

#include <QObject>
#include <QSerialPort>

#include <functional>

class QTimer;

// The serial side of a link: the port, its line settings, the gathering of
// bytes into blocks and the bound on what it may hold unsent. Lives in the
// link's thread, so every read and write of the port happens there.
class TSerialEndpoint : public QObject
{
    Q_OBJECT
public:
    // What the endpoint hands back to its link, called directly.
    struct Sink
    {
        // A block of the bytes gathered.
        std::function<void(const QByteArray &)> received;
        // News for the operator; the port stays open.
        std::function<void(const QString &)> warn;
        // The port failed while open; the link closes it.
        std::function<void(const QString &)> failed;
    };

    enum class State
    {
        Closed,
        // Errors are kept for the failed open to report.
        Opening,
        Open,
        // Errors are no news.
        Closing
    };

    // The record is the link's: its id and port name go into messages, and
    // its kind says whether the link reads this port.
    TSerialEndpoint(const IOHandler::DeviceInfo &record, Sink sink, QObject *parent);
    ~TSerialEndpoint() override;

    bool isOpen() const { return state == State::Open; }
    // On failure `failure` says why, for the operator.
    bool open(const IOHandler::SerialInfo &serial, QString &failure);
    void close();
    enum class Write
    {
        Taken,
        // The port holds too much unsent already.
        Dropped,
        Failed
    };
    Write write(const QByteArray &b);

private:
    // Whether blocks the port would not take are being dropped; the
    // operator hears of it once for each run of drops.
    enum class Backlog
    {
        Flowing,
        Dropping
    };

    // The device of a serial record: the port list shows "name: description".
    static QString deviceName(const IOHandler::SerialInfo &serial)
    {
        return TSerialPorts::deviceName(serial.portName);
    }
    void applySettings(const IOHandler::SerialInfo &serial);
    void poll();
    void onError(QSerialPort::SerialPortError error);
    QString name() const;

    const IOHandler::DeviceInfo &record;
    const Sink sink;
    State state = State::Closed;
    Backlog backlog = Backlog::Flowing;
    QString openFailure; // the first error while Opening
    bool reading = false;
    QSerialPort *port = nullptr;
    QTimer *gatherTimer = nullptr;
};
