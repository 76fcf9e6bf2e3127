#include "app/tprogram.h"

#include "app/tcommandline.h"
#include "app/tconfigtool.h"
#include "control/tcontrolserver.h"
#include "control/tctltool.h"
#include "control/tmetricsserver.h"
#include "headless/tconsole.h"
#include "headless/theadlessrelay.h"
#include "headless/tstopsignals.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "link/tlinkthread.h"
#include "msg/tmsgmanager.h"
#include "session/tapp.h"
#include "session/version.h"
#include "ui/tformsettings.h"
#include "ui/tmainwidget.h"

#include <QApplication>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {
// Ends the event loop once the window has been closed for good (its close
// was not refused), whatever other window is up.
class QuitWhenClosed : public QObject
{
public:
    explicit QuitWhenClosed(QWidget &window) : window(window) { window.installEventFilter(this); }

private:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &window && event->type() == QEvent::Close)
            QTimer::singleShot(0, this, [this] {
                if (!window.isVisible())
                    QCoreApplication::quit();
            });
        return false;
    }
    QWidget &window;
};

bool asked(int argc, char **argv, const char *option)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0)
            return true;
    return false;
}

// What the application object left of the command line: a window
// application takes its own options out of argv.
QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// Help, version and usage errors end the program here; -1 lets it run.
int answered(const TRunOptions &options)
{
    switch (options.mode) {
    case TRunOptions::Mode::Help:
        TConsole::outputLine(options.usage.trimmed());
        return 0;
    case TRunOptions::Mode::Version:
        TConsole::outputLine(versionTitle().trimmed());
        return 0;
    case TRunOptions::Mode::UsageError:
        TConsole::errorLine(QCoreApplication::applicationName() + QStringLiteral(": ") +
                            options.error);
        TConsole::errorLine(options.usage.trimmed());
        return TRunOptions::usageExitCode;
    default:
        return -1;
    }
}

// As headless: the address on standard error, and a page of the window's
// own links; a refusal or a warning is the operator's to see.
void startMetrics(TMetricsServer &metrics, const QString &hostPort)
{
    if (hostPort.isEmpty())
        return;
    QString error;
    QString warning;
    if (!metrics.start(hostPort, error, warning)) {
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Error, error);
        return;
    }
    if (!warning.isEmpty())
        emit TMsgManager::instance()->showMsg(-1, BoxMsg, Warn, warning);
    TConsole::errorLine(QStringLiteral("metrics on ") + metrics.url());
}
} // namespace

bool TProgram::displayAvailable()
{
    const auto set = [](const char *name) {
        const char *v = std::getenv(name);
        return v && *v;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

void TProgram::catchStopsEarly(int argc, char **argv)
{
    // A service manager may stop the relay in its first milliseconds: the
    // stop must wait for the links to be up and down again, not kill it.
    if (asked(argc, argv, "--headless"))
        TStopSignals::catchEarly();
}

int TProgram::run(int &argc, char **argv, const ShownHook &onShown)
{
    // A capture or a stats line written to a pipe whose reader has gone
    // must end that output with an error, never the relay with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    // Done already when main() was reached; not for callers that start here.
    catchStopsEarly(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "ctl") == 0) {
        QCoreApplication app(argc, argv);
        return TCtlTool::run(argumentsOf(argc, argv).mid(2));
    }
    // Without a window nothing may need a display: a core application reads
    // the command line, and the headless relay runs in it.
    const bool display =
        displayAvailable() || asked(argc, argv, "-platform") || asked(argc, argv, "--platform");
    if (asked(argc, argv, "--headless") || asked(argc, argv, "--write-config") ||
        asked(argc, argv, "--check-config") || !display) {
        QCoreApplication app(argc, argv);
        const TRunOptions options = TCommandLine::parse(argumentsOf(argc, argv));
        const int early = answered(options);
        if (early >= 0)
            return early;
        switch (options.mode) {
        case TRunOptions::Mode::Headless:
            return THeadlessRelay::run(options);
        case TRunOptions::Mode::WriteConfig:
            return TConfigTool::write(options);
        case TRunOptions::Mode::CheckConfig:
            return TConfigTool::check(options);
        default:
            break;
        }
        // Qt's own message for a missing display is cryptic; say what to do instead.
        TConsole::errorLine(
            QStringLiteral("uav-sim-relay: no display found (DISPLAY is not set).\n"
                           "Run it on a desktop, or without one under a virtual display:\n"
                           "  xvfb-run -a uav-sim-relay\n"
                           "  QT_QPA_PLATFORM=offscreen uav-sim-relay\n"
                           "or without a window, from the settings file:\n"
                           "  uav-sim-relay --headless"));
        return TRunOptions::usageExitCode;
    }

    QApplication app(argc, argv);
    const TRunOptions options = TCommandLine::parse(argumentsOf(argc, argv));
    const int early = answered(options);
    if (early >= 0)
        return early;
    TFormSettings::setPath(options.configPath());
    // After the GUI thread has its dispatcher, before any link thread.
    TLinkThread::preferPlainEventLoops();
    QThread *worker = TApp::startWorkerThread();

    int result = 0;
    {
        TMainWidget window;
        // Qt would not quit while any other window is up (a message box that
        // came a moment before the close), and would not look again when that
        // box goes by itself: the program would hang with no window at all.
        app.setQuitOnLastWindowClosed(false);
        QuitWhenClosed quitter(window);
        TControlServer control(window.relay(), options.configPath());
        const QString socket =
            options.controlPath(QSettings(options.configPath(), QSettings::IniFormat)
                                    .value(QStringLiteral("Control/Socket"))
                                    .toString());
        QString error;
        // The window runs without it: the operator is told why.
        if (!socket.isEmpty() && !control.listen(socket, error))
            emit TMsgManager::instance()->showMsg(-1, BoxMsg, Error, error);
        TMetricsServer metrics(window.relay());
        startMetrics(metrics, options.metrics);
        window.show();
        if (onShown)
            onShown(&window);
        result = app.exec();
        // Nothing may run in another thread once main() returns: every link
        // is stopped (timer, device, thread) while the window still exists.
        TLinkManager::instance()->shutdownAll();
    }
    TApp::stopWorkerThread(worker);
    return result;
}
