#pragma once

#include "config/tsettingsproblem.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class QSettings;
struct TLinkSettings;

// One link's group in the settings file ("Connect" for the ground station,
// "Con0", "Con1", ... for the vehicles), read and written as the window's
// port forms always have.
class TLinkSettingsFile
{
public:
    // Overwrites the fields whose keys the group holds. Texts are taken as
    // stored (a kind or a choice in any case becomes the form's spelling),
    // so that TSettingsCheck can refuse what is wrong; a check box value
    // that is neither state is refused into `problems` and leaves the
    // field as it was. False when there is no group.
    static bool read(QSettings &settings, const QString &group, TLinkSettings &values,
                     TSettingsProblems *problems = nullptr);
    // The same from values of another source, by key: a null value is a key
    // not given. `stored` is what read() answers.
    using Lookup = std::function<QVariant(const QString &key)>;
    static bool read(const Lookup &value, bool stored, const QString &group, TLinkSettings &values,
                     TSettingsProblems *problems = nullptr);
    // Every key a group may hold.
    static QStringList keys();
    // The window writes its own texts for the kind; a file for scripts the
    // words they type ("udp").
    enum class KindText
    {
        Form,
        Word
    };
    static void write(QSettings &settings, const QString &group, const TLinkSettings &values,
                      KindText kindText = KindText::Form);
    // How many vehicle groups follow one another from "Con0" on.
    static int vehicleGroups(QSettings &settings);
    static QString vehicleGroup(int n) { return QStringLiteral("Con%1").arg(n); }
    static QString groundStationGroup() { return QStringLiteral("Connect"); }
};
