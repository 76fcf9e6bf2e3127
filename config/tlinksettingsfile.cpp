#include "config/tlinksettingsfile.h"

#include "config/tlinksettings.h"

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
// the field at its default.
const QString kBaudRate = QStringLiteral("BaudRate");
const QString kDataBits = QStringLiteral("DataBits");
const QString kStopBits = QStringLiteral("StopBits");
const QString kParity = QStringLiteral("Parity");
// Both off when missing, as every file written before them.
const QString kAutoReconnect = QStringLiteral("AutoReconnect");
const QString kFixedPeer = QStringLiteral("FixedPeer");

bool isChoice(const QVector<TLinkSettings::Choice> &choices, const QString &text)
{
    for (const TLinkSettings::Choice &c : choices)
        if (c.text == text)
            return true;
    return false;
}
} // namespace

bool TLinkSettingsFile::read(QSettings &settings, const QString &group, TLinkSettings &values)
{
    const bool stored = settings.childGroups().contains(group);
    settings.beginGroup(group);
    const auto take = [&settings](const QString &key, QString &field) {
        const QVariant value = settings.value(key, QVariant());
        if (!value.isNull())
            field = value.toString();
    };
    const auto choose = [&settings](const QString &key, QString &field, const auto &isListed) {
        const QVariant value = settings.value(key, QVariant());
        if (value.isNull())
            return;
        // The program writes other than ASCII as escapes; a file written by
        // hand in UTF-8 reads as Latin-1 and means the same choice.
        const QString text = value.toString();
        const QString utf8 = QString::fromUtf8(text.toLatin1());
        if (isListed(text))
            field = text;
        else if (isListed(utf8))
            field = utf8;
    };
    const auto among = [](const QVector<TLinkSettings::Choice> &choices) {
        return [&choices](const QString &text) { return isChoice(choices, text); };
    };
    const QStringList interfaces = TLinkSettings::interfaceNames();
    choose(kConType, values.conType, among(TLinkSettings::conTypes()));
    // The port box takes any typed path.
    take(kSerialPortName, values.serialPort);
    // Shown as stored, also when it is no valid value: the link refuses it
    // on Connect and says why, where a silent fix would hide it.
    take(kLocalIp, values.localIp);
    take(kLocalPort, values.localPort);
    take(kLocalIpGroup, values.groupIp);
    take(kLocalPortGroup, values.groupPort);
    take(kRemoteIp, values.remoteIp);
    take(kRemotePort, values.remotePort);
    choose(kUdpNetInterface, values.netInterface,
           [&interfaces](const QString &name) { return interfaces.contains(name); });
    choose(kBaudRate, values.baudRate, among(TLinkSettings::baudRates()));
    choose(kDataBits, values.dataBits, among(TLinkSettings::dataBitsChoices()));
    choose(kStopBits, values.stopBits, among(TLinkSettings::stopBitsChoices()));
    choose(kParity, values.parity, among(TLinkSettings::parities()));
    const QVariant loopBack = settings.value(kLoopBack, QVariant());
    if (!loopBack.isNull()) {
        // Any other number behaves as the box would treat it: checked. Cast
        // unchecked, a number outside the enumeration is undefined.
        const int state = loopBack.toInt();
        values.loopBack = state == Qt::Unchecked          ? Qt::Unchecked
                          : state == Qt::PartiallyChecked ? Qt::PartiallyChecked
                                                          : Qt::Checked;
    }
    for (const auto &flag : {qMakePair(&kAutoReconnect, &values.autoReconnect),
                             qMakePair(&kFixedPeer, &values.fixedPeer)}) {
        const QVariant value = settings.value(*flag.first, QVariant());
        if (!value.isNull())
            *flag.second =
                value.toString().trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }
    settings.endGroup();
    return stored;
}

void TLinkSettingsFile::write(QSettings &settings, const QString &group,
                              const TLinkSettings &values)
{
    settings.beginGroup(group);
    settings.setValue(kLocalIp, values.localIp);
    settings.setValue(kLocalPort, values.localPort);
    settings.setValue(kLocalIpGroup, values.groupIp);
    settings.setValue(kLocalPortGroup, values.groupPort);
    settings.setValue(kRemoteIp, values.remoteIp);
    settings.setValue(kRemotePort, values.remotePort.toUInt(nullptr, 10));
    settings.setValue(kSerialPortName, values.serialPort);
    settings.setValue(kConType, values.conType);
    settings.setValue(kUdpNetInterface, values.netInterface);
    settings.setValue(kLoopBack, values.loopBack);
    settings.setValue(kBaudRate, values.baudRate);
    settings.setValue(kDataBits, values.dataBits);
    settings.setValue(kStopBits, values.stopBits);
    settings.setValue(kParity, values.parity);
    settings.setValue(kAutoReconnect, values.autoReconnect);
    settings.setValue(kFixedPeer, values.fixedPeer);
    settings.endGroup();
}

int TLinkSettingsFile::vehicleGroups(QSettings &settings)
{
    const QStringList groups = settings.childGroups();
    int n = 0;
    while (groups.contains(vehicleGroup(n)))
        ++n;
    return n;
}
