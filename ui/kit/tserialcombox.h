#pragma once

#include <QComboBox>

// The list of serial ports as "name: description" (or the name alone), read
// again on every left mouse press, keeping the current entry when it is
// still listed.
class TSerialCombox : public QComboBox
{
    Q_OBJECT
public:
    explicit TSerialCombox(QWidget *parent = nullptr);

    void refreshPorts();
    // Takes effect at the next refreshPorts().
    void setShowDescription(bool show);
    bool isShowingDescription() const { return showDescription; }

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool showDescription;
};
