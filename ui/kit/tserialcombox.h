#pragma once

#include "link/tserialports.h"

#include <QComboBox>

class QAction;

// The list of serial ports as "name: description" (or the name alone), read
// again each time the list opens. The box is editable: a device path typed
// in (a pseudo terminal, a simulator's virtual port) is used whole. A port
// that is chosen but not present stays chosen and is marked as absent.
class TSerialCombox : public QComboBox
{
    Q_OBJECT
public:
    explicit TSerialCombox(QWidget *parent = nullptr);

    // The list as the system has it now; a box being built may take one
    // read a moment ago.
    void refreshPorts(TSerialPorts::Age age = TSerialPorts::Age::Now);
    // Takes effect at the next refreshPorts().
    void setShowDescription(bool show);
    bool isShowingDescription() const { return showDescription; }
    // The current entry names no port this computer has right now.
    bool currentPortAbsent() const;
    void showPopup() override;

    // The device part of an entry: the text before the first ":".
    static QString deviceName(const QString &entry);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void markPresence();

    bool showDescription;
    QAction *absentMark = nullptr;
};
