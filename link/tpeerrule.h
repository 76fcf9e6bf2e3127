#pragma once

#include "link/iohandler.h"

class TLinkCounters;

// Whom a UDP link answers. A unicast link follows whoever sent to it last,
// unless it has a fixed peer, which is then the only one heard; and where
// others can reach its port, the operator is told they could take it over.
class TPeerRule
{
public:
    enum class Verdict
    {
        Same,   // the sender is the one the record answers already
        Moved,  // the record answers the sender from now on
        Foreign // a stranger to a fixed peer: dropped and counted
    };

    // A datagram from sender:port reached `record`'s link.
    static Verdict hear(IOHandler::DeviceInfo &record, const QHostAddress &sender, quint16 port,
                        TLinkCounters &counters);
    // The link named `name` has just opened `record`: the peer it answers,
    // and how exposed it is, for the counters' readers.
    static void noteOpened(const IOHandler::DeviceInfo &record, const QString &name,
                           TLinkCounters &counters);

private:
    static void notePeer(const IOHandler::DeviceInfo &record, TLinkCounters &counters);
};
