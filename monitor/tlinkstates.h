#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

// Where each link stands, followed through its events: closed, being
// opened, open, or failed with the reason its error gave.
class TLinkStates : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Closed,
        Opening,
        Open,
        Failed,
        // Lost, and being tried again.
        Waiting
    };

    // What a waiting link waits for: its port or group, or a TCP peer.
    enum class Awaits
    {
        Port,
        Peer
    };

    explicit TLinkStates(QObject *parent = nullptr);

    // Before an open request is sent, so that a failure is told as one.
    void opening(int id) { states[id].state = State::Opening; }
    // Never opened: its settings were refused for `reason`.
    void refused(int id, const QString &reason) { states[id] = {State::Failed, reason, reason}; }
    State stateOf(int id) const { return states.value(id).state; }
    // The reason of the last failed open, empty after a good one.
    QString failureOf(int id) const { return states.value(id).failure; }
    Awaits awaitsOf(int id) const { return states.value(id).awaits; }
    bool knows(int id) const { return states.contains(id); }
    // "closed", "opening", "open", "failed", "waiting": the words scripts read.
    static QString name(State state);

private:
    void onEvent(int event, int id, const QVariant &var);

    struct Link
    {
        State state = State::Closed;
        QString failure;
        QString lastError;
        Awaits awaits = Awaits::Port;
    };
    QHash<int, Link> states;
};
