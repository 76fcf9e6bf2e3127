#pragma once

#include "config/tsettingsproblem.h"
#include "link/iohandler.h"

#include <QStringList>

struct TLinkSettings;

// What a link's settings must be before it is opened. One rule per kind of
// value, shared by the window's Connect, the relay without a window and
// --check-config, so that all three refuse the same values in the same words.
class TSettingsCheck
{
public:
    // The problems of the keys the chosen kind uses; none when it may open.
    static TSettingsProblems check(const QString &group, const TLinkSettings &values);
    // The keys a link of `kind` is opened from.
    static QStringList keysOf(IOHandler::ConType kind);

    // Decimal 1 to 65535.
    static bool isPort(const QString &text);
    // Four decimal octets: "1.2.3" and host names are no addresses here,
    // although the system's parser would take the first and a resolver the
    // second.
    static bool isDottedQuad(const QString &text);
    static bool isGroupAddress(const QString &text);

    static QString portRule();
    static QString addressRule();
};
