#pragma once

#include "msg/tmsgmanager.h"

#include <QHash>
#include <QObject>
#include <QVariant>

// Follows every link through its events and says what happens to it, one
// line each: "uav3 open udp 127.0.0.1:7004 -> 127.0.0.1:9003", "uav3 failed:
// 127.0.0.1:7004 is already in use", "uav3 closed". The messages a window
// would show in a box come here too and become lines of the link they name.
class TLinkLines : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Closed,
        Opening,
        Open,
        Failed
    };

    explicit TLinkLines(QObject *parent = nullptr);
    ~TLinkLines() override;

    // Before its open request is sent, so that a failure is told as one.
    void opening(int id) { states.insert(id, State::Opening); }
    State stateOf(int id) const { return states.value(id, State::Closed); }
    static QString stateName(State state);

private:
    void onEvent(int event, int id, const QVariant &var);
    void onMessage(int id, MsgLevel level, const QString &msg);

    QHash<int, State> states;
};
