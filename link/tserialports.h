#pragma once

#include <QString>
#include <QStringList>

// How the program names serial ports: the list entries the operator picks
// from, and the device an entry stands for. The window's port box and a
// relay without a window list the same ports the same way.
class TSerialPorts
{
public:
    // How old a list may be. Asking the system costs a scan of the device
    // tree, which rows built one after another (a window with a hundred
    // vehicles) would repeat for nothing.
    enum class Age
    {
        Recent, // read within the last second
        Now
    };
    // The ports this computer has, as "name: description" or the name.
    static QStringList entries(bool withDescription = true, Age age = Age::Recent);
    // The device part of an entry: the text before the first ":".
    static QString deviceName(const QString &entry);
};
