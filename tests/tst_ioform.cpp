// Port settings form and its settings file.

#include "link/iohandler.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tserialcombox.h"
#include "ui/tioform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QSerialPortInfo>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {
const QString kIni = QStringLiteral("./cfg/app.ini");
const QString kUnicast = QStringLiteral("Udp单播");
const QString kMulticast = QStringLiteral("Udp组播");

QStringList allKeys()
{
    return {QStringLiteral("AutoReconnect"),  QStringLiteral("BaudRate"),
            QStringLiteral("ConType"),        QStringLiteral("DataBits"),
            QStringLiteral("FixedPeer"),      QStringLiteral("LocalIp"),
            QStringLiteral("LocalIpGroup"),   QStringLiteral("LocalPort"),
            QStringLiteral("LocalPortGroup"), QStringLiteral("LoopBack"),
            QStringLiteral("Parity"),         QStringLiteral("RemoteIp"),
            QStringLiteral("RemotePort"),     QStringLiteral("SerialPortName"),
            QStringLiteral("StopBits"),       QStringLiteral("UdpNetInterface")};
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// Names of the controls that are not hidden, in layout order.
// The form's controls by name, in layout order. A group field's edit stands
// for it where enabled state is asked: its label stays lit when locked.
QList<QPair<QString, QWidget *>> namedControls(const TIoForm &form, bool groupEdits)
{
    return {
        {QStringLiteral("conType"), form.conTypeCombox},
        {QStringLiteral("serial"), form.serialCombox},
        {QStringLiteral("baud"), form.baudCombox},
        {QStringLiteral("dataBits"), form.dataBitsCombox},
        {QStringLiteral("stopBits"), form.stopBitsCombox},
        {QStringLiteral("parity"), form.parityCombox},
        {QStringLiteral("loopBack"), form.loopBackCheck},
        {QStringLiteral("netCard"), form.netCardCombox},
        {QStringLiteral("groupIp"),
         groupEdits ? static_cast<QWidget *>(form.groupIpEdit->lineEdit()) : form.groupIpEdit},
        {QStringLiteral("groupPort"),
         groupEdits ? static_cast<QWidget *>(form.groupPortEdit->lineEdit()) : form.groupPortEdit},
        {QStringLiteral("localIp"), form.localIpEdit},
        {QStringLiteral("localPort"), form.localPortEdit},
        {QStringLiteral("remoteIp"), form.remoteIpEdit},
        {QStringLiteral("remotePort"), form.remotePortEdit},
        {QStringLiteral("reconnect"), form.reconnectCheck},
        {QStringLiteral("fixedPeer"), form.fixedPeerCheck},
        {QStringLiteral("connect"), form.connectBtn},
        {QStringLiteral("disconnect"), form.disconnectBtn}};
}

QStringList visibleControls(const TIoForm &form)
{
    QStringList names;
    for (const auto &c : namedControls(form, false))
        if (c.second->isVisibleTo(const_cast<TIoForm *>(&form)))
            names << c.first;
    return names;
}

QStringList enabledControls(const TIoForm &form)
{
    QStringList names;
    for (const auto &c : namedControls(form, true))
        if (c.second->isEnabled())
            names << c.first;
    return names;
}

QStringList comboEntries(const QComboBox *box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

QStringList interfaceNames()
{
    QStringList names;
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces())
        names << i.humanReadableName();
    return names;
}

const QStringList kSerialSet{
    QStringLiteral("conType"),   QStringLiteral("serial"),   QStringLiteral("baud"),
    QStringLiteral("dataBits"),  QStringLiteral("stopBits"), QStringLiteral("parity"),
    QStringLiteral("reconnect"), QStringLiteral("connect"),  QStringLiteral("disconnect")};
const QStringList kUnicastSet{QStringLiteral("conType"),    QStringLiteral("localIp"),
                              QStringLiteral("localPort"),  QStringLiteral("remoteIp"),
                              QStringLiteral("remotePort"), QStringLiteral("fixedPeer"),
                              QStringLiteral("connect"),    QStringLiteral("disconnect")};
const QStringList kMulticastSet{QStringLiteral("conType"),   QStringLiteral("loopBack"),
                                QStringLiteral("netCard"),   QStringLiteral("groupIp"),
                                QStringLiteral("groupPort"), QStringLiteral("reconnect"),
                                QStringLiteral("connect"),   QStringLiteral("disconnect")};
const QString kTcpClient = QStringLiteral("Tcp客户端");
const QString kTcpServer = QStringLiteral("Tcp服务端");
const QStringList kTcpClientSet{"conType", "remoteIp", "remotePort", "connect", "disconnect"};
const QStringList kTcpServerSet{"conType",   "localIp", "localPort", "remoteIp",
                                "fixedPeer", "connect", "disconnect"};

void pressConnect(TIoForm &form)
{
    QTest::mouseClick(form.connectBtn, Qt::LeftButton);
}
} // namespace

class TstIoForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultState();
    void layoutAndSizes();
    void visibleSetPerType_data();
    void visibleSetPerType();
    void enabledSetPerFlag_data();
    void enabledSetPerFlag();
    void groupLabelsStayEnabledWhenLocked();
    void deviceInfoSerial_data();
    void deviceInfoSerial();
    void deviceInfoUnicast_data();
    void deviceInfoUnicast();
    void deviceInfoMulticastDefaults();
    void deviceInfoMulticastInterface();
    void deviceInfoMulticastNoInterface_data();
    void deviceInfoMulticastNoInterface();
    void noStyleSheetResource();

    void nothingWrittenByBuildingOrDestroying();
    void connectWritesAllTenKeys_data();
    void connectWritesAllTenKeys();
    void disconnectWritesNothing();
    void remotePortStoredAsNumber();
    void localPortStoredAsText();
    void loopBackStoredAsCheckState();
    void loopBackNotANumberUnchecks();
    void conTypeInAnyCase();
    void unknownInterfaceKeepsFirst();
    void serialLineRestored();
    void keystrokes_data();
    void keystrokes();
    void hiddenControlsStoredToo();
    void multicastGroupInFileOpensOnMulticast();
    void groupsAreSeparate();
};

void TstIoForm::init()
{
    QDir(QStringLiteral("cfg")).removeRecursively();
    QVERIFY(!QFile::exists(kIni));
}

void TstIoForm::cleanup()
{
    QDir(QStringLiteral("cfg")).removeRecursively();
}

void TstIoForm::defaultState()
{
    TIoForm form(QStringLiteral("Connect"));
    QCOMPARE(form.getName(), QStringLiteral("Connect"));
    QCOMPARE(form.getConType(), 1);
    QVERIFY(!form.getConFlag());
    QCOMPARE(form.conTypeCombox->currentText(), QStringLiteral("Serial"));
    QCOMPARE(comboEntries(form.conTypeCombox->comboBox()),
             (QStringList{QStringLiteral("Serial"), kUnicast, kMulticast, kTcpClient, kTcpServer}));
    QCOMPARE(form.baudCombox->currentText(), QStringLiteral("115200"));
    QCOMPARE(comboEntries(form.baudCombox->comboBox()),
             (QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200",
                          "230400", "460800", "921600"}));
    QCOMPARE(form.dataBitsCombox->currentText(), QStringLiteral("8"));
    QCOMPARE(comboEntries(form.dataBitsCombox->comboBox()), (QStringList{"5", "6", "7", "8"}));
    QCOMPARE(form.stopBitsCombox->currentText(), QStringLiteral("1"));
    QCOMPARE(comboEntries(form.stopBitsCombox->comboBox()), (QStringList{"1", "1.5", "2"}));
    QCOMPARE(form.parityCombox->currentText(), QStringLiteral("NONE"));
    QCOMPARE(comboEntries(form.parityCombox->comboBox()),
             (QStringList{"NONE", "EVEN", "ODD", "SPACE", "MARK"}));
    QCOMPARE(comboEntries(form.netCardCombox->comboBox()), interfaceNames());
    if (form.netCardCombox->comboBox()->count() > 0)
        QCOMPARE(form.netCardCombox->comboBox()->currentIndex(), 0);
    QCOMPARE(form.netCardCombox->label()->text(), QStringLiteral("网卡:"));
    QCOMPARE(form.serialCombox->count(), QSerialPortInfo::availablePorts().size());
    if (form.serialCombox->count() > 0)
        QCOMPARE(form.serialCombox->currentIndex(), 0);
    QVERIFY(!form.loopBackCheck->isChecked());
    QVERIFY(form.loopBackCheck->text().isEmpty());

    QCOMPARE(form.groupIpEdit->text(), QStringLiteral("224.0.0.31"));
    QCOMPARE(form.groupPortEdit->text(), QStringLiteral("4701"));
    QCOMPARE(form.localIpEdit->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(form.localPortEdit->text(), QStringLiteral("7001"));
    QCOMPARE(form.remoteIpEdit->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(form.remotePortEdit->text(), QStringLiteral("9000"));
    QCOMPARE(form.groupIpEdit->label()->text(), QStringLiteral("LocalIp"));
    QCOMPARE(form.groupPortEdit->label()->text(), QStringLiteral("LocalPort"));
    QCOMPARE(form.localIpEdit->label()->text(), QStringLiteral("LocalIp"));
    QCOMPARE(form.localPortEdit->label()->text(), QStringLiteral("LocalPort"));
    QCOMPARE(form.remoteIpEdit->label()->text(), QStringLiteral("RemoteIp"));
    QCOMPARE(form.remotePortEdit->label()->text(), QStringLiteral("RemotePort"));
    for (TLabelLineEdit *edit : {form.groupIpEdit, form.groupPortEdit, form.localIpEdit,
                                 form.localPortEdit, form.remoteIpEdit, form.remotePortEdit}) {
        QVERIFY(edit->unit());
        QVERIFY(edit->unit()->text().isEmpty());
    }
    QCOMPARE(form.connectBtn->text(), QStringLiteral("Connect"));
    QCOMPARE(form.disconnectBtn->text(), QStringLiteral("Disconnect"));

    QCOMPARE(visibleControls(form), kSerialSet);
    QStringList enabledExpected{"conType",   "serial",    "baud",     "dataBits",   "stopBits",
                                "parity",    "loopBack",  "netCard",  "groupIp",    "groupPort",
                                "localIp",   "localPort", "remoteIp", "remotePort", "reconnect",
                                "fixedPeer", "connect"};
    QCOMPARE(enabledControls(form), enabledExpected);
    QVERIFY(!form.disconnectBtn->isEnabled());
    QCOMPARE(QString::fromLatin1(form.metaObject()->className()), QStringLiteral("TIoForm"));
    QCOMPARE(QString::fromLatin1(form.metaObject()->superClass()->className()),
             QStringLiteral("TContainer"));
}

void TstIoForm::layoutAndSizes()
{
    TIoForm form(QStringLiteral("Con0"));
    auto *layout = qobject_cast<QHBoxLayout *>(form.layout());
    QVERIFY(layout);
    QCOMPARE(layout, form.mainLayout);
    QCOMPARE(layout->spacing(), 10);
    const QList<QWidget *> order{form.conTypeCombox,  form.serialCombox,   form.baudCombox,
                                 form.dataBitsCombox, form.stopBitsCombox, form.parityCombox,
                                 form.loopBackCheck,  form.netCardCombox,  form.groupIpEdit,
                                 form.groupPortEdit,  form.localIpEdit,    form.localPortEdit,
                                 form.remoteIpEdit,   form.remotePortEdit, form.reconnectCheck,
                                 form.fixedPeerCheck, form.connectBtn,     form.disconnectBtn};
    QCOMPARE(layout->count(), order.size());
    for (int i = 0; i < order.size(); ++i) {
        QCOMPARE(layout->itemAt(i)->widget(), order.at(i));
        QCOMPARE(layout->stretch(i), 0);
        QCOMPARE(order.at(i)->parentWidget(), static_cast<QWidget *>(&form));
    }
    QCOMPARE(form.conTypeCombox->minimumHeight(), 40);
    QCOMPARE(form.conTypeCombox->maximumHeight(), 40);
    QCOMPARE(form.serialCombox->minimumWidth(), 120);
    QCOMPARE(form.serialCombox->minimumHeight(), 30);
    QCOMPARE(form.serialCombox->maximumHeight(), 30);
    QCOMPARE(form.serialCombox->font().pixelSize(), 18);
    for (TLabelCombox *box : {form.baudCombox, form.dataBitsCombox, form.stopBitsCombox,
                              form.parityCombox, form.netCardCombox}) {
        QCOMPARE(box->comboBox()->minimumHeight(), 30);
        QCOMPARE(box->comboBox()->maximumHeight(), 30);
    }
    for (TLabelLineEdit *edit : {form.groupIpEdit, form.groupPortEdit, form.localIpEdit,
                                 form.localPortEdit, form.remoteIpEdit, form.remotePortEdit}) {
        QCOMPARE(edit->lineEdit()->minimumHeight(), 30);
        QCOMPARE(edit->lineEdit()->maximumHeight(), 30);
    }
    for (TLabelLineEdit *edit : {form.groupPortEdit, form.localPortEdit, form.remotePortEdit})
        QCOMPARE(edit->lineEdit()->maximumWidth(), 100);
    for (TPushButton *button : {form.connectBtn, form.disconnectBtn}) {
        QCOMPARE(button->minimumHeight(), 30);
        QCOMPARE(button->maximumHeight(), 30);
    }
}

void TstIoForm::visibleSetPerType_data()
{
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<int>("conType");
    QTest::addColumn<QStringList>("visible");
    QTest::newRow("serial") << QStringLiteral("Serial") << 1 << kSerialSet;
    QTest::newRow("unicast") << kUnicast << 2 << kUnicastSet;
    QTest::newRow("multicast") << kMulticast << 3 << kMulticastSet;
    QTest::newRow("tcp client") << kTcpClient << 4 << kTcpClientSet;
    QTest::newRow("tcp server") << kTcpServer << 5 << kTcpServerSet;
}

void TstIoForm::visibleSetPerType()
{
    QFETCH(QString, typeText);
    QFETCH(int, conType);
    QFETCH(QStringList, visible);
    TIoForm form(QStringLiteral("Connect"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Through another type first, so every row sees a real change.
    form.conTypeCombox->comboBox()->setCurrentText(conType == 3 ? kUnicast : kMulticast);
    form.conTypeCombox->comboBox()->setCurrentText(typeText);
    QCOMPARE(form.getConType(), conType);
    QCOMPARE(visibleControls(form), visible);
    QVERIFY(form.connectBtn->isVisible());
    QVERIFY(form.disconnectBtn->isVisible());
}

void TstIoForm::enabledSetPerFlag_data()
{
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<bool>("flag");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QStringList>("enabled");
    const QStringList closed{"conType",   "serial",    "baud",     "dataBits",   "stopBits",
                             "parity",    "loopBack",  "netCard",  "groupIp",    "groupPort",
                             "localIp",   "localPort", "remoteIp", "remotePort", "reconnect",
                             "fixedPeer", "connect"};
    const QStringList open{"disconnect"};
    QTest::newRow("serial open") << QStringLiteral("Serial") << true << kSerialSet << open;
    QTest::newRow("serial closed") << QStringLiteral("Serial") << false << kSerialSet << closed;
    QTest::newRow("unicast open") << kUnicast << true << kUnicastSet << open;
    QTest::newRow("unicast closed") << kUnicast << false << kUnicastSet << closed;
    QTest::newRow("multicast open") << kMulticast << true << kMulticastSet << open;
    QTest::newRow("multicast closed") << kMulticast << false << kMulticastSet << closed;
    QTest::newRow("tcp client open") << kTcpClient << true << kTcpClientSet << open;
    QTest::newRow("tcp server closed") << kTcpServer << false << kTcpServerSet << closed;
}

void TstIoForm::enabledSetPerFlag()
{
    QFETCH(QString, typeText);
    QFETCH(bool, flag);
    QFETCH(QStringList, visible);
    QFETCH(QStringList, enabled);
    TIoForm form(QStringLiteral("Connect"));
    form.conTypeCombox->comboBox()->setCurrentText(typeText);
    form.setConFlag(true);
    if (!flag)
        form.setConFlag(false);
    QCOMPARE(form.getConFlag(), flag);
    QCOMPARE(enabledControls(form), enabled);
    QCOMPARE(visibleControls(form), visible);
}

void TstIoForm::groupLabelsStayEnabledWhenLocked()
{
    TIoForm form(QStringLiteral("Connect"));
    form.conTypeCombox->comboBox()->setCurrentText(kMulticast);
    form.setConFlag(true);
    QVERIFY(form.groupIpEdit->isEnabled());
    QVERIFY(form.groupIpEdit->label()->isEnabled());
    QVERIFY(!form.groupIpEdit->lineEdit()->isEnabled());
    QVERIFY(form.groupPortEdit->label()->isEnabled());
    QVERIFY(!form.groupPortEdit->lineEdit()->isEnabled());
    // The other composites are locked as a whole, label included.
    QVERIFY(!form.netCardCombox->label()->isEnabled());
    QVERIFY(!form.localIpEdit->label()->isEnabled());
    form.setConFlag(false);
    QVERIFY(form.groupIpEdit->lineEdit()->isEnabled());
    QVERIFY(form.localIpEdit->label()->isEnabled());
    QVERIFY(!form.disconnectBtn->isEnabled());
}

void TstIoForm::deviceInfoSerial_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("dataBits");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<int>("expBaud");
    QTest::addColumn<int>("expDataBits");
    QTest::addColumn<int>("expStopBits");
    QTest::addColumn<int>("expParity");
    QTest::newRow("defaults") << "115200"
                              << "8"
                              << "1"
                              << "NONE" << 115200 << 8 << 1 << 0;
    QTest::newRow("stop 1.5 gives 3") << "115200"
                                      << "8"
                                      << "1.5"
                                      << "NONE" << 115200 << 8 << 3 << 0;
    QTest::newRow("stop 2 gives 2") << "115200"
                                    << "8"
                                    << "2"
                                    << "NONE" << 115200 << 8 << 2 << 0;
    QTest::newRow("EVEN gives 2") << "9600"
                                  << "8"
                                  << "1"
                                  << "EVEN" << 9600 << 8 << 1 << 2;
    QTest::newRow("ODD gives 3") << "9600"
                                 << "8"
                                 << "1"
                                 << "ODD" << 9600 << 8 << 1 << 3;
    QTest::newRow("SPACE gives 4") << "9600"
                                   << "8"
                                   << "1"
                                   << "SPACE" << 9600 << 8 << 1 << 4;
    QTest::newRow("MARK gives 5") << "1200"
                                  << "8"
                                  << "1"
                                  << "MARK" << 1200 << 8 << 1 << 5;
    QTest::newRow("5 data bits") << "921600"
                                 << "5"
                                 << "1"
                                 << "NONE" << 921600 << 5 << 1 << 0;
    QTest::newRow("6 data bits") << "2400"
                                 << "6"
                                 << "1"
                                 << "NONE" << 2400 << 6 << 1 << 0;
    QTest::newRow("7 data bits") << "4800"
                                 << "7"
                                 << "2"
                                 << "ODD" << 4800 << 7 << 2 << 3;
}

void TstIoForm::deviceInfoSerial()
{
    QFETCH(QString, baud);
    QFETCH(QString, dataBits);
    QFETCH(QString, stopBits);
    QFETCH(QString, parity);
    QFETCH(int, expBaud);
    QFETCH(int, expDataBits);
    QFETCH(int, expStopBits);
    QFETCH(int, expParity);
    TIoForm form(QStringLiteral("Connect"));
    form.baudCombox->comboBox()->setCurrentText(baud);
    form.dataBitsCombox->comboBox()->setCurrentText(dataBits);
    form.stopBitsCombox->comboBox()->setCurrentText(stopBits);
    form.parityCombox->comboBox()->setCurrentText(parity);
    const IOHandler::DeviceInfo d = form.getDeviceInfo();
    QCOMPARE(d.id, 0);
    QCOMPARE(d.conType, IOHandler::Serial);
    QCOMPARE(d.serial.portName, form.serialCombox->currentText());
    QCOMPARE(d.serial.baudRate, expBaud);
    QCOMPARE(d.serial.dataBits, expDataBits);
    QCOMPARE(d.serial.stopBits, expStopBits);
    QCOMPARE(d.serial.parity, expParity);
    // The UDP part stays value-initialised.
    QVERIFY(d.udp.localAddr.isNull());
    QVERIFY(d.udp.remoteAddr.isNull());
    QCOMPARE(int(d.udp.localPort), 0);
    QCOMPARE(int(d.udp.remotePort), 0);
    QVERIFY(!d.udp.netInterface.isValid());
    QVERIFY(!d.udp.loopBack);
}

void TstIoForm::deviceInfoUnicast_data()
{
    QTest::addColumn<QString>("localIp");
    QTest::addColumn<QString>("localPort");
    QTest::addColumn<QString>("remoteIp");
    QTest::addColumn<QString>("remotePort");
    QTest::addColumn<QString>("expLocalIp");
    QTest::addColumn<int>("expLocalPort");
    QTest::addColumn<QString>("expRemoteIp");
    QTest::addColumn<int>("expRemotePort");
    QTest::newRow("defaults") << "127.0.0.1"
                              << "7001"
                              << "127.0.0.1"
                              << "9000" << QStringLiteral("127.0.0.1") << 7001
                              << QStringLiteral("127.0.0.1") << 9000;
    // Never wrapped into a port nobody typed: 0 opens nothing.
    QTest::newRow("70000 gives 0")
        << "10.1.2.3"
        << "70000"
        << "192.168.0.9"
        << "70000" << QStringLiteral("10.1.2.3") << 0 << QStringLiteral("192.168.0.9") << 0;
    QTest::newRow("abc gives 0") << "127.0.0.1"
                                 << "abc"
                                 << "127.0.0.1"
                                 << "abc" << QStringLiteral("127.0.0.1") << 0
                                 << QStringLiteral("127.0.0.1") << 0;
    QTest::newRow("not an address") << "localhost"
                                    << "1"
                                    << "300.1.1.1"
                                    << "65535" << QString() << 1 << QString() << 65535;
    QTest::newRow("ipv6") << "::1"
                          << "65536"
                          << "::1"
                          << "2" << QStringLiteral("::1") << 0 << QStringLiteral("::1") << 2;
}

void TstIoForm::deviceInfoUnicast()
{
    QFETCH(QString, localIp);
    QFETCH(QString, localPort);
    QFETCH(QString, remoteIp);
    QFETCH(QString, remotePort);
    QFETCH(QString, expLocalIp);
    QFETCH(int, expLocalPort);
    QFETCH(QString, expRemoteIp);
    QFETCH(int, expRemotePort);
    TIoForm form(QStringLiteral("Con1"));
    form.conTypeCombox->comboBox()->setCurrentText(kUnicast);
    form.localIpEdit->setText(localIp);
    form.localPortEdit->setText(localPort);
    form.remoteIpEdit->setText(remoteIp);
    form.remotePortEdit->setText(remotePort);
    // Values of hidden controls play no part.
    form.loopBackCheck->setChecked(true);
    const IOHandler::DeviceInfo d = form.getDeviceInfo();
    QCOMPARE(d.id, 0);
    QCOMPARE(d.conType, IOHandler::UdpUnicast);
    // An empty expectation stands for the null address.
    QCOMPARE(d.udp.localAddr, expLocalIp.isEmpty() ? QHostAddress() : QHostAddress(expLocalIp));
    QCOMPARE(int(d.udp.localPort), expLocalPort);
    QCOMPARE(d.udp.remoteAddr, expRemoteIp.isEmpty() ? QHostAddress() : QHostAddress(expRemoteIp));
    QCOMPARE(int(d.udp.remotePort), expRemotePort);
    QVERIFY(!d.udp.netInterface.isValid());
    QVERIFY(!d.udp.loopBack);
    QVERIFY(d.serial.portName.isEmpty());
    QCOMPARE(d.serial.baudRate, 0);
    QCOMPARE(d.serial.dataBits, 0);
    QCOMPARE(d.serial.stopBits, 0);
    QCOMPARE(d.serial.parity, 0);
}

void TstIoForm::deviceInfoMulticastDefaults()
{
    TIoForm form(QStringLiteral("Con2"));
    form.conTypeCombox->comboBox()->setCurrentText(kMulticast);
    IOHandler::DeviceInfo d = form.getDeviceInfo();
    QCOMPARE(d.id, 0);
    QCOMPARE(d.conType, IOHandler::UdpMulticast);
    QCOMPARE(d.udp.localAddr, QHostAddress(QStringLiteral("224.0.0.31")));
    QCOMPARE(d.udp.remoteAddr, QHostAddress(QStringLiteral("224.0.0.31")));
    QCOMPARE(int(d.udp.localPort), 4701);
    QCOMPARE(int(d.udp.remotePort), 4701);
    QVERIFY(!d.udp.loopBack);
    QVERIFY(d.serial.portName.isEmpty());
    QCOMPARE(d.serial.baudRate, 0);

    form.loopBackCheck->setChecked(true);
    QVERIFY(form.getDeviceInfo().udp.loopBack);
    form.groupIpEdit->setText(QStringLiteral("239.1.1.1"));
    form.groupPortEdit->setText(QStringLiteral("70000"));
    d = form.getDeviceInfo();
    QCOMPARE(d.udp.localAddr, QHostAddress(QStringLiteral("239.1.1.1")));
    QCOMPARE(d.udp.remoteAddr, QHostAddress(QStringLiteral("239.1.1.1")));
    QCOMPARE(int(d.udp.localPort), 0);
    QCOMPARE(int(d.udp.remotePort), 0);
}

void TstIoForm::deviceInfoMulticastInterface()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    if (interfaces.isEmpty())
        QSKIP("this machine lists no network interface");
    TIoForm form(QStringLiteral("Con2"));
    form.conTypeCombox->comboBox()->setCurrentText(kMulticast);
    for (int i = 0; i < interfaces.size(); ++i) {
        form.netCardCombox->comboBox()->setCurrentIndex(i);
        const IOHandler::DeviceInfo d = form.getDeviceInfo();
        QVERIFY(d.udp.netInterface.isValid());
        QCOMPARE(d.udp.netInterface.index(), interfaces.at(i).index());
        QCOMPARE(d.udp.netInterface.humanReadableName(), interfaces.at(i).humanReadableName());
    }
}

void TstIoForm::deviceInfoMulticastNoInterface_data()
{
    QTest::addColumn<bool>("emptyList");
    QTest::newRow("index -1") << true;
    QTest::newRow("index beyond the list") << false;
}

void TstIoForm::deviceInfoMulticastNoInterface()
{
    QFETCH(bool, emptyList);
    TIoForm form(QStringLiteral("Con2"));
    form.conTypeCombox->comboBox()->setCurrentText(kMulticast);
    QComboBox *box = form.netCardCombox->comboBox();
    if (emptyList) {
        box->clear();
        QCOMPARE(box->currentIndex(), -1);
    } else {
        // An adapter that the list held when the form was built and that is
        // gone now: the index lies beyond the freshly read list.
        box->addItem(QStringLiteral("gone0"));
        box->setCurrentIndex(box->count() - 1);
        QVERIFY(box->currentIndex() >= QNetworkInterface::allInterfaces().size());
    }
    const IOHandler::DeviceInfo d = form.getDeviceInfo();
    QCOMPARE(d.conType, IOHandler::UdpMulticast);
    QVERIFY(!d.udp.netInterface.isValid());
    QCOMPARE(d.udp.localAddr, QHostAddress(QStringLiteral("224.0.0.31")));
}

void TstIoForm::noStyleSheetResource()
{
    QVERIFY(!QFile::exists(QStringLiteral(":/qcombobox.qss")));
    TIoForm form(QStringLiteral("Connect"));
    QVERIFY(form.serialCombox->styleSheet().isEmpty());
}

void TstIoForm::nothingWrittenByBuildingOrDestroying()
{
    {
        TIoForm form(QStringLiteral("Connect"));
        form.localPortEdit->setText(QStringLiteral("1234"));
        // Disconnect releases write nothing either.
        QTest::mouseClick(form.disconnectBtn, Qt::LeftButton);
        form.setConFlag(true);
        QTest::mouseClick(form.disconnectBtn, Qt::LeftButton);
    }
    QVERIFY(!QFile::exists(kIni));
    QVERIFY(!QDir(QStringLiteral("cfg")).exists());
}

void TstIoForm::connectWritesAllTenKeys_data()
{
    QTest::addColumn<QString>("typeText");
    QTest::newRow("serial") << QStringLiteral("Serial");
    QTest::newRow("unicast") << kUnicast;
    QTest::newRow("multicast") << kMulticast;
}

void TstIoForm::connectWritesAllTenKeys()
{
    QFETCH(QString, typeText);
    TIoForm form(QStringLiteral("Connect"));
    form.conTypeCombox->comboBox()->setCurrentText(typeText);
    pressConnect(form);
    QVERIFY(QFile::exists(kIni));
    QSettings s(kIni, QSettings::IniFormat);
    QCOMPARE(s.childGroups(), QStringList{QStringLiteral("Connect")});
    s.beginGroup(QStringLiteral("Connect"));
    QCOMPARE(sorted(s.childKeys()), allKeys());
    QCOMPARE(s.value("ConType").toString(), typeText);
    QCOMPARE(s.value("SerialPortName").toString(), form.serialCombox->currentText());
    QCOMPARE(s.value("LocalIp").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(s.value("LocalPort").toString(), QStringLiteral("7001"));
    QCOMPARE(s.value("LocalIpGroup").toString(), QStringLiteral("224.0.0.31"));
    QCOMPARE(s.value("LocalPortGroup").toString(), QStringLiteral("4701"));
    QCOMPARE(s.value("RemoteIp").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(s.value("RemotePort").toString(), QStringLiteral("9000"));
    QCOMPARE(s.value("UdpNetInterface").toString(), form.netCardCombox->currentText());
    QCOMPARE(s.value("LoopBack").toString(), QStringLiteral("0"));
    QCOMPARE(s.value("AutoReconnect").toString(), QStringLiteral("false"));
    QCOMPARE(s.value("FixedPeer").toString(), QStringLiteral("false"));

    // The form connected its own handler: saving does not depend on anyone
    // listening, and a second press writes the current values again.
    form.localIpEdit->setText(QStringLiteral("10.0.0.1"));
    pressConnect(form);
    QSettings again(kIni, QSettings::IniFormat);
    QCOMPARE(again.value("Connect/LocalIp").toString(), QStringLiteral("10.0.0.1"));
}

void TstIoForm::disconnectWritesNothing()
{
    TIoForm form(QStringLiteral("Con0"));
    form.setConFlag(true);
    QTest::mouseClick(form.disconnectBtn, Qt::LeftButton);
    QVERIFY(!QFile::exists(kIni));
}

void TstIoForm::remotePortStoredAsNumber()
{
    {
        TIoForm form(QStringLiteral("Connect"));
        form.remotePortEdit->setText(QStringLiteral("abc"));
        pressConnect(form);
    }
    QSettings s(kIni, QSettings::IniFormat);
    QCOMPARE(s.value("Connect/RemotePort").toString(), QStringLiteral("0"));
    // In the file it is a number, not the text typed.
    QFile file(kIni);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("RemotePort=0"));
    TIoForm next(QStringLiteral("Connect"));
    QCOMPARE(next.remotePortEdit->text(), QStringLiteral("0"));
}

void TstIoForm::localPortStoredAsText()
{
    {
        TIoForm form(QStringLiteral("Connect"));
        form.localPortEdit->setText(QStringLiteral("abc"));
        form.groupPortEdit->setText(QStringLiteral("x1"));
        pressConnect(form);
    }
    QSettings s(kIni, QSettings::IniFormat);
    QCOMPARE(s.value("Connect/LocalPort").toString(), QStringLiteral("abc"));
    QCOMPARE(s.value("Connect/LocalPortGroup").toString(), QStringLiteral("x1"));
    TIoForm next(QStringLiteral("Connect"));
    QCOMPARE(next.localPortEdit->text(), QStringLiteral("abc"));
    QCOMPARE(next.groupPortEdit->text(), QStringLiteral("x1"));
}

void TstIoForm::loopBackStoredAsCheckState()
{
    {
        TIoForm form(QStringLiteral("Con3"));
        form.loopBackCheck->setChecked(true);
        pressConnect(form);
    }
    QSettings s(kIni, QSettings::IniFormat);
    QCOMPARE(s.value("Con3/LoopBack").toInt(), 2);
    TIoForm next(QStringLiteral("Con3"));
    QCOMPARE(next.loopBackCheck->checkState(), Qt::Checked);
}

void TstIoForm::loopBackNotANumberUnchecks()
{
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.setValue("Con0/LoopBack", QStringLiteral("yes"));
        s.setValue("Con1/LoopBack", QStringLiteral("yes"));
        s.setValue("Con1/ConType", QStringLiteral("multicast"));
        s.setValue("Con1/UdpNetInterface", QStringLiteral("lo"));
    }
    TIoForm form(QStringLiteral("Con0"));
    QCOMPARE(form.loopBackCheck->checkState(), Qt::Unchecked);
    // A serial row has no use for it; a multicast row refuses to open on a
    // value the box cannot show, until the box is set by hand.
    QVERIFY(form.refusals().isEmpty());
    TIoForm group(QStringLiteral("Con1"));
    QCOMPARE(group.loopBackCheck->checkState(), Qt::Unchecked);
    QCOMPARE(group.refusals().size(), 1);
    QCOMPARE(group.refusals().first().line(kIni),
             QStringLiteral("cfg/app.ini [Con1] LoopBack=yes: loop-back is 0 (off) or 2 (on), or "
                            "false or true"));
    const QByteArray stored = [] {
        QFile file(kIni);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    pressConnect(group);
    QFile file(kIni);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stored);
    group.loopBackCheck->click();
    QVERIFY(group.refusals().isEmpty());
}

// A kind in any case, or as a script types it, is that kind; a kind the
// form does not know keeps it on its first entry but refuses Connect until
// the operator picks one.
void TstIoForm::conTypeInAnyCase()
{
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.setValue("Connect/ConType", QStringLiteral("SERIAL"));
        s.setValue("Con0/ConType", QStringLiteral("udp单播"));
        s.setValue("Con1/ConType", QStringLiteral(" Multicast "));
        s.setValue("Con2/ConType", QStringLiteral("unicast"));
    }
    TIoForm gcs(QStringLiteral("Connect"));
    QCOMPARE(gcs.getConType(), int(IOHandler::Serial));
    QCOMPARE(visibleControls(gcs), kSerialSet);
    TIoForm uav(QStringLiteral("Con0"));
    QCOMPARE(uav.conTypeCombox->currentText(), QStringLiteral("Udp单播"));
    QCOMPARE(uav.getConType(), int(IOHandler::UdpUnicast));
    TIoForm group(QStringLiteral("Con1"));
    QCOMPARE(group.getConType(), int(IOHandler::UdpMulticast));
    TIoForm unknown(QStringLiteral("Con2"));
    QCOMPARE(unknown.getConType(), int(IOHandler::Serial));
    const TSettingsProblems refusals = unknown.refusals();
    QCOMPARE(refusals.size(), 1);
    QCOMPARE(refusals.first().key, QStringLiteral("ConType"));
    QCOMPARE(refusals.first().value, QStringLiteral("unicast"));
    unknown.conTypeCombox->comboBox()->activated(0);
    QVERIFY(unknown.refusals().isEmpty());
}

void TstIoForm::unknownInterfaceKeepsFirst()
{
    if (QNetworkInterface::allInterfaces().isEmpty())
        QSKIP("this machine lists no network interface");
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.setValue("Connect/UdpNetInterface", QStringLiteral("no-such-adapter9"));
        s.setValue("Connect/SerialPortName", QStringLiteral("ttyNONE: gone"));
    }
    TIoForm form(QStringLiteral("Connect"));
    QCOMPARE(form.netCardCombox->comboBox()->currentIndex(), 0);
    if (form.serialCombox->count() > 0)
        QCOMPARE(form.serialCombox->currentIndex(), 0);

    // A known interface name is restored.
    const QString last = QNetworkInterface::allInterfaces().last().humanReadableName();
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.setValue("Connect/UdpNetInterface", last);
    }
    TIoForm next(QStringLiteral("Connect"));
    QCOMPARE(next.netCardCombox->currentText(), last);
}

void TstIoForm::serialLineRestored()
{
    const QString path = QStringLiteral("/tmp/ttyV0");
    {
        TIoForm form(QStringLiteral("Connect"));
        form.baudCombox->comboBox()->setCurrentText(QStringLiteral("57600"));
        form.dataBitsCombox->comboBox()->setCurrentText(QStringLiteral("7"));
        form.stopBitsCombox->comboBox()->setCurrentText(QStringLiteral("2"));
        form.parityCombox->comboBox()->setCurrentText(QStringLiteral("EVEN"));
        form.serialCombox->lineEdit()->clear();
        QTest::keyClicks(form.serialCombox->lineEdit(), path);
        pressConnect(form);
    }
    QSettings s(kIni, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("Connect"));
    QCOMPARE(sorted(s.childKeys()), allKeys());
    TIoForm next(QStringLiteral("Connect"));
    const IOHandler::DeviceInfo device = next.getDeviceInfo();
    QCOMPARE(device.serial.portName, path);
    QCOMPARE(device.serial.baudRate, 57600);
    QCOMPARE(device.serial.dataBits, int(QSerialPort::Data7));
    QCOMPARE(device.serial.stopBits, int(QSerialPort::TwoStop));
    QCOMPARE(device.serial.parity, int(QSerialPort::EvenParity));
    // Not there now: still chosen, and marked.
    QVERIFY(next.serialCombox->currentPortAbsent());
    // An old file without the serial line keys keeps today's defaults.
    s.remove(QString());
    s.setValue(QStringLiteral("ConType"), QStringLiteral("Serial"));
    s.sync();
    TIoForm old(QStringLiteral("Connect"));
    QCOMPARE(old.baudCombox->currentText(), QStringLiteral("115200"));
    QCOMPARE(old.parityCombox->currentText(), QStringLiteral("NONE"));
}

void TstIoForm::keystrokes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("acceptable");

    QTest::newRow("port: letters dropped") << "localPort"
                                           << "7a0b1"
                                           << "701" << true;
    QTest::newRow("port: above 65535") << "remotePort"
                                       << "99999"
                                       << "99999" << false;
    QTest::newRow("port: zero") << "groupPort"
                                << "0"
                                << "0" << false;
    QTest::newRow("port: highest") << "localPort"
                                   << "65535"
                                   << "65535" << true;
    QTest::newRow("address: letters refused") << "localIp"
                                              << "not-an-ip"
                                              << "" << false;
    QTest::newRow("address: octet above 255") << "remoteIp"
                                              << "127.0.0.256"
                                              << "127.0.0.25" << true;
    QTest::newRow("address: unfinished") << "groupIp"
                                         << "239.1."
                                         << "239.1." << false;
    QTest::newRow("address: quad") << "groupIp"
                                   << "239.1.2.3"
                                   << "239.1.2.3" << true;
}

void TstIoForm::keystrokes()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    TIoForm form(QStringLiteral("Con0"));
    const QHash<QString, TLabelLineEdit *> fields{
        {QStringLiteral("localPort"), form.localPortEdit},
        {QStringLiteral("remotePort"), form.remotePortEdit},
        {QStringLiteral("groupPort"), form.groupPortEdit},
        {QStringLiteral("localIp"), form.localIpEdit},
        {QStringLiteral("remoteIp"), form.remoteIpEdit},
        {QStringLiteral("groupIp"), form.groupIpEdit}};
    QLineEdit *edit = fields.value(field)->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, typed);
    QTEST(edit->text(), "shown");
    QTEST(edit->hasAcceptableInput(), "acceptable");
}

void TstIoForm::hiddenControlsStoredToo()
{
    {
        TIoForm form(QStringLiteral("Con1"));
        form.conTypeCombox->comboBox()->setCurrentText(kUnicast);
        form.groupIpEdit->setText(QStringLiteral("239.9.9.9"));
        form.groupPortEdit->setText(QStringLiteral("6001"));
        form.localIpEdit->setText(QStringLiteral("127.0.0.2"));
        form.localPortEdit->setText(QStringLiteral("7101"));
        form.remoteIpEdit->setText(QStringLiteral("127.0.0.3"));
        form.remotePortEdit->setText(QStringLiteral("9101"));
        form.loopBackCheck->setChecked(true);
        pressConnect(form);
    }
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.beginGroup(QStringLiteral("Con1"));
        QCOMPARE(s.value("ConType").toString(), kUnicast);
        QCOMPARE(s.value("LocalIpGroup").toString(), QStringLiteral("239.9.9.9"));
        QCOMPARE(s.value("LocalPortGroup").toString(), QStringLiteral("6001"));
        QCOMPARE(s.value("LoopBack").toInt(), 2);
        QVERIFY(s.contains("SerialPortName"));
        QVERIFY(s.contains("UdpNetInterface"));
    }
    TIoForm next(QStringLiteral("Con1"));
    QCOMPARE(next.getConType(), 2);
    QCOMPARE(visibleControls(next), kUnicastSet);
    QCOMPARE(next.localIpEdit->text(), QStringLiteral("127.0.0.2"));
    QCOMPARE(next.localPortEdit->text(), QStringLiteral("7101"));
    QCOMPARE(next.remoteIpEdit->text(), QStringLiteral("127.0.0.3"));
    QCOMPARE(next.remotePortEdit->text(), QStringLiteral("9101"));
    QCOMPARE(next.groupIpEdit->text(), QStringLiteral("239.9.9.9"));
    QCOMPARE(next.groupPortEdit->text(), QStringLiteral("6001"));
    QVERIFY(next.loopBackCheck->isChecked());
    const IOHandler::DeviceInfo d = next.getDeviceInfo();
    QCOMPARE(d.conType, IOHandler::UdpUnicast);
    QCOMPARE(int(d.udp.localPort), 7101);
    QCOMPARE(int(d.udp.remotePort), 9101);
}

void TstIoForm::multicastGroupInFileOpensOnMulticast()
{
    {
        QSettings s(kIni, QSettings::IniFormat);
        s.beginGroup(QStringLiteral("Con0"));
        s.setValue("ConType", kMulticast);
        s.setValue("LocalIpGroup", QStringLiteral("239.1.1.1"));
        s.setValue("LocalPortGroup", QStringLiteral("5000"));
    }
    TIoForm form(QStringLiteral("Con0"));
    QCOMPARE(form.getConType(), 3);
    QCOMPARE(form.conTypeCombox->currentText(), kMulticast);
    QCOMPARE(visibleControls(form), kMulticastSet);
    QCOMPARE(form.groupIpEdit->text(), QStringLiteral("239.1.1.1"));
    QCOMPARE(form.groupPortEdit->text(), QStringLiteral("5000"));
    // Keys that are absent leave their controls at the defaults.
    QCOMPARE(form.localPortEdit->text(), QStringLiteral("7001"));
    QCOMPARE(form.remotePortEdit->text(), QStringLiteral("9000"));
    QVERIFY(!form.loopBackCheck->isChecked());
    const IOHandler::DeviceInfo d = form.getDeviceInfo();
    QCOMPARE(d.conType, IOHandler::UdpMulticast);
    QCOMPARE(d.udp.localAddr, QHostAddress(QStringLiteral("239.1.1.1")));
    QCOMPARE(int(d.udp.localPort), 5000);
    // Another form's group is not touched by this one.
    TIoForm other(QStringLiteral("Con1"));
    QCOMPARE(other.getConType(), 1);
}

void TstIoForm::groupsAreSeparate()
{
    {
        TIoForm gcs(QStringLiteral("Connect"));
        gcs.localPortEdit->setText(QStringLiteral("1111"));
        pressConnect(gcs);
        TIoForm uav(QStringLiteral("Con0"));
        uav.localPortEdit->setText(QStringLiteral("2222"));
        pressConnect(uav);
    }
    QSettings s(kIni, QSettings::IniFormat);
    QCOMPARE(sorted(s.childGroups()), (QStringList{"Con0", "Connect"}));
    QCOMPARE(s.value("Connect/LocalPort").toString(), QStringLiteral("1111"));
    QCOMPARE(s.value("Con0/LocalPort").toString(), QStringLiteral("2222"));
    QCOMPARE(TIoForm(QStringLiteral("Connect")).localPortEdit->text(), QStringLiteral("1111"));
    QCOMPARE(TIoForm(QStringLiteral("Con0")).localPortEdit->text(), QStringLiteral("2222"));
}

QTEST_MAIN(TstIoForm)
#include "tst_ioform.moc"
