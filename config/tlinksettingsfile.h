#pragma once

#include <QString>

class QSettings;
struct TLinkSettings;

// One link's group in the settings file ("Connect" for the ground station,
// "Con0", "Con1", ... for the vehicles), read and written as the window's
// port forms always have.
class TLinkSettingsFile
{
public:
    // Overwrites the fields whose keys the group holds, as the form would
    // take them: a text that is none of a list's choices (or an interface
    // this computer does not have) leaves the field as it was, a typed
    // address or port is taken as stored. False when there is no group.
    static bool read(QSettings &settings, const QString &group, TLinkSettings &values);
    static void write(QSettings &settings, const QString &group, const TLinkSettings &values);
    // How many vehicle groups follow one another from "Con0" on.
    static int vehicleGroups(QSettings &settings);
    static QString vehicleGroup(int n) { return QStringLiteral("Con%1").arg(n); }
    static QString groundStationGroup() { return QStringLiteral("Connect"); }
};
