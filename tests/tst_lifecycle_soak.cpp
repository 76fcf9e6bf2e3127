// A thousand vehicles added and deleted with the window's buttons while data
// flows through the ground station and a permanent vehicle: every churned
// vehicle that was connected got its share, the permanent links lost
// nothing, and the process ends with the threads and memory it had.

#include "relaysupport.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QPixmapCache>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <atomic>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using relaytest::gcsFrame;
using relaytest::handedOn;
using relaytest::uavFrame;
using relaytest::UdpPeer;
using namespace windowtest;

namespace {
// The far ends of the permanent links, in a thread of their own so that
// data flows whatever the GUI thread is busy with: numbered blocks from the
// ground station, numbered ground-station frames and a vehicle frame from
// vehicle 0. What arrives is checked on the spot and only counted.
class Traffic : public QObject
{
public:
    UdpPeer gcs, uav;
    quint16 gcsLink = 0, uavLink = 0;
    std::atomic<int> sent{0}, blocksInOrder{0}, framesInOrder{0}, strays{0};

    ~Traffic() override
    {
        thread.quit();
        thread.wait();
    }
    void start()
    {
        moveToThread(&thread);
        gcs.socket.moveToThread(&thread);
        uav.socket.moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(this, [this] {
            auto *timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this] {
                gcs.sendTo(gcsLink, "block " + QByteArray::number(int(sent)));
                uav.sendTo(uavLink, frame(sent) + uavFrame('v'));
                ++sent;
                take();
            });
            timer->start(2);
        });
    }
    void stop()
    {
        QMetaObject::invokeMethod(
            this,
            [this] {
                qDeleteAll(findChildren<QTimer *>());
                take();
            },
            Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
    static QByteArray frame(int n) { return gcsFrame(8, char(n)); }

private:
    void take()
    {
        for (const QByteArray &d : uav.received())
            (d == "block " + QByteArray::number(int(blocksInOrder)) ? blocksInOrder : strays)++;
        for (const QByteArray &f : gcs.received())
            (f == frame(framesInOrder) ? framesInOrder : strays)++;
        uav.got.clear();
        gcs.got.clear();
    }

    QThread thread;
};
} // namespace

class TstLifecycleSoak : public QObject
{
    Q_OBJECT

private slots:
    void addDeleteCycles();
};

void TstLifecycleSoak::addDeleteCycles()
{
    const int cycles = 1000;
    const int warmUp = 250;
    const int connectEvery = 10;
    // Every cycle writes debug lines; thousands of them would only fill the
    // log (and the test's own memory).
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    auto restoreDebug = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
    Window window;
    Traffic traffic;
    QVERIFY(traffic.gcs.bindLocal());
    QVERIFY(traffic.uav.bindLocal());
    traffic.gcsLink = testsupport::freeUdpPort();
    traffic.uavLink = testsupport::freeUdpPort();
    setUnicast(window.gcsForm(), traffic.gcsLink, traffic.gcs.port());
    setUnicast(window.uavForm(0), traffic.uavLink, traffic.uav.port());
    for (TIoForm *form : {window.gcsForm(), window.uavForm(0)}) {
        QTest::mouseClick(form->connectBtn, Qt::LeftButton);
        QTRY_VERIFY(locked(form));
    }
    UdpPeer churnPeer;
    QVERIFY(churnPeer.bindLocal());
    traffic.start();

    const auto cycle = [&](int i) {
        window.addVehicle();
        TIoForm *form = window.uavForm(1);
        if (i % connectEvery == 0) {
            setUnicast(form, testsupport::freeUdpPort(), churnPeer.port());
            QTest::mouseClick(form->connectBtn, Qt::LeftButton);
            QTRY_VERIFY(locked(form));
            // It hears the ground station and vehicle 0 before it goes.
            churnPeer.got.clear();
            QTRY_VERIFY(churnPeer.received().contains(handedOn(uavFrame('v'))));
            QTRY_VERIFY(std::any_of(churnPeer.received().cbegin(), churnPeer.got.cend(),
                                    [](const QByteArray &d) { return d.startsWith("block "); }));
        }
        QTest::mouseClick(window->delUavButton(), Qt::LeftButton);
        QCOMPARE(window->vehicleForms().size(), 1);
    };
    const auto run = [&](int count) {
        for (int i = 0; i < count && !QTest::currentTestFailed(); ++i)
            cycle(i);
        return !QTest::currentTestFailed();
    };
    // Resident memory without what Qt and the allocator keep on purpose:
    // every new form's combo boxes are painted into fresh entries of Qt's
    // pixmap cache (up to 10 MiB), and freed heap stays resident until
    // trimmed. Qt's other caches fill during the first few hundred cycles.
    const auto settledRss = [] {
        QTest::qWait(200);
        QPixmapCache::clear();
#ifdef __GLIBC__
        malloc_trim(0);
#endif
        return testsupport::processRssKiB();
    };
    QVERIFY(run(warmUp));
    const int threadsBefore = testsupport::processThreadCount();
    const qint64 rssBefore = settledRss();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(run(cycles));
    const qint64 churnMs = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(testsupport::processThreadCount(), threadsBefore, 10000);
    QCOMPARE(TLinkManager::instance()->linkMap().size(), 2);
    const qint64 rssAfter = settledRss();
    qInfo("%d cycles (%d connected) in %lld ms; threads %d before and after; RSS %lld KiB "
          "before, %lld KiB after (%+lld KiB)",
          cycles, cycles / connectEvery, churnMs, threadsBefore, rssBefore, rssAfter,
          rssAfter - rssBefore);
    // A form left behind per cycle would cost hundreds of MiB, a link with
    // its thread about 16 MiB; Qt's caches still settling account for about
    // 3 MiB.
    QVERIFY2(rssAfter - rssBefore < 6 * 1024, "memory grows with the cycles");

    // The permanent links lost nothing and kept the order; the last few
    // may still have been on their way when the peers stopped.
    traffic.stop();
    const int sent = traffic.sent;
    QVERIFY(sent > 1000);
    QCOMPARE(traffic.strays.load(), 0);
    QVERIFY2(traffic.blocksInOrder > sent - 20 && traffic.framesInOrder > sent - 20,
             qPrintable(QString("sent %1, blocks %2, frames %3")
                            .arg(sent)
                            .arg(traffic.blocksInOrder)
                            .arg(traffic.framesInOrder)));
}

QTEST_MAIN(TstLifecycleSoak)
#include "tst_lifecycle_soak.moc"
