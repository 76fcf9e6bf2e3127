#include "ui/twindowsettings.h"

#include "ui/tformsettings.h"

#include <QDebug>
#include <QSettings>

namespace {
const QString kGroup = QStringLiteral("Window");
const QString kVehicles = QStringLiteral("Vehicles");
const QString kGeometry = QStringLiteral("Geometry");
} // namespace

int TWindowSettings::vehicleCount()
{
    QSettings settings(TFormSettings::path(), QSettings::IniFormat);
    const QVariant stored = settings.value(kGroup + QLatin1Char('/') + kVehicles);
    if (stored.isNull())
        return 0;
    bool ok = false;
    const int count = stored.toInt(&ok);
    if (!ok || count < 1) {
        qDebug() << "settings file: vehicle count" << stored.toString() << "ignored";
        return 0;
    }
    if (count > maxVehicles)
        qDebug() << "settings file: vehicle count" << count << "cut to" << maxVehicles;
    return qMin(count, maxVehicles);
}

QByteArray TWindowSettings::geometry()
{
    QSettings settings(TFormSettings::path(), QSettings::IniFormat);
    return settings.value(kGroup + QLatin1Char('/') + kGeometry).toByteArray();
}

void TWindowSettings::store(int vehicles, const QByteArray &geometry)
{
    QSettings settings(TFormSettings::path(), QSettings::IniFormat);
    settings.beginGroup(kGroup);
    settings.setValue(kVehicles, vehicles);
    settings.setValue(kGeometry, geometry);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qDebug() << "settings file" << settings.fileName() << "not saved: window setup lost";
}
