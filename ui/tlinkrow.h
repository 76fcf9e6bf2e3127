#pragma once

#include "config/tlinksettings.h"
#include "config/tsettingsproblem.h"
#include "ui/tformrefusals.h"
#include "ui/tformsettings.h"

#include <QWidget>

class QLabel;
class QToolButton;
class QVBoxLayout;
class TIoForm;
class TElidedLabel;
class TLabel;
class TPushButton;

// One link's row in the window. On one line: a control that opens the
// row, its name ("Gcs", "Uav 1", ...), its kind and endpoint in words,
// Connect, Disconnect and a live line of what the link does. Opened, the
// link's full port form lies beneath the line. The form is built the first
// time the row is opened; until then the row keeps the settings itself, so
// that a swarm of rows costs little more than their lines.
class TLinkRow : public QWidget
{
    Q_OBJECT
public:
    TLinkRow(int linkId, const QString &group, const TFormSettings::Start &start,
             QWidget *parent = nullptr);

    int linkId() const { return id; }
    // The row's group of the settings file.
    QString group() const { return groupName; }
    TLabel *nameLabel() const { return name; }
    TElidedLabel *statusLabel() const { return status; }
    QLabel *kindLabel() const { return kind; }
    TElidedLabel *endpointLabel() const { return endpoint; }
    QToolButton *openButton() const { return opener; }
    TPushButton *connectButton() const { return connectBtn; }
    TPushButton *disconnectButton() const { return disconnectBtn; }

    // The port form, built now if it was not yet; shown only when the row
    // is opened.
    TIoForm *form();
    // Null until the row was first opened.
    TIoForm *builtForm() const { return ioForm; }
    bool isOpened() const;
    void setOpened(bool opened);

    // What the link would open on, and why it may not; the form's once built.
    TLinkSettings values() const;
    TSettingsProblems refusals() const;
    // True when nothing is refused; else a box tells the operator why, a
    // line for each value.
    bool sayRefusals() const;
    // Shows `values`, in the form once built.
    void apply(const TLinkSettings &values);
    // Writes the row's group, unless its settings are refused: the file
    // then keeps what was stored.
    void store() const;

    // true: the link is shown as open (everything locked but Disconnect).
    void setConFlag(bool isConFlag);
    bool getConFlag() const { return conFlag; }

    // The endpoint of `values` as the line shows it.
    static QString endpointText(const TLinkSettings &values);

    // How the live line looks: a plain cue, never a box.
    enum class Look
    {
        Closed,
        Open,
        Quiet,
        Failed
    };
    // Whether the emulated radio has rules for the link: a mark beside its kind.
    void showRadioMark(bool marked);
    bool radioMarked() const;
    // Changes only what differs from what is shown.
    void showStatus(const QString &line, const QString &tooltip, Look look);

signals:
    void resetRequested(int linkId);
    void resetAllRequested();
    void openedChanged(bool opened);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showSummary();
    void buildStatus();

    QVBoxLayout *layout = nullptr;
    QToolButton *opener = nullptr;
    TLabel *name = nullptr;
    QLabel *kind = nullptr;
    QLabel *radioMark = nullptr;
    TElidedLabel *endpoint = nullptr;
    TPushButton *connectBtn = nullptr;
    TPushButton *disconnectBtn = nullptr;
    TElidedLabel *status = nullptr;
    TIoForm *ioForm = nullptr;
    QString groupName;
    // Until the form is built.
    TLinkSettings held;
    TFormRefusals refused;
    Look shownLook = Look::Closed;
    bool conFlag = false;
    int id;
};
