#pragma once

#include <QAtomicInt>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QVector>

#include <functional>
#include <mutex>
#include <optional>

class IOHandler;
class QThread;

// Registry of every link of the process, by id, and the ordered list of
// vehicle links. Only the GUI thread changes it; link threads and the
// application object's thread read it through snapshots.
//
// A snapshot holds strong references: a link removed while another thread
// walks a snapshot that contains it is deleted only when that walk is over,
// so a walk never touches a deleted link (a removed vehicle link has lost its
// connections and so is skipped).
class TLinkManager : public QObject
{
    Q_OBJECT
public:
    using LinkRef = QSharedPointer<IOHandler>;

    explicit TLinkManager(QObject *parent = nullptr);
    ~TLinkManager() override;

    static TLinkManager *instance();

    IOHandler *getLink(int id);
    // Copies, read under the lock: the registry changes only through the
    // calls below, which renew the snapshots.
    QMap<int, IOHandler *> linkMap();
    QVector<IOHandler *> uavList();

    bool addLink(int id, IOHandler *link);
    bool removeLink(int id);
    bool addUav(IOHandler *uav);
    bool removeLastUav();
    // A vehicle link under its id and at the end of the list, in one call;
    // and the last one out of both.
    bool addVehicle(int id, IOHandler *link) { return addLink(id, link) && addUav(link); }
    bool removeLastVehicle();

    // For readers in other threads: the link under an id, and the vehicle
    // links in ascending id order or in list order, kept alive while held.
    LinkRef linkRef(int id);
    QVector<LinkRef> vehicleLinksById();
    // `generation`, when given, names the list: the same number, the same
    // links, never reused, even by another registry.
    QVector<LinkRef> vehicleLinksInListOrder(quint64 *generation = nullptr);

    // Empties the registry, deletes every link in its own thread and joins
    // every link thread, also those of links removed earlier whose deletion
    // is still under way. Used at exit, from the GUI thread.
    void shutdownAll();

private:
    bool inUavList(const IOHandler *link) const;
    void adopt(IOHandler *link);
    LinkRef release(IOHandler *link);
    void releaseWhere(const std::function<bool(int)> &pick);
    void joinRetiredThreads();

    // The walkers' snapshots, built on the first demand after a change and
    // shared until the next: a walker's copy costs one reference count, not
    // one per link, and a frame handed to every vehicle costs no lookups.
    struct Snapshots
    {
        std::optional<QVector<LinkRef>> byId;
        std::optional<QVector<LinkRef>> listOrder;
        quint64 generation = nextGeneration();
    };
    static quint64 nextGeneration();
    // Under the lock, at every change: the snapshots that no longer hold,
    // for the caller to let go of once the lock is released (the last
    // reference to a removed link may be among them).
    Snapshots takeSnapshots() { return std::exchange(snapshots, {}); }

    QMap<int, IOHandler *> links;
    QVector<IOHandler *> uavs;
    Snapshots snapshots;
    // std::mutex rather than QMutex: ThreadSanitizer follows pthread locks but
    // not QMutex, whose waits happen inside the uninstrumented Qt library.
    std::mutex lock;
    QHash<IOHandler *, LinkRef> owners;
    QVector<QPointer<QThread>> retiredThreads;
    // Set when the registry goes away; references still held then (by its
    // own table or by a late walker) no longer delete their link.
    QSharedPointer<QAtomicInt> closed = QSharedPointer<QAtomicInt>::create(0);

    static TLinkManager *registered;
};
