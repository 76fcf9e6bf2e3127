#include "ui/tioform.h"

#include "ui/kit/tfieldrules.h"
#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tserialcombox.h"
#include "ui/kit/tuidefine.h"
#include "ui/tformsettings.h"
#include "ui/tformvalues.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QNetworkInterface>
#include <QSerialPort>
#include <QStringList>

#include <QVariant>
#include <utility>

const char *const TIoForm::settingsPath = "./cfg/app.ini";

TIoForm::TIoForm(const QString &name, QWidget *parent, const TIoForm *above)
    : TContainer(parent), name(name)
{
    initUi();
    connect(conTypeCombox->comboBox(), &QComboBox::currentTextChanged, this,
            &TIoForm::onConTypeText);
    setConType(IOHandler::Serial);
    setConFlag(conFlag);
    // What the operator stored always wins; only a row never stored starts
    // from its neighbour.
    if (!loadSettings() && above)
        followRow(*above);
    connect(connectBtn, &QPushButton::released, this, &TIoForm::saveSettings);
    loadComboStyle();
}

TIoForm::~TIoForm() = default;

void TIoForm::initUi()
{
    mainLayout = new QHBoxLayout(this);
    mainLayout->setSpacing(10);

    conTypeCombox = new TLabelCombox(QString());
    conTypeCombox->addItems(QStringList{tr("Serial"), tr("Udp单播"), tr("Udp组播")});
    conTypeCombox->comboBox()->setCurrentText(tr("Serial"));

    serialCombox = new TSerialCombox;

    // Each entry carries the value the link is opened with.
    baudCombox = new TLabelCombox(QString());
    for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
        baudCombox->comboBox()->addItem(QString::number(rate), rate);
    baudCombox->comboBox()->setCurrentText(QStringLiteral("115200"));

    dataBitsCombox = new TLabelCombox(QString());
    for (int bits :
         {QSerialPort::Data5, QSerialPort::Data6, QSerialPort::Data7, QSerialPort::Data8})
        dataBitsCombox->comboBox()->addItem(QString::number(bits), bits);
    dataBitsCombox->comboBox()->setCurrentText(QStringLiteral("8"));

    stopBitsCombox = new TLabelCombox(QString());
    stopBitsCombox->comboBox()->addItem(QStringLiteral("1"), QSerialPort::OneStop);
    stopBitsCombox->comboBox()->addItem(QStringLiteral("1.5"), QSerialPort::OneAndHalfStop);
    stopBitsCombox->comboBox()->addItem(QStringLiteral("2"), QSerialPort::TwoStop);
    stopBitsCombox->comboBox()->setCurrentText(QStringLiteral("1"));

    parityCombox = new TLabelCombox(QString());
    parityCombox->comboBox()->addItem(QStringLiteral("NONE"), QSerialPort::NoParity);
    parityCombox->comboBox()->addItem(QStringLiteral("EVEN"), QSerialPort::EvenParity);
    parityCombox->comboBox()->addItem(QStringLiteral("ODD"), QSerialPort::OddParity);
    parityCombox->comboBox()->addItem(QStringLiteral("SPACE"), QSerialPort::SpaceParity);
    parityCombox->comboBox()->addItem(QStringLiteral("MARK"), QSerialPort::MarkParity);
    parityCombox->comboBox()->setCurrentText(QStringLiteral("NONE"));

    loopBackCheck = new QCheckBox;
    loopBackCheck->setToolTip(
        tr("Loop-back: also receive what this computer itself sends to the group"));

    netCardCombox = new TLabelCombox(QStringLiteral("网卡"));
    QStringList interfaceNames;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &netInterface : interfaces)
        interfaceNames.append(netInterface.humanReadableName());
    netCardCombox->addItems(interfaceNames);

    // Line-edit composites carry an empty (not null) unit label.
    const QString emptyUnit = QStringLiteral("");
    groupIpEdit = new TLabelLineEdit(tr("LocalIp"), emptyUnit);
    groupIpEdit->setText(QStringLiteral("224.0.0.31"));
    groupPortEdit = new TLabelLineEdit(tr("LocalPort"), emptyUnit);
    groupPortEdit->setText(QStringLiteral("4701"));
    localIpEdit = new TLabelLineEdit(tr("LocalIp"), emptyUnit);
    localIpEdit->setText(QStringLiteral("127.0.0.1"));
    localPortEdit = new TLabelLineEdit(tr("LocalPort"), emptyUnit);
    localPortEdit->setText(QStringLiteral("7001"));
    remoteIpEdit = new TLabelLineEdit(tr("RemoteIp"), emptyUnit);
    remoteIpEdit->setText(QStringLiteral("127.0.0.1"));
    remotePortEdit = new TLabelLineEdit(tr("RemotePort"), emptyUnit);
    remotePortEdit->setText(QStringLiteral("9000"));

    connectBtn = new TPushButton(tr("Connect"));
    disconnectBtn = new TPushButton(tr("Disconnect"));

    const QList<QWidget *> controls{conTypeCombox,  serialCombox,   baudCombox,    dataBitsCombox,
                                    stopBitsCombox, parityCombox,   loopBackCheck, netCardCombox,
                                    groupIpEdit,    groupPortEdit,  localIpEdit,   localPortEdit,
                                    remoteIpEdit,   remotePortEdit, connectBtn,    disconnectBtn};
    for (QWidget *control : controls)
        mainLayout->addWidget(control);

    conTypeCombox->setFixedHeight(40);
    serialCombox->setMinimumWidth(120);
    serialCombox->setFixedHeight(30);
    serialCombox->setFont(TUiDefine::instance()->widgetFont);
    for (TLabelCombox *box :
         {baudCombox, dataBitsCombox, stopBitsCombox, parityCombox, netCardCombox})
        box->comboBox()->setFixedHeight(30);
    for (TLabelLineEdit *edit :
         {groupIpEdit, groupPortEdit, localIpEdit, localPortEdit, remoteIpEdit, remotePortEdit})
        edit->lineEdit()->setFixedHeight(30);
    for (TLabelLineEdit *edit : {groupPortEdit, localPortEdit, remotePortEdit})
        edit->lineEdit()->setMaximumWidth(100);
    connectBtn->setFixedHeight(30);
    disconnectBtn->setFixedHeight(30);

    for (TLabelLineEdit *edit : {groupIpEdit, localIpEdit, remoteIpEdit})
        TFieldRules::makeAddressField(edit->lineEdit());
    for (TLabelLineEdit *edit : {groupPortEdit, localPortEdit, remotePortEdit})
        TFieldRules::makePortField(edit->lineEdit());
    // The empty unit labels would only widen a row that must fit a screen.
    for (TLabelLineEdit *edit :
         {groupIpEdit, groupPortEdit, localIpEdit, localPortEdit, remoteIpEdit, remotePortEdit})
        edit->unit()->hide();
    TFieldRules::fitButtonToText(connectBtn);
    TFieldRules::fitButtonToText(disconnectBtn);
}

void TIoForm::followRow(const TIoForm &above)
{
    conTypeCombox->comboBox()->setCurrentIndex(above.conTypeCombox->comboBox()->currentIndex());
    const auto nextPort = [](const TLabelLineEdit *edit) {
        const uint port = edit->text().toUInt();
        return port >= 1 && port < 65535 ? QString::number(port + 1) : edit->text();
    };
    localIpEdit->setText(above.localIpEdit->text());
    localPortEdit->setText(nextPort(above.localPortEdit));
    remoteIpEdit->setText(above.remoteIpEdit->text());
    remotePortEdit->setText(nextPort(above.remotePortEdit));
    // Rows on one group and port would hear each other's sends.
    groupIpEdit->setText(above.groupIpEdit->text());
    groupPortEdit->setText(nextPort(above.groupPortEdit));
    netCardCombox->comboBox()->setCurrentIndex(above.netCardCombox->comboBox()->currentIndex());
    loopBackCheck->setCheckState(above.loopBackCheck->checkState());
    const int port = above.serialCombox->findText(above.serialCombox->currentText());
    if (port >= 0 && port + 1 < serialCombox->count())
        serialCombox->setCurrentIndex(port + 1);
    else
        serialCombox->setCurrentText(above.serialCombox->currentText());
    for (const auto &pair : {std::make_pair(baudCombox, above.baudCombox),
                             std::make_pair(dataBitsCombox, above.dataBitsCombox),
                             std::make_pair(stopBitsCombox, above.stopBitsCombox),
                             std::make_pair(parityCombox, above.parityCombox)})
        pair.first->comboBox()->setCurrentIndex(pair.second->comboBox()->currentIndex());
}

void TIoForm::onConTypeText(const QString &text)
{
    if (text == tr("Udp单播"))
        setConType(IOHandler::UdpUnicast);
    else if (text == tr("Udp组播"))
        setConType(IOHandler::UdpMulticast);
    else
        setConType(IOHandler::Serial);
}

QList<QWidget *> TIoForm::controlsOf(int kind) const
{
    switch (kind) {
    case IOHandler::UdpUnicast:
        return {localIpEdit, localPortEdit, remoteIpEdit, remotePortEdit};
    case IOHandler::UdpMulticast:
        return {groupIpEdit, groupPortEdit, netCardCombox, loopBackCheck};
    default:
        return {serialCombox, baudCombox, dataBitsCombox, stopBitsCombox, parityCombox};
    }
}

void TIoForm::setConType(int type)
{
    conType = type;
    const int shown = type == IOHandler::UdpUnicast || type == IOHandler::UdpMulticast
                          ? type
                          : int(IOHandler::Serial);
    for (int kind : endpointKinds)
        for (QWidget *w : controlsOf(kind))
            w->setVisible(kind == shown);
}

void TIoForm::setConFlag(bool isConFlag)
{
    conFlag = isConFlag;
    const bool editable = !isConFlag;
    conTypeCombox->setEnabled(editable);
    connectBtn->setEnabled(editable);
    for (int kind : endpointKinds) {
        for (QWidget *w : controlsOf(kind)) {
            // The group fields grey only their edits; their labels stay lit.
            auto *edit = qobject_cast<TLabelLineEdit *>(w);
            if (edit && kind == IOHandler::UdpMulticast)
                edit->setEditEnabled(editable);
            else
                w->setEnabled(editable);
        }
    }
    disconnectBtn->setEnabled(isConFlag);
}

IOHandler::DeviceInfo TIoForm::getDeviceInfo() const
{
    IOHandler::DeviceInfo device{};
    switch (conType) {
    case IOHandler::UdpUnicast:
        device.conType = IOHandler::UdpUnicast;
        device.udp.localAddr = QHostAddress(localIpEdit->text());
        device.udp.localPort = TFormValues::portFromText(localPortEdit->text());
        device.udp.remoteAddr = QHostAddress(remoteIpEdit->text());
        device.udp.remotePort = TFormValues::portFromText(remotePortEdit->text());
        break;
    case IOHandler::UdpMulticast: {
        device.conType = IOHandler::UdpMulticast;
        device.udp.localAddr = QHostAddress(groupIpEdit->text());
        device.udp.localPort = TFormValues::portFromText(groupPortEdit->text());
        device.udp.remoteAddr = device.udp.localAddr;
        device.udp.remotePort = device.udp.localPort;
        // The list may have changed since the form was built: an index that
        // no longer exists (or none chosen) leaves the interface invalid.
        const int index = netCardCombox->comboBox()->currentIndex();
        const auto interfaces = QNetworkInterface::allInterfaces();
        if (index >= 0 && index < interfaces.size())
            device.udp.netInterface = interfaces.at(index);
        device.udp.loopBack = loopBackCheck->checkState() != Qt::Unchecked;
        break;
    }
    default:
        device.conType = IOHandler::Serial;
        device.serial.portName = serialCombox->currentText();
        device.serial.baudRate = TFormValues::chosen(baudCombox->comboBox(), 0);
        device.serial.dataBits =
            TFormValues::chosen(dataBitsCombox->comboBox(), QSerialPort::Data8);
        device.serial.stopBits =
            TFormValues::chosen(stopBitsCombox->comboBox(), QSerialPort::OneStop);
        device.serial.parity = TFormValues::chosen(parityCombox->comboBox(), QSerialPort::NoParity);
        break;
    }
    return device;
}

bool TIoForm::loadSettings()
{
    return TFormSettings::load(*this);
}

void TIoForm::saveSettings()
{
    TFormSettings::save(*this);
}

void TIoForm::loadComboStyle()
{
    QFile file(QStringLiteral(":/qcombobox.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray bytes = file.readAll();
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    serialCombox->setStyleSheet(QString::fromUtf8(bytes));
    file.close();
}
