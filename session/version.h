#pragma once

#include <QDateTime>
#include <QString>

// Build stamp of the program, shown in the main window's title.

// Parses the compiler's date and time texts ("Oct  5 2025", "14:05:06").
// A day padded with a blank is read as if it had a leading zero; the month
// is read in English whatever the system locale says. Invalid on failure.
QDateTime parseBuildDateTime(const QString &dateText, const QString &timeText);

// The moment this program was built.
QDateTime buildDateTime();

// "<application name> v1.1.0.<yyyyMMdd>.1" for the given build moment.
QString versionTitle(const QDateTime &built);

// The title for this build.
QString versionTitle();
