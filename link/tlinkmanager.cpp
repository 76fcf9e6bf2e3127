#include "link/tlinkmanager.h"

#include "link/iohandler.h"
#include "link/tlinknames.h"

#include <QDebug>
#include <QThread>

#include <algorithm>
#include <atomic>

TLinkManager *TLinkManager::registered = nullptr;

// The one link registry of the process.
static TLinkManager theLinkManager;

TLinkManager::TLinkManager(QObject *parent) : QObject(parent)
{
    if (registered) {
        qDebug() << "TLinkManager must be sigleton";
        return;
    }
    registered = this;
}

// Links outlive the registry: the references it still holds are dropped
// without deleting anything.
TLinkManager::~TLinkManager()
{
    closed->storeRelease(1);
}

TLinkManager *TLinkManager::instance()
{
    return registered;
}

IOHandler *TLinkManager::getLink(int id)
{
    const std::lock_guard<std::mutex> locker(lock);
    if (links.isEmpty())
        return nullptr;
    return links.value(id, nullptr);
}

QMap<int, IOHandler *> TLinkManager::linkMap()
{
    const std::lock_guard<std::mutex> locker(lock);
    return links;
}

QVector<IOHandler *> TLinkManager::uavList()
{
    const std::lock_guard<std::mutex> locker(lock);
    return uavs;
}

bool TLinkManager::removeLastVehicle()
{
    int id = -1;
    {
        const std::lock_guard<std::mutex> locker(lock);
        if (uavs.isEmpty())
            return false;
        id = links.key(uavs.last(), -1);
    }
    if (id >= 0)
        removeLink(id);
    return removeLastUav();
}

TLinkManager::LinkRef TLinkManager::linkRef(int id)
{
    const std::lock_guard<std::mutex> locker(lock);
    return owners.value(links.value(id, nullptr));
}

bool TLinkManager::addLink(int id, IOHandler *link)
{
    Snapshots stale;
    const std::lock_guard<std::mutex> locker(lock);
    if (links.contains(id))
        return false;
    stale = takeSnapshots();
    links.insert(id, link);
    adopt(link);
    return true;
}

bool TLinkManager::addUav(IOHandler *uav)
{
    Snapshots stale;
    int count = 0;
    {
        const std::lock_guard<std::mutex> locker(lock);
        stale = takeSnapshots();
        uavs.append(uav);
        adopt(uav);
        count = uavs.size();
    }
    // The count, not the list: a list printed at every add is quadratic in
    // a swarm's size.
    qDebug() << "vehicle list:" << count << "links";
    return true;
}

bool TLinkManager::removeLink(int id)
{
    LinkRef released;
    Snapshots stale;
    {
        const std::lock_guard<std::mutex> locker(lock);
        if (!links.contains(id))
            return true;
        stale = takeSnapshots();
        IOHandler *link = links.take(id);
        if (!inUavList(link))
            released = release(link);
    }
    // Dropped outside the lock: when this was the last reference the link's
    // deferred deletion is requested now, otherwise when the last walker
    // that still holds it is done.
    stale = {};
    released.reset();
    return true;
}

bool TLinkManager::removeLastUav()
{
    LinkRef released;
    Snapshots stale;
    int count = 0;
    {
        const std::lock_guard<std::mutex> locker(lock);
        if (uavs.isEmpty())
            return true;
        stale = takeSnapshots();
        IOHandler *uav = uavs.takeLast();
        if (uav) {
            QObject::disconnect(uav, nullptr, nullptr, nullptr);
            if (!links.values().contains(uav))
                released = release(uav);
        }
        count = uavs.size();
    }
    qDebug() << "vehicle list:" << count << "links";
    stale = {};
    released.reset();
    return true;
}

bool TLinkManager::inUavList(const IOHandler *link) const
{
    return std::any_of(uavs.cbegin(), uavs.cend(),
                       [link](const IOHandler *u) { return u == link; });
}

void TLinkManager::adopt(IOHandler *link)
{
    if (!link || owners.contains(link))
        return;
    const QSharedPointer<QAtomicInt> gone = closed;
    owners.insert(link, LinkRef(link, [gone](IOHandler *l) {
                      if (!gone->loadAcquire())
                          l->deleteLater();
                  }));
}

TLinkManager::LinkRef TLinkManager::release(IOHandler *link)
{
    if (!link)
        return {};
    // Threads already gone need no joining at exit.
    retiredThreads.erase(std::remove_if(retiredThreads.begin(), retiredThreads.end(),
                                        [](const QPointer<QThread> &t) { return t.isNull(); }),
                         retiredThreads.end());
    if (QThread *thread = link->linkThread())
        retiredThreads.append(thread);
    return owners.take(link);
}

QVector<TLinkManager::LinkRef> TLinkManager::vehicleLinksById()
{
    const std::lock_guard<std::mutex> locker(lock);
    if (!snapshots.byId) {
        QVector<LinkRef> snapshot;
        snapshot.reserve(links.size());
        for (auto it = links.cbegin(); it != links.cend(); ++it) {
            if (TLinkNames::isVehicle(it.key()))
                snapshot.append(owners.value(it.value()));
        }
        snapshots.byId = snapshot;
    }
    return *snapshots.byId;
}

quint64 TLinkManager::nextGeneration()
{
    static std::atomic<quint64> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

QVector<TLinkManager::LinkRef> TLinkManager::vehicleLinksInListOrder(quint64 *generation)
{
    const std::lock_guard<std::mutex> locker(lock);
    if (generation)
        *generation = snapshots.generation;
    if (!snapshots.listOrder) {
        QVector<LinkRef> snapshot;
        snapshot.reserve(uavs.size());
        for (IOHandler *uav : qAsConst(uavs)) {
            if (!uav)
                continue;
            snapshot.append(owners.value(uav));
        }
        snapshots.listOrder = snapshot;
    }
    return *snapshots.listOrder;
}

void TLinkManager::shutdownAll()
{
    // Vehicles first: they hand frames to the ground-station link without
    // holding it, so it must outlive every vehicle thread.
    releaseWhere([](int id) { return TLinkNames::isVehicle(id); });
    joinRetiredThreads();
    releaseWhere([](int) { return true; });
    joinRetiredThreads();
}

void TLinkManager::releaseWhere(const std::function<bool(int)> &pick)
{
    QVector<LinkRef> released;
    Snapshots stale;
    {
        const std::lock_guard<std::mutex> locker(lock);
        stale = takeSnapshots();
        for (auto it = links.begin(); it != links.end();) {
            if (!pick(it.key())) {
                ++it;
                continue;
            }
            IOHandler *link = it.value();
            it = links.erase(it);
            uavs.erase(std::remove_if(uavs.begin(), uavs.end(),
                                      [link](const IOHandler *u) { return u == link; }),
                       uavs.end());
            released.append(release(link));
        }
        for (IOHandler *uav : qAsConst(uavs)) {
            if (owners.contains(uav) && pick(uav->getDevice().id))
                released.append(release(uav));
        }
        uavs.erase(std::remove_if(uavs.begin(), uavs.end(),
                                  [this](IOHandler *u) { return !owners.contains(u); }),
                   uavs.end());
    }
    released.clear();
}

void TLinkManager::joinRetiredThreads()
{
    QVector<QPointer<QThread>> threads;
    {
        const std::lock_guard<std::mutex> locker(lock);
        threads.swap(retiredThreads);
    }
    for (const QPointer<QThread> &thread : qAsConst(threads)) {
        if (!thread)
            continue;
        // Freed here rather than by its own deferred deletion, which needs an
        // event loop that may already be gone.
        QObject::disconnect(thread.data(), &QThread::finished, thread.data(),
                            &QObject::deleteLater);
        thread->wait();
        delete thread.data();
    }
}
