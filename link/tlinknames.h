#pragma once

#include <QString>

// The ids of the links, and how the program speaks of a link: the row label
// in the window, and the name in boxes and debug lines. The ground-station link is "Gcs", the
// vehicle at list position n is "Uav n+1" (its link id is 10 + n).
class TLinkNames
{
public:
    static constexpr int gcsLinkId = 5;
    static constexpr int firstUavLinkId = 10;

    // A vehicle link is exactly a link whose id is from firstUavLinkId on.
    static bool isVehicle(int id) { return id >= firstUavLinkId; }
    static QString rowName(int id);
    // The same link in lines meant for scripts: "gcs", "uav1", "uav2", ...
    static QString shortName(int id);
    // The link a short name stands for, -1 for a name that is none.
    static int idOf(const QString &shortName);
};
