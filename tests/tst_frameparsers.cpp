#include "link/tlinkmanager.h"
#include "protocol/tgcsptl.h"
#include "protocol/tuavptl.h"
#include "relaysupport.h"

#include <QtTest>

using relaytest::gcsFrame;
using relaytest::handedOn;
using relaytest::SendRecorder;
using relaytest::uavFrame;

namespace {
// Bytes that can never start a frame of either kind.
QByteArray junk(int n, char fill = 0x55)
{
    return QByteArray(n, fill);
}
} // namespace

class TstFrameParsers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void parse_data();
    void parse();
    void secondGroundStationLinkRelaysNothing();

private:
    TGcsPtl *gcs = nullptr;
};

void TstFrameParsers::initTestCase()
{
    // The first ground-station link of the process is the target of every
    // ground-station frame; it stays for the whole run.
    gcs = new TGcsPtl(5, false);
    QCOMPARE(TGcsPtl::instance(), gcs);
}

void TstFrameParsers::cleanup()
{
    relaytest::clearRegistry();
    QVERIFY(TLinkManager::instance()->linkMap().isEmpty());
}

void TstFrameParsers::parse_data()
{
    QTest::addColumn<int>("vehicles");
    QTest::addColumn<int>("source");
    QTest::addColumn<QList<QByteArray>>("blocks");
    QTest::addColumn<QList<QByteArray>>("gcsFrames");
    QTest::addColumn<QList<QByteArray>>("uavFrames");
    // Bytes that belong to no frame.
    QTest::addColumn<int>("stray");
    using L = QList<QByteArray>;

    const QByteArray f7 = QByteArray::fromHex("aaec010203007f");
    const QByteArray f9 = QByteArray::fromHex("aaec01020302102033");
    const QByteArray v = uavFrame();
    QTest::newRow("7-byte frame") << 3 << 1 << L{f7} << L{f7} << L{} << 0;
    QTest::newRow("9-byte frame") << 3 << 1 << L{f9} << L{f9} << L{} << 0;
    // 254 bytes, the longest frame there is.
    QTest::newRow("length 247 whole") << 3 << 1 << L{gcsFrame(247)} << L{gcsFrame(247)} << L{} << 0;

    // Length byte 248: 254 bytes are swallowed, offset 253 is still payload
    // (an 0xAA there must not start anything) and offset 254 starts afresh.
    QByteArray tooLong = gcsFrame(247);
    tooLong[5] = static_cast<char>(248);
    tooLong[253] = static_cast<char>(0xAA);
    QTest::newRow("length 248 dropped") << 3 << 1 << L{tooLong + f7} << L{f7} << L{} << 254;
    QTest::newRow("length 255 dropped")
        << 3 << 1 << L{QByteArray::fromHex("aaec010203ff") + junk(248) + f9} << L{f9} << L{} << 254;

    QTest::newRow("AA AA EC") << 3 << 1 << L{QByteArray::fromHex("aaaaec010203007f")} << L{} << L{}
                              << 8;
    QTest::newRow("AA inside a header") << 3 << 1 << L{QByteArray::fromHex("aaecaaaaaa00aa")}
                                        << L{QByteArray::fromHex("aaecaaaaaa00aa")} << L{} << 0;
    QTest::newRow("EB EB 91") << 3 << 1 << L{QByteArray::fromHex("ebeb91") + junk(34)} << L{} << L{}
                              << 37;
    QTest::newRow("vehicle frame from position 1") << 3 << 1 << L{v} << L{} << L{v} << 0;
    QTest::newRow("vehicle frame from position 0") << 3 << 0 << L{v} << L{} << L{v} << 0;
    QTest::newRow("vehicle frame, one vehicle") << 1 << 0 << L{v} << L{} << L{v} << 0;
    QTest::newRow("two frames in one block") << 3 << 1 << L{f7 + f9} << L{f7, f9} << L{} << 0;
    QTest::newRow("two vehicle frames in one block")
        << 3 << 2 << L{v + uavFrame(0x44)} << L{} << L{v, uavFrame(0x44)} << 0;
    // 34 bytes of garbage, the vehicle frame, 34 more: payload length 104.
    const QByteArray nested = gcsFrame(0).left(5) + QByteArray(1, char(104)) + junk(34) + v +
                              junk(34) + QByteArray(1, '\x7f');
    QTest::newRow("vehicle frame inside a ground-station frame")
        << 3 << 1 << L{nested} << L{nested} << L{v} << 0;
    QTest::newRow("bytes outside frames")
        << 3 << 1 << L{junk(5) + f7 + junk(3, 0) + v + junk(9)} << L{f7} << L{v} << 17;
    QTest::newRow("empty block alone") << 3 << 1 << L{QByteArray()} << L{} << L{} << 0;
    QTest::newRow("empty blocks inside frames")
        << 3 << 1 << L{f9.left(4), QByteArray(), f9.mid(4) + v.left(10), QByteArray(), v.mid(10)}
        << L{f9} << L{v} << 0;

    const QByteArray both = f9 + v;
    for (int at = 1; at < both.size(); ++at)
        QTest::addRow("split at %d", at)
            << 3 << 1 << L{both.left(at), both.mid(at)} << L{f9} << L{v} << 0;
}

// Feeds the blocks to the vehicle link at the source position and checks
// what reaches the ground-station link and the other vehicle links.
void TstFrameParsers::parse()
{
    QFETCH(int, vehicles);
    QFETCH(int, source);
    QFETCH(QList<QByteArray>, blocks);
    QFETCH(QList<QByteArray>, gcsFrames);
    QFETCH(QList<QByteArray>, uavFrames);
    QFETCH(int, stray);

    TLinkManager *registry = TLinkManager::instance();
    SendRecorder recorder;
    recorder.watch(gcs);
    for (int n = 0; n < vehicles; ++n) {
        auto *uav = new TUavPtl(10 + n, false);
        registry->addLink(10 + n, uav);
        registry->addUav(uav);
        recorder.watch(uav);
    }
    TUavPtl *from = registry->uavList().at(source);
    for (const QByteArray &block : blocks)
        emit from->recIoBuff(block);

    QList<int> expectedTargets;
    QList<QByteArray> expectedUav;
    for (const QByteArray &frame : uavFrames) {
        for (int n = 0; n < vehicles; ++n) {
            if (n != source) {
                expectedTargets << 10 + n;
                expectedUav << handedOn(frame);
            }
        }
    }
    QVector<SendRecorder::Entry> toUavs;
    for (const auto &e : recorder.entries()) {
        QVERIFY(e.defaultDevice);
        if (e.target != 5)
            toUavs << e;
    }
    QCOMPARE(recorder.bytesTo(5), gcsFrames);
    QCOMPARE(relaytest::targetsOf(toUavs), expectedTargets);
    for (int i = 0; i < toUavs.size(); ++i)
        QCOMPARE(toUavs.at(i).bytes.toHex(), expectedUav.at(i).toHex());
    const TLinkCounters::Snapshot counts = from->countersSnapshot();
    QCOMPARE(counts.gcsFrames, quint64(gcsFrames.size()));
    QCOMPARE(counts.uavFrames, quint64(uavFrames.size()));
    QCOMPARE(counts.discardedBytes, quint64(stray));
}

void TstFrameParsers::secondGroundStationLinkRelaysNothing()
{
    TLinkManager *registry = TLinkManager::instance();
    auto *uav = new TUavPtl(10, false);
    registry->addLink(10, uav);
    registry->addUav(uav);
    auto *second = new TGcsPtl(5, false);
    registry->addLink(5, second);
    QCOMPARE(TGcsPtl::instance(), gcs);

    SendRecorder recorder;
    recorder.watch(uav);
    emit second->recIoBuff(QByteArray("block"));
    QCOMPARE(recorder.size(), 0);
    // The registered one relays, whether or not it sits in the registry.
    emit gcs->recIoBuff(QByteArray("block"));
    QCOMPARE(recorder.bytesTo(10), QList<QByteArray>{"block"});
}

QTEST_GUILESS_MAIN(TstFrameParsers)
#include "tst_frameparsers.moc"
