#pragma once

#include "link/tlinknames.h"
#include "session/trelaysession.h"
#include "ui/kit/twidget.h"
#include "ui/tbuttonbar.h"

#include <QVariant>
#include <QVector>

class QVBoxLayout;
class TCounterRefresh;
class TLinkRow;
class TRowList;
class TIoForm;
class TPushButton;

// The one window: the ground-station row with its form, one line per
// vehicle (its form beneath it once opened), and the buttons that connect
// or disconnect all links and add or delete vehicles. It creates the
// links through its session and follows their state through
// TApp::TAppEvent.
class TMainWidget : public TWidget
{
    Q_OBJECT
public:
    explicit TMainWidget(QWidget *parent = nullptr);
    ~TMainWidget() override;

    // Read access for tests and tools.
    TIoForm *groundStationForm() const;
    TLinkRow *groundStationRow() const { return gcsRow; }
    const QVector<TLinkRow *> &vehicleRows() const { return uavRows; }
    // Every vehicle row opened, and its form.
    QVector<TIoForm *> openVehicleForms();
    TPushButton *connectAllButton() const { return buttons->connectAll(); }
    TPushButton *disconnectAllButton() const { return buttons->disconnectAll(); }
    TPushButton *addUavButton() const { return buttons->addUav(); }
    TPushButton *delUavButton() const { return buttons->delUav(); }
    // How many vehicles the add button adds at once.
    QSpinBox *addCountBox() const { return buttons->addCount(); }
    TRowList *vehicleRowList() const { return rowList; }
    TCounterRefresh *counters() const { return counterRefresh; }
    TRelaySession &relay() { return session; }
    TRecordButton *recorder() const { return buttons->recorder(); }

    // Link id of the ground-station link and of the first vehicle link.
    static constexpr int gcsLinkId = TLinkNames::gcsLinkId;
    static constexpr int firstUavLinkId = TLinkNames::firstUavLinkId;

private slots:
    void gcsConnectSlot() { request(*gcsRow, true); }
    void gcsDisconnectSlot() { request(*gcsRow, false); }
    // The vehicle row is the one whose button sent the signal.
    void uavConnectSlot() { requestUav(true); }
    void uavDisConnectSlot() { requestUav(false); }

private:
    void initUi();
    void initLinks();
    void onConnectAll();
    void onDisconnectAll();
    void onAddUav();
    void onDelUav();
    void onTAppEvent(int event, int id, QVariant var);
    // A row and, unless the session made it already, its link at the end
    // of the list.
    enum class Link
    {
        Make,
        Made
    };
    TLinkRow *appendVehicle(Link link = Link::Make);
    // The session changed without the window (the control socket): the
    // rows follow.
    void onSessionVehicleAdded(int id);
    void onSessionVehicleRemoved();
    void onSessionSettingsChanged(int id);
    void removeLastRow();
    TLinkRow *rowOfLink(int linkId) const;
    // The ground station first, then the vehicles.
    QVector<TLinkRow *> allRows() const;
    // The settings of `rows` in one write of the file, the window's own
    // group with them.
    void storeRows(const QVector<TLinkRow *> &rows) const;
    void restoreWindow();
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void requestUav(bool isConFlag);
    void request(TLinkRow &row, bool isConFlag);

    // Before the widgets: the rows' refresh reads it until they are gone.
    TRelaySession session;
    QVBoxLayout *mainLayout = nullptr;
    TButtonBar *buttons = nullptr;
    TLinkRow *gcsRow = nullptr;
    QVBoxLayout *uavLayout = nullptr;
    QVector<TLinkRow *> uavRows;
    TRowList *rowList = nullptr;
    TCounterRefresh *counterRefresh = nullptr;
};
