#include "ui/tmainwidget.h"

#include "config/tswarmfile.h"
#include "link/iohandler.h"
#include "msg/tmsgmanager.h"
#include "session/tapp.h"
#include "session/version.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tbuttonbar.h"
#include "ui/tcounterrefresh.h"
#include "ui/tformsettings.h"
#include "ui/tioform.h"
#include "ui/tlinkrow.h"
#include "ui/trowlist.h"
#include "ui/twindowfit.h"
#include "ui/twindowsettings.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

TMainWidget::TMainWidget(QWidget *parent) : TWidget(parent)
{
    initUi();
    initLinks();
    restoreWindow();
}

TMainWidget::~TMainWidget() = default;

void TMainWidget::initUi()
{
    setWindowTitle(versionTitle());

    auto *gcsBox = new QGroupBox;
    auto *gcsLayout = new QVBoxLayout(gcsBox);
    gcsLayout->addWidget(new TLabel(tr("Gcs Port Setting")), 0, Qt::AlignCenter);
    gcsRow = new TLinkRow(gcsLinkId, QStringLiteral("Connect"),
                          TFormSettings::read(QStringLiteral("Connect"), nullptr));
    // The one link every swarm has: its form is in sight from the start.
    gcsRow->setOpened(true);
    gcsLayout->addWidget(gcsRow);

    // Only the vehicle rows scroll: the ground station, the titles and the
    // buttons stay in sight however many vehicles there are.
    auto *uavBox = new QGroupBox;
    auto *uavBoxLayout = new QVBoxLayout(uavBox);
    uavBoxLayout->addWidget(new TLabel(tr("Uav Port Setting")), 0, Qt::AlignCenter);
    rowList = new TRowList;
    uavBoxLayout->addWidget(rowList, 1);
    uavLayout = rowList->rowLayout();

    // Made before the window's layout, as they always were: made after it,
    // a row added at the end of a long list was not brought into view.
    buttons = new TButtonBar(session);
    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(gcsBox);
    mainLayout->addWidget(uavBox, 1);
    mainLayout->addLayout(buttons);
}

void TMainWidget::initLinks()
{
    counterRefresh = new TCounterRefresh([this] { return allRows(); }, session, this);
    counterRefresh->watch(gcsRow);
    // The rows start on their defaults then, which the operator must know
    // before pressing Connect on any of them.
    const TSwarmFile::Status status = TSwarmFile::statusOf(TFormSettings::path());
    if (!TSwarmFile::runsOn(status))
        emit TMsgManager::instance()->showMsg(
            -1, BoxMsg, Error, TSwarmFile::statusLine(TFormSettings::path(), status));
    const int vehicles = qMax(1, TWindowSettings::vehicleCount());
    for (int n = 0; n < vehicles; ++n)
        appendVehicle();

    session.addGroundStation(gcsRow->values());
    connect(&session, &TRelaySession::vehicleAdded, this, &TMainWidget::onSessionVehicleAdded);
    connect(&session, &TRelaySession::vehicleRemoved, this, &TMainWidget::onSessionVehicleRemoved);
    connect(&session, &TRelaySession::settingsChanged, this,
            &TMainWidget::onSessionSettingsChanged);

    connect(TApp::instance(), &TApp::TAppEvent, this, &TMainWidget::onTAppEvent);

    connect(gcsRow->connectButton(), &QPushButton::released, this, &TMainWidget::gcsConnectSlot);
    connect(gcsRow->disconnectButton(), &QPushButton::released, this,
            &TMainWidget::gcsDisconnectSlot);

    connect(buttons->connectAll(), &QPushButton::released, this, &TMainWidget::onConnectAll);
    connect(buttons->disconnectAll(), &QPushButton::released, this, &TMainWidget::onDisconnectAll);
    connect(buttons->addUav(), &QPushButton::released, this, &TMainWidget::onAddUav);
    connect(buttons->delUav(), &QPushButton::released, this, &TMainWidget::onDelUav);
}

TIoForm *TMainWidget::groundStationForm() const
{
    return gcsRow->form();
}

QVector<TIoForm *> TMainWidget::openVehicleForms()
{
    QVector<TIoForm *> forms;
    for (TLinkRow *row : qAsConst(uavRows)) {
        row->setOpened(true);
        forms.append(row->form());
    }
    return forms;
}

QVector<TLinkRow *> TMainWidget::allRows() const
{
    return QVector<TLinkRow *>{gcsRow} + uavRows;
}

TLinkRow *TMainWidget::rowOfLink(int linkId) const
{
    if (linkId == gcsLinkId)
        return gcsRow;
    return uavRows.value(linkId - firstUavLinkId);
}

// A row refused is not opened, and its group stays as the file has it: a
// box says why, a line for each value.
void TMainWidget::request(TLinkRow &row, bool isConFlag)
{
    if (!isConFlag) {
        session.close(row.linkId(), row.values());
        return;
    }
    if (!row.sayRefusals())
        return;
    row.store();
    session.open(row.linkId(), row.values());
}

void TMainWidget::requestUav(bool isConFlag)
{
    // Only the buttons of existing vehicle rows are connected here; a call
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
    if (!ok || n < 0 || n >= uavRows.size())
        return;
    request(*uavRows.at(n), isConFlag);
}

void TMainWidget::onConnectAll()
{
    for (TLinkRow *row : allRows())
        emit row->connectButton()->released();
}

void TMainWidget::onDisconnectAll()
{
    for (TLinkRow *row : allRows())
        emit row->disconnectButton()->released();
}

void TMainWidget::onAddUav()
{
    QVector<TLinkRow *> added;
    for (int n = buttons->addCount()->value(); n > 0 && uavRows.size() < TSwarmFile::maxVehicles;
         --n)
        added.append(appendVehicle());
    if (added.isEmpty())
        return;
    // What the new rows hold survives a close before any Connect.
    storeRows(added);
    TWindowFit::fit(*this, TWindowFit::Height::Grow, false);
    rowList->showRow(added.last());
}

TLinkRow *TMainWidget::appendVehicle(Link link)
{
    const int n = uavRows.size();
    const QString group = QStringLiteral("Con%1").arg(n);
    const TLinkSettings above = (n == 0 ? gcsRow : uavRows.last())->values();
    const int linkId = n + firstUavLinkId;
    auto *row = new TLinkRow(linkId, group, TFormSettings::read(group, &above));
    uavRows.append(row);
    counterRefresh->watch(row);
    // Before the trailing stretch that keeps the rows at the top.
    uavLayout->insertWidget(uavLayout->count() - 1, row);
    row->connectButton()->setProperty("Id", n);
    row->disconnectButton()->setProperty("Id", n);
    connect(row->connectButton(), &QPushButton::released, this, &TMainWidget::uavConnectSlot);
    connect(row->disconnectButton(), &QPushButton::released, this, &TMainWidget::uavDisConnectSlot);

    if (link == Link::Make)
        session.addVehicle(row->values());
    return row;
}

void TMainWidget::onSessionVehicleAdded(int id)
{
    // A row the window made itself is there already.
    if (id - firstUavLinkId < uavRows.size())
        return;
    TLinkRow *row = appendVehicle(Link::Made);
    row->apply(session.settings(id));
    storeRows({row});
    TWindowFit::fit(*this, TWindowFit::Height::Grow, false);
    rowList->showRow(row);
}

void TMainWidget::onSessionVehicleRemoved()
{
    if (uavRows.size() > session.vehicleCount())
        removeLastRow();
}

void TMainWidget::onSessionSettingsChanged(int id)
{
    if (TLinkRow *row = rowOfLink(id))
        row->apply(session.settings(id));
}

void TMainWidget::onDelUav()
{
    if (uavRows.size() < 2)
        return;
    removeLastRow();
    session.removeLastVehicle();
}

void TMainWidget::removeLastRow()
{
    TLinkRow *row = uavRows.takeLast();
    uavLayout->removeWidget(row);
    QObject::disconnect(row->connectButton(), nullptr, this, nullptr);
    QObject::disconnect(row->disconnectButton(), nullptr, this, nullptr);
    // The form goes with its row.
    row->deleteLater();
    storeRows({});
}

void TMainWidget::storeRows(const QVector<TLinkRow *> &rows) const
{
    QVector<QPair<QString, TLinkSettings>> groups;
    for (const TLinkRow *row : rows)
        if (row->refusals().isEmpty())
            groups.append({row->group(), row->values()});
    TFormSettings::save(groups);
    TWindowSettings::store(uavRows.size(), saveGeometry());
}

void TMainWidget::restoreWindow()
{
    TWindowFit::restore(*this, TWindowSettings::geometry());
}

void TMainWidget::showEvent(QShowEvent *event)
{
    TWidget::showEvent(event);
    // The window manager tells its decorations once the window is mapped:
    // then the window is fitted again with the real title bar.
    QTimer::singleShot(200, this,
                       [this] { TWindowFit::fit(*this, TWindowFit::Height::Keep, true); });
}

void TMainWidget::closeEvent(QCloseEvent *event)
{
    storeRows(allRows());
    TWidget::closeEvent(event);
}

void TMainWidget::onTAppEvent(int event, int id, QVariant var)
{
    Q_UNUSED(id)
    if (event != IOHandler::LinkOpened && event != IOHandler::LinkOpenFailed &&
        event != IOHandler::LinkClosed && event != IOHandler::LinkWaiting)
        return;
    const IOHandler::DeviceInfo device = IOHandler::deviceFromVariant(var);
    if (TLinkRow *row = rowOfLink(device.id))
        // A link waiting for its device stays locked: Disconnect ends the wait.
        row->setConFlag(event == IOHandler::LinkOpened || event == IOHandler::LinkWaiting);
}
