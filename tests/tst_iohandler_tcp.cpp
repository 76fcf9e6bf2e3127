// TCP links on real sockets on 127.0.0.1: a server with several clients,
// each kept apart; a client that stops reading; whom a server accepts.

#include "link/tlinknames.h"
#include "link/tloopguard.h"
#include "link/tsendhistory.h"
#include "link/tstreamgathering.h"
#include "linktestsupport.h"
#include "monitor/tcountertext.h"
#include "monitor/tlinkmonitor.h"
#include "monitor/tlinkstates.h"
#include "protocol/tuavptl.h"
#include "relaysupport.h"
#include "testsupport.h"

#include <QtTest>

using namespace linktest;
using relaytest::TcpPeer;

namespace {

IOHandler::DeviceInfo tcp(int id, IOHandler::ConType kind, quint16 port)
{
    IOHandler::DeviceInfo d{};
    d.id = id;
    d.conType = kind;
    d.udp.localAddr = d.udp.remoteAddr = QHostAddress(QHostAddress::LocalHost);
    d.udp.localPort = d.udp.remotePort = port;
    return d;
}

// The relay's server has taken `count` connections.
bool connections(IOHandler *link, qint64 count)
{
    return link->countersSnapshot().connections == count;
}

} // namespace

class TestIoHandlerTcp : public QObject
{
    Q_OBJECT
private slots:
    void clientsKeepTheirOwnFrames();
    void silentClientDoesNotStallTheOthers();
    void fixedPeerServerAcceptsOnlyItsPeer();
    void clientOfOwnServerRefused();
    void echoingPeerIsALoop();
    void liveLines();
    void gcsStreamGatheredForDatagramVehiclesOnly_data();
    void gcsStreamGatheredForDatagramVehiclesOnly();
};

// Two simulators on one vehicle link, each writing half a frame in turn:
// a parser shared by both would cut neither frame.
void TestIoHandlerTcp::clientsKeepTheirOwnFrames()
{
    const int id = TLinkNames::firstUavLinkId;
    LinkPtr link(new TUavPtl(id, true));
    inLinkThread(link.get(), [] {});
    const quint16 port = testsupport::freeTcpPort();
    QVERIFY(request(link.get(), tcp(id, IOHandler::TcpServer, port), true));
    TcpPeer a, b;
    QVERIFY(a.connectTo(port));
    QVERIFY(b.connectTo(port));
    QTRY_VERIFY(connections(link.get(), 2));
    const QByteArray telemetry = relaytest::gcsFrame(40);
    const QByteArray position = relaytest::uavFrame();
    for (int half = 0; half < 2; ++half) {
        a.write(half ? telemetry.mid(20) : telemetry.left(20));
        QTest::qWait(20);
        b.write(half ? position.mid(18) : position.left(18));
        QTest::qWait(20);
    }
    QTRY_COMPARE(link->countersSnapshot().uavFrames, quint64(1));
    QTRY_COMPARE(link->countersSnapshot().gcsFrames, quint64(1));
    QCOMPARE(link->countersSnapshot().discardedBytes, quint64(0));
    // A client that leaves is no loss of the link.
    b.socket->disconnectFromHost();
    QTRY_VERIFY(connections(link.get(), 1));
    QCOMPARE(deviceOf(link.get()).conType, IOHandler::TcpServer);
}

// One client never reads: it keeps what its buffer bounds, the rest is
// dropped and counted, and the other client gets every byte in order;
// after ten seconds full the silent one is let go.
void TestIoHandlerTcp::silentClientDoesNotStallTheOthers()
{
    const int id = TLinkNames::firstUavLinkId + 1;
    LinkPtr link = startLink(id);
    EventLog log;
    const quint16 port = testsupport::freeTcpPort();
    QVERIFY(request(link.get(), tcp(id, IOHandler::TcpServer, port), true));
    TcpPeer reader, silent;
    QVERIFY(reader.connectTo(port));
    silent.socket = std::make_unique<QTcpSocket>();
    silent.socket->setReadBufferSize(1);
    silent.socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    silent.socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    QVERIFY(silent.socket->waitForConnected(5000));
    QTRY_VERIFY(connections(link.get(), 2));
    // In steps the link's own send queue takes whole: only the silent
    // client's buffer may be what drops.
    const int blocks = 400;
    QByteArray expected;
    for (int n = 0; n < blocks; ++n) {
        const QByteArray block(64 * 1024, char('a' + n % 26));
        emit link->sendBuffSignal(block);
        expected += block;
        if (n % 16 == 15)
            QTRY_COMPARE_WITH_TIMEOUT(reader.received().size(), expected.size(), 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(reader.received().size(), expected.size(), 10000);
    QVERIFY(reader.received() == expected);
    const TLinkCounters::Snapshot counts = link->countersSnapshot();
    QVERIFY2(counts.dropped > 0 && counts.dropped < quint64(blocks),
             qPrintable(QString::number(counts.dropped)));
    QCOMPARE(counts.txBlocks, quint64(blocks));
    QTRY_VERIFY(!log.messages.isEmpty());
    QCOMPARE(log.messages.size(), 1);
    QVERIFY2(log.messages.first().text.contains(QLatin1String("does not take data")),
             qPrintable(log.messages.first().text));
    // Full for ten seconds: closed, and said; the reader stays.
    QTRY_VERIFY_WITH_TIMEOUT(connections(link.get(), 1), 15000);
    QTRY_COMPARE(log.messages.size(), 2);
    QVERIFY2(log.messages.last().text.contains(QLatin1String("has taken no data for 10 s")),
             qPrintable(log.messages.last().text));
    emit link->sendBuffSignal("still served");
    QTRY_COMPARE(reader.received().right(12), QByteArray("still served"));
}

void TestIoHandlerTcp::fixedPeerServerAcceptsOnlyItsPeer()
{
    const int id = TLinkNames::firstUavLinkId + 2;
    LinkPtr link = startLink(id);
    const quint16 port = testsupport::freeTcpPort();
    IOHandler::DeviceInfo device = tcp(id, IOHandler::TcpServer, port);
    device.udp.fixedPeer = true;
    device.udp.remoteAddr = QHostAddress(QStringLiteral("127.0.0.2"));
    QVERIFY(request(link.get(), device, true));
    TcpPeer stranger;
    QVERIFY(stranger.connectTo(port));
    const quint16 strangerPort = stranger.socket->localPort();
    QTRY_COMPARE(link->countersSnapshot().foreignDropped, quint64(1));
    QTRY_COMPARE(stranger.socket->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(link->countersSnapshot().lastForeign,
             QStringLiteral("127.0.0.1:%1").arg(strangerPort));
    QVERIFY(connections(link.get(), 0));
    device.udp.remoteAddr = QHostAddress(QHostAddress::LocalHost);
    QVERIFY(request(link.get(), device, true));
    TcpPeer peer;
    QVERIFY(peer.connectTo(port));
    QTRY_VERIFY(connections(link.get(), 1));
    emit link->sendBuffSignal("to the peer");
    QTRY_COMPARE(peer.received(), QByteArray("to the peer"));
}

// A client aimed at a server of this relay would hand every block back.
void TestIoHandlerTcp::clientOfOwnServerRefused()
{
    const int serverId = TLinkNames::firstUavLinkId + 3;
    const int clientId = serverId + 1;
    LinkPtr server = startLink(serverId);
    LinkPtr client = startLink(clientId);
    EventLog log;
    const quint16 port = testsupport::freeTcpPort();
    QVERIFY(request(server.get(), tcp(serverId, IOHandler::TcpServer, port), true));
    QVERIFY(!request(client.get(), tcp(clientId, IOHandler::TcpClient, port), true));
    QTRY_COMPARE(log.codes(clientId),
                 QVector<int>({IOHandler::LinkError, IOHandler::LinkOpenFailed}));
    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(
        log.messages.first().text,
        QStringLiteral("%1: 127.0.0.1:%2 is the own port of %3: the relay would send to itself")
            .arg(TLinkNames::rowName(clientId))
            .arg(port)
            .arg(TLinkNames::rowName(serverId)));
    QCOMPARE(server->countersSnapshot().connections, qint64(0));
}

// A peer that hands back, unchanged, what the relay sent is a loop: said
// once, and its blocks dropped while it lasts.
void TestIoHandlerTcp::echoingPeerIsALoop()
{
    const int id = TLinkNames::firstUavLinkId + 5;
    LinkPtr link = startLink(id);
    EventLog log;
    const quint16 port = testsupport::freeTcpPort();
    QVERIFY(request(link.get(), tcp(id, IOHandler::TcpServer, port), true));
    TcpPeer echo;
    QVERIFY(echo.connectTo(port));
    echo.socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QByteArray block = relaytest::handedOn(relaytest::uavFrame(0x5a));
    TSendHistory::record(block);
    for (int n = 0; n < 3 * TLoopGuard::echoesPerSecondForLoop; ++n) {
        echo.write(block);
        QTest::qWait(2);
    }
    QTRY_VERIFY(link->loopDroppedCount() > 0);
    QTRY_COMPARE(log.messages.size(), 1);
    QVERIFY2(
        log.messages.first().text.endsWith(
            QStringLiteral("possible loop through 127.0.0.1:%1").arg(echo.socket->localPort())),
        qPrintable(log.messages.first().text));
}

// What a row reads: a client waits for its peer, a server counts its
// connections.
void TestIoHandlerTcp::liveLines()
{
    const int clientId = TLinkNames::firstUavLinkId + 6;
    const int serverId = clientId + 1;
    TLinkStates states;
    TLinkMonitor monitor(states);
    LinkPtr client = startLink(clientId);
    LinkPtr server = startLink(serverId);
    const quint16 port = testsupport::freeTcpPort();
    QVERIFY(!request(client.get(), tcp(clientId, IOHandler::TcpClient, port), true));
    QTRY_COMPARE(states.stateOf(clientId), TLinkStates::State::Waiting);
    QCOMPARE(TCounterText::line(monitor.sample(clientId, *client, 0)),
             QStringLiteral("waiting for peer"));
    // One of our own servers on the peer's port is never connected to.
    QVERIFY(request(server.get(), tcp(serverId, IOHandler::TcpServer, port), true));
    TcpPeer peer;
    QVERIFY(peer.connectTo(port));
    QTRY_VERIFY(TCounterText::line(monitor.sample(serverId, *server, 0))
                    .startsWith(QLatin1String("open, 1 connected ")));
    QTest::qWait(1200); // two tries of the client, and more
    QCOMPARE(server->countersSnapshot().connections, qint64(1));
    QCOMPARE(states.stateOf(clientId), TLinkStates::State::Waiting);
}

QTEST_MAIN(TestIoHandlerTcp)
#include "tst_iohandler_tcp.moc"

void TestIoHandlerTcp::gcsStreamGatheredForDatagramVehiclesOnly_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("gathered");
    const int uav = TLinkNames::firstUavLinkId;
    QTest::newRow("udp vehicle") << uav << int(IOHandler::UdpUnicast) << true;
    QTest::newRow("multicast vehicle") << uav << int(IOHandler::UdpMulticast) << true;
    QTest::newRow("tcp vehicle") << uav << int(IOHandler::TcpServer) << false;
    QTest::newRow("udp ground station")
        << TLinkNames::gcsLinkId << int(IOHandler::UdpUnicast) << false;
}

// A vehicle that takes datagrams makes the ground station's stream wait for
// whole blocks while it is open; streams alone pass at once.
void TestIoHandlerTcp::gcsStreamGatheredForDatagramVehiclesOnly()
{
    QFETCH(int, id);
    QFETCH(int, kind);
    QFETCH(bool, gathered);
    QVERIFY(!TStreamGathering::wanted());
    LinkPtr link = startLink(id);
    const quint16 port =
        kind == IOHandler::TcpServer ? testsupport::freeTcpPort() : testsupport::freeUdpPort();
    const IOHandler::DeviceInfo device =
        kind == IOHandler::UdpMulticast ? multicast(id, testGroup(), port)
        : kind == IOHandler::UdpUnicast ? unicast(id, port)
                                        : tcp(id, IOHandler::ConType(kind), port);
    QVERIFY(request(link.get(), device, true));
    QCOMPARE(TStreamGathering::wanted(), gathered);
    request(link.get(), device, false);
    QVERIFY(!TStreamGathering::wanted());
    if (!gathered)
        return;
    // A link let go while open counts no more either.
    QVERIFY(request(link.get(), device, true));
    link.reset();
    QVERIFY(!TStreamGathering::wanted());
}
