#include "headless/theadlessrelay.h"

#include "config/tswarmfile.h"
#include "control/tcontrolserver.h"
#include "control/tmetricsserver.h"
#include "headless/tconsole.h"
#include "headless/tlinklines.h"
#include "headless/tstatslines.h"
#include "headless/tstopsignals.h"
#include "link/iohandler.h"
#include "link/tlinkthread.h"
#include "monitor/tlinkstates.h"
#include "msg/tmsgmanager.h"
#include "session/tapp.h"
#include "session/trelaysession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>

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
    const QString path = options.configPath();
    if (!usableConfig(options.config, problem)) {
        TConsole::errorLine(QCoreApplication::applicationName() + QStringLiteral(": ") + problem);
        return TRunOptions::usageExitCode;
    }
    const TSwarmFile file = TSwarmFile::read(path, options.vehicles);
    if (!TSwarmFile::runsOn(file.status)) {
        TConsole::errorLine(QCoreApplication::applicationName() + QStringLiteral(": ") +
                            TSwarmFile::statusLine(path, file.status));
        return TRunOptions::usageExitCode;
    }
    if (!options.verbose)
        shownHandler = qInstallMessageHandler(withoutDiagnostics);
    TLinkThread::preferPlainEventLoops();
    QThread *worker = TApp::startWorkerThread();
    int result = 0;
    {
        // Alive until every link is down: a second signal while stopping
        // must still end the process.
        TStopSignals stopSignals;
        TRelaySession session;
        TLinkLines lines(session.states());
        THeadlessRelay relay(options, session);
        TControlServer control(session, path);
        TMetricsServer metrics(session);
        QString error;
        QString warning;
        if ((!options.controlPath().isEmpty() && !control.listen(options.controlPath(), error)) ||
            (!options.metrics.isEmpty() && !metrics.start(options.metrics, error, warning))) {
            TConsole::errorLine(QCoreApplication::applicationName() + QStringLiteral(": ") + error);
            result = 1;
        } else {
            if (!warning.isEmpty())
                TConsole::errorLine(QStringLiteral("warning: ") + warning);
            if (!options.metrics.isEmpty())
                TConsole::errorLine(QStringLiteral("metrics on ") + metrics.url());
            // Queued: a stop that came while the links were being built must
            // find the loop running, or quit() would be lost before exec().
            connect(&stopSignals, &TStopSignals::stopRequested, qApp, &QCoreApplication::quit,
                    Qt::QueuedConnection);
            connect(&stopSignals, &TStopSignals::hangUp, &relay, &THeadlessRelay::reopenCapture);
            result =
                relay.start(file, lines) ? QCoreApplication::exec() : TRunOptions::usageExitCode;
            relay.stop();
        }
    }
    TApp::stopWorkerThread(worker);
    if (!options.verbose)
        qInstallMessageHandler(shownHandler);
    return result;
}

THeadlessRelay::THeadlessRelay(const TRunOptions &options, TRelaySession &session)
    : options(options), session(session)
{
    connect(&session, &TRelaySession::recordingStopped, this, [](const QString &reason) {
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Warn,
                                              QStringLiteral("capture stopped: ") + reason);
    });
}

bool THeadlessRelay::usableConfig(const QString &path, QString &problem)
{
    // No file named: ./cfg/app.ini need not exist, nor its folder.
    if (path.isEmpty())
        return true;
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

bool THeadlessRelay::start(const TSwarmFile &file, TLinkLines &lines)
{
    const QString path = options.configPath();
    if (file.status == TSwarmFile::Status::Missing)
        TConsole::errorLine(TSwarmFile::statusLine(path, file.status));
    for (const TSettingsProblem &problem : file.problems)
        TConsole::errorLine(problem.line(path));

    session.build(file.links.size() - 1);
    QString radioError;
    if (!options.radio.isEmpty() && !session.loadRadio(options.radio, radioError)) {
        TConsole::errorLine(QStringLiteral("radio: ") + radioError);
        return false;
    }
    if (!options.radio.isEmpty())
        TConsole::errorLine(QStringLiteral("radio: ") + options.radio);
    QVector<int> opened;
    for (const TSwarmFile::Link &link : file.links) {
        session.setSettings(link.id, link.values);
        if (!link.problems.isEmpty()) {
            // Refused, not opened: the others run.
            for (const TSettingsProblem &problem : link.problems)
                TConsole::errorLine(problem.line(path));
            session.refuse(link.id, link.problems.first().line(path));
            continue;
        }
        opened.append(link.id);
        session.open(link.id, link.values);
    }
    lines.inOrder(opened);

    startCapture();
    if (options.statsSeconds > 0) {
        statsTimer = new QTimer(this);
        connect(statsTimer, &QTimer::timeout, this, [this] { printStats(); });
        statsTimer->start(options.statsSeconds * 1000);
    }
    return true;
}

void THeadlessRelay::stop()
{
    if (statsTimer)
        statsTimer->stop();
    const QVector<int> ids = session.linkIds();
    QVector<TLinkCounters::Snapshot> last;
    for (int id : ids)
        last.append(session.figures(id));
    session.shutdown();
    writePairStats();
    // What the links had passed when the stop began; they are all closed now.
    for (int i = 0; i < ids.size(); ++i)
        TConsole::outputLine(
            statsLine(ids.at(i), TLinkStates::name(TLinkStates::State::Closed), last.at(i)));
}

// Before the links open, so that the capture holds their first blocks. A
// capture that cannot be made is told, and the relay runs without it.
bool THeadlessRelay::startCapture()
{
    if (options.capture.isEmpty())
        return false;
    QString error;
    if (!session.startRecording(options.capture, options.captureLimit, error)) {
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Error, error);
        return false;
    }
    captureFile = fileId(options.capture);
    TConsole::errorLine(QStringLiteral("recording to ") + options.capture);
    return true;
}

THeadlessRelay::FileId THeadlessRelay::fileId(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {quint64(info.st_dev), quint64(info.st_ino)};
}

// SIGHUP, as a log rotation sends it: a capture whose file was moved away
// goes on in a new file under its name. One still in place is kept, never
// truncated, and so is the relay without a capture.
void THeadlessRelay::reopenCapture()
{
    if (options.capture.isEmpty()) {
        TConsole::errorLine(QStringLiteral("SIGHUP: no capture to reopen; ignored"));
        return;
    }
    const bool recording = session.recording();
    if (recording && fileId(options.capture) == captureFile) {
        TConsole::errorLine(
            QStringLiteral("SIGHUP: %1 is still in place; recording goes on").arg(options.capture));
        return;
    }
    session.stopRecording();
    if (startCapture())
        TConsole::errorLine(QStringLiteral("SIGHUP: capture reopened"));
}

void THeadlessRelay::writePairStats()
{
    if (options.pairStats.isEmpty())
        return;
    QSaveFile out(options.pairStats);
    if (!out.open(QIODevice::WriteOnly) || out.write(session.radioPairs().toUtf8()) < 0 ||
        !out.commit())
        TConsole::errorLine(
            QStringLiteral("--pair-stats %1: %2").arg(options.pairStats, out.errorString()));
}

void THeadlessRelay::printStats()
{
    writePairStats();
    for (int id : session.linkIds())
        TConsole::outputLine(
            statsLine(id, TLinkStates::name(session.states().stateOf(id)), session.figures(id)));
}

QString THeadlessRelay::statsLine(int id, const QString &state,
                                  const TLinkCounters::Snapshot &counts) const
{
    return options.statsFormat == TRunOptions::StatsFormat::Json
               ? TStatsLines::json(id, state, counts, session.recordingDropped())
               : TStatsLines::line(id, state, counts, session.recordingDropped());
}
