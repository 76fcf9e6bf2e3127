#pragma once

#include <QString>
#include <QStringList>

// What the program was asked to do on its command line.
struct TRunOptions
{
    enum class Mode
    {
        Window,
        Headless,
        Help,
        Version,
        // `error` says what is wrong.
        UsageError
    };
    Mode mode = Mode::Window;
    QString config;
    // 0: as many as the settings file holds, at least one.
    int vehicles = 0;
    // 0: no periodic stats.
    int statsSeconds = 0;
    bool verbose = false;
    // Empty: no recording. The limit in bytes, 0 for none.
    QString capture;
    qint64 captureLimit = 0;
    QString error;
    QString usage;
};

class TCommandLine
{
public:
    // The arguments as the application object left them, program name first.
    static TRunOptions parse(const QStringList &arguments);
    static constexpr int maxVehicles = 1024;
    static constexpr int usageExitCode = 2;
};
