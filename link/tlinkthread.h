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

    // Link threads started from now on run Qt's own event dispatcher rather
    // than GLib's: under load GLib's loses socket notifications, and a UDP
    // link would stop reading with datagrams waiting; it also costs about a
    // third more per wake-up. Threads already running, the GUI thread among
    // them, keep theirs. start() calls it before it starts a thread;
    // it does nothing when the user has chosen through QT_NO_GLIB.
    static void preferPlainEventLoops();
};
