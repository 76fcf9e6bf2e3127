#include "app/tcommandline.h"

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
                        "vehicles. Without options it opens its window."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window or display: open every link of the settings file."));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Settings file to read (headless; default ./cfg/app.ini)."),
        QStringLiteral("FILE"), QStringLiteral("./cfg/app.ini"));
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
    parser.addOptions({headless, config, vehicles, stats, verbose, capture, captureLimit});
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
    int megabytes = 0;
    if (parser.isSet(captureLimit) &&
        !number(parser.value(captureLimit), 1, 1024 * 1024, megabytes))
        return usageError(QStringLiteral("--capture-limit takes a number of megabytes from 1, "
                                         "not '%1'.")
                              .arg(parser.value(captureLimit)));
    options.captureLimit = qint64(megabytes) * 1024 * 1024;
    if (parser.isSet(vehicles) && !number(parser.value(vehicles), 1, maxVehicles, options.vehicles))
        return usageError(QStringLiteral("--vehicles takes a number from 1 to %1, not '%2'.")
                              .arg(maxVehicles)
                              .arg(parser.value(vehicles)));
    if (parser.isSet(stats) && !number(parser.value(stats), 1, 24 * 3600, options.statsSeconds))
        return usageError(
            QStringLiteral("--stats takes a number of seconds from 1 to 86400, not '%1'.")
                .arg(parser.value(stats)));
    if (!parser.isSet(headless)) {
        for (const QCommandLineOption *only :
             {&config, &vehicles, &stats, &verbose, &capture, &captureLimit})
            if (parser.isSet(*only))
                return usageError(QStringLiteral("--%1 needs --headless: the window reads "
                                                 "./cfg/app.ini and shows every link.")
                                      .arg(only->names().first()));
        return options;
    }
    options.mode = TRunOptions::Mode::Headless;
    return options;
}
