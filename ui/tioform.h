#pragma once

#include "config/tlinksettings.h"
#include "link/iohandler.h"
#include "ui/kit/tcontainer.h"
#include "ui/tformrefusals.h"
#include "ui/tformsettings.h"

#include <QList>
#include <QString>

class QCheckBox;
class QHBoxLayout;
class TLabelCombox;
class TLabelLineEdit;
class TPushButton;
class TSerialCombox;

// The row of controls that configures one link: connection type, serial
// parameters, UDP addresses and ports, multicast interface and loop-back,
// Connect and Disconnect. It keeps its values in the group `name` of
// "./cfg/app.ini": read while it is built, written on every Connect release.
class TIoForm : public TContainer
{
    Q_OBJECT
public:
    // A form whose group is not in the settings file starts from the row
    // `above`, when given: see followRow().
    explicit TIoForm(const QString &name, QWidget *parent = nullptr,
                     const TIoForm *above = nullptr);
    // A form that starts on `start` without reading the file, and uses the
    // Connect and Disconnect buttons of the row it sits in instead of its
    // own: the row, not the form, stores the settings on Connect.
    struct Buttons
    {
        TPushButton *connect = nullptr;
        TPushButton *disconnect = nullptr;
    };
    TIoForm(const QString &name, const TFormSettings::Start &start, Buttons buttons,
            QWidget *parent = nullptr);
    ~TIoForm() override;

    // The controls' values as an endpoint record; its id is left at 0.
    IOHandler::DeviceInfo getDeviceInfo() const;
    // true: the link is shown as open (everything locked but Disconnect).
    void setConFlag(bool isConFlag);
    // Takes the kind, addresses and serial line of `above`, with every
    // port `stride` higher and the next serial port of the list, so that
    // rows added one after another never collide.
    void followRow(const TIoForm &above, int stride = 1);
    // What the controls show, and back; the settings file holds the same.
    TLinkSettings values() const;
    void apply(const TLinkSettings &values);
    // Why the link may not be opened as the form stands: the values read
    // from the file that no link takes and the operator has not set again,
    // and what the fields hold now. Empty when it may.
    TSettingsProblems refusals() const { return refused.of(name, values()); }
    void keepRefused(const TSettingsProblems &problems) { refused.keep(problems); }
    // The stored values it was built with that are still refused.
    TSettingsProblems keptRefusals() const { return refused.kept(); }

    // The controls, in layout order. The owner sets properties on the two
    // buttons and connects to them; tests read the others.
    QHBoxLayout *mainLayout = nullptr;
    TLabelCombox *conTypeCombox = nullptr;
    TSerialCombox *serialCombox = nullptr;
    TLabelCombox *baudCombox = nullptr;
    TLabelCombox *dataBitsCombox = nullptr;
    TLabelCombox *stopBitsCombox = nullptr;
    TLabelCombox *parityCombox = nullptr;
    QCheckBox *loopBackCheck = nullptr;
    TLabelCombox *netCardCombox = nullptr;
    TLabelLineEdit *groupIpEdit = nullptr;
    TLabelLineEdit *groupPortEdit = nullptr;
    TLabelLineEdit *localIpEdit = nullptr;
    TLabelLineEdit *localPortEdit = nullptr;
    TLabelLineEdit *remoteIpEdit = nullptr;
    TLabelLineEdit *remotePortEdit = nullptr;
    // Serial and multicast; unicast and TCP server.
    QCheckBox *reconnectCheck = nullptr;
    QCheckBox *fixedPeerCheck = nullptr;
    TPushButton *connectBtn = nullptr;
    TPushButton *disconnectBtn = nullptr;

    // The IOHandler::ConType whose controls are shown.
    int getConType() const { return conType; }
    bool getConFlag() const { return conFlag; }
    // The settings group of the form.
    QString getName() const { return name; }

private:
    // The controls, on their defaults, as a serial link that is closed.
    void initUi(Buttons buttons);
    // Watching the controls that can show a refused stored value.
    void watchRefusals();
    void setConType(int type);
    // The controls of one endpoint kind, listed once: shown only for that
    // kind, locked while the link is open.
    QList<QWidget *> controlsOf(int kind) const;
    static constexpr int endpointKinds[] = {IOHandler::Serial, IOHandler::UdpUnicast,
                                            IOHandler::UdpMulticast, IOHandler::TcpClient,
                                            IOHandler::TcpServer};
    void onConTypeText(const QString &text);
    void saveSettings();
    void loadComboStyle();

    qint32 conType = IOHandler::Serial;
    bool conFlag = false;
    QString name;
    TFormRefusals refused;
};
