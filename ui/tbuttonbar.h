#pragma once

#include <QHBoxLayout>

class QSpinBox;
class TPushButton;
class TRecordButton;
class TRelaySession;

// The row of buttons under the links: connect and disconnect all, add (as
// many as the count beside it says) and remove vehicles, record, radio.
// A layout, so that it lies in the window's own as the rows' boxes do.
class TButtonBar : public QHBoxLayout
{
public:
    explicit TButtonBar(TRelaySession &session);

    TPushButton *connectAll() const { return connectAllBtn; }
    TPushButton *disconnectAll() const { return disconnectAllBtn; }
    TPushButton *addUav() const { return addUavBtn; }
    QSpinBox *addCount() const { return count; }
    TPushButton *delUav() const { return delUavBtn; }
    TRecordButton *recorder() const { return recordButton; }

private:
    TPushButton *connectAllBtn;
    TPushButton *disconnectAllBtn;
    TPushButton *addUavBtn;
    QSpinBox *count;
    TPushButton *delUavBtn;
    TRecordButton *recordButton;
};
