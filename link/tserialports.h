#pragma once

#include <QString>
#include <QStringList>

// How the program names serial ports: the list entries the operator picks
// from, and the device an entry stands for. The window's port box and a
// relay without a window list the same ports the same way.
class TSerialPorts
{
public:
    // The ports this computer has now, as "name: description" or the name.
    static QStringList entries(bool withDescription = true);
    // The device part of an entry: the text before the first ":".
    static QString deviceName(const QString &entry);
};
