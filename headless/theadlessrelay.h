#pragma once

#include "app/tcommandline.h"

#include <QObject>
#include <QVector>

class QTimer;
class TLinkStates;

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
    // False, with the reason, for a path no settings file can be read from.
    static bool usableConfig(const QString &path, QString &problem);
    void start();
    void stop();
    void printStats();
    void startCapture();

    const TRunOptions options;
    TLinkStates &states;
    QVector<int> linkIds;
    QTimer *statsTimer = nullptr;
};
