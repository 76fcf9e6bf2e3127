// Serial links on a pseudo-terminal pair made by socat: the link opens one
// end, the test talks through the other.

#include "link/tlinkerrors.h"
#include "linktestsupport.h"
#include "testsupport.h"

#include <QSerialPort>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace linktest;

namespace {

constexpr int linkId = 12;

// The line settings of a terminal as the kernel holds them.
bool lineSettings(const QString &path, termios *settings)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool ok = tcgetattr(fd, settings) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class TestIoHandlerSerial : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void bytesBothWays();
    void lineSettingsApplied_data();
    void lineSettingsApplied();
    void serialAndUdpReleaseEachOther_data();
    void serialAndUdpReleaseEachOther();
    void missingPortFails_data();
    void missingPortFails();
    void hangUpClosesLink();
    void portThatTakesNothingDropsAndCounts();

private:
    std::unique_ptr<testsupport::PtyPair> pty;
};

void TestIoHandlerSerial::init()
{
    pty = std::make_unique<testsupport::PtyPair>();
    // A port that does not exist needs no terminal pair.
    if (QTest::currentTestFunction() == QByteArray("missingPortFails"))
        return;
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        QSKIP("socat is not installed; it makes the pseudo-terminal pair");
    QVERIFY(pty->isReady());
}

void TestIoHandlerSerial::bytesBothWays()
{
    LinkPtr link = startLink(linkId);
    Blocks blocks(link.get());
    QVERIFY(request(link.get(), serial(linkId, pty->endA()), true));

    QSerialPort far;
    far.setPortName(pty->endB());
    QVERIFY(far.open(QIODevice::ReadWrite));

    const QByteArray toLink("\x00\x01 to the link \xff", 16);
    far.write(toLink);
    QTRY_COMPARE(blocks.joined(), toLink);
    QCOMPARE(blocks.received.first().device.id, linkId);
    QCOMPARE(blocks.received.first().device.conType, IOHandler::Serial);

    emit link->sendBuffSignal("from the link");
    QByteArray heard;
    QTRY_COMPARE((heard += far.readAll()), QByteArray("from the link"));
    // A send is counted just after it went out.
    QTRY_COMPARE(link->countersSnapshot().txBlocks, quint64(1));
    const TLinkCounters::Snapshot counts = link->countersSnapshot();
    QCOMPARE(counts.rxBytes, quint64(toLink.size()));
    QCOMPARE(counts.rxBlocks, quint64(blocks.received.size()));
    QCOMPARE(counts.txBytes, quint64(heard.size()));
}

void TestIoHandlerSerial::lineSettingsApplied_data()
{
    QTest::addColumn<QString>("nameSuffix");
    QTest::addColumn<QVector<int>>("request"); // baud, data bits, stop bits, parity
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("twoStops");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");

    QTest::newRow("baud 0 ignores the rest")
        << QString() << QVector<int>{0, 5, 2, 3} << int(B115200) << false << 8 << 0;
    QTest::newRow("9600 7E2") << QString() << QVector<int>{9600, 7, 2, 2} << int(B9600) << true << 7
                              << 2;
    QTest::newRow("name with description")
        << QStringLiteral(": USB serial (ttyA)") << QVector<int>{57600, 6, 1, 3} << int(B57600)
        << false << 6 << 3;
}

void TestIoHandlerSerial::lineSettingsApplied()
{
    QFETCH(QString, nameSuffix);
    QFETCH(QVector<int>, request);

    EventLog log;
    LinkPtr link = startLink(linkId);
    const IOHandler::DeviceInfo device =
        serial(linkId, pty->endA() + nameSuffix, request[0], request[1], request[2], request[3]);
    QVERIFY(linktest::request(link.get(), device, true));

    // Speed and stop bits as the terminal holds them.
    termios settings{};
    QVERIFY(lineSettings(pty->endA(), &settings));
    QTEST(int(cfgetospeed(&settings)), "speed");
    QTEST(int(cfgetispeed(&settings)), "speed");
    QTEST(bool(settings.c_cflag & CSTOPB), "twoStops");
    // A pseudo terminal keeps only 8 bits without parity, so these two are
    // read from the link's port instead.
    int dataBits = 0, parity = -1;
    inLinkThread(link.get(), [&] {
        const QSerialPort *port = link->findChild<QSerialPort *>();
        dataBits = port->dataBits();
        parity = port->parity();
    });
    QTEST(dataBits, "dataBits");
    QTEST(parity, "parity");
    QTRY_COMPARE(log.codes(linkId), QVector<int>{IOHandler::LinkOpened});
    QCOMPARE(IOHandler::deviceFromVariant(log.events.first().var).serial.portName,
             device.serial.portName);
}

void TestIoHandlerSerial::serialAndUdpReleaseEachOther_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QVector<int>>("events");
    QTest::addColumn<int>("finalType");

    QTest::newRow("open, close") << "s+ s-"
                                 << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed} << 0;
    QTest::newRow("same open twice")
        << "s+ s+" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkOpened} << 1;
    QTest::newRow("unicast after serial")
        << "s+ u+"
        << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed, IOHandler::LinkOpened} << 2;
    QTest::newRow("unicast close after serial")
        << "s+ u-"
        << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed, IOHandler::LinkClosed} << 0;
    QTest::newRow("multicast after serial")
        << "s+ m+"
        << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed, IOHandler::LinkOpened} << 3;
    QTest::newRow("serial after unicast")
        << "u+ s+" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkOpened} << 1;
    QTest::newRow("serial close after unicast")
        << "u+ s-" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkClosed} << 0;
    QTest::newRow("serial after multicast")
        << "m+ s+" << QVector<int>{IOHandler::LinkOpened, IOHandler::LinkOpened} << 1;
}

void TestIoHandlerSerial::serialAndUdpReleaseEachOther()
{
    QFETCH(QString, steps);
    QFETCH(QVector<int>, events);
    QFETCH(int, finalType);

    EventLog log;
    LinkPtr link = startLink(linkId);
    const Scenario scenario{linkId, testsupport::freeUdpPort(), pty->endA()};
    scenario.run(link.get(), steps);
    QCoreApplication::processEvents();
    QTRY_COMPARE(log.codes(linkId), events);
    QCOMPARE(int(deviceOf(link.get()).conType), finalType);
    QCOMPARE(portFree(scenario.port), finalType < IOHandler::UdpUnicast);

    // The serial port is open exactly when it is the link's device.
    bool serialOpen = false;
    inLinkThread(link.get(), [&] {
        const auto *port = link->findChild<QSerialPort *>();
        serialOpen = port && port->isOpen();
    });
    QCOMPARE(serialOpen, finalType == IOHandler::Serial);
    QVERIFY(log.messages.isEmpty());
}

void TestIoHandlerSerial::missingPortFails_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("text");

    const QString notFound = QStringLiteral(
        "open serial failed:DeviceNotFoundError: /dev/ttyRelayMissing0 does not exist");
    QTest::newRow("no such device") << QStringLiteral("/dev/ttyRelayMissing0") << notFound;
    QTest::newRow("with description") << QStringLiteral("/dev/ttyRelayMissing0: gone") << notFound;
    QTest::newRow("empty name") << QString()
                                << QStringLiteral(
                                       "open serial failed:UnknownError: no port was chosen");
}

void TestIoHandlerSerial::missingPortFails()
{
    QFETCH(QString, portName);
    QFETCH(QString, text);

    EventLog log;
    LinkPtr link = startLink(linkId);
    QVERIFY(!request(link.get(), serial(linkId, portName), true));
    QTRY_COMPARE(log.codes(linkId),
                 (QVector<int>{IOHandler::LinkError, IOHandler::LinkOpenFailed}));
    QCOMPARE(log.events.first().var.toString(), text);
    QCOMPARE(IOHandler::deviceFromVariant(log.events.last().var).conType, IOHandler::None);
    QTRY_COMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages.first().text, "Uav 3: " + text);
    QCOMPARE(log.messages.first().level, Warn);
    QCOMPARE(log.messages.first().type, BoxMsg);
    QCOMPARE(log.messages.first().id, linkId);
}

void TestIoHandlerSerial::hangUpClosesLink()
{
    EventLog log;
    LinkPtr link = startLink(linkId);
    QVERIFY(request(link.get(), serial(linkId, pty->endA()), true));
    pty->kill();

    QTRY_COMPARE(log.codes(linkId), (QVector<int>{IOHandler::LinkOpened, IOHandler::LinkError,
                                                  IOHandler::LinkClosed}));
    const QString text = log.events.at(1).var.toString();
    QVERIFY2(text == TLinkErrors::serialLost(pty->endA()), qPrintable(text));
    QTRY_COMPARE(log.messages.size(), 1);
    QCOMPARE(log.messages.first().text, "Uav 3: " + text);
    QCOMPARE(deviceOf(link.get()).conType, IOHandler::None);

    // The link lives on and serves the next request.
    QVERIFY(request(link.get(), unicast(linkId, testsupport::freeUdpPort()), true));
    QTRY_COMPARE(log.codes(linkId), (QVector<int>{IOHandler::LinkOpened, IOHandler::LinkError,
                                                  IOHandler::LinkClosed, IOHandler::LinkOpened}));
}

// Nobody reads the far end: once the port holds its bound unsent, blocks are
// dropped, each one counted, and the operator hears of it once, even when the
// far end takes a little now and then and a few blocks squeeze in.
void TestIoHandlerSerial::portThatTakesNothingDropsAndCounts()
{
    EventLog log;
    LinkPtr link = startLink(linkId);
    QVERIFY(request(link.get(), serial(linkId, pty->endA()), true));
    const auto sendAndSettle = [&](int blocks) {
        const TLinkCounters::Snapshot before = link->countersSnapshot();
        for (int n = 0; n < blocks; ++n)
            emit link->sendBuffSignal(QByteArray(1024, char(n)));
        QTRY_COMPARE(link->countersSnapshot().txBlocks + link->countersSnapshot().dropped,
                     before.txBlocks + before.dropped + quint64(blocks));
    };
    sendAndSettle(int(IOHandler::maxSerialBacklogBytes / 1024) * 3 / 2);
    const TLinkCounters::Snapshot counts = link->countersSnapshot();
    QVERIFY2(counts.dropped > 0, qPrintable(QString::number(counts.txBlocks)));
    QCOMPARE(counts.sendErrors, quint64(0));
    QTRY_COMPARE(log.messages.size(), 1);
    QVERIFY(log.messages.first().text.contains(QLatin1String("does not take data")));

    QSerialPort far;
    far.setPortName(pty->endB());
    // The far end takes 64 KiB, and at most as much again into its buffer
    // while the test waits; then it stops reading, though it stays open.
    far.setReadBufferSize(64 * 1024);
    QVERIFY2(far.open(QIODevice::ReadOnly), qPrintable(far.errorString()));
    qint64 taken = 0;
    QTRY_VERIFY((taken += far.read(64 * 1024 - taken).size()) >= 64 * 1024);
    // More than the far end could have freed, so that the stall comes back.
    sendAndSettle(int(IOHandler::maxSerialBacklogBytes / 1024));
    QVERIFY(link->countersSnapshot().txBlocks > counts.txBlocks);
    QVERIFY(link->countersSnapshot().dropped > counts.dropped);
    QCOMPARE(log.messages.size(), 1);
}

QTEST_MAIN(TestIoHandlerSerial)
#include "tst_iohandler_serial.moc"
