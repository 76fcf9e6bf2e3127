#include "session/version.h"

#include <QCoreApplication>
#include <QLocale>

namespace {
const char *const kVersion = "1.1.0";
const int kBuildNumber = 1;
} // namespace

QDateTime parseBuildDateTime(const QString &dateText, const QString &timeText)
{
    QString text = dateText + timeText;
    text.replace(QStringLiteral("  "), QStringLiteral(" 0"));
    return QLocale(QLocale::English, QLocale::AnyCountry)
        .toDateTime(text, QStringLiteral("MMM dd yyyyhh:mm:ss"));
}

QDateTime buildDateTime()
{
    return parseBuildDateTime(QStringLiteral(__DATE__), QStringLiteral(__TIME__));
}

QString versionTitle(const QDateTime &built)
{
    return QCoreApplication::applicationName() + QStringLiteral(" v") + QLatin1String(kVersion) +
           QLatin1Char('.') + built.date().toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('.') +
           QString::number(kBuildNumber);
}

QString versionTitle()
{
    return versionTitle(buildDateTime());
}
