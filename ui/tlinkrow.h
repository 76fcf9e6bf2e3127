#pragma once

#include <QWidget>

class TIoForm;
class TLabel;

// One link's row in the window: its name ("Gcs", "Uav 1", ...) at the left,
// then its port form. The row owns the form.
class TLinkRow : public QWidget
{
    Q_OBJECT
public:
    TLinkRow(int linkId, TIoForm *form, QWidget *parent = nullptr);

    TLabel *nameLabel() const { return name; }
    TIoForm *form() const { return ioForm; }

private:
    TLabel *name = nullptr;
    TIoForm *ioForm = nullptr;
};
