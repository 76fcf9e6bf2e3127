#include "ui/kit/tserialcombox.h"

#include "link/tserialports.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStringList>
#include <QStyle>

TSerialCombox::TSerialCombox(QWidget *parent) : QComboBox(parent), showDescription(true)
{
    setEditable(true);
    // A typed path is the operator's choice, not a new list entry.
    setInsertPolicy(QComboBox::NoInsert);
    absentMark = lineEdit()->addAction(style()->standardIcon(QStyle::SP_MessageBoxWarning),
                                       QLineEdit::TrailingPosition);
    connect(this, &QComboBox::currentTextChanged, this, &TSerialCombox::markPresence);
    refreshPorts(TSerialPorts::Age::Recent);
}

QString TSerialCombox::deviceName(const QString &entry)
{
    return TSerialPorts::deviceName(entry);
}

void TSerialCombox::refreshPorts(TSerialPorts::Age age)
{
    const QString remembered = currentText();
    const QSignalBlocker quiet(this);
    clear();
    addItems(TSerialPorts::entries(showDescription, age));
    // A port that is not listed (unplugged, or a path the system does not
    // enumerate) stays the operator's choice instead of silently becoming
    // the first port listed.
    if (!remembered.isEmpty())
        setCurrentText(remembered);
    markPresence();
}

bool TSerialCombox::currentPortAbsent() const
{
    const QString name = deviceName(currentText()).trimmed();
    if (name.isEmpty())
        return false;
    for (int i = 0; i < count(); ++i)
        if (deviceName(itemText(i)) == name)
            return false;
    if (name.startsWith(QLatin1Char('/')))
        return !QFileInfo::exists(name);
    return !QFileInfo::exists(QStringLiteral("/dev/") + name);
}

void TSerialCombox::markPresence()
{
    const bool absent = currentPortAbsent();
    absentMark->setVisible(absent);
    const QString tip =
        absent ? tr("%1 is not present on this computer").arg(deviceName(currentText()).trimmed())
               : QString();
    absentMark->setToolTip(tip);
    setToolTip(tip);
}

void TSerialCombox::setShowDescription(bool show)
{
    showDescription = show;
    update();
}

void TSerialCombox::showPopup()
{
    // An adapter plugged in since the last look shows up at once.
    refreshPorts();
    QComboBox::showPopup();
}

void TSerialCombox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        showPopup();
}
