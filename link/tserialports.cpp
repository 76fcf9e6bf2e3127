#include "link/tserialports.h"

#include <QSerialPortInfo>

QStringList TSerialPorts::entries(bool withDescription)
{
    QStringList list;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        if (withDescription)
            list.append(port.portName() + QStringLiteral(": ") + port.description());
        else
            list.append(port.portName());
    }
    return list;
}

QString TSerialPorts::deviceName(const QString &entry)
{
    return entry.section(QLatin1Char(':'), 0, 0);
}
