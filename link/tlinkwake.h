#pragma once

#include <functional>
#include <memory>

class QObject;
class QSocketNotifier;

// How other threads wake a link to send what they queued for it: an eventfd
// that the link's event loop watches. A wake costs one write and no
// allocation, where a queued call costs an event object, the posting lock
// and the loop's own wake-up, and then the whole dispatch of the event; a
// forwarded block pays one of them.
class TLinkWake
{
public:
    TLinkWake();
    ~TLinkWake();
    TLinkWake(const TLinkWake &) = delete;
    TLinkWake &operator=(const TLinkWake &) = delete;

    // In the link's thread, once: from now on a wake runs `handler` there.
    // Wakes that came before are not lost: the descriptor stays readable.
    void attach(QObject *owner, std::function<void()> handler);
    // From any thread. Several wakes before the link runs are one.
    void wake();

private:
    void onWoken();

    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void()> handler;
};
