#pragma once

#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QString>

#include <shared_mutex>

// The UDP and TCP endpoints this process's links hold: what each listens on, sends
// to and sends from. Links of one relay must never hear themselves: two
// rows on one group and port, or one row sending to another's own port,
// would hand every block back into the relay; and a link must recognise
// the datagrams that another link of this process sent, which the kernel
// delivers back (on "lo" even with multicast loop-back off).
//
// Each multicast link sends from a socket of its own on an ephemeral port,
// so the source port tells its datagrams apart from everyone else's (other
// programs on the same group, this program's other copies). Linux would
// also offer IP_PKTINFO or IP_MULTICAST_ALL, but neither says which socket
// sent a datagram: a source port that only this process holds does.
class TOwnEndpoints
{
public:
    struct Claim
    {
        bool multicast = false;
        QHostAddress localAddr; // unicast: bound address; multicast: the group
        quint16 localPort = 0;
        QHostAddress remoteAddr; // unicast only: where the link sends
        quint16 remotePort = 0;
        // TCP ports are apart from UDP ones: a TCP server holds localAddr,
        // a client the server it connects to.
        bool tcp = false;
    };

    static TOwnEndpoints &instance();

    // Takes the endpoints for link `id`, replacing what it held. Returns
    // empty, or why they clash with another link's, naming that link.
    QString claim(int id, const Claim &claim);
    // A socket bound to `address` (any: every local address) and `port`
    // sends for link `id`.
    void addSender(int id, const QHostAddress &address, quint16 port);
    void release(int id);
    // The datagram came from a socket of one of this process's links.
    bool isOwnSender(const QHostAddress &address, quint16 port) const;

private:
    struct Held
    {
        Claim claim;
        QHostAddress senderAddr;
        quint16 senderPort = 0;
    };
    QString clash(const Claim &mine, int otherId, const Claim &other) const;
    bool isLocal(const QHostAddress &address) const;

    mutable std::shared_mutex lock;
    QHash<int, Held> held;
    QHash<quint16, QHostAddress> senders; // by source port
    QSet<QHostAddress> localAddresses;
};
