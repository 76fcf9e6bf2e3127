#include "app/tcommandline.h"

#include "config/tlinksettings.h"
#include "config/tswarmfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
// A window application takes these out of its arguments itself; without
// one they are still accepted, and mean nothing.
const char *const kQtGuiOptions[] = {"platform",        "platformpluginpath",
                                     "platformtheme",   "plugin",
                                     "qwindowgeometry", "qwindowicon",
                                     "qwindowtitle",    "style",
                                     "stylesheet",      "display",
                                     "geometry",        "session",
                                     "widgetcount",     "reverse",
                                     "qmljsdebugger"};
const char *const kQtGuiFlags[] = {"reverse", "widgetcount"};

bool isFlag(const char *name)
{
    for (const char *flag : kQtGuiFlags)
        if (qstrcmp(flag, name) == 0)
            return true;
    return false;
}

// A whole number from `least` to `most`, or the reason it is not.
bool number(const QString &text, int least, int most, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= least && value <= most;
}
} // namespace

TRunOptions TCommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QCoreApplication::translate(
        "TCommandLine", "Relays a ground-control station's link to the links of a swarm of "
                        "vehicles. Without options it opens its window.\n"
                        "uav-sim-relay ctl [--control PATH] COMMAND [KEY=VALUE ...] drives a "
                        "running relay (ctl --help)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window or display: open every link of the settings file."));
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Settings file (default ./cfg/app.ini)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption vehicles(
        QStringLiteral("vehicles"),
        QStringLiteral("Number of vehicle links (headless; default: the groups Con0, Con1, ... "
                       "stored, at least 1)."),
        QStringLiteral("N"));
    const QCommandLineOption stats(
        QStringLiteral("stats"),
        QStringLiteral("Print one stats line per link every SECONDS on standard output, and "
                       "once more at exit (headless)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Also print diagnostics (headless)."));
    const QCommandLineOption capture(
        QStringLiteral("capture"),
        QStringLiteral("Record every block of every link into FILE, a pcapng capture "
                       "(headless)."),
        QStringLiteral("FILE"));
    const QCommandLineOption captureLimit(
        QStringLiteral("capture-limit"),
        QStringLiteral("Stop recording when the capture reaches MB megabytes (default: no "
                       "limit)."),
        QStringLiteral("MB"));
    const QCommandLineOption radio(
        QStringLiteral("radio"),
        QStringLiteral("Put the emulated radio of FILE (JSON: delay, loss, rate, down, ... per "
                       "pair of links) between the links, and follow its changes (headless)."),
        QStringLiteral("FILE"));
    const QCommandLineOption pairStats(
        QStringLiteral("pair-stats"),
        QStringLiteral("Write a CSV line per pair of links the radio carried for into FILE, "
                       "every --stats interval and at exit (headless)."),
        QStringLiteral("FILE"));
    const QCommandLineOption writeConfig(
        QStringLiteral("write-config"),
        QStringLiteral("Write a complete settings file for --vehicles N vehicles (default 1) to "
                       "FILE, then exit."),
        QStringLiteral("FILE"));
    const QCommandLineOption kind(
        QStringLiteral("kind"),
        QStringLiteral("With --write-config: udp (default), multicast, serial, tcpclient "
                       "(vehicles connect to simulators' servers, the ground station is a "
                       "tcpserver) or tcpserver."),
        QStringLiteral("KIND"));
    const QCommandLineOption basePort(
        QStringLiteral("base-port"),
        QStringLiteral("With --write-config: the ground station's local port (udp: default "
                       "7001; multicast: its group port, default 4701)."),
        QStringLiteral("P"));
    const QCommandLineOption portStride(
        QStringLiteral("port-stride"),
        QStringLiteral("With --write-config: the step between one link's ports and the next "
                       "(default 1)."),
        QStringLiteral("S"));
    const QCommandLineOption checkConfig(
        QStringLiteral("check-config"),
        QStringLiteral("Read FILE as the relay would, print each link as it would open and every "
                       "problem; exit 0 when it is valid, 1 when not."),
        QStringLiteral("FILE"));
    const QCommandLineOption control(
        QStringLiteral("control"),
        QStringLiteral("The control socket (default ./relay.sock; none for none)."),
        QStringLiteral("PATH"));
    const QCommandLineOption statsFormat(
        QStringLiteral("stats-format"),
        QStringLiteral("Stats lines as logfmt (default) or json (headless)."),
        QStringLiteral("FORMAT"));
    const QCommandLineOption metrics(
        QStringLiteral("metrics"),
        QStringLiteral("Serve GET /metrics for dashboards on HOST:PORT, or on 127.0.0.1:PORT."),
        QStringLiteral("HOST:PORT"));
    parser.addOptions({headless, config, vehicles, stats, verbose, capture, captureLimit, radio,
                       pairStats, writeConfig, kind, basePort, portStride, checkConfig, control,
                       statsFormat, metrics});
    for (const char *name : kQtGuiOptions) {
        QCommandLineOption qtOption(QString::fromLatin1(name));
        if (!isFlag(name))
            qtOption.setValueName(QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }

    TRunOptions options;
    options.usage = parser.helpText();
    const auto usageError = [&options](const QString &text) {
        options.mode = TRunOptions::Mode::UsageError;
        options.error = text;
        return options;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        options.mode = TRunOptions::Mode::Help;
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.mode = TRunOptions::Mode::Version;
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    options.config = parser.value(config);
    options.verbose = parser.isSet(verbose);
    options.capture = parser.value(capture);
    options.radio = parser.value(radio);
    options.pairStats = parser.value(pairStats);
    int megabytes = 0;
    if (parser.isSet(captureLimit) &&
        !number(parser.value(captureLimit), 1, 1024 * 1024, megabytes))
        return usageError(QStringLiteral("--capture-limit takes a number of megabytes from 1, "
                                         "not '%1'.")
                              .arg(parser.value(captureLimit)));
    options.captureLimit = qint64(megabytes) * 1024 * 1024;
    options.control = parser.value(control);
    if (parser.isSet(control) && options.control.isEmpty())
        return usageError(QStringLiteral("--control takes a path, or none."));
    if (parser.isSet(statsFormat)) {
        const QString format = parser.value(statsFormat);
        if (format != QLatin1String("json") && format != QLatin1String("logfmt"))
            return usageError(
                QStringLiteral("--stats-format takes logfmt or json, not '%1'.").arg(format));
        options.statsFormat = format == QLatin1String("json") ? TRunOptions::StatsFormat::Json
                                                              : TRunOptions::StatsFormat::Logfmt;
    }
    options.metrics = parser.value(metrics);
    const int maxVehicles = TSwarmFile::maxVehicles;
    if (parser.isSet(vehicles) && !number(parser.value(vehicles), 1, maxVehicles, options.vehicles))
        return usageError(QStringLiteral("--vehicles takes a number from 1 to %1, not '%2'.")
                              .arg(maxVehicles)
                              .arg(parser.value(vehicles)));
    if (parser.isSet(stats) && !number(parser.value(stats), 1, 24 * 3600, options.statsSeconds))
        return usageError(
            QStringLiteral("--stats takes a number of seconds from 1 to 86400, not '%1'.")
                .arg(parser.value(stats)));
    if (parser.isSet(writeConfig)) {
        if (parser.isSet(kind))
            options.kind = TLinkSettings::kindOf(parser.value(kind));
        if (options.kind == IOHandler::None)
            return usageError(QStringLiteral("--kind takes udp, multicast, serial, tcpclient or "
                                             "tcpserver, not '%1'.")
                                  .arg(parser.value(kind)));
        if (parser.isSet(basePort) && !number(parser.value(basePort), 1, 65535, options.basePort))
            return usageError(QStringLiteral("--base-port takes a port from 1 to 65535, not '%1'.")
                                  .arg(parser.value(basePort)));
        if (parser.isSet(portStride) &&
            !number(parser.value(portStride), 1, TSwarmFile::maxStride, options.portStride))
            return usageError(QStringLiteral("--port-stride takes a number from 1 to %1, not "
                                             "'%2'.")
                                  .arg(TSwarmFile::maxStride)
                                  .arg(parser.value(portStride)));
    }
    // Each option belongs to the modes it is listed with; elsewhere it is an
    // error, never ignored.
    const QCommandLineOption *misplaced = nullptr;
    const auto given = [&](std::initializer_list<const QCommandLineOption *> list) {
        for (const QCommandLineOption *o : list)
            if (parser.isSet(*o))
                misplaced = o;
        return misplaced != nullptr;
    };
    const auto misplacedError = [&](const QString &needs) {
        return usageError(QStringLiteral("--%1 %2.").arg(misplaced->names().first(), needs));
    };
    if (!parser.isSet(writeConfig) && given({&kind, &basePort, &portStride}))
        return misplacedError(QStringLiteral("needs --write-config"));
    if (parser.isSet(writeConfig) || parser.isSet(checkConfig)) {
        if (parser.isSet(writeConfig) && parser.isSet(checkConfig))
            return usageError(QStringLiteral("--write-config and --check-config exclude each "
                                             "other."));
        if (given({&headless, &config, &stats, &verbose, &capture, &captureLimit, &control,
                   &statsFormat, &metrics, &radio, &pairStats}))
            return misplacedError(QStringLiteral("does not go with --write-config or "
                                                 "--check-config"));
        const bool write = parser.isSet(writeConfig);
        options.mode = write ? TRunOptions::Mode::WriteConfig : TRunOptions::Mode::CheckConfig;
        options.configFile = parser.value(write ? writeConfig : checkConfig);
        if (write && options.vehicles == 0)
            options.vehicles = 1;
        return options;
    }
    if (!parser.isSet(headless)) {
        if (given({&vehicles, &stats, &verbose, &capture, &captureLimit, &statsFormat, &radio,
                   &pairStats}))
            return misplacedError(QStringLiteral("needs --headless"));
        return options;
    }
    options.mode = TRunOptions::Mode::Headless;
    return options;
}
