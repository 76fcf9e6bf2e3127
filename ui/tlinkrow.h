#pragma once

#include <QWidget>

class QLabel;
class TIoForm;
class TLabel;

// One link's row in the window: its name ("Gcs", "Uav 1", ...) at the left,
// then its port form, then a live line of what the link does. The row owns
// the form.
class TLinkRow : public QWidget
{
    Q_OBJECT
public:
    TLinkRow(int linkId, TIoForm *form, QWidget *parent = nullptr);

    TLabel *nameLabel() const { return name; }
    TIoForm *form() const { return ioForm; }
    QLabel *statusLabel() const { return status; }
    int linkId() const { return id; }

    // How the live line looks: a plain cue, never a box.
    enum class Look
    {
        Closed,
        Open,
        Quiet,
        Failed
    };
    // Changes only what differs from what is shown.
    void showStatus(const QString &line, const QString &tooltip, Look look);

signals:
    void resetRequested(int linkId);
    void resetAllRequested();

private:
    TLabel *name = nullptr;
    TIoForm *ioForm = nullptr;
    QLabel *status = nullptr;
    QString shownLine;
    Look shownLook = Look::Closed;
    int id;
};
