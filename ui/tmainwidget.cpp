#include "ui/tmainwidget.h"

#include "config/tswarmfile.h"
#include "link/iohandler.h"
#include "link/tlinkerrors.h"
#include "link/tlinkmanager.h"
#include "msg/tmsgmanager.h"
#include "session/tapp.h"
#include "session/version.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tcounterrefresh.h"
#include "ui/tformsettings.h"
#include "ui/tioform.h"
#include "ui/tlinkrow.h"
#include "ui/tradiobutton.h"
#include "ui/trecordbutton.h"
#include "ui/trowlist.h"
#include "ui/twindowsettings.h"

#include <QCloseEvent>
#include <QDebug>
#include <QScreen>

#include <QGroupBox>
#include <QHBoxLayout>
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
    gcsForm = new TIoForm(QStringLiteral("Connect"));
    gcsLayout->addWidget(new TLinkRow(gcsLinkId, gcsForm));

    // Only the vehicle rows scroll: the ground station, the titles and the
    // buttons stay in sight however many vehicles there are.
    auto *uavBox = new QGroupBox;
    auto *uavBoxLayout = new QVBoxLayout(uavBox);
    uavBoxLayout->addWidget(new TLabel(tr("Uav Port Setting")), 0, Qt::AlignCenter);
    rowList = new TRowList;
    uavBoxLayout->addWidget(rowList, 1);
    uavLayout = rowList->rowLayout();

    connectAllBtn = new TPushButton(QString::fromUtf8("全部连接"));
    disconnectAllBtn = new TPushButton(QString::fromUtf8("全部断开"));
    addUavBtn = new TPushButton(QStringLiteral("增加无人机"));
    delUavBtn = new TPushButton(QStringLiteral("删除无人机"));

    mainLayout = new QVBoxLayout(this);
    mainLayout->addWidget(gcsBox);
    mainLayout->addWidget(uavBox, 1);
    auto *buttonLayout = new QHBoxLayout;
    buttonLayout->addWidget(connectAllBtn);
    buttonLayout->addWidget(disconnectAllBtn);
    buttonLayout->addWidget(addUavBtn);
    buttonLayout->addWidget(delUavBtn);
    recordButton = new TRecordButton(session);
    buttonLayout->addWidget(recordButton);
    buttonLayout->addWidget(new TRadioButton(session));
    mainLayout->addLayout(buttonLayout);
}

void TMainWidget::initLinks()
{
    counterRefresh = new TCounterRefresh(
        [this] {
            QVector<TLinkRow *> rows{rowOf(gcsForm)};
            for (TIoForm *form : qAsConst(uavForms))
                rows.append(rowOf(form));
            return rows;
        },
        session, this);
    counterRefresh->watch(rowOf(gcsForm));
    // The rows start on their defaults then, which the operator must know
    // before pressing Connect on any of them.
    const TSwarmFile::Status status = TSwarmFile::statusOf(TFormSettings::path());
    if (!TSwarmFile::runsOn(status))
        emit TMsgManager::instance()->showMsg(
            -1, BoxMsg, Error, TSwarmFile::statusLine(TFormSettings::path(), status));
    const int vehicles = qMax(1, TWindowSettings::vehicleCount());
    for (int n = 0; n < vehicles; ++n)
        appendVehicle();

    session.addGroundStation();

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
    request(gcsLinkId, *gcsForm, isConFlag);
}

// A form refused is not opened: a box says why, a line for each value.
void TMainWidget::request(int linkId, const TIoForm &form, bool isConFlag)
{
    if (!isConFlag) {
        session.close(linkId, form.values());
        return;
    }
    const TSettingsProblems problems = form.refusals();
    for (const TSettingsProblem &problem : problems)
        emit TMsgManager::instance()->showMsg(
            linkId, BoxMsg, Warn, TLinkErrors::forRow(linkId, problem.line(TFormSettings::path())));
    if (problems.isEmpty())
        session.open(linkId, form.values());
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
    request(n + firstUavLinkId, *uavForms.at(n), isConFlag);
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
    QWidget *row = appendVehicle();
    storeWindow();
    fitToScreen(GrowToRows);
    rowList->showRow(row);
}

QWidget *TMainWidget::appendVehicle()
{
    const int n = uavForms.size();
    const TIoForm *above = n == 0 ? gcsForm : uavForms.last();
    auto *form = new TIoForm(QStringLiteral("Con%1").arg(n), nullptr, above);
    uavForms.append(form);
    const int linkId = n + firstUavLinkId;
    auto *row = new TLinkRow(linkId, form);
    counterRefresh->watch(row);
    // Before the trailing stretch that keeps the rows at the top.
    uavLayout->insertWidget(uavLayout->count() - 1, row);
    form->connectBtn->setProperty("Id", n);
    form->disconnectBtn->setProperty("Id", n);
    connect(form->connectBtn, &QPushButton::released, this, &TMainWidget::uavConnectSlot);
    connect(form->disconnectBtn, &QPushButton::released, this, &TMainWidget::uavDisConnectSlot);

    session.addVehicle();
    return row;
}

TLinkRow *TMainWidget::rowOf(TIoForm *form)
{
    return static_cast<TLinkRow *>(form->parentWidget());
}

void TMainWidget::onDelUav()
{
    const int count = uavForms.size();
    if (count < 2)
        return;
    TIoForm *form = uavForms.last();
    QWidget *row = form->parentWidget();
    uavLayout->removeWidget(row);
    QObject::disconnect(form, nullptr, nullptr, nullptr);
    disconnect(form->connectBtn, &QPushButton::released, this, &TMainWidget::uavConnectSlot);
    disconnect(form->disconnectBtn, &QPushButton::released, this, &TMainWidget::uavDisConnectSlot);
    // The form goes with its row.
    row->deleteLater();
    uavForms.removeLast();

    session.removeLastVehicle();
    storeWindow();
}

void TMainWidget::restoreWindow()
{
    const QByteArray geometry = TWindowSettings::geometry();
    const bool restored = !geometry.isEmpty() && restoreGeometry(geometry);
    if (!geometry.isEmpty() && !restored)
        qDebug() << "settings file: window geometry not usable, default size used";
    fitToScreen(restored ? KeepSize : GrowToRows);
}

void TMainWidget::storeWindow() const
{
    TWindowSettings::store(uavForms.size(), saveGeometry());
}

void TMainWidget::fitToScreen(Fit fit)
{
    QScreen *where = screen();
    if (!where)
        return;
    const QRect available = where->availableGeometry();
    // Window decorations are outside the widget's own height.
    const int frame = frameGeometry().height() - geometry().height();
    const int tallest = qMax(minimumSizeHint().height(), available.height() - frame);
    const QSize wanted = sizeHint();
    const bool sized = testAttribute(Qt::WA_Resized);
    int height = !sized ? wanted.height() : this->height();
    if (sized && fit == GrowToRows)
        height = qMax(height, wanted.height());
    height = qMin(height, tallest);
    const int widest = qMax(available.width(), minimumSizeHint().width());
    const int width =
        qMin(qMax(sized ? this->width() : wanted.width(), minimumSizeHint().width()), widest);
    if (!sized || height != this->height() || width != this->width())
        resize(width, height);
}

void TMainWidget::closeEvent(QCloseEvent *event)
{
    storeWindow();
    TWidget::closeEvent(event);
}

void TMainWidget::onTAppEvent(int event, int id, QVariant var)
{
    Q_UNUSED(id)
    if (event != IOHandler::LinkOpened && event != IOHandler::LinkOpenFailed &&
        event != IOHandler::LinkClosed && event != IOHandler::LinkWaiting)
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
        // A link waiting for its device stays locked: Disconnect ends the wait.
        form->setConFlag(event == IOHandler::LinkOpened || event == IOHandler::LinkWaiting);
}
