#include "msg/tmsgmanager.h"

#include "msg/tburstbox.h"

#include <QApplication>
#include <QDebug>

TMsgManager *TMsgManager::registered = nullptr;

// The one message manager of the process; it belongs to the main thread.
static TMsgManager theMsgManager;

TMsgManager::TMsgManager(QObject *parent) : QObject(parent)
{
    if (registered) {
        qDebug() << "TMsgManager must be sigleton";
        return;
    }
    registered = this;
    qRegisterMetaType<MsgType>("MsgType");
    qRegisterMetaType<MsgLevel>("MsgLevel");
    connect(this, &TMsgManager::showMsg, this, &TMsgManager::onShowMsg, Qt::AutoConnection);
}

TMsgManager *TMsgManager::instance()
{
    return registered;
}

void TMsgManager::onShowMsg(int id, MsgType type, MsgLevel level, const QString &msg)
{
    switch (type) {
    case FcsMsg:
        emit uiShowMsgSignal(id, level, msg);
        qDebug() << "FcsMsg:" << msg;
        break;
    case GcsMsg:
        emit uiShowMsgSignal(-1, level, msg);
        qDebug() << "GcsMsg:" << msg;
        break;
    case BoxMsg:
        if (lineWriter) {
            lineWriter(id, level, msg);
            break;
        }
        // Widgets need a widget application; a core-only process (a tool or
        // a test) still gets the message, on the debug stream.
        if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
            qDebug() << "BoxMsg:" << TBurstBox::lookOf(level).title << msg;
            break;
        }
        showInBox(id, level, msg);
        break;
    default:
        break;
    }
}

// A box shown, not run: no event loop nests in whatever the GUI thread was
// doing, and a burst of failures adds lines instead of stacking boxes.
void TMsgManager::showInBox(int id, MsgLevel level, const QString &msg)
{
    if (box && !box->takesMore())
        discardBox();
    if (!box) {
        box = new TBurstBox(boxTimeoutMs);
        connect(box, &TBurstBox::burstOver, box, &QObject::deleteLater);
        // A widget must go before the application does. A program that ends
        // through its event loop frees the box on the way out; a process
        // that never ran one frees it as the application is destroyed,
        // while widgets still work.
        connect(qApp, &QCoreApplication::aboutToQuit, this, &TMsgManager::discardBox,
                Qt::UniqueConnection);
        qRemovePostRoutine(&TMsgManager::discardBoxAtExit);
        qAddPostRoutine(&TMsgManager::discardBoxAtExit);
    }
    box->add(id, level, msg);
}

void TMsgManager::discardBox()
{
    delete box;
}

void TMsgManager::discardBoxAtExit()
{
    if (registered)
        registered->discardBox();
}
