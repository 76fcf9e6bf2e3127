// UDP links on real sockets: 127.0.0.1 for unicast, the loopback interface
// for multicast.

#include "linktestsupport.h"
#include "monitor/tlinkmonitor.h"
#include "monitor/tlinkstates.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace linktest;

namespace {

constexpr int linkId = 11;

QNetworkDatagram nextDatagram(QUdpSocket &socket)
{
    if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(3000))
        return QNetworkDatagram();
    return socket.receiveDatagram();
}

int intOption(IOHandler *link, int level, int name)
{
    qintptr fd = -1;
    inLinkThread(link, [&] {
        // The bound receive socket, not one that only sends.
        for (auto *socket : link->findChildren<QUdpSocket *>())
            if (socket->state() == QAbstractSocket::BoundState && fd < 0)
                fd = socket->socketDescriptor();
    });
    // Multicast options may come back as a single byte.
    int value = 0;
    socklen_t size = sizeof value;
    if (fd < 0 || getsockopt(int(fd), level, name, &value, &size) != 0)
        return -1;
    return size == 1 ? *reinterpret_cast<unsigned char *>(&value) : value;
}

} // namespace

class TestIoHandlerUdp : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void openCloseEvents_data();
    void openCloseEvents();
    void openFailureWarns_data();
    void openFailureWarns();
    void receivesAndAnswersLastSender();
    void fixedPeerHearsOnlyItsPeer();
    void sendChoosesTarget_data();
    void sendChoosesTarget();
    void emptyDatagramDoesNotStall();
    void burstArrivesCompleteAndInOrder();
    void multicastLoopBack_data();
    void multicastLoopBack();
    void sustainedRateWithoutLoss();
};

void TestIoHandlerUdp::initTestCase()
{
    QVERIFY(loopbackInterface().isValid());
}

void TestIoHandlerUdp::openCloseEvents_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QVector<int>>("events");
    QTest::addColumn<int>("finalType");

    const QVector<int> none;
    QTest::newRow("close never opened") << "u-"
                                        << "0" << QVector<int>{IOHandler::LinkClosed} << 0;
    QTest::newRow("open, close") << "u+ u-"
                                 << "10"
                                 << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed} << 0;
    QTest::newRow("same open twice")
        << "u+ u+"
        << "11" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkOpened} << 2;
    QTest::newRow("wrong id") << "x+"
                              << "0" << none << 0;
    QTest::newRow("wrong id close") << "u+ x-"
                                    << "10" << QVector<int>{IOHandler::LinkOpened} << 2;
    QTest::newRow("multicast open, close")
        << "m+ m-"
        << "10" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed} << 0;
    QTest::newRow("unicast to multicast")
        << "u+ m+"
        << "11" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkOpened} << 3;
    QTest::newRow("multicast close of unicast")
        << "u+ m-"
        << "10" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed} << 0;
    QTest::newRow("kind none") << "n+"
                               << "0" << none << 0;
    QTest::newRow("unknown kind") << "7+"
                                  << "0" << none << 7;
}

void TestIoHandlerUdp::openCloseEvents()
{
    QFETCH(QString, steps);
    QFETCH(QString, results);
    QFETCH(QVector<int>, events);
    QFETCH(int, finalType);

    EventLog log;
    LinkPtr link = startLink(linkId);
    const Scenario scenario{linkId, testsupport::freeUdpPort(), QString()};
    QCOMPARE(scenario.run(link.get(), steps), results);
    // The requests ran to completion, so their events are already queued.
    QCoreApplication::processEvents();
    QTRY_COMPARE(log.codes(linkId), events);
    QCOMPARE(log.events.size(), events.size());

    for (const EventLog::Event &e : qAsConst(log.events)) {
        const IOHandler::DeviceInfo d = IOHandler::deviceFromVariant(e.var);
        QCOMPARE(d.id, linkId);
        QCOMPARE(d.conType != IOHandler::None, e.event == IOHandler::LinkOpened);
    }
    const IOHandler::DeviceInfo device = deviceOf(link.get());
    QCOMPARE(int(device.conType), finalType);
    QCOMPARE(device.id, linkId);
    // A wrong-id request leaves even the description alone.
    if (steps == QLatin1String("x+"))
        QCOMPARE(device.udp.localPort, quint16(0));
    // Whatever is not open must not keep its port.
    QCOMPARE(portFree(scenario.port),
             finalType != IOHandler::UdpUnicast && finalType != IOHandler::UdpMulticast);
    QVERIFY(log.messages.isEmpty());
}

void TestIoHandlerUdp::openFailureWarns_data()
{
    QTest::addColumn<QString>("occupant");
    QTest::addColumn<QString>("text");

    QTest::newRow("address in use") << "socket"
                                    << "rec udp error: 127.0.0.1:%1 is already in use";
    // A unicast address as the group: the bind works, the join cannot.
    QTest::newRow("multicast join fails") << "join"
                                          << "join multicast group 127.0.0.1 on lo failed: "
                                             "127.0.0.1 is not a multicast group address";
    // Rows of one relay that would hear each other's sends.
    QTest::newRow("group of another row") << "group row"
                                          << "group 239.255.77.13:%1 is already used by Uav 1";
    QTest::newRow("sends to another row")
        << "sends to row"
        << "127.0.0.1:%1 is the own port of Uav 1: the relay would send to itself";
}

void TestIoHandlerUdp::openFailureWarns()
{
    QFETCH(QString, occupant);
    QFETCH(QString, text);

    EventLog log;
    LinkPtr link = startLink(linkId);
    const quint16 port = testsupport::freeUdpPort();
    auto socket = std::make_unique<QUdpSocket>();
    LinkPtr row = startLink(10);
    IOHandler::DeviceInfo device = unicast(linkId, port);
    if (occupant == QLatin1String("join")) {
        device = multicast(linkId, QHostAddress(QHostAddress::LocalHost), port);
    } else if (occupant == QLatin1String("socket")) {
        QVERIFY(socket->bind(QHostAddress::LocalHost, port));
    } else if (occupant == QLatin1String("group row")) {
        QVERIFY(request(row.get(), multicast(10, testGroup(), port), true));
        device = multicast(linkId, testGroup(), port);
    } else {
        QVERIFY(request(row.get(), unicast(10, port), true));
        device = unicast(linkId, testsupport::freeUdpPort(), port);
    }
    QVERIFY(!request(link.get(), device, true));
    text = text.arg(port);

    QTRY_COMPARE(log.codes(linkId),
                 (QVector<int>{IOHandler::LinkError, IOHandler::LinkOpenFailed}));
    QVector<EventLog::Event> mine;
    for (const EventLog::Event &e : log.events)
        if (e.id == linkId)
            mine << e;
    QCOMPARE(mine.at(0).var.toString(), text);
    QCOMPARE(IOHandler::deviceFromVariant(mine.at(1).var).conType, IOHandler::None);
    QTRY_COMPARE(log.messages.size(), 1);
    const EventLog::Message &m = log.messages.first();
    QCOMPARE(m.id, linkId);
    QCOMPARE(m.type, BoxMsg);
    QCOMPARE(m.level, Warn);
    QCOMPARE(m.text, "Uav 2: " + text);
    QCOMPARE(deviceOf(link.get()).conType, IOHandler::None);

    // Nothing is held after the failure, and the link opens once it can.
    socket.reset();
    row.reset();
    QVERIFY(portFree(port));
    QVERIFY(request(link.get(),
                    device.conType == IOHandler::UdpMulticast ? multicast(linkId, testGroup(), port)
                                                              : unicast(linkId, port),
                    true));
}

void TestIoHandlerUdp::receivesAndAnswersLastSender()
{
    LinkPtr link = startLink(linkId);
    Blocks blocks(link.get());
    TLinkStates states;
    TLinkMonitor monitor(states);
    const quint16 port = testsupport::freeUdpPort();
    QVERIFY(request(link.get(), unicast(linkId, port), true));
    QTRY_COMPARE(states.stateOf(linkId), TLinkStates::State::Open);
    monitor.sample(linkId, *link, 0);

    QUdpSocket first, second;
    QVERIFY(first.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QVERIFY(second.bind(QHostAddress(QHostAddress::LocalHost), 0));
    for (QUdpSocket *peer : {&first, &second}) {
        const QByteArray ping = "ping from " + QByteArray::number(peer->localPort());
        peer->writeDatagram(ping, QHostAddress::LocalHost, port);
        QTRY_VERIFY(!blocks.received.isEmpty());
        const Blocks::Block block = blocks.received.takeFirst();
        QCOMPARE(block.data, ping);
        QCOMPARE(block.device.id, linkId);
        QCOMPARE(block.device.conType, IOHandler::UdpUnicast);
        QCOMPARE(block.device.udp.remoteAddr, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(block.device.udp.remotePort, peer->localPort());

        emit link->sendBuffSignal("pong");
        const QNetworkDatagram answer = nextDatagram(*peer);
        QCOMPARE(answer.data(), QByteArray("pong"));
        QCOMPARE(answer.senderPort(), int(port));
        QCOMPARE(link->countersSnapshot().peer,
                 QStringLiteral("127.0.0.1:%1").arg(peer->localPort()));
    }
    // Read on a clock of the test's own: two blocks each way in a second,
    // then quiet once nothing came for three. A send is counted just after
    // it went out.
    QTRY_COMPARE(link->countersSnapshot().txBytes, quint64(8));
    TLinkMonitor::Sample sample = monitor.sample(linkId, *link, 1000);
    QCOMPARE(sample.counts.rxBlocks, quint64(2));
    QCOMPARE(sample.counts.txBytes, quint64(8));
    QCOMPARE(sample.rxRate, 2.0);
    QVERIFY(!sample.quiet);
    QVERIFY(!monitor.sample(linkId, *link, 3999).quiet);
    QVERIFY(monitor.sample(linkId, *link, 4000).quiet);
    // A reset counts from zero without touching the link's own figures.
    monitor.reset(linkId);
    sample = monitor.sample(linkId, *link, 4500);
    QCOMPARE(sample.counts.rxBlocks, quint64(0));
    QCOMPARE(sample.counts.txBytes, quint64(0));
    QCOMPARE(link->countersSnapshot().rxBlocks, quint64(2));
}

// With a fixed peer a stranger's datagram neither redirects the link nor
// goes anywhere; it is counted with its sender.
void TestIoHandlerUdp::fixedPeerHearsOnlyItsPeer()
{
    LinkPtr link = startLink(linkId);
    Blocks blocks(link.get());
    QUdpSocket peer, stranger;
    QVERIFY(peer.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QVERIFY(stranger.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 port = testsupport::freeUdpPort();
    IOHandler::DeviceInfo device = unicast(linkId, port, peer.localPort());
    device.udp.fixedPeer = true;
    QVERIFY(request(link.get(), device, true));
    stranger.writeDatagram("take over", QHostAddress::LocalHost, port);
    peer.writeDatagram("from the peer", QHostAddress::LocalHost, port);
    QTRY_COMPARE(blocks.received.size(), 1);
    QCOMPARE(blocks.received.first().data, QByteArray("from the peer"));
    emit link->sendBuffSignal("answer");
    QCOMPARE(nextDatagram(peer).data(), QByteArray("answer"));
    QVERIFY(!stranger.hasPendingDatagrams());
    const TLinkCounters::Snapshot counts = link->countersSnapshot();
    QCOMPARE(counts.foreignDropped, quint64(1));
    QCOMPARE(counts.lastForeign, QStringLiteral("127.0.0.1:%1").arg(stranger.localPort()));
    QCOMPARE(counts.rxBlocks, quint64(1));
}

void TestIoHandlerUdp::sendChoosesTarget_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QVariant>("device");
    QTest::addColumn<bool>("sent");

    IOHandler::DeviceInfo toPeer{}; // filled in by the test
    QTest::newRow("default device") << "open" << QVariant(0) << true;
    QTest::newRow("invalid variant") << "open" << QVariant() << false;
    QTest::newRow("text") << "open" << QVariant(QStringLiteral("abc")) << false;
    QTest::newRow("non-zero number") << "open" << QVariant(7) << false;
    QTest::newRow("default after close") << "closed" << QVariant(0) << false;
    QTest::newRow("default after a close only") << "close only" << QVariant(0) << false;
    QTest::newRow("unicast record, unbound socket") << "new" << QVariant::fromValue(toPeer) << true;
}

void TestIoHandlerUdp::sendChoosesTarget()
{
    QFETCH(QString, state);
    QFETCH(QVariant, device);
    QFETCH(bool, sent);

    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const IOHandler::DeviceInfo toPeer = unicast(linkId, 0, peer.localPort());
    if (device.userType() == qMetaTypeId<IOHandler::DeviceInfo>())
        device = QVariant::fromValue(toPeer);

    LinkPtr link = startLink(linkId);
    const IOHandler::DeviceInfo own = unicast(linkId, testsupport::freeUdpPort(), peer.localPort());
    if (state == QLatin1String("open") || state == QLatin1String("closed"))
        QVERIFY(request(link.get(), own, true));
    if (state == QLatin1String("closed") || state == QLatin1String("close only"))
        QVERIFY(!request(link.get(), own, false));

    // Requests are served in order, so the marker arrives first exactly when
    // the block before it went nowhere.
    emit link->sendBuffSignal("block", device);
    emit link->sendBuffSignal("marker", QVariant::fromValue(toPeer));
    QCOMPARE(nextDatagram(peer).data(), sent ? QByteArray("block") : QByteArray("marker"));
    if (sent)
        QCOMPARE(nextDatagram(peer).data(), QByteArray("marker"));
}

void TestIoHandlerUdp::emptyDatagramDoesNotStall()
{
    LinkPtr link = startLink(linkId);
    Blocks blocks(link.get());
    const quint16 port = testsupport::freeUdpPort();
    QVERIFY(request(link.get(), unicast(linkId, port), true));

    // Two senders, and datagrams of every size up to the largest, so that
    // those read several to a call keep their lengths and their senders.
    QUdpSocket peers[2];
    for (QUdpSocket &peer : peers)
        QVERIFY2(peer.bind(QHostAddress(QHostAddress::LocalHost), 0),
                 qPrintable(peer.errorString()));
    const QByteArray largest(65507, 'L');
    const QList<QByteArray> payloads{QByteArray(),      QByteArray("after"), largest,
                                     QByteArray(),      QByteArray(1, 'x'),  largest,
                                     QByteArray("last")};
    for (int i = 0; i < payloads.size(); ++i)
        QCOMPARE(peers[i % 2].writeDatagram(payloads[i], QHostAddress::LocalHost, port),
                 qint64(payloads[i].size()));

    QTRY_COMPARE(blocks.received.size(), payloads.size());
    for (int i = 0; i < payloads.size(); ++i) {
        QCOMPARE(blocks.received.at(i).data, payloads[i]);
        QCOMPARE(blocks.received.at(i).device.udp.remotePort, peers[i % 2].localPort());
    }
}

void TestIoHandlerUdp::burstArrivesCompleteAndInOrder()
{
    LinkPtr link = startLink(linkId);
    Blocks blocks(link.get());
    const quint16 port = testsupport::freeUdpPort();
    QVERIFY(request(link.get(), unicast(linkId, port), true));

    // Ten times what one poll takes, far more than the default receive
    // buffer of the socket holds.
    const int count = 10 * IOHandler::maxDatagramsPerPoll;
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QHostAddress::LocalHost), 0));
    for (int i = 0; i < count; ++i) {
        QByteArray payload(32, char(i));
        qToBigEndian<qint32>(i, payload.data());
        QCOMPARE(peer.writeDatagram(payload, QHostAddress::LocalHost, port), qint64(32));
    }

    QTRY_COMPARE_WITH_TIMEOUT(blocks.received.size(), count, 10000);
    for (int i = 0; i < count; ++i) {
        const Blocks::Block &b = blocks.received.at(i);
        QCOMPARE(qFromBigEndian<qint32>(b.data.constData()), i);
        QCOMPARE(b.device.udp.remotePort, peer.localPort());
    }
    qInfo() << "receive buffer granted:" << intOption(link.get(), SOL_SOCKET, SO_RCVBUF) << "bytes";
}

void TestIoHandlerUdp::multicastLoopBack_data()
{
    QTest::addColumn<bool>("loopBack");
    QTest::newRow("loop-back on") << true;
    QTest::newRow("loop-back off") << false;
}

void TestIoHandlerUdp::multicastLoopBack()
{
    QFETCH(bool, loopBack);

    EventLog log;
    LinkPtr link = startLink(linkId);
    Blocks blocks(link.get());
    const quint16 port = testsupport::freeUdpPort();
    QVERIFY(request(link.get(), multicast(linkId, testGroup(), port, loopBack), true));
    QTRY_COMPARE(log.codes(linkId), QVector<int>{IOHandler::LinkOpened});
    QCOMPARE(intOption(link.get(), IPPROTO_IP, IP_MULTICAST_LOOP), int(loopBack));
    QCOMPARE(intOption(link.get(), IPPROTO_IP, IP_MULTICAST_TTL), 1);

    // Another member of the group on the loopback interface.
    QUdpSocket member;
    QVERIFY(member.bind(QHostAddress::AnyIPv4, port,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QVERIFY(member.joinMulticastGroup(testGroup(), loopbackInterface()));
    member.setMulticastInterface(loopbackInterface());
    member.setSocketOption(QAbstractSocket::MulticastTtlOption, 1);

    emit link->sendBuffSignal("to the group");
    const QNetworkDatagram heard = nextDatagram(member);
    QCOMPARE(heard.data(), QByteArray("to the group"));
    // From a port of the link's own, which no one else holds.
    QVERIFY(heard.senderPort() != int(port));

    member.writeDatagram("from a member", testGroup(), port);
    // The kernel hands a host's own multicast back on the loopback
    // interface whatever the loop-back option says; the link never takes
    // its own send for data, and still hears the other member.
    QTRY_COMPARE(blocks.received.size(), 1);
    QCOMPARE(blocks.received.first().data, QByteArray("from a member"));
    QCOMPARE(blocks.received.first().device.udp.remotePort, port);
    QTRY_COMPARE(link->ownDroppedCount(), quint64(1));
}

// Paces datagrams at a fixed rate from another thread and counts, in the
// link's own thread, what arrives and whether any sequence number is missed.
void TestIoHandlerUdp::sustainedRateWithoutLoss()
{
    const int rate = 10000;
    const int count = 2 * rate;
    std::atomic<int> received{0}, gaps{0};
    int expected = 0; // touched in the link's thread only
    LinkPtr link = startLink(linkId);
    const quint16 port = testsupport::freeUdpPort();
    QVERIFY(request(link.get(), unicast(linkId, port), true));

    connect(
        link.get(), &IOHandler::recIoBuff, link.get(),
        [&](const QByteArray &b) {
            const int seq = qFromBigEndian<qint32>(b.constData());
            if (seq != expected)
                ++gaps;
            expected = seq + 1;
            ++received;
        },
        Qt::DirectConnection);

    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QThread> sender(QThread::create([&] {
        QUdpSocket socket;
        QByteArray payload(64, 'p');
        for (int i = 0; i < count; ++i) {
            qToBigEndian<qint32>(i, payload.data());
            socket.writeDatagram(payload, QHostAddress::LocalHost, port);
            if (i % (rate / 1000) == 0)
                while (clock.nsecsElapsed() < qint64(i) * 1000000000 / rate)
                    QThread::usleep(200);
        }
    }));
    sender->start();
    QVERIFY(sender->wait(30000));
    const double sendSeconds = clock.nsecsElapsed() / 1e9;
    QTRY_COMPARE_WITH_TIMEOUT(received.load(), count, 10000);
    QCOMPARE(gaps.load(), 0);
    qInfo() << count << "datagrams sent in" << sendSeconds << "s, all received in order";
}

QTEST_MAIN(TestIoHandlerUdp)
#include "tst_iohandler_udp.moc"
