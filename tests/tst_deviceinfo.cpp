#include "link/iohandler.h"

#include <QNetworkInterface>
#include <QThread>
#include <QtTest>

namespace {
IOHandler::DeviceInfo fullRecord()
{
    IOHandler::DeviceInfo d{};
    d.id = 11;
    d.conType = IOHandler::UdpMulticast;
    d.serial.portName = QStringLiteral("ttyS3: Some adapter");
    d.serial.baudRate = 921600;
    d.serial.dataBits = 7;
    d.serial.stopBits = 3;
    d.serial.parity = 5;
    d.udp.localAddr = QHostAddress(QStringLiteral("239.255.1.2"));
    d.udp.localPort = 4701;
    d.udp.remoteAddr = QHostAddress(QStringLiteral("::1"));
    d.udp.remotePort = 65535;
    const auto interfaces = QNetworkInterface::allInterfaces();
    if (!interfaces.isEmpty())
        d.udp.netInterface = interfaces.first();
    d.udp.loopBack = true;
    return d;
}

void compareRecords(const IOHandler::DeviceInfo &a, const IOHandler::DeviceInfo &b)
{
    QCOMPARE(a.id, b.id);
    QCOMPARE(a.conType, b.conType);
    QCOMPARE(a.serial.portName, b.serial.portName);
    QCOMPARE(a.serial.baudRate, b.serial.baudRate);
    QCOMPARE(a.serial.dataBits, b.serial.dataBits);
    QCOMPARE(a.serial.stopBits, b.serial.stopBits);
    QCOMPARE(a.serial.parity, b.serial.parity);
    QCOMPARE(a.udp.localAddr, b.udp.localAddr);
    QCOMPARE(a.udp.localPort, b.udp.localPort);
    QCOMPARE(a.udp.remoteAddr, b.udp.remoteAddr);
    QCOMPARE(a.udp.remotePort, b.udp.remotePort);
    QCOMPARE(a.udp.netInterface.index(), b.udp.netInterface.index());
    QCOMPARE(a.udp.netInterface.name(), b.udp.netInterface.name());
    QCOMPARE(a.udp.netInterface.isValid(), b.udp.netInterface.isValid());
    QCOMPARE(a.udp.loopBack, b.udp.loopBack);
}

// Emits a record from a thread of its own.
class Sender : public QObject
{
    Q_OBJECT
signals:
    void record(IOHandler::DeviceInfo device, QVariant packed);
};
} // namespace

class TstDeviceInfo : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { IOHandler::registerMetaTypes(); }
    void registeredNames();
    void valueInitialised();
    void variantRoundTrip();
    void queuedAcrossThreads();
    void defaultDevice_data();
    void defaultDevice();
};

void TstDeviceInfo::registeredNames()
{
    QCOMPARE(QMetaType::type("IOHandler::DeviceInfo"), qMetaTypeId<IOHandler::DeviceInfo>());
    const int conType = QMetaType::type("IOHandler::ConType");
    QVERIFY(conType != QMetaType::UnknownType);
    QVERIFY(QMetaType::typeFlags(conType) & QMetaType::IsEnumeration);
    QCOMPARE(QMetaType::sizeOf(conType), 4);
    QVERIFY(QMetaType::type("QHostAddress") != QMetaType::UnknownType);
    QVERIFY(QMetaType::type("QSerialPort::SerialPortError") != QMetaType::UnknownType);
}

void TstDeviceInfo::valueInitialised()
{
    const IOHandler::DeviceInfo d = IOHandler::deviceFromVariant(QVariant());
    QCOMPARE(d.id, 0);
    QCOMPARE(d.conType, IOHandler::None);
    QCOMPARE(d.serial.baudRate, 0);
    QVERIFY(d.serial.portName.isEmpty());
    QVERIFY(d.udp.localAddr.isNull());
    QVERIFY(d.udp.remoteAddr.isNull());
    QCOMPARE(d.udp.localPort, quint16(0));
    QVERIFY(!d.udp.netInterface.isValid());
    QVERIFY(!d.udp.loopBack);
}

void TstDeviceInfo::variantRoundTrip()
{
    const IOHandler::DeviceInfo original = fullRecord();
    const QVariant packed = QVariant::fromValue(original);
    QCOMPARE(packed.userType(), QMetaType::type("IOHandler::DeviceInfo"));
    compareRecords(IOHandler::deviceFromVariant(packed), original);
    compareRecords(packed.value<IOHandler::DeviceInfo>(), original);
}

void TstDeviceInfo::queuedAcrossThreads()
{
    const IOHandler::DeviceInfo original = fullRecord();
    QThread thread;
    Sender sender;
    sender.moveToThread(&thread);
    thread.start();

    IOHandler::DeviceInfo direct{};
    IOHandler::DeviceInfo unpacked{};
    QThread *deliveredIn = nullptr;
    connect(&sender, &Sender::record, this, [&](IOHandler::DeviceInfo device, QVariant packed) {
        direct = device;
        unpacked = IOHandler::deviceFromVariant(packed);
        deliveredIn = QThread::currentThread();
    });
    QSignalSpy spy(&sender, &Sender::record);
    QMetaObject::invokeMethod(&sender,
                              [&] { emit sender.record(original, QVariant::fromValue(original)); });
    QVERIFY(spy.wait(5000) || spy.count() == 1);
    QTRY_VERIFY(deliveredIn != nullptr);
    QCOMPARE(deliveredIn, QThread::currentThread());
    compareRecords(direct, original);
    compareRecords(unpacked, original);
    thread.quit();
    thread.wait();
}

void TstDeviceInfo::defaultDevice_data()
{
    QTest::addColumn<QVariant>("device");
    QTest::addColumn<bool>("isDefault");
    QTest::newRow("int zero") << QVariant(0) << true;
    QTest::newRow("unsigned zero") << QVariant(0u) << true;
    QTest::newRow("double zero") << QVariant(0.0) << true;
    QTest::newRow("long long zero") << QVariant(qlonglong(0)) << true;
    QTest::newRow("invalid") << QVariant() << false;
    QTest::newRow("non-zero int") << QVariant(7) << false;
    QTest::newRow("text") << QVariant(QStringLiteral("abc")) << false;
    QTest::newRow("record") << QVariant::fromValue(fullRecord()) << false;
}

void TstDeviceInfo::defaultDevice()
{
    QFETCH(QVariant, device);
    QFETCH(bool, isDefault);
    QCOMPARE(IOHandler::isDefaultDevice(device), isDefault);
    if (isDefault || device.userType() == qMetaTypeId<IOHandler::DeviceInfo>())
        return;
    // Anything that is neither the default nor a record unpacks to nothing.
    const IOHandler::DeviceInfo d = IOHandler::deviceFromVariant(device);
    QCOMPARE(d.id, 0);
    QCOMPARE(d.conType, IOHandler::None);
}

QTEST_GUILESS_MAIN(TstDeviceInfo)
#include "tst_deviceinfo.moc"
