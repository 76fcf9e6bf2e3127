#include "session/trelaysession.h"

#include "capture/tcapturetap.h"
#include "capture/tcapturewriter.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "link/tlinknames.h"
#include "msg/tmsgmanager.h"
#include "radio/tradio.h"
#include "radio/tradiowatcher.h"
#include "session/trelaylinks.h"

TRelaySession::TRelaySession(QObject *parent) : QObject(parent) {}

// The radio is the process's; a session that goes takes its file with it.
TRelaySession::~TRelaySession()
{
    if (radio)
        unloadRadio();
}

void TRelaySession::build(int count)
{
    addGroundStation();
    while (vehicles < count)
        addVehicle();
}

void TRelaySession::addGroundStation(const TLinkSettings &values)
{
    if (hasGroundStation)
        return;
    TRelayLinks::addGroundStation();
    linkSettings.insert(TLinkNames::gcsLinkId, values);
    hasGroundStation = true;
}

int TRelaySession::addVehicle(const TLinkSettings &values)
{
    TRelayLinks::addVehicle(vehicles);
    const int id = TLinkNames::firstUavLinkId + vehicles++;
    linkSettings.insert(id, values);
    emit vehicleAdded(id);
    return id;
}

void TRelaySession::setSettings(int id, const TLinkSettings &values)
{
    if (!linkSettings.contains(id))
        return;
    linkSettings.insert(id, values);
    emit settingsChanged(id);
}

bool TRelaySession::removeLastVehicle()
{
    if (vehicles == 0)
        return false;
    const int id = TLinkNames::firstUavLinkId + vehicles - 1;
    TRelayLinks::removeLastVehicle();
    --vehicles;
    monitor.forget(id);
    linkSettings.remove(id);
    emit vehicleRemoved(id);
    return true;
}

QVector<int> TRelaySession::linkIds() const
{
    QVector<int> ids{TLinkNames::gcsLinkId};
    for (int n = 0; n < vehicles; ++n)
        ids.append(TLinkNames::firstUavLinkId + n);
    return ids;
}

void TRelaySession::request(int id, const TLinkSettings &values, bool open)
{
    IOHandler *link = TLinkManager::instance()->getLink(id);
    if (!link)
        return;
    IOHandler::DeviceInfo device = values.device();
    device.id = id;
    if (open) {
        linkSettings.insert(id, values);
        linkStates.opening(id);
    }
    emit link->openDeviceSignal(device, open);
}

bool TRelaySession::sample(int id, qint64 nowMs, TLinkMonitor::Sample &out)
{
    const auto link = TLinkManager::instance()->linkRef(id);
    if (!link)
        return false;
    out = monitor.sample(id, *link, nowMs);
    return true;
}

TLinkCounters::Snapshot TRelaySession::counters(int id) const
{
    const auto link = TLinkManager::instance()->linkRef(id);
    return link ? link->countersSnapshot() : TLinkCounters::Snapshot{};
}

TLinkCounters::Snapshot TRelaySession::figures(int id)
{
    const auto link = TLinkManager::instance()->linkRef(id);
    return link ? monitor.counts(id, *link) : TLinkCounters::Snapshot{};
}

void TRelaySession::resetAllCounters()
{
    // Also the links no view has sampled yet.
    for (int id : linkIds())
        monitor.reset(id);
}

bool TRelaySession::startRecording(const QString &path, qint64 sizeLimit, QString &error)
{
    if (!TCaptureTap::start(path, sizeLimit, error))
        return false;
    connect(
        TCaptureTap::current().get(), &TCaptureWriter::stopped, this,
        [this](const QString &reason) {
            stopRecording();
            emit recordingStopped(reason);
        },
        Qt::QueuedConnection);
    return true;
}

void TRelaySession::stopRecording()
{
    TCaptureTap::stop();
}

bool TRelaySession::recording() const
{
    return TCaptureTap::current() != nullptr;
}

quint64 TRelaySession::recordingDropped() const
{
    return TCaptureTap::dropped();
}

std::unique_ptr<TRadioWatcher> TRelaySession::newRadioWatcher()
{
    auto fresh = std::make_unique<TRadioWatcher>(TRadio::instance());
    connect(fresh.get(), &TRadioWatcher::applied, this, &TRelaySession::checkRadioNames);
    connect(fresh.get(), &TRadioWatcher::refused, this, [](const QString &why) {
        emit TMsgManager::instance()->showMsg(
            -1, BoxMsg, Error, QStringLiteral("radio file not applied, the rules stay: ") + why);
    });
    return fresh;
}

bool TRelaySession::loadRadio(const QString &path, QString &error)
{
    std::unique_ptr<TRadioWatcher> fresh = newRadioWatcher();
    radioNamesTold.clear();
    // Until the new file reads, the rules of the one before stay in force.
    if (!fresh->load(path, error))
        return false;
    radio = std::move(fresh);
    return true;
}

void TRelaySession::unloadRadio()
{
    radio.reset();
    TRadio::instance().uninstall();
}

void TRelaySession::setRadioRule(const TRadioFile::Rule &rule, qint64 seed)
{
    if (!radio)
        radio = newRadioWatcher();
    radio->setRule(rule, seed);
}

QString TRelaySession::radioFile() const
{
    return radio ? radio->path() : QString();
}

QString TRelaySession::radioPairs() const
{
    return TRadio::instance().pairCsv();
}

void TRelaySession::checkRadioNames(const QString &path, const QStringList &names)
{
    const QVector<int> ids = linkIds();
    for (const QString &name : names) {
        if (ids.contains(TLinkNames::idOf(name)) || radioNamesTold.contains(name))
            continue;
        radioNamesTold.insert(name);
        emit TMsgManager::instance()->showMsg(
            -1, BoxMsg, Warn,
            QStringLiteral("radio file %1 names %2, which is no link of this relay")
                .arg(path, name));
    }
}

void TRelaySession::shutdown()
{
    unloadRadio();
    TLinkManager::instance()->shutdownAll();
    stopRecording();
    vehicles = 0;
    hasGroundStation = false;
    linkSettings.clear();
}
