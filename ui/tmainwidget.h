#pragma once

#include "link/tlinknames.h"
#include "session/trelaysession.h"
#include "ui/kit/twidget.h"

#include <QVariant>
#include <QVector>

class QVBoxLayout;
class TCounterRefresh;
class TLinkRow;
class TRecordButton;
class TRowList;
class TIoForm;
class TPushButton;

// The one window: the ground-station form, one form per vehicle, and the
// buttons that connect or disconnect all links and add or delete a vehicle.
// It creates the links, registers them in TLinkManager and follows their
// state through TApp::TAppEvent.
class TMainWidget : public TWidget
{
    Q_OBJECT
public:
    explicit TMainWidget(QWidget *parent = nullptr);
    ~TMainWidget() override;

    // Read access for tests and tools.
    TIoForm *groundStationForm() const { return gcsForm; }
    const QVector<TIoForm *> &vehicleForms() const { return uavForms; }
    TPushButton *connectAllButton() const { return connectAllBtn; }
    TPushButton *disconnectAllButton() const { return disconnectAllBtn; }
    TPushButton *addUavButton() const { return addUavBtn; }
    TPushButton *delUavButton() const { return delUavBtn; }
    TRowList *vehicleRowList() const { return rowList; }
    TCounterRefresh *counters() const { return counterRefresh; }
    TRelaySession &relay() { return session; }
    TRecordButton *recorder() const { return recordButton; }

    // Link id of the ground-station link and of the first vehicle link.
    static constexpr int gcsLinkId = TLinkNames::gcsLinkId;
    static constexpr int firstUavLinkId = TLinkNames::firstUavLinkId;

private slots:
    void gcsConnectSlot();
    void gcsDisconnectSlot();
    void uavConnectSlot();
    void uavDisConnectSlot();

private:
    void initUi();
    void initLinks();
    void onConnectAll();
    void onDisconnectAll();
    void onAddUav();
    void onDelUav();
    void onTAppEvent(int event, int id, QVariant var);
    // The form, its row and, unless the session made it already, its link
    // at the end of the list; the row.
    enum class Link
    {
        Make,
        Made
    };
    QWidget *appendVehicle(Link link = Link::Make);
    // The session changed without the window (the control socket): the
    // rows follow.
    void onSessionVehicleAdded(int id);
    void onSessionVehicleRemoved();
    void onSessionSettingsChanged(int id);
    void removeLastRow();
    // Every form sits in the row that shows its link.
    static TLinkRow *rowOf(TIoForm *form);
    void restoreWindow();
    void storeWindow() const;
    // As tall as the rows want (or as the operator left it), never taller
    // than the screen.
    enum Fit
    {
        GrowToRows,
        KeepSize
    };
    void fitToScreen(Fit fit);
    void closeEvent(QCloseEvent *event) override;
    void requestGcs(bool isConFlag);
    void requestUav(bool isConFlag);
    void request(int linkId, const TIoForm &form, bool isConFlag);

    // Before the widgets: the rows' refresh reads it until they are gone.
    TRelaySession session;
    QVBoxLayout *mainLayout = nullptr;
    TPushButton *connectAllBtn = nullptr;
    TPushButton *disconnectAllBtn = nullptr;
    TPushButton *addUavBtn = nullptr;
    TPushButton *delUavBtn = nullptr;
    TIoForm *gcsForm = nullptr;
    QVBoxLayout *uavLayout = nullptr;
    QVector<TIoForm *> uavForms;
    TRowList *rowList = nullptr;
    TCounterRefresh *counterRefresh = nullptr;
    TRecordButton *recordButton = nullptr;
};
