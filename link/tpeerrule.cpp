#include "link/tpeerrule.h"

#include "link/tendpointtext.h"
#include "link/tlinkcounters.h"
#include "link/tlinkerrors.h"

#include <QDebug>

TPeerRule::Verdict TPeerRule::hear(IOHandler::DeviceInfo &record, const QHostAddress &sender,
                                   quint16 port, TLinkCounters &counters)
{
    IOHandler::UdpInfo &udp = record.udp;
    if (sender.isNull() || (port == udp.remotePort && sender == udp.remoteAddr))
        return Verdict::Same;
    const bool unicast = record.conType == IOHandler::UdpUnicast;
    // A fixed peer is the only one heard: a stranger takes nothing over.
    if (udp.fixedPeer && unicast) {
        counters.foreign(sender.toString() + QLatin1Char(':') + QString::number(port));
        return Verdict::Foreign;
    }
    udp.remoteAddr = sender;
    udp.remotePort = port;
    if (unicast)
        notePeer(record, counters);
    return Verdict::Moved;
}

// Without a fixed peer a unicast link answers whoever sent last: where
// others can reach its port, any of them can take it over.
void TPeerRule::noteOpened(const IOHandler::DeviceInfo &record, const QString &name,
                           TLinkCounters &counters)
{
    notePeer(record, counters);
    const IOHandler::UdpInfo &udp = record.udp;
    const bool exposed =
        record.conType == IOHandler::UdpUnicast && !udp.fixedPeer && !udp.localAddr.isLoopback();
    const QString text = exposed ? TLinkErrors::takeoverRisk(udp) : QString();
    if (exposed)
        qDebug() << "link" << name << text;
    counters.noteExposure(text);
}

void TPeerRule::notePeer(const IOHandler::DeviceInfo &record, TLinkCounters &counters)
{
    counters.notePeer(TEndpointText::address(record.udp.remoteAddr, record.udp.remotePort));
}
