#include "ui/tformsettings.h"

#include "ui/kit/tlabelcombox.h"
#include "ui/kit/tlabellineedit.h"
#include "ui/kit/tserialcombox.h"
#include "ui/tioform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QSettings>
#include <QVariant>

namespace {
const QString kConType = QStringLiteral("ConType");
const QString kSerialPortName = QStringLiteral("SerialPortName");
const QString kLocalIp = QStringLiteral("LocalIp");
const QString kLocalPort = QStringLiteral("LocalPort");
const QString kLocalIpGroup = QStringLiteral("LocalIpGroup");
const QString kLocalPortGroup = QStringLiteral("LocalPortGroup");
const QString kRemoteIp = QStringLiteral("RemoteIp");
const QString kRemotePort = QStringLiteral("RemotePort");
const QString kUdpNetInterface = QStringLiteral("UdpNetInterface");
const QString kLoopBack = QStringLiteral("LoopBack");
// The serial line, stored as the texts the boxes show. Files written
// before these keys existed load as they always did: a missing key leaves
// the box at its default.
const QString kBaudRate = QStringLiteral("BaudRate");
const QString kDataBits = QStringLiteral("DataBits");
const QString kStopBits = QStringLiteral("StopBits");
const QString kParity = QStringLiteral("Parity");
} // namespace

QString TFormSettings::path()
{
    return QString::fromLatin1(TIoForm::settingsPath);
}

bool TFormSettings::load(TIoForm &form)
{
    QSettings settings(path(), QSettings::IniFormat);
    const bool stored = settings.childGroups().contains(form.getName());
    settings.beginGroup(form.getName());
    const auto applyText = [&settings](const QString &key, const auto &apply) {
        const QVariant value = settings.value(key, QVariant());
        if (!value.isNull())
            apply(value.toString());
    };
    const auto applyToBox = [&applyText](const QString &key, QComboBox *box) {
        applyText(key, [box](const QString &v) { box->setCurrentText(v); });
    };
    const auto applyToEdit = [&applyText](const QString &key, TLabelLineEdit *edit) {
        // Shown as stored, also when it is no valid value: the link refuses
        // it on Connect and says why, where a silent fix would hide it.
        applyText(key, [edit](const QString &v) { edit->setText(v); });
    };
    applyToBox(kConType, form.conTypeCombox->comboBox());
    applyToBox(kSerialPortName, form.serialCombox);
    applyToEdit(kLocalIp, form.localIpEdit);
    applyToEdit(kLocalPort, form.localPortEdit);
    applyToEdit(kLocalIpGroup, form.groupIpEdit);
    applyToEdit(kLocalPortGroup, form.groupPortEdit);
    applyToEdit(kRemoteIp, form.remoteIpEdit);
    applyToEdit(kRemotePort, form.remotePortEdit);
    applyToBox(kUdpNetInterface, form.netCardCombox->comboBox());
    applyToBox(kBaudRate, form.baudCombox->comboBox());
    applyToBox(kDataBits, form.dataBitsCombox->comboBox());
    applyToBox(kStopBits, form.stopBitsCombox->comboBox());
    applyToBox(kParity, form.parityCombox->comboBox());
    const QVariant loopBack = settings.value(kLoopBack, QVariant());
    if (!loopBack.isNull()) {
        // Any other number behaves as the box would treat it: checked. Cast
        // unchecked, a number outside the enumeration is undefined.
        const int state = loopBack.toInt();
        form.loopBackCheck->setCheckState(state == Qt::Unchecked          ? Qt::Unchecked
                                          : state == Qt::PartiallyChecked ? Qt::PartiallyChecked
                                                                          : Qt::Checked);
    }
    settings.endGroup();
    // The form starts with its defaults all the same; say why.
    if (settings.status() == QSettings::AccessError)
        qDebug() << "settings file" << settings.fileName() << "not read, defaults used for"
                 << form.getName();
    return stored;
}

void TFormSettings::save(const TIoForm &form)
{
    QSettings settings(path(), QSettings::IniFormat);
    settings.beginGroup(form.getName());
    settings.setValue(kLocalIp, form.localIpEdit->text());
    settings.setValue(kLocalPort, form.localPortEdit->text());
    settings.setValue(kLocalIpGroup, form.groupIpEdit->text());
    settings.setValue(kLocalPortGroup, form.groupPortEdit->text());
    settings.setValue(kRemoteIp, form.remoteIpEdit->text());
    settings.setValue(kRemotePort, form.remotePortEdit->text().toUInt(nullptr, 10));
    settings.setValue(kSerialPortName, form.serialCombox->currentText());
    settings.setValue(kConType, form.conTypeCombox->currentText());
    settings.setValue(kUdpNetInterface, form.netCardCombox->currentText());
    settings.setValue(kLoopBack, static_cast<int>(form.loopBackCheck->checkState()));
    settings.setValue(kBaudRate, form.baudCombox->currentText());
    settings.setValue(kDataBits, form.dataBitsCombox->currentText());
    settings.setValue(kStopBits, form.stopBitsCombox->currentText());
    settings.setValue(kParity, form.parityCombox->currentText());
    settings.endGroup();
    // The link opens whether or not this worked, but the operator's values
    // will be missing at the next start: say so.
    settings.sync();
    if (settings.status() == QSettings::AccessError)
        qDebug() << "settings file" << settings.fileName() << "not saved, settings of"
                 << form.getName() << "lost at exit";
    else if (settings.status() == QSettings::FormatError)
        qDebug() << "settings file" << settings.fileName() << "holds lines that are not settings";
}
