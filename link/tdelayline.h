#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <vector>

class QObject;
class QSocketNotifier;

// Blocks a link is to send later, held in its own thread until each is due:
// one timer (a timerfd) for the whole link, however many pairs and blocks
// wait. Any thread may put a block; the timer is re-armed by whoever puts an
// earlier one, and the link's thread takes what is due and sends it, so the
// sending and its counting stay with the link.
class TDelayLine
{
public:
    // What the link does with a block when it is due.
    enum class Mark : quint8
    {
        Send, // it waited, and goes out now
        Lost, // never sent; recorded, while recording, with why
        Down,
        QueueFull
    };
    struct Block
    {
        qint64 dueUs;
        qint64 handedUs;
        quint64 order; // blocks due at the same time leave in the order put
        QByteArray data;
        int from;
        Mark mark;
    };
    // All that came due at one wake, in order: the link sends them as one
    // run, not one send each.
    using Handler = std::function<void(const std::vector<Block> &, qint64 nowUs)>;

    TDelayLine();
    ~TDelayLine();
    TDelayLine(const TDelayLine &) = delete;
    TDelayLine &operator=(const TDelayLine &) = delete;

    // In the link's thread, once: from now on due blocks go to `handler`.
    // The timer itself is made with the first block: a link that never
    // delays one has no descriptor more for its event loop to watch.
    void attach(QObject *owner, Handler handler);
    // From any thread.
    void put(qint64 dueUs, qint64 handedUs, int from, Mark mark, const QByteArray &data);
    // The steady clock the due times are read on, in microseconds.
    static qint64 nowUs();

    // Told of every block sent after waiting: the pair, how long it waited
    // and how late it left against its due time.
    using LeftHook = void (*)(int from, int to, qint64 waitedUs, qint64 lateUs);
    static void setLeftHook(LeftHook hook);
    static LeftHook leftHook();

private:
    struct Later
    {
        bool operator()(const Block &a, const Block &b) const
        {
            return a.dueUs != b.dueUs ? a.dueUs > b.dueUs : a.order > b.order;
        }
    };
    void arm(qint64 dueUs);
    void onTimer();
    // In the link's thread.
    void watch();

    int fd = -1;
    std::mutex lock;
    std::priority_queue<Block, std::vector<Block>, Later> waiting;
    quint64 nextOrder = 0;
    qint64 armedUs = 0; // 0: not armed
    std::unique_ptr<QSocketNotifier> notifier;
    QObject *owner = nullptr;
    Handler handler;
    std::vector<Block> due; // the link's thread only
};
