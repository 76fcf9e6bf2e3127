#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class TBurstBox;

enum MsgType : qint32
{
    FcsMsg = 1,
    GcsMsg = 2,
    BoxMsg = 4
};
enum MsgLevel : qint32
{
    Debug = 0,
    Info = 1,
    Warn = 2,
    Error = 3,
    Fatal = 4
};

// Turns messages from any thread into debug lines or a self-closing message
// box in the GUI thread; messages that come in a burst share one box.
class TMsgManager : public QObject
{
    Q_OBJECT
public:
    explicit TMsgManager(QObject *parent = nullptr);

    static TMsgManager *instance();

    // How long the message box stays open after its last message.
    static constexpr int boxTimeoutMs = 2000;

    // Where box messages go where nobody would see a box: set, every box
    // message is handed to it (in the manager's thread) instead.
    using LineWriter = std::function<void(int id, MsgLevel level, const QString &msg)>;
    void setLineWriter(LineWriter writer) { lineWriter = std::move(writer); }

signals:
    void showMsg(int id, MsgType type, MsgLevel level, QString msg);
    void uiShowMsgSignal(int id, MsgLevel level, QString msg);

private:
    void onShowMsg(int id, MsgType type, MsgLevel level, const QString &msg);
    void showInBox(int id, MsgLevel level, const QString &msg);
    void discardBox();
    static void discardBoxAtExit();

    QPointer<TBurstBox> box;
    LineWriter lineWriter;

    static TMsgManager *registered;
};

Q_DECLARE_METATYPE(MsgType)
Q_DECLARE_METATYPE(MsgLevel)
