#include "headless/theadlessrelay.h"

#include "app/tapp.h"
#include "app/trelaylinks.h"
#include "capture/tcapturetap.h"
#include "capture/tcapturewriter.h"
#include "config/tlinksettings.h"
#include "config/tlinksettingsfile.h"
#include "headless/tconsole.h"
#include "headless/tlinklines.h"
#include "headless/tstatslines.h"
#include "headless/tstopsignals.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "link/tlinknames.h"
#include "link/tserialports.h"
#include "monitor/tlinkstates.h"
#include "msg/tmsgmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <QTimer>

namespace {
QtMessageHandler shownHandler = nullptr;

// Without --verbose the console carries the link lines only; warnings
// still get through.
void withoutDiagnostics(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    shownHandler(type, context, msg);
}
} // namespace

int THeadlessRelay::run(const TRunOptions &options)
{
    QString problem;
    if (!usableConfig(options.config, problem)) {
        TConsole::errorLine(QCoreApplication::applicationName() + QStringLiteral(": ") + problem);
        return TCommandLine::usageExitCode;
    }
    if (!options.verbose)
        shownHandler = qInstallMessageHandler(withoutDiagnostics);
    IOHandler::preferPlainEventLoops();
    QThread *worker = TApp::startWorkerThread();
    int result = 0;
    {
        // Alive until every link is down: a second signal while stopping
        // must still end the process.
        TStopSignals stopSignals;
        TLinkStates states;
        TLinkLines lines(states);
        THeadlessRelay relay(options, states);
        connect(&stopSignals, &TStopSignals::stopRequested, qApp, &QCoreApplication::quit);
        relay.start();
        result = QCoreApplication::exec();
        relay.stop();
    }
    TApp::stopWorkerThread(worker);
    if (!options.verbose)
        qInstallMessageHandler(shownHandler);
    return result;
}

THeadlessRelay::THeadlessRelay(const TRunOptions &options, TLinkStates &states)
    : options(options), states(states)
{
}

bool THeadlessRelay::usableConfig(const QString &path, QString &problem)
{
    const QFileInfo file(path);
    if (file.isDir()) {
        problem = QStringLiteral("--config %1 is a directory, not a settings file").arg(path);
        return false;
    }
    const QFileInfo folder(file.absolutePath());
    if (!file.exists() && !folder.isDir()) {
        problem = QStringLiteral("--config %1: there is no directory %2")
                      .arg(path, QDir::toNativeSeparators(folder.filePath()));
        return false;
    }
    return true;
}

void THeadlessRelay::start()
{
    QSettings settings(options.config, QSettings::IniFormat);
    const QString file = QDir::toNativeSeparators(options.config);
    if (!QFileInfo::exists(options.config))
        TConsole::errorLine(
            QStringLiteral("settings file %1 not found, every link on its defaults").arg(file));
    else if (settings.status() == QSettings::AccessError)
        TConsole::errorLine(
            QStringLiteral("settings file %1 cannot be read, every link on its defaults")
                .arg(file));
    else if (settings.status() == QSettings::FormatError)
        TConsole::errorLine(
            QStringLiteral("settings file %1 holds lines that are not settings").arg(file));

    // As the window builds its rows: a stored group wins, a row never
    // stored follows the one above it.
    const QStringList serialPorts = TSerialPorts::entries();
    const int vehicles = options.vehicles > 0 ? options.vehicles
                                              : qMax(1, TLinkSettingsFile::vehicleGroups(settings));
    QVector<QPair<IOHandler *, TLinkSettings>> links;
    TLinkSettings values = TLinkSettings::defaults();
    TLinkSettingsFile::read(settings, TLinkSettingsFile::groundStationGroup(), values);
    links.append({TRelayLinks::addGroundStation(), values});
    for (int n = 0; n < vehicles; ++n) {
        TLinkSettings vehicle = TLinkSettings::defaults();
        if (!TLinkSettingsFile::read(settings, TLinkSettingsFile::vehicleGroup(n), vehicle))
            vehicle = links.last().second.following(serialPorts);
        links.append({TRelayLinks::addVehicle(n), vehicle});
    }
    for (const auto &link : links) {
        IOHandler::DeviceInfo device = link.second.device();
        device.id = link.first->getDevice().id;
        linkIds.append(device.id);
        states.opening(device.id);
        emit link.first->openDeviceSignal(device, true);
    }

    startCapture();
    if (options.statsSeconds > 0) {
        statsTimer = new QTimer(this);
        connect(statsTimer, &QTimer::timeout, this, [this] { printStats(); });
        statsTimer->start(options.statsSeconds * 1000);
    }
}

void THeadlessRelay::stop()
{
    if (statsTimer)
        statsTimer->stop();
    QVector<TLinkCounters::Snapshot> last;
    for (int id : linkIds) {
        const auto link = TLinkManager::instance()->linkRef(id);
        last.append(link ? link->countersSnapshot() : TLinkCounters::Snapshot{});
    }
    TLinkManager::instance()->shutdownAll();
    TCaptureTap::stop();
    if (options.statsSeconds <= 0)
        return;
    // What the links had passed when the stop began; they are all closed now.
    for (int i = 0; i < linkIds.size(); ++i)
        TConsole::outputLine(TStatsLines::line(linkIds.at(i),
                                               TLinkStates::name(TLinkStates::State::Closed),
                                               last.at(i), TCaptureTap::dropped()));
}

// Before the links open, so that the capture holds their first blocks. A
// capture that cannot be made is told, and the relay runs without it.
void THeadlessRelay::startCapture()
{
    if (options.capture.isEmpty())
        return;
    QString error;
    if (!TCaptureTap::start(options.capture, options.captureLimit, error)) {
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Error, error);
        return;
    }
    connect(
        TCaptureTap::current().get(), &TCaptureWriter::stopped, this,
        [](const QString &reason) {
            TCaptureTap::stop();
            emit TMsgManager::instance()->showMsg(-1, BoxMsg, Warn,
                                                  QStringLiteral("capture stopped: ") + reason);
        },
        Qt::QueuedConnection);
    TConsole::errorLine(QStringLiteral("recording to ") + options.capture);
}

void THeadlessRelay::printStats()
{
    for (int id : linkIds) {
        const auto link = TLinkManager::instance()->linkRef(id);
        if (link)
            TConsole::outputLine(TStatsLines::line(id, TLinkStates::name(states.stateOf(id)),
                                                   link->countersSnapshot(),
                                                   TCaptureTap::dropped()));
    }
}
