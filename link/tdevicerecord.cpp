#include "link/tdevicerecord.h"

#include <QHostAddress>
#include <QSerialPort>
#include <QTcpServer>

void TDeviceRecord::registerMetaTypes()
{
    qRegisterMetaType<QHostAddress>("QHostAddress");
    qRegisterMetaType<IOHandler::ConType>("IOHandler::ConType");
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");
    qRegisterMetaType<IOHandler::DeviceInfo>("IOHandler::DeviceInfo");
    // Qt's network module registers a type of its own at the first listen
    // or connect, and two link threads doing that at once register it
    // twice, with a warning on standard error: done once here first.
    static const bool networkTypesRegistered = [] {
        QTcpServer probe;
        return probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    }();
    Q_UNUSED(networkTypesRegistered)
}

IOHandler::DeviceInfo TDeviceRecord::fromVariant(const QVariant &device)
{
    using DeviceInfo = IOHandler::DeviceInfo;
    const int type = qMetaTypeId<DeviceInfo>();
    if (device.userType() == type)
        return *static_cast<const DeviceInfo *>(device.constData());
    QVariant converted = device;
    if (converted.isValid() && converted.convert(type))
        return *static_cast<const DeviceInfo *>(converted.constData());
    return DeviceInfo{};
}
