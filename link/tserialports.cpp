#include "link/tserialports.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>

#include <mutex>

namespace {
QList<QSerialPortInfo> availablePorts(TSerialPorts::Age age)
{
    static std::mutex mutex;
    static QList<QSerialPortInfo> ports;
    static QElapsedTimer read;
    const std::lock_guard<std::mutex> locker(mutex);
    if (age == TSerialPorts::Age::Now || !read.isValid() || read.hasExpired(1000)) {
        ports = QSerialPortInfo::availablePorts();
        read.start();
    }
    return ports;
}
} // namespace

QStringList TSerialPorts::entries(bool withDescription, Age age)
{
    QStringList list;
    const auto ports = availablePorts(age);
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
