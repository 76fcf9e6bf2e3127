#include "session/tapp.h"
#include "session/version.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QtTest>

namespace {
// Exposes whether anything listens to the event signal of this object.
class ProbeApp : public TApp
{
public:
    bool eventConnected() const
    {
        return isSignalConnected(QMetaMethod::fromSignal(&TApp::TAppEvent));
    }
};
} // namespace

class TstTApp : public QObject
{
    Q_OBJECT
private slots:
    void secondInstanceIsNotRegistered();
    void eventDefaultsReachReceivers();
    void versionTitle_data();
    void versionTitle();
    void buildDateTimeIsThisBuild();
    void workerThreadRoundTrip();
};

void TstTApp::secondInstanceIsNotRegistered()
{
    TApp *first = TApp::instance();
    QVERIFY(first);
    testsupport::MessageCapture capture;
    ProbeApp second;
    QCOMPARE(TApp::instance(), first);
    QCOMPARE(capture.count(QStringLiteral("TApp must be sigleton")), 1);
    QCOMPARE(capture.lines().size(), 1);
    QVERIFY(!second.eventConnected());
}

void TstTApp::eventDefaultsReachReceivers()
{
    QSignalSpy spy(TApp::instance(), &TApp::TAppEvent);
    emit TApp::instance()->TAppEvent(3);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toInt(), 0);
    QCOMPARE(spy.at(0).at(2), QVariant(0));
    QCOMPARE(spy.at(0).at(2).userType(), int(QMetaType::Int));
}

void TstTApp::versionTitle_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("one-digit day") << "Oct  5 2025"
                                   << "14:05:06"
                                   << " v1.1.0.20251005.1";
    QTest::newRow("two-digit day") << "Oct 29 2025"
                                   << "14:05:06"
                                   << " v1.1.0.20251029.1";
    QTest::newRow("first of the year") << "Jan  1 2030"
                                       << "00:00:00"
                                       << " v1.1.0.20300101.1";
    QTest::newRow("unparsable date") << "Foo 99 2025"
                                     << "14:05:06"
                                     << " v1.1.0..1";
    QTest::newRow("unparsable time") << "Oct 29 2025"
                                     << "25:99:00"
                                     << " v1.1.0..1";
    QTest::newRow("empty") << ""
                           << ""
                           << " v1.1.0..1";
}

void TstTApp::versionTitle()
{
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, suffix);
    const QString title = ::versionTitle(parseBuildDateTime(date, time));
    QCOMPARE(title, QCoreApplication::applicationName() + suffix);
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("tst_tapp"));
}

void TstTApp::buildDateTimeIsThisBuild()
{
    const QDateTime built = buildDateTime();
    QVERIFY(built.isValid());
    QVERIFY(built <= QDateTime::currentDateTime().addSecs(60));
    QCOMPARE(::versionTitle(), ::versionTitle(built));
}

void TstTApp::workerThreadRoundTrip()
{
    QThread *worker = TApp::startWorkerThread();
    QCOMPARE(TApp::instance()->thread(), worker);
    // Queued events are handled in the worker thread.
    QThread *handledIn = nullptr;
    QSemaphore done;
    const auto probe = connect(TApp::instance(), &TApp::TAppEvent, TApp::instance(), [&] {
        handledIn = QThread::currentThread();
        done.release();
    });
    emit TApp::instance()->TAppEvent(5, 10);
    QVERIFY(done.tryAcquire(1, 5000));
    QCOMPARE(handledIn, worker);
    disconnect(probe);
    TApp::stopWorkerThread(worker);
    QCOMPARE(TApp::instance()->thread(), QThread::currentThread());
}

QTEST_GUILESS_MAIN(TstTApp)
#include "tst_tapp.moc"
