#include "ui/twindowsettings.h"

#include "config/tswarmfile.h"
#include "msg/tmsgmanager.h"
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
    TSettingsProblems problems;
    const int count = TSwarmFile::vehicleCount(settings, &problems);
    for (const TSettingsProblem &problem : problems)
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Warn,
                                              problem.line(TFormSettings::path()));
    return count;
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
