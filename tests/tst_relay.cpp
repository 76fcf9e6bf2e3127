#include "link/tlinkmanager.h"
#include "link/tlinksender.h"
#include "link/tlinktap.h"
#include "link/tsendqueue.h"
#include "linktestsupport.h"
#include "protocol/tgcsptl.h"
#include "protocol/tuavptl.h"
#include "relaysupport.h"
#include "session/tapp.h"
#include "testsupport.h"
#include <atomic>
#include <thread>

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSerialPort>
#include <QUdpSocket>
#include <QtTest>

#include <mutex>

using relaytest::SendRecorder;
using relaytest::UdpPeer;

namespace {
// Ground-station blocks carry no frame header of either kind, so the
// multicast vehicle, which hears its own datagrams on "lo", finds nothing
// in them.
QByteArray groundBlock(int size, int salt)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b.append(static_cast<char>((i * 7 + salt) % 100));
    return b;
}
} // namespace

class TstRelay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void endToEnd();
    void lockstepBursts();
    void registryUnderChurn();
    void sendQueueBounds_data();
    void sendQueueBounds();
    void sendQueueFollowsItsRate();
    void sendPathFromManyThreads();

private:
    bool openLink(IOHandler *link, IOHandler::DeviceInfo device);

    TGcsPtl *gcs = nullptr;
    QVector<IOHandler *> uavs;
    UdpPeer gcsPeer;
    UdpPeer uavPeers[3];
    UdpPeer groupPeer;
    QHostAddress group;
    quint16 groupPort = 0;
    testsupport::PtyPair pty;
    QSerialPort serialPeer;
    QByteArray serialGot;
    QList<QPair<int, int>> events;
};

bool TstRelay::openLink(IOHandler *link, IOHandler::DeviceInfo device)
{
    device.id = link->getDevice().id;
    // Queued until the link's thread serves it, also right after start-up.
    emit link->openDeviceSignal(device, true);
    const QPair<int, int> opened(IOHandler::LinkOpened, device.id);
    return QTest::qWaitFor([&] { return events.contains(opened); }, 5000);
}

void TstRelay::initTestCase()
{
    connect(TApp::instance(), &TApp::TAppEvent, this, [this](int event, int id) {
        events.append({event, id});
    });

    // Created and registered in the order the window uses.
    TLinkManager *registry = TLinkManager::instance();
    gcs = new TGcsPtl(5, true);
    QCOMPARE(TGcsPtl::instance(), gcs);
    const int vehicles = pty.isReady() ? 5 : 4;
    for (int n = 0; n < vehicles; ++n) {
        uavs << new TUavPtl(10 + n, true);
        registry->addVehicle(10 + n, uavs.last());
        if (n == 0)
            registry->addLink(5, gcs);
    }

    QVERIFY(gcsPeer.bindLocal());
    QVERIFY(openLink(gcs,
                     linktest::unicast(0, testsupport::freeUdpPort(), gcsPeer.socket.localPort())));
    for (int n = 0; n < 3; ++n) {
        QVERIFY(uavPeers[n].bindLocal());
        QVERIFY(openLink(uavs[n], linktest::unicast(0, testsupport::freeUdpPort(),
                                                    uavPeers[n].socket.localPort())));
    }

    const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    QVERIFY(lo.isValid());
    group = QHostAddress(QStringLiteral("239.255.%1.%2")
                             .arg(QRandomGenerator::global()->bounded(1, 255))
                             .arg(QRandomGenerator::global()->bounded(1, 255)));
    groupPort = testsupport::freeUdpPort();
    QVERIFY(groupPeer.socket.bind(QHostAddress::AnyIPv4, groupPort,
                                  QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QVERIFY(groupPeer.socket.joinMulticastGroup(group, lo));
    groupPeer.socket.setMulticastInterface(lo);
    groupPeer.socket.setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    // The link's datagrams leave from a port of its own; what the peer
    // itself sends to the group comes back from the group port.
    groupPeer.ignoreFromPort = groupPort;
    IOHandler::DeviceInfo multicast{};
    multicast.conType = IOHandler::UdpMulticast;
    multicast.udp.localAddr = multicast.udp.remoteAddr = group;
    multicast.udp.localPort = multicast.udp.remotePort = groupPort;
    multicast.udp.netInterface = lo;
    multicast.udp.loopBack = false;
    QVERIFY(openLink(uavs[3], multicast));

    if (pty.isReady()) {
        IOHandler::DeviceInfo serial{};
        serial.conType = IOHandler::Serial;
        serial.serial.portName = pty.endA();
        QVERIFY(openLink(uavs[4], serial));
        serialPeer.setPortName(pty.endB());
        QVERIFY(serialPeer.open(QIODevice::ReadWrite));
        connect(&serialPeer, &QSerialPort::readyRead, this,
                [this] { serialGot += serialPeer.readAll(); });
    }
}

void TstRelay::cleanupTestCase()
{
    TLinkManager::instance()->shutdownAll();
    QVERIFY(TLinkManager::instance()->linkMap().isEmpty());
}

void TstRelay::endToEnd()
{
    SendRecorder recorder;
    recorder.watch(gcs);
    for (IOHandler *uav : qAsConst(uavs))
        recorder.watch(uav);
    const QList<int> allVehicles =
        uavs.size() == 5 ? QList<int>{10, 11, 12, 13, 14} : QList<int>{10, 11, 12, 13};
    const quint16 gcsPort = gcs->getDevice().udp.localPort;

    // Ground station to every vehicle, unchanged, once, never back: not
    // even a ground-station frame, which the multicast vehicle would hand
    // straight back if it heard its own send to the group.
    const QList<QByteArray> down{groundBlock(1, 3), groundBlock(1200, 5),
                                 QByteArray::fromHex("aaec01020300")};
    for (const QByteArray &b : down)
        gcsPeer.socket.writeDatagram(b, QHostAddress::LocalHost, gcsPort);
    for (UdpPeer &peer : uavPeers)
        QTRY_COMPARE(peer.received(), down);
    QTRY_COMPARE(groupPeer.received(), down);
    if (pty.isReady())
        QTRY_COMPARE(serialGot, down[0] + down[1] + down[2]);
    const auto fannedOut = recorder.entriesFrom(gcs->linkThread());
    QCOMPARE(relaytest::targetsOf(fannedOut), allVehicles + allVehicles + allVehicles);
    for (int i = 0; i < fannedOut.size(); ++i)
        QCOMPARE(fannedOut[i].bytes, down[i / allVehicles.size()]);
    QCOMPARE(gcsPeer.received(), QList<QByteArray>{});

    // A vehicle's frames: the ground-station frame to the ground station
    // only, the vehicle frame to the others in list order, the rest nowhere.
    recorder.clear();
    serialGot.clear();
    const QByteArray toGcs = QByteArray::fromHex("aaec0102030310203040");
    const QByteArray toUavs = QByteArray::fromHex("eb91") + QByteArray(34, '\x21');
    const QByteArray toUavsBlock = toUavs + QByteArray(4, '\0');
    const QByteArray mixed = QByteArray("lead") + toGcs + QByteArray(3, '\x01') + toUavs + "tail";
    uavPeers[1].socket.writeDatagram(mixed, QHostAddress::LocalHost,
                                     uavs[1]->getDevice().udp.localPort);
    QTRY_COMPARE(gcsPeer.received(), QList<QByteArray>{toGcs});
    for (int n : {0, 2})
        QTRY_VERIFY(uavPeers[n].received().contains(toUavsBlock));
    QTRY_VERIFY(groupPeer.received().contains(toUavsBlock));
    if (pty.isReady())
        QTRY_VERIFY(serialGot.contains(toUavsBlock));

    // A last frame from another vehicle marks the end of what the ground
    // station can have been sent.
    const QByteArray sentinel = QByteArray::fromHex("aaec0a0b0c00ff");
    uavPeers[0].socket.writeDatagram(sentinel, QHostAddress::LocalHost,
                                     uavs[0]->getDevice().udp.localPort);
    QTRY_COMPARE(gcsPeer.received(), (QList<QByteArray>{toGcs, sentinel}));

    // The kernel handed the multicast vehicle its own sends back on "lo";
    // it dropped them all, so no vehicle got its own frame back.
    QVERIFY(recorder.entriesFrom(uavs[3]->linkThread()).isEmpty());
    QVERIFY(uavs[3]->ownDroppedCount() >= quint64(down.size()));
    QVERIFY(!uavPeers[1].received().contains(toUavsBlock));
    QCOMPARE(groupPeer.received().count(toUavsBlock), 1);

    // What the source link handed on.
    const auto handedOn = recorder.entriesFrom(uavs[1]->linkThread());
    QList<int> expected = allVehicles;
    expected.removeOne(11);
    expected.prepend(5);
    QCOMPARE(relaytest::targetsOf(handedOn), expected);
    QCOMPARE(handedOn[0].bytes, toGcs);
    for (int i = 1; i < handedOn.size(); ++i)
        QCOMPARE(handedOn[i].bytes, toUavsBlock);
    for (const auto &e : recorder.entries())
        QVERIFY(e.defaultDevice);
    QVERIFY(recorder.entriesFrom(gcs->linkThread()).isEmpty());

    // Another program's socket on the group is heard and relayed.
    const QByteArray fromGroup = QByteArray::fromHex("eb91") + QByteArray(34, '\x33');
    groupPeer.socket.writeDatagram(fromGroup, group, groupPort);
    for (UdpPeer &peer : uavPeers)
        QTRY_VERIFY(peer.received().contains(fromGroup + QByteArray(4, '\0')));

    if (!pty.isReady())
        QSKIP("socat is not installed: the vehicle on a serial line was not checked");
}

// Every vehicle sends on the same tick, so each link is handed many blocks
// at once and sends them in batches: each still arrives once, every
// source's blocks in the order they were sent, and each one is counted.
void TstRelay::lockstepBursts()
{
    constexpr int rounds = 40;
    const auto txOf = [this](int n) { return uavs[n]->countersSnapshot().txBlocks; };
    quint64 txBefore[3];
    for (int n = 0; n < 3; ++n) {
        uavPeers[n].received();
        uavPeers[n].got.clear();
        txBefore[n] = txOf(n);
    }
    groupPeer.received();
    groupPeer.got.clear();

    // A frame numbered by its source and round; no byte starts a frame.
    const auto frame = [](int source, int round) {
        QByteArray f = relaytest::uavFrame();
        f[2] = char(source);
        f[3] = char(round);
        return f;
    };
    for (int round = 0; round < rounds; ++round)
        for (int n = 0; n < 3; ++n)
            uavPeers[n].sendTo(uavs[n]->getDevice().udp.localPort, frame(n, round));

    // What `peer` got from `source`, by round.
    const auto roundsFrom = [](UdpPeer &peer, int source) {
        QList<int> got;
        for (const QByteArray &b : peer.received())
            if (b.size() == TUavPtl::uavBlockSize && b.at(2) == char(source))
                got << int(b.at(3));
        return got;
    };
    QList<int> all;
    for (int round = 0; round < rounds; ++round)
        all << round;
    for (int n = 0; n < 3; ++n) {
        for (int source = 0; source < 3; ++source) {
            if (source != n)
                QTRY_COMPARE(roundsFrom(uavPeers[n], source), all);
        }
        QCOMPARE(uavPeers[n].got.size(), 2 * rounds);
        QTRY_COMPARE(txOf(n) - txBefore[n], quint64(2 * rounds));
    }
    for (int source = 0; source < 3; ++source)
        QTRY_COMPARE(roundsFrom(groupPeer, source), all);
    QCOMPARE(groupPeer.got.size(), 3 * rounds);
}

void TstRelay::registryUnderChurn()
{
    TLinkManager *registry = TLinkManager::instance();
    const int threadsBefore = testsupport::processThreadCount();
    const int churnId = 10 + uavs.size();
    const int rounds = 500;
    const auto seqOf = [](const QByteArray &b) { return b.mid(4, 8).toInt(); };

    SendRecorder permanent;
    permanent.watch(uavs[0]);
    // UDP may drop under load: what counts is what the ground-station link
    // actually received.
    // Plain mutexes: ThreadSanitizer cannot follow a QMutex.
    std::mutex arrivedMutex;
    QList<int> arrived;
    const auto arrival = connect(
        gcs, &IOHandler::recIoBuff, gcs,
        [&](const QByteArray &b) {
            const std::lock_guard<std::mutex> locker(arrivedMutex);
            arrived << seqOf(b);
        },
        Qt::DirectConnection);
    auto dropArrival = qScopeGuard([arrival] { disconnect(arrival); });
    std::mutex mutex;
    QHash<QPair<int, int>, int> hits; // (vehicle generation, block) -> hand-overs
    QHash<int, int> deletions;        // vehicle generation -> deletions
    int deletedElsewhere = 0;
    QAtomicInt deleted(0);

    // The ground station streams numbered blocks the whole time.
    QAtomicInt stop(0), sent(0);
    const quint16 gcsPort = gcs->getDevice().udp.localPort;
    QThread *streamer = QThread::create([&] {
        QUdpSocket socket;
        for (int seq = 0; !stop.loadAcquire(); ++seq) {
            socket.writeDatagram(QByteArray("seq:") +
                                     QByteArray::number(seq).rightJustified(8, '0'),
                                 QHostAddress::LocalHost, gcsPort);
            sent.storeRelease(seq + 1);
            QThread::usleep(1000);
        }
    });
    streamer->start();
    auto joinStreamer = qScopeGuard([&] {
        stop.storeRelease(1);
        streamer->wait();
        delete streamer;
    });

    // On an early failure the vehicle still in the registry goes now, while
    // the callbacks it carries can still reach this frame.
    int created = 0;
    auto dropChurned = qScopeGuard([&] {
        if (registry->uavList().size() > uavs.size()) {
            registry->removeLastVehicle();
        }
        if (!QTest::qWaitFor([&] { return deleted.loadAcquire() == created; }, 10000))
            qWarning("a churned vehicle was not deleted");
    });
    for (int gen = 0; gen < rounds; ++gen) {
        auto *uav = new TUavPtl(churnId, true);
        ++created;
        QThread *own = uav->linkThread();
        relaytest::onDeletion(uav, [&, gen, own] {
            const std::lock_guard<std::mutex> locker(mutex);
            ++deletions[gen];
            deletedElsewhere += QThread::currentThread() != own;
            deleted.ref();
        });
        connect(
            uav, &IOHandler::sendBuffSignal, uav,
            [&, gen](const QByteArray &b) {
                const std::lock_guard<std::mutex> locker(mutex);
                ++hits[{gen, seqOf(b)}];
            },
            Qt::DirectConnection);
        registry->addVehicle(churnId, uav);
        if (gen % 10 == 0) {
            // Stay until a whole block has been walked with this vehicle in.
            const int seen = permanent.size();
            QTRY_VERIFY(permanent.size() >= seen + 3);
        } else {
            QCoreApplication::processEvents();
        }
        registry->removeLastVehicle();
    }
    joinStreamer.dismiss();
    stop.storeRelease(1);
    streamer->wait();
    delete streamer;

    // The permanent vehicle got every block that arrived, once, in order.
    const auto arrivedSoFar = [&] {
        const std::lock_guard<std::mutex> locker(arrivedMutex);
        return arrived;
    };
    const auto permanentSeqs = [&] {
        QList<int> seqs;
        for (const QByteArray &b : permanent.bytesTo(10))
            seqs << seqOf(b);
        return seqs;
    };
    QTRY_COMPARE(permanentSeqs(), arrivedSoFar());
    QVERIFY2(permanentSeqs().size() > sent.loadAcquire() / 2, "most of the stream was lost");

    QTRY_COMPARE(deleted.loadAcquire(), rounds);
    std::unique_lock<std::mutex> locker(mutex);
    QCOMPARE(deletions.size(), rounds);
    for (auto it = deletions.cbegin(); it != deletions.cend(); ++it)
        QVERIFY2(it.value() == 1,
                 qPrintable(QString("vehicle %1 deleted %2 times").arg(it.key()).arg(it.value())));
    QCOMPARE(deletedElsewhere, 0);
    QSet<int> served;
    for (auto it = hits.cbegin(); it != hits.cend(); ++it) {
        QVERIFY2(it.value() == 1, "a vehicle got one block twice");
        served.insert(it.key().first);
    }
    for (int gen = 0; gen < rounds; gen += 10)
        QVERIFY2(served.contains(gen), qPrintable(QString("vehicle %1 got nothing").arg(gen)));
    locker.unlock();

    QCOMPARE(registry->uavList(), uavs);
    QCOMPARE(registry->linkMap().lastKey(), churnId - 1);
    QTRY_COMPARE_WITH_TIMEOUT(testsupport::processThreadCount(), threadsBefore, 10000);
}

void TstRelay::sendQueueBounds_data()
{
    QTest::addColumn<qint64>("minBytes");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<qint64>("sendRate"); // bytes a second the link was seen to send; 0: none
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("size");    // each block costs size + 96
    QTest::addColumn<int>("everyMs"); // block n is put at n * everyMs
    QTest::addColumn<int>("takenAtMs");
    QTest::addColumn<int>("firstSent"); // the blocks before it are dropped
    QTest::addColumn<int>("takes");

    const qint64 big = 1 << 30;
    QTest::newRow("all fit") << big << big << qint64(0) << 10 << 104 << 0 << 0 << 0 << 1;
    QTest::newRow("full: the oldest go")
        << qint64(2000) << qint64(2000) << qint64(0) << 100 << 104 << 0 << 0 << 90 << 1;
    QTest::newRow("bound follows the send rate")
        << qint64(2000) << qint64(8000) << qint64(4000) << 100 << 104 << 0 << 0 << 80 << 1;
    QTest::newRow("never below the least")
        << qint64(2000) << qint64(8000) << qint64(100) << 100 << 104 << 0 << 0 << 90 << 1;
    QTest::newRow("never above the most")
        << qint64(2000) << qint64(8000) << big << 100 << 104 << 0 << 0 << 60 << 1;
    QTest::newRow("a block beyond the bound alone")
        << qint64(100) << qint64(100) << qint64(0) << 3 << 1000 << 0 << 0 << 2 << 1;
    // Older than a second at the take: put before 900 ms.
    QTest::newRow("stale at the take")
        << big << big << qint64(0) << 10 << 104 << 200 << 1900 << 5 << 1;
    QTest::newRow("all stale") << big << big << qint64(0) << 10 << 104 << 200 << 10000 << 10 << 0;
    QTest::newRow("full, then stale")
        << qint64(2000) << qint64(2000) << qint64(0) << 100 << 104 << 10 << 1950 << 95 << 1;
    QTest::newRow("more than one take holds")
        << big << big << qint64(0) << 2 * TSendQueue::takeAtMost + 10 << 10 << 0 << 0 << 0 << 3;
}

// The queue on its own: whatever is put, it never holds more than its
// bound, it drops the oldest first and nothing stale, the rest comes out in
// order, every drop is reported once, and a drained queue wakes its link
// again.
void TstRelay::sendQueueBounds()
{
    QFETCH(qint64, minBytes);
    QFETCH(qint64, maxBytes);
    QFETCH(qint64, sendRate);
    QFETCH(int, blocks);
    QFETCH(int, size);
    QFETCH(int, everyMs);
    QFETCH(int, takenAtMs);
    QFETCH(int, firstSent);
    QFETCH(int, takes);

    TSendLimits limits;
    limits.minBytes = minBytes;
    limits.maxBytes = maxBytes;
    TSendQueue queue(limits);
    if (sendRate)
        queue.noteSendRate(sendRate);
    const qint64 bound = qMax(limits.bytesFor(sendRate), TSendQueue::cost(QByteArray(size, 0)));
    for (int n = 0; n < blocks; ++n) {
        const QByteArray block = QByteArray::number(n).leftJustified(size, '.');
        QCOMPARE(queue.put(block, QVariant(0), qint64(n) * everyMs), n == 0);
        QVERIFY(queue.heldBytes() <= bound);
    }
    std::vector<TSendQueue::Block> out;
    quint64 dropped = 0, reported = 0;
    QList<int> sent;
    int taken = 0;
    while (queue.take(out, takenAtMs, dropped)) {
        QVERIFY(out.size() <= size_t(TSendQueue::takeAtMost));
        reported += dropped;
        ++taken;
        for (const TSendQueue::Block &b : out)
            sent << b.data.left(b.data.indexOf('.')).toInt();
    }
    reported += dropped;
    QList<int> expected;
    for (int n = firstSent; n < blocks; ++n)
        expected << n;
    QCOMPARE(sent, expected);
    QCOMPARE(reported, quint64(firstSent));
    QCOMPARE(taken, takes);
    QCOMPARE(queue.heldBytes(), qint64(0));
    QVERIFY(queue.put("next", QVariant(0), takenAtMs));
}

// What the queue handed out over a second sets its byte bound: a link that
// sent 20 blocks in a second holds 20 from then on, however many come.
void TstRelay::sendQueueFollowsItsRate()
{
    const QByteArray block(104, 'r');
    TSendLimits limits;
    limits.minBytes = 10 * TSendQueue::cost(block);
    TSendQueue queue(limits);
    std::vector<TSendQueue::Block> out;
    quint64 dropped = 0;
    for (int ms : {0, 500, 1000}) {
        for (int n = 0; n < 10; ++n)
            queue.put(block, QVariant(0), ms);
        QVERIFY(queue.take(out, ms, dropped));
        QCOMPARE(out.size(), size_t(10));
        QVERIFY(!queue.take(out, ms, dropped));
    }
    // The first take starts the second: 20 blocks in it, and 10 at its end.
    for (int n = 0; n < 100; ++n)
        queue.put(block, QVariant(0), 1000);
    QCOMPARE(queue.heldBytes(), 20 * TSendQueue::cost(block));
    QVERIFY(queue.take(out, 1000, dropped));
    QCOMPARE(dropped, quint64(80));
}

// The send path alone, on a device in memory: blocks handed over from
// several threads while the link's thread flushes arrive once each, each
// sender's in its order, and every one is counted.
void TstRelay::sendPathFromManyThreads()
{
    IOHandler::DeviceInfo record{};
    record.id = 10;
    record.conType = IOHandler::UdpUnicast;
    TLinkCounters counters;
    TLinkTap tap;
    TLinkSender sender(record, counters, tap, [](const QString &) {});
    linktest::MemoryEndpoint device(record.id);
    sender.setEndpoint(&device);
    constexpr int senders = 4, blocks = 5000;
    std::atomic<int> running{senders};
    std::vector<std::thread> threads;
    for (int t = 0; t < senders; ++t)
        threads.emplace_back([&, t] {
            for (int n = 0; n < blocks; ++n)
                sender.take(QByteArray::number(t) + ':' + QByteArray::number(n), QVariant(0),
                            false);
            --running;
        });
    // This thread is the link's: it flushes while the others still queue.
    while (running > 0 || sender.flush() == TLinkSender::Flush::More)
        sender.flush();
    for (std::thread &thread : threads)
        thread.join();
    sender.flush();

    const QList<QByteArray> sent = device.sent();
    QCOMPARE(sent.size(), senders * blocks);
    QVector<int> next(senders, 0);
    for (const QByteArray &block : sent) {
        const QList<QByteArray> parts = block.split(':');
        const int t = parts.at(0).toInt();
        QCOMPARE(parts.at(1).toInt(), next[t]);
        ++next[t];
    }
    const TLinkCounters::Snapshot counts = counters.snapshot(0);
    QCOMPARE(counts.txBlocks, quint64(senders * blocks));
    QCOMPARE(counts.dropped, quint64(0));
}

QTEST_MAIN(TstRelay)
#include "tst_relay.moc"
