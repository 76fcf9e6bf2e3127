#include "msg/tmsgmanager.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QTimer>

#include <memory>

TMsgManager *TMsgManager::registered = nullptr;

// The one message manager of the process; it belongs to the main thread.
static TMsgManager theMsgManager;

namespace {
struct LevelLook
{
    const char *title;
    QMessageBox::Icon icon;
};

LevelLook lookOf(MsgLevel level)
{
    switch (level) {
    case Debug:
        return {"DEBUG", QMessageBox::Information};
    case Info:
        return {"INFO ", QMessageBox::Information};
    case Warn:
        return {"WARN ", QMessageBox::Warning};
    case Error:
        return {"ERROR", QMessageBox::Critical};
    case Fatal:
        return {"FATAL", QMessageBox::Critical};
    }
    return {"INFO", QMessageBox::Information};
}
} // namespace

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
    const LevelLook look = lookOf(level);
    switch (type) {
    case FcsMsg:
        emit uiShowMsgSignal(id, level, msg);
        qDebug() << "FcsMsg:" << msg;
        break;
    case GcsMsg:
        emit uiShowMsgSignal(-1, level, msg);
        qDebug() << "GcsMsg:" << msg;
        break;
    case BoxMsg: {
        // Widgets need a widget application; a core-only process (a tool or
        // a test) still gets the message, on the debug stream.
        if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
            qDebug() << "BoxMsg:" << look.title << msg;
            break;
        }
        // Freed as soon as it has closed: deferred deletion would need an
        // event loop to come back to, and a box shown while the program winds
        // down has none.
        std::unique_ptr<QMessageBox> box(
            new QMessageBox(look.icon, QLatin1String(look.title), msg, QMessageBox::Close, nullptr,
                            Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint));
        box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        QTimer::singleShot(boxTimeoutMs, box.get(), SLOT(accept()));
        box->exec();
        break;
    }
    default:
        break;
    }
}
