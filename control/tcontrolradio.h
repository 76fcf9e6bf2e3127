#pragma once

#include <QJsonObject>
#include <QString>

class TRelaySession;

// The radio command: {"file":"x.json"} loads a radio file in place of the
// one in force, nothing more turns the radio off, and
// {"from":"uav1","to":"uav2","profile":"down"} (and "seed") sets one rule
// beside the rules in force. A refusal names the field and its value and
// leaves the radio as it was.
class TControlRadio
{
public:
    static QJsonObject run(TRelaySession &session, const QJsonObject &request);

private:
    static QJsonObject setRule(TRelaySession &session, const QJsonObject &request);
    // A link of this relay by its short name, or "*"; else false with why.
    static bool linkName(const TRelaySession &session, const QJsonValue &value, const QString &key,
                         QString &problem);
};
