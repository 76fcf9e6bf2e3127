#include "ui/kit/tserialcombox.h"

#include <QMouseEvent>
#include <QSerialPortInfo>
#include <QStringList>

TSerialCombox::TSerialCombox(QWidget *parent) : QComboBox(parent), showDescription(true)
{
    refreshPorts();
}

void TSerialCombox::refreshPorts()
{
    const QString remembered = currentText();
    clear();
    QStringList entries;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        if (showDescription)
            entries.append(port.portName() + QStringLiteral(": ") + port.description());
        else
            entries.append(port.portName());
    }
    addItems(entries);
    if (entries.contains(remembered, Qt::CaseSensitive))
        setCurrentText(remembered);
}

void TSerialCombox::setShowDescription(bool show)
{
    showDescription = show;
    update();
}

void TSerialCombox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        refreshPorts();
        showPopup();
    }
}
