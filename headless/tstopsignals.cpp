#include "headless/tstopsignals.h"

#include <QDebug>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
// A signal handler may only write to a pipe and end the process; the rest
// happens in the event loop that reads the pipe.
int wakePipe[2] = {-1, -1};
volatile std::sig_atomic_t stopping = 0;

void install(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
} // namespace

TStopSignals::TStopSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning() << "no stop signal pipe; SIGINT and SIGTERM end the relay at once";
        return;
    }
    stopping = 0;
    notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TStopSignals::onReadable);
    install(&TStopSignals::onSignal);
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

void TStopSignals::onSignal(int)
{
    if (stopping)
        ::_exit(forcedExitCode);
    stopping = 1;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &wake, 1);
}

void TStopSignals::onReadable()
{
    char drained[16];
    while (::read(wakePipe[0], drained, sizeof drained) > 0) {
    }
    emit stopRequested();
}
