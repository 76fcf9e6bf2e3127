#pragma once

#include "link/iohandler.h"
#include "link/tendpoint.h"
#include "link/tserialports.h"

#include <QObject>
#include <QSerialPort>

class QTimer;

// A serial link's device: the port, its line settings, the gathering of
// bytes into blocks and the bound on what it may hold unsent.
class TSerialEndpoint : public TEndpoint
{
    Q_OBJECT
public:
    TSerialEndpoint(int linkId, Sink sink, QObject *parent);
    ~TSerialEndpoint() override;

    bool open(const IOHandler::DeviceInfo &device, QString &failure) override;
    void close() override;
    bool isOpen() const override { return state == State::Open; }
    bool sends(IOHandler::ConType kind) const override { return kind == IOHandler::Serial; }
    // The port writes from the link's event loop as the device takes bytes;
    // what it cannot take is kept up to a bound and beyond that dropped.
    Outcome send(const QByteArray &b, const IOHandler::DeviceInfo &target) override;

private:
    enum class State
    {
        Closed,
        // Errors are kept for the failed open to report.
        Opening,
        Open,
        // Errors are no news.
        Closing
    };
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

    IOHandler::SerialInfo opened{}; // what the last open asked for
    State state = State::Closed;
    Backlog backlog = Backlog::Flowing;
    QString openFailure; // the first error while Opening
    bool reading = false;
    QSerialPort *port = nullptr;
    QTimer *gatherTimer = nullptr;
};
