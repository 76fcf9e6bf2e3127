#pragma once

#include <QByteArray>

// The window's own group of the settings file, "[Window]": how many
// vehicle rows it had and where it was, so a restart brings the whole
// setup back.
class TWindowSettings
{
public:
    // The stored vehicle count, or the vehicle groups stored one after
    // another; at least 1. A count that is no count is said in a box.
    static int vehicleCount();
    static QByteArray geometry();
    static void store(int vehicles, const QByteArray &geometry);
};
