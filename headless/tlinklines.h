#pragma once

#include "monitor/tlinkstates.h"
#include "msg/tmsgmanager.h"

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
    // The states tell a failed open from an error on an open link.
    explicit TLinkLines(const TLinkStates &states, QObject *parent = nullptr);
    ~TLinkLines() override;

private:
    void onEvent(int event, int id, const QVariant &var);
    void onMessage(int id, MsgLevel level, const QString &msg);

    const TLinkStates &states;
};
