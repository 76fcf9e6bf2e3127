#include "link/tdevicerecord.h"

#include <QHostAddress>
#include <QSerialPort>

void TDeviceRecord::registerMetaTypes()
{
    qRegisterMetaType<QHostAddress>("QHostAddress");
    qRegisterMetaType<IOHandler::ConType>("IOHandler::ConType");
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");
    qRegisterMetaType<IOHandler::DeviceInfo>("IOHandler::DeviceInfo");
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
