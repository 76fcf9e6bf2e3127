// A link's thread lives and dies with the link; idle links cost little.

#include "linktestsupport.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QtTest>

#include <sys/resource.h>

using namespace linktest;

namespace {

constexpr int linkId = 10;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class TestLinkLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void threadEndsWithLink_data();
    void threadEndsWithLink();
    void idleLinksCost();
};

void TestLinkLifecycle::threadEndsWithLink_data()
{
    QTest::addColumn<bool>("shutdown");
    QTest::addColumn<bool>("bound");

    QTest::newRow("shut down, nothing open") << true << false;
    QTest::newRow("shut down, socket bound") << true << true;
    QTest::newRow("deleted later, nothing open") << false << false;
    QTest::newRow("deleted later, socket bound") << false << true;
}

void TestLinkLifecycle::threadEndsWithLink()
{
    QFETCH(bool, shutdown);
    QFETCH(bool, bound);

    const int before = testsupport::processThreadCount();
    const quint16 port = testsupport::freeUdpPort();
    LinkPtr owner = startLink(linkId);
    QCOMPARE(testsupport::processThreadCount(), before + 1);
    if (bound)
        QVERIFY(request(owner.get(), unicast(linkId, port), true));

    QPointer<IOHandler> link = owner.get();
    QPointer<QThread> thread = owner->linkThread();
    QVERIFY(thread && thread->isRunning());
    if (shutdown) {
        owner.reset();
        // Joined and freed before shutdown() returns.
        QVERIFY(link.isNull());
        QVERIFY(thread.isNull());
    } else {
        owner.release()->deleteLater();
        QTRY_VERIFY(link.isNull());
        QTRY_VERIFY(thread.isNull());
    }
    QTRY_COMPARE(testsupport::processThreadCount(), before);
    QVERIFY(portFree(port));
}

// Fifty links with no device only run their poll timers.
void TestLinkLifecycle::idleLinksCost()
{
    const int count = 50;
    const int before = testsupport::processThreadCount();
    {
        std::vector<LinkPtr> links;
        for (int i = 0; i < count; ++i)
            links.push_back(startLink(linkId + i));
        QCOMPARE(testsupport::processThreadCount(), before + count);

        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = cpuSeconds();
        QTest::qWait(5000);
        const double cpu = cpuSeconds() - cpuBefore;
        const double share = cpu / (clock.nsecsElapsed() / 1e9);
        qInfo("%d idle links: %.3f s CPU in %.2f s, %.1f %% of one core", count, cpu,
              clock.nsecsElapsed() / 1e9, 100 * share);
        // A poll that spins instead of sleeping would take a whole core.
        QVERIFY2(share < 0.25, qPrintable(QString::number(share)));
    }
    // wait() returns before the kernel has quite let go of a thread.
    QTRY_COMPARE(testsupport::processThreadCount(), before);
}

QTEST_MAIN(TestLinkLifecycle)
#include "tst_linklifecycle.moc"
