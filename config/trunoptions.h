#pragma once

#include <QString>

// What the program was asked to do on its command line.
struct TRunOptions
{
    enum class Mode
    {
        Window,
        Headless,
        Help,
        Version,
        // Write a settings file for `vehicles` vehicles, or check one.
        WriteConfig,
        CheckConfig,
        // `error` says what is wrong.
        UsageError
    };
    Mode mode = Mode::Window;
    // Empty: ./cfg/app.ini, which need not exist (every link on its
    // defaults); a file named here must be in a folder that does.
    QString config;
    // --write-config and --check-config.
    QString configFile;
    int kind = 2;     // IOHandler::UdpUnicast
    int basePort = 0; // 0: the kind's own default
    int portStride = 1;
    // 0: as many as the settings file holds, at least one.
    int vehicles = 0;
    // 0: no periodic stats.
    int statsSeconds = 0;
    bool verbose = false;
    // Empty: no recording. The limit in bytes, 0 for none.
    QString capture;
    qint64 captureLimit = 0;
    // The control socket as given: empty when not, "none" for none.
    QString control;
    enum class StatsFormat
    {
        Logfmt,
        Json
    };
    StatsFormat statsFormat = StatsFormat::Logfmt;
    // HOST:PORT of the metrics page, empty for none.
    QString metrics;
    // Empty: no emulated radio, every link perfect.
    QString radio;
    // Empty: no CSV of the radio's pairs.
    QString pairStats;
    QString error;
    QString usage;

    // The settings file these options name.
    QString configPath() const;
    // The control socket to make, empty for none; `stored` is what the
    // settings file names when the command line names none.
    QString controlPath(const QString &stored = QString()) const;

    // What a usage error exits with, whatever found it.
    static constexpr int usageExitCode = 2;
};
