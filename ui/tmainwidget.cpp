#include "ui/tmainwidget.h"

#include "app/tapp.h"
#include "app/version.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "protocol/tgcsptl.h"
#include "protocol/tuavptl.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tioform.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

TMainWidget::TMainWidget(QWidget *parent) : TWidget(parent)
{
    initUi();
    initLinks();
}

TMainWidget::~TMainWidget() = default;

void TMainWidget::initUi()
{
    setWindowTitle(versionTitle());

    auto *gcsBox = new QGroupBox;
    auto *gcsLayout = new QVBoxLayout(gcsBox);
    gcsLayout->addWidget(new TLabel(tr("Gcs Port Setting")), 0, Qt::AlignCenter);
    gcsForm = new TIoForm(QStringLiteral("Connect"));
    gcsLayout->addWidget(gcsForm);

    auto *uavBox = new QGroupBox;
    uavLayout = new QVBoxLayout(uavBox);
    uavLayout->addWidget(new TLabel(tr("Uav Port Setting")), 0, Qt::AlignCenter);

    connectAllBtn = new TPushButton(QString::fromUtf8("全部连接"));
    disconnectAllBtn = new TPushButton(QString::fromUtf8("全部断开"));
    addUavBtn = new TPushButton(QStringLiteral("增加无人机"));
    delUavBtn = new TPushButton(QStringLiteral("删除无人机"));

    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(gcsBox);
    mainLayout->addWidget(uavBox);
    auto *buttonLayout = new QHBoxLayout;
    buttonLayout->addWidget(connectAllBtn);
    buttonLayout->addWidget(disconnectAllBtn);
    buttonLayout->addWidget(addUavBtn);
    buttonLayout->addWidget(delUavBtn);
    mainLayout->addLayout(buttonLayout);
}

void TMainWidget::initLinks()
{
    onAddUav();

    auto *gcs = new TGcsPtl(gcsLinkId, true, nullptr);
    TLinkManager::instance()->addLink(gcsLinkId, gcs);

    connect(TApp::instance(), &TApp::TAppEvent, this, &TMainWidget::onTAppEvent);

    connect(gcsForm->connectBtn, &QPushButton::released, this, &TMainWidget::gcsConnectSlot);
    connect(gcsForm->disconnectBtn, &QPushButton::released, this, &TMainWidget::gcsDisconnectSlot);

    connect(connectAllBtn, &QPushButton::released, this, &TMainWidget::onConnectAll);
    connect(disconnectAllBtn, &QPushButton::released, this, &TMainWidget::onDisconnectAll);
    connect(addUavBtn, &QPushButton::released, this, &TMainWidget::onAddUav);
    connect(delUavBtn, &QPushButton::released, this, &TMainWidget::onDelUav);
}

void TMainWidget::gcsConnectSlot()
{
    requestGcs(true);
}

void TMainWidget::gcsDisconnectSlot()
{
    requestGcs(false);
}

void TMainWidget::uavConnectSlot()
{
    requestUav(true);
}

void TMainWidget::uavDisConnectSlot()
{
    requestUav(false);
}

void TMainWidget::requestGcs(bool isConFlag)
{
    IOHandler *link = TLinkManager::instance()->getLink(gcsLinkId);
    if (!link)
        return;
    IOHandler::DeviceInfo device = gcsForm->getDeviceInfo();
    device.id = gcsLinkId;
    emit link->openDeviceSignal(device, isConFlag);
}

void TMainWidget::requestUav(bool isConFlag)
{
    // Only the buttons of existing vehicle forms are connected here; a call
    // without such a sender (no sender, no "Id", or an index that is not in
    // the list) is ignored.
    const QObject *button = sender();
    if (!button)
        return;
    const QVariant idProperty = button->property("Id");
    if (!idProperty.isValid())
        return;
    bool ok = false;
    const int n = idProperty.toInt(&ok);
    if (!ok || n < 0 || n >= uavForms.size())
        return;
    const int linkId = n + firstUavLinkId;
    IOHandler *link = TLinkManager::instance()->getLink(linkId);
    if (!link)
        return;
    IOHandler::DeviceInfo device = uavForms.at(n)->getDeviceInfo();
    device.id = linkId;
    emit link->openDeviceSignal(device, isConFlag);
}

void TMainWidget::onConnectAll()
{
    emit gcsForm->connectBtn->released();
    const QVector<TIoForm *> forms = uavForms;
    for (TIoForm *form : forms)
        emit form->connectBtn->released();
}

void TMainWidget::onDisconnectAll()
{
    emit gcsForm->disconnectBtn->released();
    const QVector<TIoForm *> forms = uavForms;
    for (TIoForm *form : forms)
        emit form->disconnectBtn->released();
}

void TMainWidget::onAddUav()
{
    const int n = uavForms.size();
    auto *form = new TIoForm(QStringLiteral("Con%1").arg(n), nullptr);
    uavForms.append(form);
    uavLayout->addWidget(form);
    form->connectBtn->setProperty("Id", n);
    form->disconnectBtn->setProperty("Id", n);
    connect(form->connectBtn, &QPushButton::released, this, &TMainWidget::uavConnectSlot);
    connect(form->disconnectBtn, &QPushButton::released, this, &TMainWidget::uavDisConnectSlot);

    const int linkId = n + firstUavLinkId;
    auto *link = new TUavPtl(linkId, true, nullptr);
    TLinkManager::instance()->addLink(linkId, link);
    TLinkManager::instance()->addUav(link);
}

void TMainWidget::onDelUav()
{
    const int count = uavForms.size();
    if (count < 2)
        return;
    TIoForm *form = uavForms.last();
    uavLayout->removeWidget(form);
    QObject::disconnect(form, nullptr, nullptr, nullptr);
    disconnect(form->connectBtn, &QPushButton::released, this, &TMainWidget::uavConnectSlot);
    disconnect(form->disconnectBtn, &QPushButton::released, this, &TMainWidget::uavDisConnectSlot);
    form->deleteLater();
    uavForms.removeLast();

    TLinkManager::instance()->removeLink(count + firstUavLinkId - 1);
    TLinkManager::instance()->removeLastUav();
}

void TMainWidget::onTAppEvent(int event, int id, QVariant var)
{
    Q_UNUSED(id)
    if (event != IOHandler::LinkOpened && event != IOHandler::LinkOpenFailed &&
        event != IOHandler::LinkClosed)
        return;
    const IOHandler::DeviceInfo device = IOHandler::deviceFromVariant(var);
    TIoForm *form = nullptr;
    if (device.id == gcsLinkId) {
        form = gcsForm;
    } else {
        const int k = device.id - firstUavLinkId;
        if (k >= 0 && k < uavForms.size())
            form = uavForms.at(k);
    }
    if (form)
        form->setConFlag(event == IOHandler::LinkOpened);
}
