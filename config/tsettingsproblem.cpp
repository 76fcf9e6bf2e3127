#include "config/tsettingsproblem.h"

#include <QDir>

QString TSettingsProblem::line(const QString &file) const
{
    return QStringLiteral("%1 [%2] %3=%4: %5").arg(fileName(file), group, key, value, allowed);
}

QString TSettingsProblem::fileName(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}
