// The whole program as an operator uses it. The test re-runs its own binary
// as a child process that runs TProgram::run, the very path main() takes,
// and drives the real window through its controls while real UDP peers on
// 127.0.0.1 exchange data through the relay. The child must end with exit
// code 0 after the window is closed, with every link and thread stopped.

#include "app/tprogram.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "relaysupport.h"
#include "session/tapp.h"
#include "testsupport.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tioform.h"
#include "ui/tmainwidget.h"
#include "windowsupport.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {
const char *const kChildFlag = "--program-scenario";
const QHostAddress kLocal(QHostAddress::LocalHost);
using windowtest::Reach;
using windowtest::setUnicast;

QList<QByteArray> drain(QUdpSocket &socket)
{
    QList<QByteArray> got;
    while (socket.hasPendingDatagrams())
        got << socket.receiveDatagram().data();
    return got;
}

// Sends datagrams from a thread of its own until stopped, so that data is
// still arriving while the program shuts down. It sends through duplicates
// of the peers' own sockets: a unicast link answers whoever sent last, so
// the data must come from the peers' addresses.
class Flood
{
public:
    struct Target
    {
        const QUdpSocket *from;
        quint16 toPort;
        QByteArray data;
    };

    void start(const QList<Target> &targets)
    {
        QList<QPair<int, QPair<quint16, QByteArray>>> plan;
        for (const Target &t : targets)
            plan.append({::dup(int(t.from->socketDescriptor())), {t.toPort, t.data}});
        running = true;
        worker = std::thread([this, plan] {
            while (running) {
                for (const auto &p : plan) {
                    sockaddr_in to{};
                    to.sin_family = AF_INET;
                    to.sin_port = htons(p.second.first);
                    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    if (::sendto(p.first, p.second.second.constData(),
                                 size_t(p.second.second.size()), 0,
                                 reinterpret_cast<const sockaddr *>(&to), sizeof to) > 0)
                        ++sent;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            for (const auto &p : plan)
                ::close(p.first);
        });
    }
    void stop()
    {
        running = false;
        if (worker.joinable())
            worker.join();
    }
    int count() const { return sent; }

private:
    std::atomic<bool> running{false};
    std::atomic<int> sent{0};
    std::thread worker;
};

Flood flood;

// ---------------------------------------------------------------- child

bool everyForm(TMainWidget *w, bool (*state)(const TIoForm *))
{
    const QList<TIoForm *> forms = windowtest::allForms(w);
    return std::all_of(forms.begin(), forms.end(), state);
}

// The whole of an operator's session, a step a slot. QTest runs the steps
// in this order and names the one that fails; each builds on what the ones
// before it left, so after a failure the rest are skipped.
class FullSession : public QObject
{
    Q_OBJECT
public:
    explicit FullSession(TMainWidget *window) : w(window) {}

private slots:
    void initTestCase()
    {
        QVERIFY(gcsPeer.bind(kLocal, 0));
        for (auto &p : uavPeer)
            QVERIFY(p.bind(kLocal, 0));
        traffic.setInterval(5);
        connect(&traffic, &QTimer::timeout, this, [this] {
            gcsPeer.writeDatagram("tick " + QByteArray::number(++tick), kLocal, gcsPort);
            uavPeer[0].writeDatagram(relaytest::uavFrame('t'), kLocal, uavPort[0]);
            uavPeer[1].writeDatagram(relaytest::gcsFrame(1, 't'), kLocal, uavPort[1]);
        });
    }

    void init()
    {
        if (failed)
            QSKIP("a step before this one failed");
    }

    void cleanup() { failed = failed || QTest::currentTestFailed(); }

    // Forms Con0..Con2, links 10..12.
    void twoMoreVehicles()
    {
        QTest::mouseClick(w->addUavButton(), Qt::LeftButton);
        QTest::mouseClick(w->addUavButton(), Qt::LeftButton);
        QCOMPARE(w->vehicleRows().size(), 3);
        QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11, 12}));
    }

    void connectAllLocksEveryForm()
    {
        gcsPort = testsupport::freeUdpPort();
        setUnicast(w->groundStationForm(), gcsPort, gcsPeer.localPort(), Reach::ByHand);
        for (int i = 0; i < 3; ++i) {
            uavPort[i] = testsupport::freeUdpPort();
            setUnicast(w->openVehicleForms().at(i), uavPort[i], uavPeer[i].localPort(),
                       Reach::ByHand);
        }
        QTest::mouseClick(w->connectAllButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(everyForm(w, windowtest::locked), 10000);
    }

    void settingsHoldEveryForm()
    {
        QSettings s(QStringLiteral("./cfg/app.ini"), QSettings::IniFormat);
        QStringList groups = s.childGroups();
        groups.sort();
        QCOMPARE(groups, (QStringList{"Con0", "Con1", "Con2", "Connect", "Window"}));
        QCOMPARE(s.value("Con2/LocalPort").toString(), QString::number(uavPort[2]));
        QCOMPARE(s.value("Connect/ConType").toString(), windowtest::unicastText());
    }

    // Unchanged and unframed, and not back to the ground station.
    void groundStationDataReachesEveryVehicle()
    {
        const QByteArray block("ground station block \x00\xAA\xEC", 24);
        QVERIFY(gcsPeer.writeDatagram(block, kLocal, gcsPort) == block.size());
        for (auto &p : uavPeer) {
            QTRY_VERIFY(p.hasPendingDatagrams());
            QCOMPARE(p.receiveDatagram().data(), block);
        }
        QTest::qWait(100);
        QVERIFY(!gcsPeer.hasPendingDatagrams());
    }

    void groundStationFrameReachesOnlyTheGroundStation()
    {
        const QByteArray toGcs = relaytest::gcsFrame(10, 'g');
        QCOMPARE(toGcs.size(), 17);
        QVERIFY(uavPeer[1].writeDatagram(QByteArray("noise") + toGcs, kLocal, uavPort[1]) > 0);
        QTRY_VERIFY(gcsPeer.hasPendingDatagrams());
        QCOMPARE(gcsPeer.receiveDatagram().data(), toGcs);
    }

    // From vehicle 0 to vehicles 1 and 2, as 40 bytes.
    void vehicleFrameReachesTheOtherVehicles()
    {
        const QByteArray v2v = relaytest::uavFrame('a');
        QCOMPARE(v2v.size(), 36);
        QVERIFY(uavPeer[0].writeDatagram(v2v, kLocal, uavPort[0]) == v2v.size());
        for (int i : {1, 2}) {
            QTRY_VERIFY(uavPeer[i].hasPendingDatagrams());
            const QByteArray got = uavPeer[i].receiveDatagram().data();
            QCOMPARE(got.size(), 40);
            QCOMPARE(got, relaytest::handedOn(v2v));
        }
    }

    // A frame split over two datagrams, both kinds mixed in one; nothing more.
    void splitAndMixedFramesAreRelayed()
    {
        const QByteArray mixed = relaytest::gcsFrame(3, 'm') + relaytest::uavFrame('k');
        QVERIFY(uavPeer[2].writeDatagram(mixed.left(20), kLocal, uavPort[2]) == 20);
        QVERIFY(uavPeer[2].writeDatagram(mixed.mid(20), kLocal, uavPort[2]) == mixed.size() - 20);
        QTRY_VERIFY(gcsPeer.hasPendingDatagrams());
        QCOMPARE(gcsPeer.receiveDatagram().data(), relaytest::gcsFrame(3, 'm'));
        for (int i : {0, 1}) {
            QTRY_VERIFY(uavPeer[i].hasPendingDatagrams());
            QCOMPARE(uavPeer[i].receiveDatagram().data(),
                     relaytest::handedOn(relaytest::uavFrame('k')));
        }
        QTest::qWait(100);
        for (auto &p : uavPeer)
            QCOMPARE(drain(p).size(), 0);
        QCOMPARE(drain(gcsPeer).size(), 0);
    }

    // Data keeps flowing both ways while the vehicle goes; from here on until
    // Disconnect all.
    void deletedVehicleHearsNothing()
    {
        traffic.start();
        QTRY_VERIFY(uavPeer[2].hasPendingDatagrams());
        QTRY_VERIFY(gcsPeer.hasPendingDatagrams());

        QPointer<IOHandler> oldLink(registry->getLink(12));
        QPointer<TIoForm> oldForm(w->openVehicleForms().at(2));
        QTest::mouseClick(w->delUavButton(), Qt::LeftButton);
        QCOMPARE(w->vehicleRows().size(), 2);
        QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11}));
        QTRY_VERIFY(oldForm.isNull());
        QTRY_VERIFY_WITH_TIMEOUT(oldLink.isNull(), 10000);
        QTest::qWait(50);
        drainAll();
        QTest::qWait(300);
        QCOMPARE(drain(uavPeer[2]).size(), 0);
        QVERIFY(drain(uavPeer[0]).size() > 0); // the others still hear
        QVERIFY(drain(uavPeer[1]).size() > 0);
        QVERIFY(drain(gcsPeer).size() > 0);
    }

    // Adding it again restores its form from the group Con2; Connect opens it.
    void readdedVehicleRestoresItsFormAndHearsAgain()
    {
        QTest::mouseClick(w->addUavButton(), Qt::LeftButton);
        QCOMPARE(w->vehicleRows().size(), 3);
        TIoForm *again = w->openVehicleForms().at(2);
        QCOMPARE(again->getName(), QStringLiteral("Con2"));
        QCOMPARE(again->getConType(), 2);
        QCOMPARE(again->localPortEdit->text(), QString::number(uavPort[2]));
        QCOMPARE(again->remotePortEdit->text(), QString::number(uavPeer[2].localPort()));
        QVERIFY(!again->getConFlag());
        QCOMPARE(registry->linkMap().keys(), (QList<int>{5, 10, 11, 12}));
        QTest::mouseClick(again->connectBtn, Qt::LeftButton);
        QTRY_VERIFY(again->getConFlag());
        drain(uavPeer[2]);
        QTRY_VERIFY(uavPeer[2].hasPendingDatagrams());
        bool sawTick = false, sawFrame = false;
        QTRY_VERIFY([&] {
            for (const QByteArray &d : drain(uavPeer[2])) {
                sawTick |= d.startsWith("tick ");
                sawFrame |= d == relaytest::handedOn(relaytest::uavFrame('t'));
            }
            return sawTick && sawFrame;
        }());
    }

    // While data flows: every form unlocks, nothing is relayed.
    void disconnectAllStopsRelaying()
    {
        QTest::mouseClick(w->disconnectAllButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(everyForm(w, windowtest::unlocked), 10000);
        // The record belongs to the link's thread; read it there.
        const auto conTypeOf = [this](int id) {
            IOHandler *link = registry->getLink(id);
            IOHandler::ConType type = IOHandler::None;
            testsupport::runInThreadOf(link, [&] { type = link->getDevice().conType; });
            return type;
        };
        for (int id : {5, 10, 11, 12})
            QTRY_COMPARE(conTypeOf(id), IOHandler::None);
        QTest::qWait(50);
        drainAll();
        const int ticksBefore = tick;
        QTest::qWait(300);
        QVERIFY(tick > ticksBefore); // still sending
        for (auto &p : uavPeer)
            QCOMPARE(drain(p).size(), 0);
        QCOMPARE(drain(gcsPeer).size(), 0);
        traffic.stop();
    }

    // A script on the control socket adds a vehicle: the window shows its
    // row with the settings given, and the link opens; removing it takes
    // the row away.
    void controlSocketAddsARow()
    {
        QLocalSocket script;
        script.connectToServer(QDir::current().absoluteFilePath(QStringLiteral("relay.sock")));
        QTRY_COMPARE(script.state(), QLocalSocket::ConnectedState);
        const quint16 port = testsupport::freeUdpPort();
        script.write(
            QStringLiteral("{\"cmd\":\"add\",\"ConType\":\"udp\",\"LocalIp\":\"127.0.0.1\","
                           "\"LocalPort\":%1,\"RemoteIp\":\"127.0.0.1\",\"RemotePort\":%2}\n")
                .arg(port)
                .arg(uavPeer[0].localPort())
                .toUtf8());
        QTRY_VERIFY(script.canReadLine());
        QCOMPARE(script.readLine(), QByteArray("{\"link\":\"uav4\",\"ok\":true}\n"));
        QCOMPARE(w->vehicleRows().size(), 4);
        TIoForm *added = w->openVehicleForms().at(3);
        QCOMPARE(added->localPortEdit->text(), QString::number(port));
        QTRY_VERIFY(added->getConFlag());
        script.write("{\"cmd\":\"remove\"}\n");
        QTRY_VERIFY(script.canReadLine());
        QCOMPARE(script.readLine(), QByteArray("{\"link\":\"uav4\",\"ok\":true}\n"));
        QCOMPARE(w->vehicleRows().size(), 3);
    }

    // The program must then end by itself.
    void closingTheWindowEndsTheProgram() { QVERIFY(w->close()); }

private:
    void drainAll()
    {
        for (auto &p : uavPeer)
            drain(p);
        drain(gcsPeer);
    }

    TMainWidget *w;
    TLinkManager *registry = TLinkManager::instance();
    QUdpSocket gcsPeer;
    QUdpSocket uavPeer[3];
    quint16 gcsPort = 0;
    quint16 uavPort[3] = {};
    // Keeps data flowing both ways while vehicles go and come back.
    QTimer traffic;
    int tick = 0;
    bool failed = false;
};

// Closes the window at a moment of the operator's work; see closeAtMoment.
class Scenario : public QObject
{
    Q_OBJECT
public:
    Scenario(TMainWidget *window, const QString &name, int delayMs)
        : w(window), name(name), delayMs(delayMs)
    {
    }

private slots:
    void run();

private:
    void closeAtMoment(const QString &moment);

    TMainWidget *w;
    QString name;
    int delayMs;
};

void Scenario::run()
{
    if (name.startsWith(QLatin1String("close-")))
        closeAtMoment(name.mid(6));
    else
        QFAIL(qPrintable(QStringLiteral("unknown scenario ") + name));
}

// Closes the window delayMs after a moment of the operator's work while
// data flows: links opening, data flowing, a vehicle being deleted, or a
// message box up (a vehicle whose port the other one holds).
void Scenario::closeAtMoment(const QString &moment)
{
    // The flood sends through duplicates of these sockets' descriptors, so
    // it does not matter that the sockets themselves go with this function.
    QUdpSocket gcsPeer;
    QUdpSocket uavPeer[2];
    QVERIFY(gcsPeer.bind(kLocal, 0));
    for (auto &p : uavPeer)
        QVERIFY(p.bind(kLocal, 0));
    QTest::mouseClick(w->addUavButton(), Qt::LeftButton);
    if (moment == QLatin1String("deleting"))
        QTest::mouseClick(w->addUavButton(), Qt::LeftButton);
    const quint16 gcsPort = testsupport::freeUdpPort();
    const quint16 uavPort[2] = {testsupport::freeUdpPort(), testsupport::freeUdpPort()};
    setUnicast(w->groundStationForm(), gcsPort, gcsPeer.localPort(), Reach::ByHand);
    for (int i = 0; i < w->vehicleRows().size(); ++i) {
        const quint16 port = i < 2 ? uavPort[i] : testsupport::freeUdpPort();
        setUnicast(w->openVehicleForms().at(i), port, uavPeer[i % 2].localPort(), Reach::ByHand);
    }
    if (moment == QLatin1String("box"))
        setUnicast(w->openVehicleForms().at(1), uavPort[0], uavPeer[1].localPort(), Reach::ByHand);

    // The window is closed while the box is up.
    QTimer boxWatch;
    boxWatch.setInterval(5);
    connect(&boxWatch, &QTimer::timeout, this, [this, &boxWatch] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox *>(widget) && widget->isVisible()) {
                boxWatch.stop();
                QTimer::singleShot(delayMs, w, [this] { w->close(); });
            }
    });
    if (moment == QLatin1String("box"))
        boxWatch.start();

    // Another thread floods both directions, and keeps doing so through the
    // shutdown until main() has returned.
    flood.start(
        {{&gcsPeer, gcsPort, QByteArray(200, 'x')},
         {&uavPeer[0], uavPort[0], relaytest::gcsFrame(100, 'y') + relaytest::uavFrame('z')},
         {&uavPeer[1], uavPort[1], relaytest::uavFrame('w')}});
    QTest::mouseClick(w->connectAllButton(), Qt::LeftButton);
    if (moment == QLatin1String("opening")) {
        QTest::qWait(delayMs);
        QVERIFY(w->close());
        return;
    }
    if (moment == QLatin1String("box")) {
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(everyForm(w, windowtest::locked), 10000);
    QTRY_VERIFY(uavPeer[0].hasPendingDatagrams());
    QTRY_VERIFY(uavPeer[1].hasPendingDatagrams());
    QTRY_VERIFY(gcsPeer.hasPendingDatagrams());
    QVERIFY(flood.count() > 0);
    if (moment == QLatin1String("deleting"))
        QTest::mouseClick(w->delUavButton(), Qt::LeftButton);
    QTest::qWait(delayMs);
    QVERIFY(w->close());
}

int runChild(int argc, char **argv)
{
    // argv: program --program-scenario <name> ...
    const QString name = QString::fromLocal8Bit(argv[2]);
    const int delayMs = argc >= 4 ? std::atoi(argv[3]) : 0;
    int failures = -1;
    // A sanitizer's runtime may start a helper thread of its own along with
    // the first other thread; have that happen now and leave it out below.
    std::thread([] {}).join();
    const int before = testsupport::processThreadCount();
    const int runtimeHelpers = before - 1;
    // The program sees its name only: the child's own arguments are no options of its.
    int programArgc = 1;
    int result = TProgram::run(programArgc, argv, [&](TMainWidget *window) {
        QTimer::singleShot(0, window, [&failures, window, name, delayMs] {
            std::unique_ptr<QObject> scenario;
            if (name == QLatin1String("full"))
                scenario = std::make_unique<FullSession>(window);
            else
                scenario = std::make_unique<Scenario>(window, name, delayMs);
            QStringList args{QStringLiteral("program-child"), QStringLiteral("-maxwarnings"),
                             QStringLiteral("0")};
            failures = QTest::qExec(scenario.get(), args);
            if (window->isVisible()) // a failed scenario leaves it open
                window->close();
        });
    });
    const int threadsAfterRun = testsupport::processThreadCount();
    // QThread::wait() returns once a thread has finished its work; the
    // system thread itself ends a moment later. Give it that moment without
    // running any event loop: nothing in this process can start new work.
    const int expectedLeft = (flood.count() > 0 ? 2 : 1) + runtimeHelpers;
    int threadsSettled = threadsAfterRun;
    for (int i = 0; i < 200 && threadsSettled > expectedLeft; ++i) {
        QThread::msleep(10);
        threadsSettled = testsupport::processThreadCount();
    }
    QStringList threadNames;
    for (const QString &task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly))
            threadNames << QString::fromLocal8Bit(comm.readAll().trimmed());
    }
    flood.stop();
    std::printf("child: exec result %d, scenario failures %d\n", result, failures);
    std::printf("child: application object back in the main thread: %s\n",
                TApp::instance()->thread() == QThread::currentThread() ? "yes" : "no");
    std::printf("child: links left %d, vehicles left %d\n",
                int(TLinkManager::instance()->linkMap().size()),
                int(TLinkManager::instance()->uavList().size()));
    std::printf("child: threads before %d, right after run %d, settled %d (flood thread "
                "included)\n",
                before, threadsAfterRun, threadsSettled - runtimeHelpers);
    std::printf("child: threads after run: %s\n",
                qPrintable(threadNames.join(QStringLiteral(", "))));
    std::printf("child: flood datagrams %d\n", flood.count());
    std::fflush(stdout);
    if (failures != 0)
        return 100;
    return result;
}

// --------------------------------------------------------------- parent

struct ChildRun
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString output;
};

ChildRun runScenario(const QString &name, const QString &workDir, int delayMs = 0)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kChildFlag), name, QString::number(delayMs)});
    ChildRun run;
    if (!child.waitForStarted(10000))
        return run;
    if (!child.waitForFinished(180000)) {
        child.kill();
        child.waitForFinished(5000);
    }
    run.exitCode = child.exitCode();
    run.status = child.exitStatus();
    run.output = QString::fromLocal8Bit(child.readAll());
    return run;
}

// The child's whole output, line by line, for the log of a failed case.
void showChildOutput(const ChildRun &run)
{
    for (const QString &line : run.output.split(QLatin1Char('\n')))
        qInfo().noquote() << "child>" << line;
}

// A child that ran its scenario to the end and left nothing behind: exit
// code 0, no scenario failures, no link, and the application object home.
void verifyCleanExit(const ChildRun &run)
{
    const QByteArray log("see the child's output above");
    if (run.exitCode != 0 || run.status != QProcess::NormalExit ||
        !run.output.contains(QStringLiteral("scenario failures 0")))
        showChildOutput(run);
    QVERIFY2(run.status == QProcess::NormalExit, log.constData());
    QVERIFY2(run.exitCode == 0, log.constData());
    QVERIFY2(run.output.contains(QStringLiteral("child: exec result 0, scenario failures 0")),
             log.constData());
    QVERIFY2(run.output.contains(QStringLiteral("child: links left 0, vehicles left 0")),
             log.constData());
    QVERIFY2(run.output.contains(QStringLiteral("application object back in the main thread: yes")),
             log.constData());
}

int countLines(const QString &text, const QString &part)
{
    int n = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        n += line.contains(part);
    return n;
}
} // namespace

class TstProgram : public QObject
{
    Q_OBJECT

private slots:
    void fullSessionEndsWithExitCodeZero();
    void closingAtAnyMomentEndsCleanly_data();
    void closingAtAnyMomentEndsCleanly();
    void programRefusesToStartWithoutDisplay();
    void programStartsAndBuildsItsLinks();
};

void TstProgram::fullSessionEndsWithExitCodeZero()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ChildRun run = runScenario(QStringLiteral("full"), dir.path());
    verifyCleanExit(run);
    if (QTest::currentTestFailed())
        return;
    const QByteArray log("see the child's output above");
    // Six links were built (ground station, three vehicles, one re-added,
    // one added through the control socket); each was deleted exactly once.
    QCOMPARE(countLines(run.output, QStringLiteral("IOHandler init::")), 6);
    QCOMPARE(countLines(run.output, QStringLiteral("IOHandler delete:")), 6);
    // Only the main thread is left once the program has returned (the last
    // joined thread may take a few milliseconds to leave the system).
    QVERIFY2(run.output.contains(QRegularExpression(QStringLiteral("settled 1 "))),
             log.constData());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("cfg/app.ini"))));
}

void TstProgram::closingAtAnyMomentEndsCleanly_data()
{
    QTest::addColumn<QString>("moment");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("links");

    // Moments picked at random on every run; the row names say which.
    QRandomGenerator *random = QRandomGenerator::global();
    const auto row = [](const char *moment, int delay, int links) {
        QTest::addRow("%s, closed after %d ms", moment, delay)
            << QString::fromLatin1(moment) << delay << links;
    };
    row("flowing", 0, 3);
    row("flowing", random->bounded(300), 3);
    row("opening", random->bounded(30), 3);
    row("deleting", random->bounded(20), 4);
    row("box", random->bounded(1500), 3);
}

void TstProgram::closingAtAnyMomentEndsCleanly()
{
    QFETCH(QString, moment);
    QFETCH(int, delayMs);
    QFETCH(int, links);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ChildRun run = runScenario(QStringLiteral("close-") + moment, dir.path(), delayMs);
    verifyCleanExit(run);
    if (QTest::currentTestFailed())
        return;
    const QByteArray log("see the child's output above");
    QCOMPARE(countLines(run.output, QStringLiteral("IOHandler init::")), links);
    QCOMPARE(countLines(run.output, QStringLiteral("IOHandler delete:")), links);
    // The main thread and the flood thread, which is stopped only afterwards.
    QVERIFY2(run.output.contains(QRegularExpression(QStringLiteral("settled 2 "))),
             log.constData());
}

void TstProgram::programRefusesToStartWithoutDisplay()
{
    const QString binary = testsupport::appBinary();
    if (binary.isEmpty())
        QSKIP("RELAY_APP_BINARY does not name the built program");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    program.start(binary, QStringList());
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 2);
    const QByteArray message = program.readAllStandardError();
    QVERIFY(message.contains("no display found"));
    QVERIFY(message.contains("uav-sim-relay --headless"));
}

// Also serves /metrics when asked.
void TstProgram::programStartsAndBuildsItsLinks()
{
    const QString binary = testsupport::appBinary();
    if (binary.isEmpty())
        QSKIP("RELAY_APP_BINARY does not name the built program");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess program;
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(binary, {"--metrics", "127.0.0.1:0"});
    QVERIFY(program.waitForStarted(10000));
    QString output;
    QTRY_VERIFY_WITH_TIMEOUT((output += QString::fromLocal8Bit(program.readAll()),
                              countLines(output, QStringLiteral("IOHandler init::")) == 2),
                             20000);
    QVERIFY(output.contains(QRegularExpression(QStringLiteral("IOHandler init:: TUavPtl.* 10 "))));
    QVERIFY(output.contains(QRegularExpression(QStringLiteral("IOHandler init:: TGcsPtl.* 5 "))));
    QCOMPARE(program.state(), QProcess::Running);
    // The window serves the figures of its own links, as the relay without
    // one does.
    const QRegularExpression url(QStringLiteral("metrics on http://127.0.0.1:(\\d+)/metrics"));
    QTRY_VERIFY(
        (output += QString::fromLocal8Bit(program.readAll()), url.match(output).hasMatch()));
    const QString page =
        testsupport::scrapeMetrics(quint16(url.match(output).captured(1).toUInt()));
    QVERIFY2(page.contains("uav_relay_link_state{link=\"uav1\",state=\"closed\"} 1"),
             qPrintable(page));
    QVERIFY(page.contains("uav_relay_rx_blocks_total{link=\"gcs\"} 0"));
    // No settings written at start-up. The window cannot be closed from out
    // here on the offscreen platform; the child scenarios close it.
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("cfg/app.ini"))));
    program.kill();
    program.waitForFinished(5000);
}

int main(int argc, char *argv[])
{
    if (argc >= 3 && std::strcmp(argv[1], kChildFlag) == 0)
        return runChild(argc, argv);
    QApplication app(argc, argv);
    TstProgram test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program.moc"
