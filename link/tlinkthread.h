#pragma once

#include <functional>

class QObject;
class QThread;

// A link's own thread, the worker-object way: the link is moved into a new
// thread that initialises it first; at the end the link is deleted in its
// thread, and the thread, which the link quits as it goes, is waited for
// and freed.
class TLinkThread
{
public:
    // `link` in a thread of its own, where `init` runs before anything
    // queued to the link.
    static QThread *start(QObject *link, const std::function<void()> &init);
    // From another thread than `thread`; a link without a thread of its
    // own (or stopped from within it) is only deleted later.
    static void stop(QObject *link, QThread *thread);
};
