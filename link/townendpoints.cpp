#include "link/townendpoints.h"

#include "link/tlinknames.h"

#include <QCoreApplication>
#include <QNetworkInterface>

#include <mutex>

namespace {
bool sameEndpoint(const QHostAddress &a, quint16 aPort, const QHostAddress &b, quint16 bPort)
{
    if (aPort != bPort || aPort == 0)
        return false;
    return a == b || a == QHostAddress(QHostAddress::AnyIPv4) ||
           b == QHostAddress(QHostAddress::AnyIPv4);
}

QString endpoint(const QHostAddress &address, quint16 port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

QString tr(const char *text)
{
    return QCoreApplication::translate("TOwnEndpoints", text);
}
} // namespace

TOwnEndpoints &TOwnEndpoints::instance()
{
    static TOwnEndpoints endpoints;
    return endpoints;
}

QString TOwnEndpoints::clash(const Claim &mine, int otherId, const Claim &other) const
{
    const QString who = TLinkNames::rowName(otherId);
    if (mine.multicast && other.multicast) {
        if (mine.localAddr == other.localAddr && mine.localPort == other.localPort)
            return tr("group %1 is already used by %2")
                .arg(endpoint(mine.localAddr, mine.localPort), who);
        return QString();
    }
    if (mine.multicast || other.multicast || mine.tcp != other.tcp)
        return QString();
    if (sameEndpoint(mine.localAddr, mine.localPort, other.localAddr, other.localPort))
        return tr("%1 is already used by %2").arg(endpoint(mine.localAddr, mine.localPort), who);
    if (sameEndpoint(mine.remoteAddr, mine.remotePort, other.localAddr, other.localPort))
        return tr("%1 is the own port of %2: the relay would send to itself")
            .arg(endpoint(mine.remoteAddr, mine.remotePort), who);
    if (sameEndpoint(mine.localAddr, mine.localPort, other.remoteAddr, other.remotePort))
        return tr("%1 is where %2 sends: the relay would send to itself")
            .arg(endpoint(mine.localAddr, mine.localPort), who);
    return QString();
}

QString TOwnEndpoints::claim(int id, const Claim &claim)
{
    const std::unique_lock<std::shared_mutex> locker(lock);
    if (!claim.multicast &&
        sameEndpoint(claim.localAddr, claim.localPort, claim.remoteAddr, claim.remotePort))
        return tr("%1 is its own remote end: the relay would send to itself")
            .arg(endpoint(claim.remoteAddr, claim.remotePort));
    for (auto it = held.constBegin(); it != held.constEnd(); ++it) {
        if (it.key() == id)
            continue;
        const QString why = clash(claim, it.key(), it.value().claim);
        if (!why.isEmpty())
            return why;
    }
    Held &mine = held[id];
    if (mine.senderPort)
        senders.remove(mine.senderPort);
    mine = Held{claim, QHostAddress(), 0};
    // Read here, where links open, rather than for every datagram.
    const auto addresses = QNetworkInterface::allAddresses();
    localAddresses = QSet<QHostAddress>(addresses.cbegin(), addresses.cend());
    return QString();
}

void TOwnEndpoints::addSender(int id, const QHostAddress &address, quint16 port)
{
    const std::unique_lock<std::shared_mutex> locker(lock);
    Held &mine = held[id];
    if (mine.senderPort)
        senders.remove(mine.senderPort);
    mine.senderAddr = address;
    mine.senderPort = port;
    senders.insert(port, address);
}

void TOwnEndpoints::release(int id)
{
    const std::unique_lock<std::shared_mutex> locker(lock);
    const auto it = held.find(id);
    if (it == held.end())
        return;
    if (it->senderPort)
        senders.remove(it->senderPort);
    held.erase(it);
}

bool TOwnEndpoints::isLocal(const QHostAddress &address) const
{
    return address.isLoopback() || localAddresses.contains(address);
}

bool TOwnEndpoints::isOwnSender(const QHostAddress &address, quint16 port) const
{
    const std::shared_lock<std::shared_mutex> locker(lock);
    const auto it = senders.constFind(port);
    if (it == senders.constEnd())
        return false;
    // The port alone could be another host's.
    if (*it == QHostAddress(QHostAddress::AnyIPv4))
        return isLocal(address);
    return *it == address;
}
