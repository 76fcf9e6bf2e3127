// Serial faults through the real window, on a pseudo-terminal pair made by
// socat: ports that cannot be opened, a port that goes away in the middle of
// a stream and comes back, and a peer that stops reading. Each case checks
// what the operator sees (link events, message boxes, lock state of the
// forms) and that what did arrive is whole and in order.
//
// One window for the whole run: the ground station on 127.0.0.1, vehicle 0
// on one end of the pair (the test holds the other end), vehicle 1 spare.

#include "linktestsupport.h"
#include "relaysupport.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSerialPort>
#include <QTemporaryFile>
#include <QtTest>

using relaytest::gcsFrame;
using relaytest::UdpPeer;
using namespace windowtest;

namespace {
constexpr int kSerialId = 10;
constexpr int kSpareId = 11;

// A ground-station frame that carries a sequence number.
QByteArray numberedFrame(int seq)
{
    return QByteArray::fromHex("aaec010203") + char(8) +
           QByteArray::number(seq).rightJustified(8, '0') + '\x7f';
}

QByteArray numberedBlock(int seq, int size)
{
    return QByteArray::number(seq).rightJustified(size, '.');
}
} // namespace

class TstFaultsSerial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void portThatCannotOpen_data();
    void portThatCannotOpen();
    void portVanishesAndReturns();
    void peerStopsReading();
    void reconnectingPort_data();
    void reconnectingPort();

private:
    // Both directions, through the ground station and the far end: sent
    // numbered data, what arrived.
    void startStream(int blockSize);
    void stopStream() { stream.stop(); }
    QByteArray sentDown() const;
    bool openFar();

    std::unique_ptr<testsupport::PtyPair> pty;
    std::unique_ptr<Window> window;
    UdpPeer gcsPeer;
    quint16 gcsPort = 0;
    QSerialPort far;
    QByteArray farGot;
    bool farReading = true;
    QTimer stream;
    int down = 0, up = 0, blockSize = 0;
    std::unique_ptr<linktest::EventLog> log;
    std::unique_ptr<BoxWatcher> boxes;
};

void TstFaultsSerial::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        QSKIP("socat is not installed; it makes the pseudo-terminal pairs");
    pty = std::make_unique<testsupport::PtyPair>();
    QVERIFY(pty->isReady());
    // What an earlier run stored must not shape this one's rows.
    QDir(QStringLiteral("cfg")).removeRecursively();
    window = std::make_unique<Window>();
    window->addVehicle();
    QVERIFY(gcsPeer.bindLocal());
    gcsPort = testsupport::freeUdpPort();
    setUnicast(window->gcsForm(), gcsPort, gcsPeer.port());
    setSerial(window->uavForm(0), pty->endA());
    for (TIoForm *form : {window->gcsForm(), window->uavForm(0)}) {
        QTest::mouseClick(form->connectBtn, Qt::LeftButton);
        QTRY_VERIFY(locked(form));
    }
    connect(&far, &QIODevice::readyRead, this, [this] {
        if (farReading)
            farGot += far.readAll();
    });
    connect(&stream, &QTimer::timeout, this, [this] {
        gcsPeer.sendTo(gcsPort, numberedBlock(down++, blockSize));
        if (far.isOpen())
            far.write(numberedFrame(up++));
    });
    stream.setInterval(5);
}

void TstFaultsSerial::cleanupTestCase()
{
    window.reset();
}

bool TstFaultsSerial::openFar()
{
    far.close();
    far.setPortName(pty->endB());
    far.setReadBufferSize(0);
    farReading = true;
    return far.open(QIODevice::ReadWrite);
}

void TstFaultsSerial::init()
{
    if (!pty->isReady())
        QVERIFY(pty->restart());
    if (!far.isOpen())
        QVERIFY(openFar());
    TIoForm *serial = window->uavForm(0);
    if (!locked(serial)) {
        QTest::mouseClick(serial->connectBtn, Qt::LeftButton);
        QTRY_VERIFY(locked(serial));
    }
    farGot.clear();
    gcsPeer.received();
    gcsPeer.got.clear();
    down = up = 0;
    log = std::make_unique<linktest::EventLog>();
    boxes = std::make_unique<BoxWatcher>();
}

void TstFaultsSerial::cleanup()
{
    stopStream();
    TIoForm *spare = window->uavForm(1);
    if (!unlocked(spare)) {
        QTest::mouseClick(spare->disconnectBtn, Qt::LeftButton);
        QTRY_VERIFY(unlocked(spare));
    }
    // The ground station never noticed, and the serial vehicle works.
    QVERIFY(locked(window->gcsForm()));
    QVERIFY(log->codes(5).isEmpty());
    if (!locked(window->uavForm(0)))
        return;
    const QByteArray probe = gcsFrame(2, 0x5a);
    far.write(probe);
    QTRY_VERIFY(gcsPeer.received().contains(probe));
    gcsPeer.sendTo(gcsPort, "probe down");
    QTRY_VERIFY(farGot.endsWith("probe down"));
    QTRY_COMPARE(BoxWatcher::open(), 0);
}

void TstFaultsSerial::startStream(int size)
{
    blockSize = size;
    stream.start();
}

QByteArray TstFaultsSerial::sentDown() const
{
    QByteArray all;
    for (int i = 0; i < down; ++i)
        all += numberedBlock(i, blockSize);
    return all;
}

void TstFaultsSerial::portThatCannotOpen_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("reason"); // %1 the port; the system's words may follow

    const QString unusable = QStringLiteral("%1 cannot be used: ");
    QTest::newRow("does not exist") << "/dev/ttyRelayMissing0"
                                    << "DeviceNotFoundError"
                                    << "%1 does not exist";
    QTest::newRow("a directory") << "dir"
                                 << "UnknownError" << unusable;
    QTest::newRow("a regular file") << "file"
                                    << "UnsupportedOperationError" << unusable;
    QTest::newRow("not a terminal") << "/dev/null"
                                    << "UnsupportedOperationError" << unusable;
    QTest::newRow("held by vehicle 0")
        << "held"
        << "PermissionError"
        << "%1 is in use by another program or may not be opened by this user";
}

void TstFaultsSerial::portThatCannotOpen()
{
    QFETCH(QString, port);
    QFETCH(QString, error);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QTemporaryFile file;
    QVERIFY(file.open());
    if (port == QLatin1String("dir"))
        port = dir.path();
    else if (port == QLatin1String("file"))
        port = file.fileName();
    else if (port == QLatin1String("held"))
        port = pty->endA();

    TIoForm *spare = window->uavForm(1);
    setSerial(spare, port);
    QTest::mouseClick(spare->connectBtn, Qt::LeftButton);
    // The failed open is the last thing the link reports.
    QTRY_VERIFY(log->codes(kSpareId).contains(IOHandler::LinkOpenFailed));
    QVERIFY(unlocked(spare));
    QVERIFY(locked(window->uavForm(0)));
    QVERIFY(log->codes(kSerialId).isEmpty());
    QTRY_VERIFY(!boxes->seen.isEmpty());
    QTRY_COMPARE(BoxWatcher::open(), 0);
    QCOMPARE(boxes->seen.first().icon, QMessageBox::Warning);
    const QString text = boxes->texts().first();
    QVERIFY2(text.startsWith("Uav 2: open serial failed:" + error + ": " + reason.arg(port)),
             qPrintable(text));
    QCOMPARE(log->codes(kSpareId), (QVector<int>{IOHandler::LinkError, IOHandler::LinkOpenFailed}));
    QCOMPARE(boxes->seen.size(), 1);
}

// socat dies while data flows both ways; a new one appears under the same
// name, and the operator connects again.
void TstFaultsSerial::portVanishesAndReturns()
{
    startStream(10);
    QTRY_VERIFY(gcsPeer.received().size() > 10 && farGot.size() > 100);
    pty->kill();
    QTRY_COMPARE(log->codes(kSerialId),
                 (QVector<int>{IOHandler::LinkError, IOHandler::LinkClosed}));
    QTRY_VERIFY(unlocked(window->uavForm(0)));
    QTRY_COMPARE(boxes->seen.size(), 1);
    const QString text = boxes->texts().first();
    QVERIFY2(text.startsWith("Uav 1: serial port " + pty->endA() +
                             " was lost: unplugged, reset, or closed at its other end"),
             qPrintable(text));
    // The stream goes on into the void; nothing more is reported.
    const int downBefore = down;
    QTRY_VERIFY(down > downBefore + 20);
    QCOMPARE(log->codes(kSerialId), (QVector<int>{IOHandler::LinkError, IOHandler::LinkClosed}));
    QCOMPARE(boxes->seen.size(), 1);

    // What arrived before is whole and in order.
    QVERIFY(sentDown().startsWith(farGot));
    const QByteArrayList frames = gcsPeer.received();
    for (int i = 0; i < frames.size(); ++i)
        QCOMPARE(frames.at(i), numberedFrame(i));

    // The port comes back; the operator connects again and data flows.
    far.close();
    QVERIFY(pty->restart());
    QVERIFY(openFar());
    QTest::mouseClick(window->uavForm(0)->connectBtn, Qt::LeftButton);
    QTRY_VERIFY(locked(window->uavForm(0)));
    QCOMPARE(log->codes(kSerialId),
             (QVector<int>{IOHandler::LinkError, IOHandler::LinkClosed, IOHandler::LinkOpened}));
    const int downAgain = down, upAgain = up;
    QTRY_VERIFY(farGot.contains(numberedBlock(downAgain + 5, 10)));
    QTRY_VERIFY(gcsPeer.received().contains(numberedFrame(upAgain + 5)));
}

// The far end stops reading while the ground station keeps sending, until
// every buffer between the link and the far end is full. The link must go on
// serving the operator: a frame from the vehicle still reaches the ground
// station, and Disconnect is served at once. When the far end reads again,
// what arrives is whole and in order.
void TstFaultsSerial::peerStopsReading()
{
    farReading = false;
    far.setReadBufferSize(1);
    startStream(1024);
    QTest::qWait(1500);
    stopStream();
    QTest::qWait(200);

    const QByteArray probe = gcsFrame(3, 0x6b);
    far.write(probe);
    QElapsedTimer clock;
    clock.start();
    const bool probeArrived =
        QTest::qWaitFor([&] { return gcsPeer.received().contains(probe); }, 1000);
    const qint64 probeMs = clock.elapsed();
    QTest::mouseClick(window->uavForm(0)->disconnectBtn, Qt::LeftButton);
    clock.restart();
    const bool closed = QTest::qWaitFor([&] { return unlocked(window->uavForm(0)); }, 1000);
    const qint64 closeMs = clock.elapsed();

    far.setReadBufferSize(0);
    farReading = true;
    farGot += far.readAll();
    QTRY_VERIFY_WITH_TIMEOUT(unlocked(window->uavForm(0)), 10000);
    QTRY_VERIFY(gcsPeer.received().contains(probe));
    QTest::qWait(200);
    qInfo("peer not reading: %d KiB sent, %d KiB arrived in the end; vehicle frame through: "
          "%s (%lld ms); Disconnect served: %s (%lld ms)",
          down, int(farGot.size() / 1024), probeArrived ? "yes" : "no", probeMs,
          closed ? "yes" : "no", closeMs);
    QVERIFY(!farGot.isEmpty());
    QVERIFY(sentDown().startsWith(farGot));
    QCOMPARE(log->codes(kSerialId), QVector<int>{IOHandler::LinkClosed});
    QVERIFY(boxes->seen.isEmpty());

    QVERIFY2(probeArrived, "the link stopped receiving");
    QVERIFY2(closed, "Disconnect was not served");
}

void TstFaultsSerial::reconnectingPort_data()
{
    QTest::addColumn<bool>("disconnectWhileWaiting");
    QTest::newRow("the port comes back") << false;
    QTest::newRow("Disconnect while waiting") << true;
}

// With "Reconnect" a lost port is tried again by itself: one box for the
// loss, the form stays locked meanwhile, and data flows again once it is
// back; Disconnect ends the wait.
void TstFaultsSerial::reconnectingPort()
{
    QFETCH(bool, disconnectWhileWaiting);
    TIoForm *serial = window->uavForm(0);
    QTest::mouseClick(serial->disconnectBtn, Qt::LeftButton);
    QTRY_VERIFY(unlocked(serial));
    serial->reconnectCheck->setChecked(true);
    QTest::mouseClick(serial->connectBtn, Qt::LeftButton);
    QTRY_VERIFY(locked(serial));
    gcsPeer.sendTo(gcsPort, "before the loss");
    QTRY_VERIFY(farGot.endsWith("before the loss"));
    log = std::make_unique<linktest::EventLog>();

    pty->kill();
    QTRY_COMPARE(log->codes(kSerialId),
                 (QVector<int>{IOHandler::LinkError, IOHandler::LinkWaiting}));
    QTRY_COMPARE(boxes->seen.size(), 1);
    QVERIFY2(boxes->seen.first().text.contains(" was lost: unplugged, reset, or closed at its "
                                               "other end"),
             qPrintable(boxes->seen.first().text));
    QVERIFY(locked(serial));
    if (disconnectWhileWaiting) {
        QTest::mouseClick(serial->disconnectBtn, Qt::LeftButton);
        QTRY_VERIFY(unlocked(serial));
    }
    far.close();
    QVERIFY(pty->restart());
    QVERIFY(openFar());
    if (disconnectWhileWaiting) {
        // Three retry periods and more: no try is made any more.
        QTest::qWait(1600);
        QCOMPARE(log->codes(kSerialId), (QVector<int>{IOHandler::LinkError, IOHandler::LinkWaiting,
                                                      IOHandler::LinkClosed}));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(log->codes(kSerialId).size(), 3, 5000);
        QCOMPARE(log->codes(kSerialId).last(), int(IOHandler::LinkOpened));
        gcsPeer.sendTo(gcsPort, "after the return");
        QTRY_VERIFY(farGot.endsWith("after the return"));
        QCOMPARE(boxes->seen.size(), 1);
        QCOMPARE(TLinkManager::instance()->linkRef(kSerialId)->countersSnapshot().reconnects,
                 quint64(1));
        QTest::mouseClick(serial->disconnectBtn, Qt::LeftButton);
        QTRY_VERIFY(unlocked(serial));
    }
    // Stored without the option again, as the other cases expect it.
    serial->reconnectCheck->setChecked(false);
    QTest::mouseClick(serial->connectBtn, Qt::LeftButton);
    QTRY_VERIFY(locked(serial));
}

QTEST_MAIN(TstFaultsSerial)
#include "tst_faults_serial.moc"
