#include "ui/tioform.h"

#include "config/tlinksettings.h"
#include "config/tsettingskeys.h"

#include "ui/kit/tfieldrules.h"
#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tpushbutton.h"
#include "ui/kit/tserialcombox.h"
#include "ui/kit/tuidefine.h"
#include "ui/tformsettings.h"

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

TIoForm::TIoForm(const QString &name, QWidget *parent, const TIoForm *above)
    : TContainer(parent), name(name)
{
    initUi({});
    // What the operator stored always wins; only a row never stored starts
    // from its neighbour.
    TFormSettings::load(*this, above);
    connect(connectBtn, &QPushButton::released, this, &TIoForm::saveSettings);
    watchRefusals();
}

TIoForm::TIoForm(const QString &name, const TFormSettings::Start &start, Buttons buttons,
                 QWidget *parent)
    : TContainer(parent), name(name)
{
    initUi(buttons);
    keepRefused(start.refused);
    apply(start.values);
    watchRefusals();
}

void TIoForm::watchRefusals()
{
    namespace K = TSettingsKeys;
    for (const auto &box :
         {qMakePair(conTypeCombox, K::conType), qMakePair(baudCombox, K::baudRate),
          qMakePair(dataBitsCombox, K::dataBits), qMakePair(stopBitsCombox, K::stopBits),
          qMakePair(parityCombox, K::parity), qMakePair(netCardCombox, K::udpNetInterface)})
        refused.forgetOnEdit(box.first->comboBox(), box.second);
    refused.forgetOnEdit(serialCombox, K::serialPortName);
    for (const auto &check :
         {qMakePair(loopBackCheck, K::loopBack), qMakePair(reconnectCheck, K::autoReconnect),
          qMakePair(fixedPeerCheck, K::fixedPeer)})
        refused.forgetOnEdit(check.first, check.second);
}

TIoForm::~TIoForm() = default;

void TIoForm::initUi(Buttons buttons)
{
    mainLayout = new QHBoxLayout(this);
    mainLayout->setSpacing(10);

    // Each entry carries the value the link is opened with.
    const auto filled = [](const QVector<TLinkSettings::Choice> &choices) {
        auto *box = new TLabelCombox(QString());
        for (const TLinkSettings::Choice &choice : choices)
            box->comboBox()->addItem(choice.text, choice.value);
        return box;
    };
    conTypeCombox = filled(TLinkSettings::conTypes());
    serialCombox = new TSerialCombox;
    baudCombox = filled(TLinkSettings::baudRates());
    dataBitsCombox = filled(TLinkSettings::dataBitsChoices());
    stopBitsCombox = filled(TLinkSettings::stopBitsChoices());
    parityCombox = filled(TLinkSettings::parities());

    loopBackCheck = new QCheckBox;
    loopBackCheck->setToolTip(
        tr("Loop-back: also receive what this computer itself sends to the group"));

    netCardCombox = new TLabelCombox(QStringLiteral("网卡"));
    netCardCombox->addItems(TLinkSettings::interfaceNames());

    // Line-edit composites carry an empty (not null) unit label.
    const QString emptyUnit = QStringLiteral("");
    groupIpEdit = new TLabelLineEdit(tr("LocalIp"), emptyUnit);
    groupPortEdit = new TLabelLineEdit(tr("LocalPort"), emptyUnit);
    localIpEdit = new TLabelLineEdit(tr("LocalIp"), emptyUnit);
    localPortEdit = new TLabelLineEdit(tr("LocalPort"), emptyUnit);
    remoteIpEdit = new TLabelLineEdit(tr("RemoteIp"), emptyUnit);
    remotePortEdit = new TLabelLineEdit(tr("RemotePort"), emptyUnit);

    reconnectCheck = new QCheckBox(tr("Reconnect"));
    reconnectCheck->setToolTip(tr("Open the port again by itself when it is lost, and keep "
                                  "trying to join the group while its interface is missing"));
    fixedPeerCheck = new QCheckBox(tr("Fixed peer"));
    fixedPeerCheck->setToolTip(tr("Answer only the remote address and port as typed: a datagram "
                                  "from anyone else is dropped and cannot take the link over"));
    // Lit like the labels beside them, grey like the fields while locked.
    QPalette checkPalette = TUiDefine::instance()->labelPalette;
    checkPalette.setColor(QPalette::Disabled, QPalette::WindowText, Qt::gray);
    for (QCheckBox *check : {reconnectCheck, fixedPeerCheck}) {
        check->setFont(TUiDefine::instance()->widgetFont);
        check->setPalette(checkPalette);
    }

    const QList<QWidget *> controls{conTypeCombox,  serialCombox,   baudCombox,     dataBitsCombox,
                                    stopBitsCombox, parityCombox,   loopBackCheck,  netCardCombox,
                                    groupIpEdit,    groupPortEdit,  localIpEdit,    localPortEdit,
                                    remoteIpEdit,   remotePortEdit, reconnectCheck, fixedPeerCheck};
    for (QWidget *control : controls)
        mainLayout->addWidget(control);
    const bool ownButtons = !buttons.connect;
    connectBtn = ownButtons ? new TPushButton(tr("Connect")) : buttons.connect;
    disconnectBtn = ownButtons ? new TPushButton(tr("Disconnect")) : buttons.disconnect;
    if (ownButtons) {
        mainLayout->addWidget(connectBtn);
        mainLayout->addWidget(disconnectBtn);
    } else {
        // The row's line holds its buttons; the fields gather at the left.
        mainLayout->addStretch(1);
    }

    conTypeCombox->setFixedHeight(40);
    serialCombox->setMinimumWidth(120);
    serialCombox->setFixedHeight(30);
    serialCombox->setFont(TUiDefine::instance()->widgetFont);
    for (TLabelCombox *box :
         {baudCombox, dataBitsCombox, stopBitsCombox, parityCombox, netCardCombox})
        box->comboBox()->setFixedHeight(30);
    const QList<TLabelLineEdit *> addresses{groupIpEdit, localIpEdit, remoteIpEdit};
    const QList<TLabelLineEdit *> ports{groupPortEdit, localPortEdit, remotePortEdit};
    for (TLabelLineEdit *edit : addresses + ports) {
        edit->lineEdit()->setFixedHeight(30);
        // The empty unit labels would only widen a row that must fit a screen.
        edit->unit()->hide();
    }
    for (TLabelLineEdit *edit : addresses)
        TFieldRules::makeAddressField(edit->lineEdit());
    for (TLabelLineEdit *edit : ports) {
        edit->lineEdit()->setMaximumWidth(100);
        TFieldRules::makePortField(edit->lineEdit());
    }
    for (TPushButton *button : {connectBtn, disconnectBtn}) {
        button->setFixedHeight(30);
        TFieldRules::fitButtonToText(button);
    }
    loadComboStyle();

    apply(TLinkSettings::defaults());
    connect(conTypeCombox->comboBox(), &QComboBox::currentTextChanged, this,
            &TIoForm::onConTypeText);
    setConType(IOHandler::Serial);
    setConFlag(conFlag);
}

void TIoForm::followRow(const TIoForm &above, int stride)
{
    QStringList ports;
    for (int i = 0; i < serialCombox->count(); ++i)
        ports.append(serialCombox->itemText(i));
    apply(above.values().following(ports, stride));
}

TLinkSettings TIoForm::values() const
{
    TLinkSettings v;
    v.conType = conTypeCombox->currentText();
    v.serialPort = serialCombox->currentText();
    v.baudRate = baudCombox->currentText();
    v.dataBits = dataBitsCombox->currentText();
    v.stopBits = stopBitsCombox->currentText();
    v.parity = parityCombox->currentText();
    v.groupIp = groupIpEdit->text();
    v.groupPort = groupPortEdit->text();
    v.localIp = localIpEdit->text();
    v.localPort = localPortEdit->text();
    v.remoteIp = remoteIpEdit->text();
    v.remotePort = remotePortEdit->text();
    v.netInterface = netCardCombox->currentText();
    v.loopBack = loopBackCheck->checkState();
    v.autoReconnect = reconnectCheck->isChecked();
    v.fixedPeer = fixedPeerCheck->isChecked();
    return v;
}

void TIoForm::apply(const TLinkSettings &v)
{
    // A text that is not in a list leaves that box as it is.
    conTypeCombox->comboBox()->setCurrentText(v.conType);
    serialCombox->setCurrentText(v.serialPort);
    baudCombox->comboBox()->setCurrentText(v.baudRate);
    dataBitsCombox->comboBox()->setCurrentText(v.dataBits);
    stopBitsCombox->comboBox()->setCurrentText(v.stopBits);
    parityCombox->comboBox()->setCurrentText(v.parity);
    groupIpEdit->setText(v.groupIp);
    groupPortEdit->setText(v.groupPort);
    localIpEdit->setText(v.localIp);
    localPortEdit->setText(v.localPort);
    remoteIpEdit->setText(v.remoteIp);
    remotePortEdit->setText(v.remotePort);
    netCardCombox->comboBox()->setCurrentText(v.netInterface);
    loopBackCheck->setCheckState(static_cast<Qt::CheckState>(v.loopBack));
    reconnectCheck->setChecked(v.autoReconnect);
    fixedPeerCheck->setChecked(v.fixedPeer);
}

void TIoForm::onConTypeText(const QString &text)
{
    const IOHandler::ConType kind = TLinkSettings::kindOf(text);
    setConType(kind == IOHandler::None ? IOHandler::Serial : kind);
}

QList<QWidget *> TIoForm::controlsOf(int kind) const
{
    switch (kind) {
    case IOHandler::UdpUnicast:
        return {localIpEdit, localPortEdit, remoteIpEdit, remotePortEdit, fixedPeerCheck};
    case IOHandler::UdpMulticast:
        return {groupIpEdit, groupPortEdit, netCardCombox, loopBackCheck, reconnectCheck};
    case IOHandler::TcpClient:
        return {remoteIpEdit, remotePortEdit};
    case IOHandler::TcpServer:
        // The remote address is the one peer a fixed-peer server accepts.
        return {localIpEdit, localPortEdit, remoteIpEdit, fixedPeerCheck};
    default:
        return {serialCombox,   baudCombox,   dataBitsCombox,
                stopBitsCombox, parityCombox, reconnectCheck};
    }
}

void TIoForm::setConType(int type)
{
    conType = type;
    const int shown =
        type > IOHandler::Serial && type <= IOHandler::TcpServer ? type : int(IOHandler::Serial);
    // A control of several kinds is shown when one of them is.
    for (int kind : endpointKinds)
        for (QWidget *w : controlsOf(kind))
            w->setVisible(false);
    for (QWidget *w : controlsOf(shown))
        w->setVisible(true);
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
    return values().device();
}

void TIoForm::saveSettings()
{
    // A refused link is not opened, and its group stays as the file has
    // it: writing the form's stand-ins would replace what was stored.
    if (refusals().isEmpty())
        TFormSettings::save(*this);
}

// A build or a deployment may add a look of its own for the port box as
// this resource; the program itself carries none, so the box keeps the kit's.
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
