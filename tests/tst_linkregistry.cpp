#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "protocol/tuavptl.h"
#include "relaysupport.h"
#include "session/tapp.h"

#include <QMetaMethod>
#include <QPointer>
#include <QtTest>

using relaytest::SendRecorder;

class TstLinkRegistry : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void duplicateIdRefused();
    void unknownIdsAreHarmless();
    void idsAscendAndListKeepsOrder();
    void removedVehicleDeletedOnceInItsThread();
    void routingSlotsInMetaObjectOrder();
    void routingByName_data();
    void routingByName();

private:
    QThread *worker = nullptr;
};

void TstLinkRegistry::initTestCase()
{
    // As in the program: the routing slots run in the application object's
    // worker thread when reached through a queued call.
    worker = TApp::startWorkerThread();
}

void TstLinkRegistry::cleanupTestCase()
{
    TApp::stopWorkerThread(worker);
}

void TstLinkRegistry::cleanup()
{
    relaytest::clearRegistry();
}

void TstLinkRegistry::duplicateIdRefused()
{
    TLinkManager *registry = TLinkManager::instance();
    auto *a = new IOHandler(5, false);
    auto *b = new IOHandler(5, false);
    QVERIFY(registry->addLink(5, a));
    QVERIFY(!registry->addLink(5, b));
    QCOMPARE(registry->getLink(5), a);
    QCOMPARE(registry->linkMap().size(), 1);
    delete b;
}

void TstLinkRegistry::unknownIdsAreHarmless()
{
    TLinkManager *registry = TLinkManager::instance();
    QCOMPARE(registry->getLink(5), nullptr);
    QVERIFY(registry->removeLink(7));
    auto *a = new IOHandler(5, false);
    registry->addLink(5, a);
    QPointer<IOHandler> alive(a);
    QVERIFY(registry->removeLink(11));
    QCOMPARE(registry->linkMap().keys(), QList<int>{5});
    QCOMPARE(registry->getLink(11), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive);
}

void TstLinkRegistry::idsAscendAndListKeepsOrder()
{
    TLinkManager *registry = TLinkManager::instance();
    QVector<IOHandler *> added;
    for (int id : {10, 11, 12}) {
        added << new TUavPtl(id, false);
        registry->addLink(id, added.last());
        registry->addUav(added.last());
        if (id == 10)
            registry->addLink(5, new IOHandler(5, false));
    }
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11, 12}));
    QCOMPARE(registry->uavList(), added);
    QVector<IOHandler *> byId;
    for (const auto &ref : registry->vehicleLinksById())
        byId << ref.data();
    QCOMPARE(byId, (QVector<IOHandler *>{added[0], added[1], added[2]}));

    // Deleting a vehicle drops id 12 and the last list entry only.
    QPointer<IOHandler> last(added[2]);
    registry->removeLink(12);
    registry->removeLastUav();
    QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11}));
    QCOMPARE(registry->uavList(), added.mid(0, 2));
    QVERIFY(last);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!last);
}

void TstLinkRegistry::removedVehicleDeletedOnceInItsThread()
{
    TLinkManager *registry = TLinkManager::instance();
    auto *first = new TUavPtl(10, true);
    auto *second = new TUavPtl(11, true);
    for (TUavPtl *uav : {first, second}) {
        registry->addLink(uav->getDevice().id, uav);
        registry->addUav(uav);
    }
    QThread *own = second->linkThread();
    QVERIFY(own && own != QThread::currentThread());
    QPointer<QThread> ownThread(own);
    QAtomicInt deletions;
    QThread *deletedIn = nullptr;
    relaytest::onDeletion(second, [&] {
        deletedIn = QThread::currentThread();
        deletions.ref();
    });

    // Both steps of a vehicle's removal, as the window does them.
    registry->removeLink(11);
    registry->removeLastUav();
    QTRY_COMPARE(deletions.loadAcquire(), 1);
    QCOMPARE(deletedIn, own);
    QTRY_VERIFY2(ownThread.isNull(), "the removed link's thread is never freed");
    QCOMPARE(deletions.loadAcquire(), 1);
    QCOMPARE(registry->getLink(10), first);
    registry->shutdownAll();
    QVERIFY(registry->linkMap().isEmpty() && registry->uavList().isEmpty());
}

void TstLinkRegistry::routingSlotsInMetaObjectOrder()
{
    const QMetaObject &mo = TApp::staticMetaObject;
    QStringList names;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QString name = QString::fromLatin1(mo.method(i).name());
        if (names.isEmpty() || names.last() != name)
            names << name;
    }
    QCOMPARE(names, (QStringList{"TAppEvent", "recUavData", "decodeToGcs", "decodeToUav",
                                 "handleTAppEvent"}));
    for (const char *sig : {"recUavData(QByteArray)", "decodeToGcs(QByteArray,QVariant)",
                            "decodeToUav(QByteArray)", "decodeToUav(QByteArray,QVariant)"}) {
        const int index = mo.indexOfSlot(sig);
        QVERIFY2(index >= 0, sig);
        QCOMPARE(mo.method(index).access(), QMetaMethod::Public);
    }
    QCOMPARE(mo.method(mo.indexOfSlot("handleTAppEvent(int)")).access(), QMetaMethod::Private);
}

void TstLinkRegistry::routingByName_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<int>("device");
    QTest::addColumn<bool>("withGcs");
    QTest::addColumn<QList<int>>("targets");
    // device: the id of the link whose record is passed, 0 for the default
    // device, -1 for a text that holds no record.
    QTest::newRow("to vehicles from 11")
        << QByteArray("decodeToUav") << 11 << true << QList<int>{10, 12};
    QTest::newRow("to vehicles, default")
        << QByteArray("decodeToUav") << 0 << true << QList<int>{10, 11, 12};
    QTest::newRow("to vehicles, no record")
        << QByteArray("decodeToUav") << -1 << true << QList<int>{10, 11, 12};
    QTest::newRow("to ground station") << QByteArray("decodeToGcs") << 0 << true << QList<int>{5};
    QTest::newRow("to ground station, none")
        << QByteArray("decodeToGcs") << 0 << false << QList<int>{};
    QTest::newRow("raw relay from 12")
        << QByteArray("recUavData") << 12 << true << QList<int>{5, 10, 11};
    QTest::newRow("raw relay, no ground station")
        << QByteArray("recUavData") << 10 << false << QList<int>{11, 12};
}

// The slots are reached by name only, as whoever uses them would.
void TstLinkRegistry::routingByName()
{
    QFETCH(QByteArray, slot);
    QFETCH(int, device);
    QFETCH(bool, withGcs);
    QFETCH(QList<int>, targets);

    TLinkManager *registry = TLinkManager::instance();
    SendRecorder recorder;
    QMap<int, IOHandler *> byId;
    for (int id : {10, 11, 12}) {
        auto *uav = new TUavPtl(id, false);
        registry->addLink(id, uav);
        registry->addUav(uav);
        recorder.watch(uav);
        byId.insert(id, uav);
    }
    if (withGcs) {
        auto *gcs = new IOHandler(5, false);
        registry->addLink(5, gcs);
        recorder.watch(gcs);
    }
    QVariant deviceArg(0);
    if (device > 0)
        deviceArg = QVariant::fromValue(byId.value(device)->getDevice());
    else if (device < 0)
        deviceArg = QVariant(QStringLiteral("11"));

    // A block with frames of both kinds: the slots do not parse.
    const QByteArray block = QByteArray::fromHex("aaec010203007f") + QByteArray("\xeb\x91 raw");
    bool invoked = false;
    testsupport::runInThreadOf(TApp::instance(), [&] {
        invoked =
            QMetaObject::invokeMethod(TApp::instance(), slot.constData(), Qt::DirectConnection,
                                      Q_ARG(QByteArray, block), Q_ARG(QVariant, deviceArg));
    });
    QVERIFY(invoked);
    const auto entries = recorder.entries();
    QCOMPARE(relaytest::targetsOf(entries), targets);
    for (const auto &e : entries) {
        QCOMPARE(e.bytes, block);
        QVERIFY(e.defaultDevice);
        QCOMPARE(e.from, worker);
    }
}

QTEST_GUILESS_MAIN(TstLinkRegistry)
#include "tst_linkregistry.moc"
