#pragma once

#include <QByteArray>

// The window's own group of the settings file, "[Window]": how many
// vehicle rows it had and where it was, so a restart brings the whole
// setup back.
class TWindowSettings
{
public:
    // The stored vehicle count within 1..maxVehicles, or 0 when none is stored.
    static int vehicleCount();
    static QByteArray geometry();
    static void store(int vehicles, const QByteArray &geometry);

    // Far beyond any swarm run on one machine: a corrupt count must not
    // start thousands of link threads.
    static constexpr int maxVehicles = 1024;
};
