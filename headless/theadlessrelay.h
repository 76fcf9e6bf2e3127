#pragma once

#include "app/tcommandline.h"

#include <QObject>
#include <QVector>

class QTimer;
class TLinkLines;
class TLinkStates;
class TSwarmFile;

// The relay without a window: the links of the settings file, built as the
// window builds them and all opened at start, reporting on the console
// until SIGINT or SIGTERM.
class THeadlessRelay : public QObject
{
    Q_OBJECT
public:
    // Runs inside a core application until asked to stop; the exit status.
    static int run(const TRunOptions &options);

private:
    THeadlessRelay(const TRunOptions &options, TLinkStates &states);
    // False, with the reason, for a --config path no settings file can be
    // read from; an empty path is the default, always usable.
    static bool usableConfig(const QString &path, QString &problem);
    void start(const TSwarmFile &file, TLinkLines &lines);
    void stop();
    void printStats();
    void startCapture();

    const TRunOptions options;
    TLinkStates &states;
    QVector<int> linkIds;
    QTimer *statsTimer = nullptr;
};
