#include "headless/tstopsignals.h"

#include <QDebug>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
// A signal handler may only write to a pipe and end the process; the rest
// happens in the event loop that reads the pipe. The byte says which.
int wakePipe[2] = {-1, -1};
volatile std::sig_atomic_t stopping = 0;
constexpr char stopByte = 's';
constexpr char hangUpByte = 'h';

void install(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}
} // namespace

void TStopSignals::catchEarly()
{
    if (wakePipe[0] >= 0)
        return;
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakePipe[0] = wakePipe[1] = -1;
        return;
    }
    stopping = 0;
    install(&TStopSignals::onSignal);
}

TStopSignals::TStopSignals(QObject *parent) : QObject(parent)
{
    catchEarly();
    if (wakePipe[0] < 0) {
        qWarning() << "no stop signal pipe; SIGINT and SIGTERM end the relay at once";
        return;
    }
    // What came before the loop runs is in the pipe already, and read as
    // soon as it does.
    notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TStopSignals::onReadable);
}

TStopSignals::~TStopSignals()
{
    if (!notifier)
        return;
    install(SIG_DFL);
    delete notifier;
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
}

void TStopSignals::onSignal(int signal)
{
    char wake = hangUpByte;
    if (signal != SIGHUP) {
        if (stopping)
            ::_exit(forcedExitCode);
        stopping = 1;
        wake = stopByte;
    }
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &wake, 1);
}

void TStopSignals::onReadable()
{
    char drained[16];
    bool stop = false;
    int hangUps = 0;
    ssize_t got = 0;
    while ((got = ::read(wakePipe[0], drained, sizeof drained)) > 0)
        for (ssize_t i = 0; i < got; ++i) {
            if (drained[i] == stopByte)
                stop = true;
            else
                ++hangUps;
        }
    // Once stopping, a reopen would only hold the stop up.
    for (; hangUps > 0 && !stop; --hangUps)
        emit hangUp();
    if (stop)
        emit stopRequested();
}
