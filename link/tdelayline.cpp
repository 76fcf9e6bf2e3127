#include "link/tdelayline.h"

#include <QSocketNotifier>

#include <atomic>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {
std::atomic<TDelayLine::LeftHook> hook{nullptr};
} // namespace

TDelayLine::TDelayLine() = default;

TDelayLine::~TDelayLine()
{
    notifier.reset();
    if (fd >= 0)
        ::close(fd);
}

qint64 TDelayLine::nowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void TDelayLine::setLeftHook(LeftHook h)
{
    hook.store(h, std::memory_order_release);
}

TDelayLine::LeftHook TDelayLine::leftHook()
{
    return hook.load(std::memory_order_acquire);
}

void TDelayLine::attach(QObject *link, Handler h)
{
    const std::lock_guard<std::mutex> hold(lock);
    if (owner)
        return;
    owner = link;
    handler = std::move(h);
    // Blocks put before the link's thread ran are waiting for it.
    if (fd >= 0)
        QMetaObject::invokeMethod(
            owner, [this] { watch(); }, Qt::QueuedConnection);
}

void TDelayLine::watch()
{
    if (notifier || fd < 0)
        return;
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read, owner);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, owner, [this] { onTimer(); });
}

void TDelayLine::put(qint64 dueUs, qint64 handedUs, int from, Mark mark, const QByteArray &data)
{
    const std::lock_guard<std::mutex> hold(lock);
    if (fd < 0) {
        fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        // The timer is level-triggered: what it signals before the link
        // watches it is seen once it does.
        if (owner)
            QMetaObject::invokeMethod(
                owner, [this] { watch(); }, Qt::QueuedConnection);
    }
    waiting.push({dueUs, handedUs, nextOrder++, data, from, mark});
    if (armedUs == 0 || dueUs < armedUs)
        arm(dueUs);
}

// Under the lock.
void TDelayLine::arm(qint64 dueUs)
{
    // An absolute time of zero would disarm the timer; one in the past fires at once.
    const qint64 at = qMax<qint64>(dueUs, 1);
    itimerspec wakeAt{};
    wakeAt.it_value.tv_sec = time_t(at / 1000000);
    wakeAt.it_value.tv_nsec = long(at % 1000000) * 1000;
    timerfd_settime(fd, TFD_TIMER_ABSTIME, &wakeAt, nullptr);
    armedUs = at;
}

void TDelayLine::onTimer()
{
    quint64 expirations = 0;
    if (::read(fd, &expirations, sizeof expirations) < 0 && errno != EAGAIN)
        return;
    const qint64 now = nowUs();
    {
        const std::lock_guard<std::mutex> hold(lock);
        armedUs = 0;
        while (!waiting.empty() && waiting.top().dueUs <= now) {
            due.push_back(waiting.top());
            waiting.pop();
        }
        if (!waiting.empty())
            arm(waiting.top().dueUs);
    }
    if (!due.empty())
        handler(due, now);
    due.clear();
}
