#include "link/tlinkmanager.h"
#include "protocol/tgcsptl.h"
#include "protocol/trouter.h"
#include "protocol/tuavptl.h"
#include "protocol/tvehiclestream.h"
#include "radio/tradio.h"
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
    void routes_data();
    void routes();
    void secondGroundStationLinkRelaysNothing();
    void radioWalksOnlyTheHearers();

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
    QTest::addColumn<QList<QByteArray>>("blocks");
    QTest::addColumn<QList<QByteArray>>("gcsFrames");
    QTest::addColumn<QList<QByteArray>>("uavFrames");
    // Bytes that belong to no frame.
    QTest::addColumn<int>("stray");
    using L = QList<QByteArray>;

    const QByteArray f7 = QByteArray::fromHex("aaec010203007f");
    const QByteArray f9 = QByteArray::fromHex("aaec01020302102033");
    const QByteArray v = uavFrame();
    QTest::newRow("7-byte frame") << L{f7} << L{f7} << L{} << 0;
    QTest::newRow("9-byte frame") << L{f9} << L{f9} << L{} << 0;
    // 254 bytes, the longest frame there is.
    QTest::newRow("length 247 whole") << L{gcsFrame(247)} << L{gcsFrame(247)} << L{} << 0;

    // Length byte 248: 254 bytes are swallowed, offset 253 is still payload
    // (an 0xAA there must not start anything) and offset 254 starts afresh.
    QByteArray tooLong = gcsFrame(247);
    tooLong[5] = static_cast<char>(248);
    tooLong[253] = static_cast<char>(0xAA);
    QTest::newRow("length 248 dropped") << L{tooLong + f7} << L{f7} << L{} << 254;
    QTest::newRow("length 255 dropped")
        << L{QByteArray::fromHex("aaec010203ff") + junk(248) + f9} << L{f9} << L{} << 254;

    QTest::newRow("AA AA EC") << L{QByteArray::fromHex("aaaaec010203007f")} << L{} << L{} << 8;
    QTest::newRow("AA inside a header") << L{QByteArray::fromHex("aaecaaaaaa00aa")}
                                        << L{QByteArray::fromHex("aaecaaaaaa00aa")} << L{} << 0;
    QTest::newRow("EB EB 91") << L{QByteArray::fromHex("ebeb91") + junk(34)} << L{} << L{} << 37;
    QTest::newRow("vehicle frame") << L{v} << L{} << L{v} << 0;
    QTest::newRow("two frames in one block") << L{f7 + f9} << L{f7, f9} << L{} << 0;
    QTest::newRow("two vehicle frames in one block")
        << L{v + uavFrame(0x44)} << L{} << L{v, uavFrame(0x44)} << 0;
    // 34 bytes of garbage, the vehicle frame, 34 more: payload length 104.
    const QByteArray nested = gcsFrame(0).left(5) + QByteArray(1, char(104)) + junk(34) + v +
                              junk(34) + QByteArray(1, '\x7f');
    QTest::newRow("vehicle frame inside a ground-station frame")
        << L{nested} << L{nested} << L{v} << 0;
    QTest::newRow("bytes outside frames")
        << L{junk(5) + f7 + junk(3, 0) + v + junk(9)} << L{f7} << L{v} << 17;
    QTest::newRow("empty block alone") << L{QByteArray()} << L{} << L{} << 0;
    QTest::newRow("empty blocks inside frames")
        << L{f9.left(4), QByteArray(), f9.mid(4) + v.left(10), QByteArray(), v.mid(10)} << L{f9}
        << L{v} << 0;

    const QByteArray both = f9 + v;
    for (int at = 1; at < both.size(); ++at)
        QTest::addRow("split at %d", at) << L{both.left(at), both.mid(at)} << L{f9} << L{v} << 0;
}

// The parsers alone, without a link: what each block completes, and the
// bytes that belong to no frame.
void TstFrameParsers::parse()
{
    QFETCH(QList<QByteArray>, blocks);
    QFETCH(QList<QByteArray>, gcsFrames);
    QFETCH(QList<QByteArray>, uavFrames);
    QFETCH(int, stray);

    struct Frames : TVehicleStream::Sink
    {
        QList<QByteArray> gcs, uav;
        void gcsFrame(const QByteArray &frame) override { gcs << frame; }
        void uavFrame(const QByteArray &block) override { uav << block; }
    } out;
    TVehicleStream stream;
    TVehicleStream::Parsed total;
    for (const QByteArray &block : blocks) {
        const TVehicleStream::Parsed parsed = stream.feed(block, out);
        total.gcsFrames += parsed.gcsFrames;
        total.uavFrames += parsed.uavFrames;
        total.strayBytes += parsed.strayBytes;
    }
    QList<QByteArray> expectedUav;
    for (const QByteArray &frame : uavFrames)
        expectedUav << handedOn(frame);
    QCOMPARE(out.gcs, gcsFrames);
    QCOMPARE(out.uav, expectedUav);
    QCOMPARE(total.gcsFrames, quint64(gcsFrames.size()));
    QCOMPARE(total.uavFrames, quint64(uavFrames.size()));
    QCOMPARE(total.strayBytes, quint64(stray));
}

void TstFrameParsers::routes_data()
{
    QTest::addColumn<QString>("rule");
    // The vehicle list by link id; 0 is an empty entry.
    QTest::addColumn<QList<int>>("vehicles");
    QTest::addColumn<bool>("withGcs");
    QTest::addColumn<int>("source");
    QTest::addColumn<QList<int>>("targets");
    using I = QList<int>;
    QTest::newRow("ground station to every vehicle")
        << "fromGroundStation" << I{10, 11, 12} << true << 0 << I{10, 11, 12};
    QTest::newRow("ground station past an empty entry")
        << "fromGroundStation" << I{10, 0, 12} << true << 0 << I{10, 12};
    QTest::newRow("frame to the ground station")
        << "toGroundStation" << I{10, 11, 12} << true << 11 << I{5};
    QTest::newRow("frame, no ground station")
        << "toGroundStation" << I{10, 11, 12} << false << 11 << I{};
    QTest::newRow("vehicle frame from the middle")
        << "toOtherVehicles" << I{10, 11, 12} << true << 11 << I{10, 12};
    QTest::newRow("vehicle frame from the first")
        << "toOtherVehicles" << I{10, 11, 12} << true << 10 << I{11, 12};
    QTest::newRow("vehicle frame, one vehicle") << "toOtherVehicles" << I{10} << true << 10 << I{};
    // An empty entry is skipped, never the end of the walk.
    QTest::newRow("vehicle frame past an empty entry")
        << "toOtherVehicles" << I{10, 0, 12} << true << 10 << I{12};
}

// Where each rule hands a block, through the registry as the links use it.
void TstFrameParsers::routes()
{
    QFETCH(QString, rule);
    QFETCH(QList<int>, vehicles);
    QFETCH(bool, withGcs);
    QFETCH(int, source);
    QFETCH(QList<int>, targets);
    TLinkManager *registry = TLinkManager::instance();
    SendRecorder recorder;
    for (int id : vehicles) {
        TUavPtl *uav = id ? new TUavPtl(id, false) : nullptr;
        if (uav) {
            recorder.watch(uav);
            registry->addLink(id, uav);
        }
        registry->addUav(uav);
    }
    if (withGcs) {
        auto *station = new IOHandler(5, false);
        registry->addLink(5, station);
        recorder.watch(station);
    }
    const QByteArray block("routed");
    if (rule == QLatin1String("fromGroundStation"))
        TRouter::fromGroundStation(block);
    else if (rule == QLatin1String("toGroundStation"))
        TRouter::toGroundStation(block, source);
    else
        TRouter::toOtherVehicles(block, source);
    QCOMPARE(relaytest::targetsOf(recorder.entries()), targets);
    for (const auto &e : recorder.entries())
        QVERIFY(e.defaultDevice && e.bytes == block);
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

namespace {
// Rules of a seeded radio from "from to profile" lines, every other pair clean.
std::shared_ptr<TRadioRules> radioRules(const QStringList &lines)
{
    QVector<TRadioFile::Rule> rules;
    QString error;
    for (const QString &line : lines) {
        const QStringList w = line.split(QLatin1Char(' '));
        const QString profile = w.mid(2).join(QLatin1Char(' '));
        rules << TRadioFile::Rule{w[0], w[1], profile, TRadioProfile::parse(profile, error)};
    }
    return std::make_shared<TRadioRules>(3, nullptr, rules, 1, nullptr);
}
} // namespace

// A frame to the swarm through the radio reaches those that hear its
// source, and the pairs that are down count every frame, as if each had
// been decided: a pair that comes up again draws the same dice, block for
// block, as one decided all along.
void TstFrameParsers::radioWalksOnlyTheHearers()
{
    TLinkManager *registry = TLinkManager::instance();
    SendRecorder recorder;
    const auto addVehicle = [&](int id) {
        auto *uav = new TUavPtl(id, false);
        recorder.watch(uav);
        registry->addVehicle(id, uav);
    };
    for (int id : {10, 11, 12, 13})
        addVehicle(id);
    const QStringList down{"uav1 uav2 down", "uav1 uav4 down"};
    TRadio &radio = TRadio::instance();
    radio.install(radioRules(down));
    // Decided one block at a time, beside it, on the same rules.
    TRadio reference;
    reference.install(radioRules(down));
    const QByteArray block = uavFrame(1);
    for (int i = 0; i < 5; ++i) {
        TRouter::toOtherVehicles(block, 10);
        reference.decide(10, 11, 0, block.size());
    }
    QCOMPARE(relaytest::targetsOf(recorder.entries()), (QList<int>{12, 12, 12, 12, 12}));
    QCOMPARE(radio.downTo(11), quint64(5));
    QCOMPARE(radio.downTo(13), quint64(5));
    QVERIFY(radio.pairCsv().contains(QLatin1String("\nuav1,uav2,5,0,5,")));

    // A vehicle added hears the next frame.
    addVehicle(14);
    TRouter::toOtherVehicles(block, 10);
    reference.decide(10, 11, 0, block.size());
    QCOMPARE(relaytest::targetsOf(recorder.entries()).mid(5), (QList<int>{12, 14}));
    QCOMPARE(radio.downTo(11), quint64(6));

    const QStringList lossy{"uav1 uav2 loss 50%", "uav1 uav4 down"};
    radio.install(radioRules(lossy));
    reference.install(radioRules(lossy));
    QList<int> expected;
    for (int i = 0; i < 40; ++i) {
        TRouter::toOtherVehicles(block, 10);
        if (reference.decide(10, 11, 0, block.size()).fate == TRadio::Verdict::Fate::Pass)
            expected << i;
    }
    // In list order uav2 comes before uav3, which hears every frame.
    QList<int> heard;
    const auto entries = recorder.entries();
    int frame = 0;
    for (int i = 7; i < entries.size(); ++i) {
        if (entries[i].target == 12)
            ++frame;
        else if (entries[i].target == 11)
            heard << frame;
    }
    QVERIFY(!expected.isEmpty() && expected.size() < 40);
    QCOMPARE(heard, expected);
    QCOMPARE(radio.downTo(11), quint64(6));
    QCOMPARE(radio.downTo(13), quint64(46));
    radio.uninstall();
}

QTEST_GUILESS_MAIN(TstFrameParsers)
#include "tst_frameparsers.moc"
