#include "link/tlinkthread.h"

#include <QObject>
#include <QThread>

QThread *TLinkThread::start(QObject *link, const std::function<void()> &init)
{
    preferPlainEventLoops();
    auto *thread = new QThread;
    link->moveToThread(thread);
    QObject::connect(thread, &QThread::started, link, init);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::InheritPriority);
    return thread;
}

void TLinkThread::stop(QObject *link, QThread *thread)
{
    if (!thread || thread == QThread::currentThread()) {
        link->deleteLater();
        return;
    }
    // The thread object is freed here, not by its own deferred deletion,
    // because no event loop may be left to run that.
    QObject::disconnect(thread, &QThread::finished, thread, &QObject::deleteLater);
    link->deleteLater();
    thread->wait();
    delete thread;
}

void TLinkThread::preferPlainEventLoops()
{
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}
