#pragma once

#include <QObject>
#include <QString>

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

// Turns messages from any thread into debug lines or self-closing message
// boxes in the GUI thread.
class TMsgManager : public QObject
{
    Q_OBJECT
public:
    explicit TMsgManager(QObject *parent = nullptr);

    static TMsgManager *instance();

    // How long a message box stays open before it closes itself.
    static constexpr int boxTimeoutMs = 2000;

signals:
    void showMsg(int id, MsgType type, MsgLevel level, QString msg);
    void uiShowMsgSignal(int id, MsgLevel level, QString msg);

private:
    void onShowMsg(int id, MsgType type, MsgLevel level, const QString &msg);

    static TMsgManager *registered;
};

Q_DECLARE_METATYPE(MsgType)
Q_DECLARE_METATYPE(MsgLevel)
