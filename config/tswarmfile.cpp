#include "config/tswarmfile.h"

#include "config/tlinksettingsfile.h"
#include "config/tsettingscheck.h"
#include "config/tsettingskeys.h"
#include "link/tlinknames.h"
#include "link/tserialports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace K = TSettingsKeys;

namespace {
// A whole number from `least` to `most` stored under `key` of `group`;
// `fallback` when absent, and also when wrong, which is then refused.
int storedNumber(QSettings &settings, const QString &group, const QString &key, int least, int most,
                 int fallback, TSettingsProblems *problems)
{
    const QVariant stored = settings.value(group + QLatin1Char('/') + key);
    if (stored.isNull())
        return fallback;
    bool ok = false;
    const int value = stored.toString().trimmed().toInt(&ok);
    if (ok && value >= least && value <= most)
        return value;
    if (problems)
        problems->append(
            {group, key, stored.toString(),
             QStringLiteral("it is a whole number from %1 to %2").arg(least).arg(most)});
    return fallback;
}
} // namespace

TSwarmFile::Status TSwarmFile::statusOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Status::Missing;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return Status::Unreadable;
    // The settings reader takes almost anything as keys; a file with NUL
    // bytes in it was never meant as settings.
    return file.read(64 * 1024).contains('\0') ? Status::NotSettings : Status::Read;
}

QString TSwarmFile::statusLine(const QString &path, Status status)
{
    const QString file = TSettingsProblem::fileName(path);
    switch (status) {
    case Status::Missing:
        return QStringLiteral("settings file %1 not found, every link on its defaults").arg(file);
    case Status::Unreadable:
        return QStringLiteral("settings file %1 cannot be read: %2")
            .arg(file, QFileInfo(path).isFile() ? QStringLiteral("permission denied")
                                                : QStringLiteral("it is no file"));
    case Status::NotSettings:
        return QStringLiteral("settings file %1 is not a settings file (it holds binary data)")
            .arg(file);
    default:
        return QString();
    }
}

int TSwarmFile::vehicleCount(QSettings &settings, TSettingsProblems *problems)
{
    const int groups = TLinkSettingsFile::vehicleGroups(settings);
    return storedNumber(settings, K::windowGroup, K::vehicles, 1, maxVehicles,
                        qBound(1, groups, maxVehicles), problems);
}

int TSwarmFile::portStride(QSettings &settings, TSettingsProblems *problems)
{
    return storedNumber(settings, K::swarmGroup, K::portStride, 1, maxStride, 1, problems);
}

TSwarmFile TSwarmFile::read(const QString &path, int vehicles)
{
    TSwarmFile file;
    file.status = statusOf(path);
    if (!runsOn(file.status))
        return file;
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        file.status =
            settings.status() == QSettings::AccessError ? Status::Unreadable : Status::NotSettings;
        return file;
    }
    const int count = vehicles > 0 ? vehicles : vehicleCount(settings, &file.problems);
    file.stride = portStride(settings, &file.problems);
    const QStringList serialPorts = TSerialPorts::entries();
    Link gcs;
    gcs.id = TLinkNames::gcsLinkId;
    gcs.group = TLinkSettingsFile::groundStationGroup();
    gcs.values = TLinkSettings::defaults();
    TLinkSettingsFile::read(settings, gcs.group, gcs.values, &gcs.problems);
    gcs.problems += TSettingsCheck::check(gcs.group, gcs.values);
    file.links.append(gcs);
    for (int n = 0; n < count; ++n)
        file.links.append(vehicle(settings, n, file.links.last().values, file.stride, serialPorts));
    return file;
}

TSwarmFile::Link TSwarmFile::vehicle(QSettings &settings, int n, const TLinkSettings &above,
                                     int stride, const QStringList &serialPorts)
{
    Link link;
    link.id = TLinkNames::firstUavLinkId + n;
    link.group = TLinkSettingsFile::vehicleGroup(n);
    link.values = TLinkSettings::defaults();
    // As the window builds its rows: a stored group wins, a row never
    // stored follows the one above it.
    if (!TLinkSettingsFile::read(settings, link.group, link.values, &link.problems))
        link.values = above.following(serialPorts, stride);
    link.problems += TSettingsCheck::check(link.group, link.values);
    return link;
}

bool TSwarmFile::write(const QString &path, const Plan &plan, QString &error)
{
    const bool multicast = plan.kind == IOHandler::UdpMulticast;
    const int base = plan.basePort > 0 ? plan.basePort : multicast ? 4701 : 7001;
    const int remoteBase = 9000;
    const int last = qMax(base, multicast ? base : remoteBase) + plan.vehicles * plan.stride;
    if (last > 65535) {
        error = QStringLiteral("%1 vehicles %2 ports apart from port %3 need port %4; a port is 1 "
                               "to 65535")
                    .arg(plan.vehicles)
                    .arg(plan.stride)
                    .arg(base)
                    .arg(last);
        return false;
    }
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()) || (info.exists() && !QFile::remove(path))) {
        error = QStringLiteral("%1 cannot be written").arg(path);
        return false;
    }
    TLinkSettings row = TLinkSettings::defaults();
    row.conType = TLinkSettings::kindWord(plan.kind);
    (multicast ? row.groupPort : row.localPort) = QString::number(base);
    row.remotePort = QString::number(remoteBase);
    if (multicast)
        row.netInterface = QStringLiteral("lo");
    // Vehicles that connect to their simulators' servers serve the ground
    // station, which connects to the relay.
    TLinkSettings gcs = row;
    if (plan.kind == IOHandler::TcpClient)
        gcs.conType = TLinkSettings::kindWord(IOHandler::TcpServer);
    const QStringList serialPorts = TSerialPorts::entries();
    QSettings settings(path, QSettings::IniFormat);
    TLinkSettingsFile::write(settings, TLinkSettingsFile::groundStationGroup(), gcs,
                             TLinkSettingsFile::KindText::Word);
    for (int n = 0; n < plan.vehicles; ++n) {
        row = row.following(serialPorts, plan.stride);
        TLinkSettingsFile::write(settings, TLinkSettingsFile::vehicleGroup(n), row,
                                 TLinkSettingsFile::KindText::Word);
    }
    settings.setValue(K::windowGroup + QLatin1Char('/') + K::vehicles, plan.vehicles);
    settings.setValue(K::swarmGroup + QLatin1Char('/') + K::portStride, plan.stride);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        error = QStringLiteral("%1 cannot be written").arg(path);
        return false;
    }
    return true;
}
