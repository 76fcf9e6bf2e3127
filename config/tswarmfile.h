#pragma once

#include "config/tlinksettings.h"
#include "config/tsettingsproblem.h"

#include <QString>
#include <QStringList>
#include <QVector>

class QSettings;

// A whole settings file as the relay opens it: the ground station and every
// vehicle, each from its group or, never stored, by the new-row rule, with
// the problems that keep a link closed. The window's rows, the relay
// without a window and --check-config all read a file through here, so a
// file means the same swarm to each of them.
class TSwarmFile
{
public:
    enum class Status
    {
        // No file: every link on its defaults.
        Missing,
        Read,
        // There, but not to be read by this user: never taken as defaults.
        Unreadable,
        // Not in the settings format at all.
        NotSettings
    };
    struct Link
    {
        int id = 0;
        QString group;
        TLinkSettings values;
        // Empty when the link may be opened.
        TSettingsProblems problems;
    };

    // `vehicles` 0: as many as the file says (see vehicleCount()).
    static TSwarmFile read(const QString &path, int vehicles);
    static Status statusOf(const QString &path);
    // Missing or read: the relay may run on it. Any other is an error, never
    // taken as defaults, or every row would open the first serial port.
    static bool runsOn(Status status)
    {
        return status == Status::Missing || status == Status::Read;
    }
    // One line for a file that is not simply read: "settings file
    // cfg/app.ini not found, every link on its defaults".
    static QString statusLine(const QString &path, Status status);

    // The vehicle at list position n: its stored group, or never stored, the
    // row `above` followed on by `stride`; with the problems of its values.
    static Link vehicle(QSettings &settings, int n, const TLinkSettings &above, int stride,
                        const QStringList &serialPorts);

    // `[Window] Vehicles` when stored and valid, else the groups Con0,
    // Con1, ... that follow one another; at least 1, at most maxVehicles.
    static int vehicleCount(QSettings &settings, TSettingsProblems *problems = nullptr);
    // `[Swarm] PortStride`: the step between one row's ports and the next.
    static int portStride(QSettings &settings, TSettingsProblems *problems = nullptr);

    // What --write-config makes: the ground station on `basePort`, its
    // peer on 9000 (multicast: groups from 224.0.0.31, ports from
    // `basePort`), each vehicle `stride` further on.
    struct Plan
    {
        IOHandler::ConType kind = IOHandler::UdpUnicast;
        int vehicles = 1;
        int basePort = 7001;
        int stride = 1;
    };
    // False with the reason when the plan does not fit in the port range or
    // the file cannot be written.
    static bool write(const QString &path, const Plan &plan, QString &error);

    // Far beyond any swarm run on one machine: a corrupt count must not
    // start thousands of link threads.
    static constexpr int maxVehicles = 1024;
    // Where the window and the relay without a window look unless told:
    // relative to the working directory.
    static constexpr const char *defaultPath = "./cfg/app.ini";
    static constexpr int maxStride = 1000;

    Status status = Status::Missing;
    QVector<Link> links;
    int stride = 1;
    // Of the file as a whole ([Window], [Swarm]).
    TSettingsProblems problems;
};
