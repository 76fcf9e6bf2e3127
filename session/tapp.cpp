#include "session/tapp.h"

#include "link/iohandler.h"
#include "link/tlinkevents.h"
#include "protocol/trouter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

TApp *TApp::registered = nullptr;

// The one application object of the process.
static TApp theApp;

TApp::TApp(QObject *parent) : QObject(parent)
{
    if (registered) {
        qDebug() << "TApp must be sigleton";
        return;
    }
    registered = this;
    // Every link event becomes the application's, in the link's thread.
    connect(TLinkEvents::instance(), &TLinkEvents::linkEvent, this, &TApp::TAppEvent,
            Qt::DirectConnection);
    connect(this, &TApp::TAppEvent, this, &TApp::handleTAppEvent, Qt::AutoConnection);
}

TApp *TApp::instance()
{
    return registered;
}

QThread *TApp::startWorkerThread()
{
    auto *worker = new QThread;
    // Hand the object back before the thread is gone so that it never
    // belongs to a dead thread while static objects are destroyed.
    QThread *home = QThread::currentThread();
    connect(
        worker, &QThread::finished, worker, [home] { instance()->moveToThread(home); },
        Qt::DirectConnection);
    instance()->moveToThread(worker);
    worker->start(QThread::InheritPriority);
    return worker;
}

void TApp::stopWorkerThread(QThread *worker)
{
    if (!worker)
        return;
    worker->quit();
    worker->wait();
    delete worker;
}

void TApp::recUavData(QByteArray b, QVariant device)
{
    decodeToGcs(b, device);
    decodeToUav(b, device);
}

void TApp::decodeToGcs(QByteArray b, QVariant device)
{
    TRouter::toGroundStation(b, IOHandler::deviceFromVariant(device).id);
}

void TApp::decodeToUav(QByteArray b, QVariant device)
{
    TRouter::toOtherVehicles(b, IOHandler::deviceFromVariant(device).id);
}

void TApp::handleTAppEvent(int event, int id, QVariant var)
{
    Q_UNUSED(event)
    Q_UNUSED(id)
    Q_UNUSED(var)
}
