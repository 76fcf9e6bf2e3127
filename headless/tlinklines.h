#pragma once

#include "monitor/tlinkstates.h"
#include "msg/tmsgmanager.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <QVector>

// Follows every link through its events and says what happens to it, one
// line each: "uav3 open udp 127.0.0.1:7004 -> 127.0.0.1:9003", "uav3 failed:
// 127.0.0.1:7004 is already in use", "uav3 closed". The messages a window
// would show in a box come here too and become lines of the link they name.
class TLinkLines : public QObject
{
    Q_OBJECT
public:
    // The states tell a failed open from an error on an open link.
    explicit TLinkLines(const TLinkStates &states, QObject *parent = nullptr);
    ~TLinkLines() override;

    // The links opened at start report from their own threads in any order;
    // their lines are held until each has told its outcome (or a few
    // seconds have passed), then written in the order of `ids`.
    void inOrder(const QVector<int> &ids);

private:
    void write(int id, const QString &line);
    void reported(int id);
    void release();
    void onEvent(int event, int id, const QVariant &var);
    void onMessage(int id, MsgLevel level, const QString &msg);

    const TLinkStates &states;
    QVector<int> order;
    QSet<int> pending;
    QHash<int, QStringList> held;
};
