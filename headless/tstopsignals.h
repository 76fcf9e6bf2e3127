#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM ask the relay to stop: the first is handed to the
// event loop as stopRequested(); a second one, while the relay is still
// stopping, ends the process at once with status 130.
class TStopSignals : public QObject
{
    Q_OBJECT
public:
    explicit TStopSignals(QObject *parent = nullptr);
    ~TStopSignals() override;

    static constexpr int forcedExitCode = 130;

signals:
    void stopRequested();

private:
    static void onSignal(int signal);
    void onReadable();

    QSocketNotifier *notifier = nullptr;
};
