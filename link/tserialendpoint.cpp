#include "link/tserialendpoint.h"

#include "link/tlinkerrors.h"
#include "link/tlinknames.h"

#include <QDebug>
#include <QScopedValueRollback>
#include <QTimer>

TSerialEndpoint::TSerialEndpoint(int linkId, Sink sink, QObject *parent)
    : TEndpoint(linkId, std::move(sink), parent), port(new QSerialPort(this)),
      gatherTimer(new QTimer(this))
{
    connect(port, &QSerialPort::errorOccurred, this, &TSerialEndpoint::onError);
    // Bytes are gathered for up to one poll interval after the first of a
    // batch, so what arrives within that time still goes on as one block;
    // a quiet or closed port costs nothing.
    gatherTimer->setInterval(IOHandler::pollIntervalMs);
    gatherTimer->setSingleShot(true);
    connect(gatherTimer, &QTimer::timeout, this, &TSerialEndpoint::poll);
    connect(port, &QIODevice::readyRead, this, [this] {
        if (!gatherTimer->isActive())
            gatherTimer->start();
    });
}

TSerialEndpoint::~TSerialEndpoint()
{
    // Errors raised while the port goes down must not reach a link that is
    // being destroyed, and the timer must stop in the thread that started it.
    gatherTimer->stop();
    port->disconnect(this);
    if (port->isOpen())
        close();
}

bool TSerialEndpoint::open(const IOHandler::DeviceInfo &device, QString &failure)
{
    if (isOpen())
        close();
    const IOHandler::SerialInfo &serial = device.serial;
    opened = serial;
    applySettings(serial);
    backlog = Backlog::Flowing;
    openFailure.clear();
    state = State::Opening;
    const bool done = port->open(QIODevice::ReadWrite);
    state = done ? State::Open : State::Closed;
    if (done)
        return true;
    failure = openFailure.isEmpty() ? TLinkErrors::serialFailed(port->error(), port->errorString(),
                                                                deviceName(serial))
                                    : openFailure;
    return false;
}

void TSerialEndpoint::applySettings(const IOHandler::SerialInfo &serial)
{
    port->setPortName(deviceName(serial));
    if (serial.baudRate != 0) {
        port->setBaudRate(serial.baudRate, QSerialPort::AllDirections);
        port->setDataBits(static_cast<QSerialPort::DataBits>(serial.dataBits));
        port->setStopBits(static_cast<QSerialPort::StopBits>(serial.stopBits));
        port->setParity(static_cast<QSerialPort::Parity>(serial.parity));
    } else {
        port->setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
        port->setDataBits(QSerialPort::Data8);
        port->setStopBits(QSerialPort::OneStop);
        port->setParity(QSerialPort::NoParity);
    }
}

void TSerialEndpoint::close()
{
    // A device that has gone away fails again while it is closed; that is no
    // news, and handling it would close it once more.
    state = State::Closing;
    // Bytes the device never took would otherwise hold up the close.
    if (port->bytesToWrite() > 0)
        port->clear(QSerialPort::Output);
    port->close();
    state = State::Closed;
}

void TSerialEndpoint::poll()
{
    // The link reads only the device its record names; and a block handed
    // on may run the event loop, which must not start a second read inside
    // this one.
    if (reading || state != State::Open || !port->isReadable())
        return;
    QScopedValueRollback<bool> guard(reading, true);
    const qint64 n = port->bytesAvailable();
    if (n > 0)
        sink.received(port->read(n), QHostAddress(), 0);
}

// The port writes from the link's event loop as the device takes bytes, so a
// far end that stops reading never stalls the link; what it cannot take is
// kept up to a bound and beyond that dropped, and the operator is told.
TEndpoint::Outcome TSerialEndpoint::send(const QByteArray &b, const IOHandler::DeviceInfo &target)
{
    if (!isOpen() || target.conType != IOHandler::Serial)
        return Outcome::Failed;
    if (port->bytesToWrite() + b.size() > IOHandler::maxSerialBacklogBytes) {
        qDebug() << "link" << name() << "serial backlog full, block of" << b.size()
                 << "bytes dropped";
        if (backlog == Backlog::Flowing)
            sink.warn(IOHandler::tr("serial port %1 does not take data, blocks dropped")
                          .arg(port->portName()));
        backlog = Backlog::Dropping;
        return Outcome::Dropped;
    }
    // A port that takes a few bytes now and then keeps the backlog at its
    // bound; only once it has drained to half is it flowing again, so the
    // operator hears once per stall, not once per block that squeezed in.
    if (port->bytesToWrite() + b.size() <= IOHandler::maxSerialBacklogBytes / 2)
        backlog = Backlog::Flowing;
    return port->write(b) == b.size() ? Outcome::Taken : Outcome::Failed;
}

void TSerialEndpoint::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || state == State::Closing)
        return;
    qDebug() << QStringLiteral("link rec serial error, id: %1 (%2), port: %3")
                    .arg(linkId)
                    .arg(name(), opened.portName)
             << error << port->errorString();
    // Some devices fail more than once while one open runs; the operator
    // pressed Connect once and hears about it once, from the failed open.
    if (state == State::Opening) {
        if (openFailure.isEmpty())
            openFailure = TLinkErrors::serialFailed(error, port->errorString(), deviceName(opened));
        return;
    }
    sink.lost(TLinkErrors::serialLost(deviceName(opened)));
}

QString TSerialEndpoint::name() const
{
    return TLinkNames::rowName(linkId);
}
