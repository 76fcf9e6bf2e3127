#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM ask the relay to stop: the first is handed to the
// event loop as stopRequested(); a second one, while the relay is still
// stopping, ends the process at once with status 130. SIGHUP is handed on
// as hangUp(). The handlers are installed by catchEarly(), before any link
// exists, so that a signal in the first milliseconds is kept until the
// event loop runs instead of being lost or killing the relay.
class TStopSignals : public QObject
{
    Q_OBJECT
public:
    // Safe before any Qt object exists; idempotent.
    static void catchEarly();
    explicit TStopSignals(QObject *parent = nullptr);
    ~TStopSignals() override;

    static constexpr int forcedExitCode = 130;

signals:
    void stopRequested();
    void hangUp();

private:
    static void onSignal(int signal);
    void onReadable();

    QSocketNotifier *notifier = nullptr;
};
