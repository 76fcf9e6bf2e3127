#include "config/tlinksettingsfile.h"

#include "config/tlinksettings.h"
#include "config/tsettingscheck.h"
#include "config/tsettingskeys.h"

#include <QSettings>
#include <QVariant>

namespace K = TSettingsKeys;

namespace {
// The program writes other than ASCII as escapes; a file written by hand
// in UTF-8 reads as Latin-1, and means the text its bytes spell.
QString asTyped(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() > 0xff)
            return text;
    const QString utf8 = QString::fromUtf8(text.toLatin1());
    return utf8.contains(QChar::ReplacementCharacter) ? text : utf8;
}

// A list's own spelling of `text`, whatever its case; `text` itself when
// it is none of them, so that the check can name it.
QString listedAs(const QVector<TLinkSettings::Choice> &choices, const QString &text)
{
    for (const TLinkSettings::Choice &c : choices)
        if (c.text.compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return c.text;
    return text;
}

// "true"/"false" as the file writes them, and 1/0 as scripts do.
bool flagOf(const QString &text, bool &flag)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1"))
        flag = true;
    else if (t == QLatin1String("false") || t == QLatin1String("0"))
        flag = false;
    else
        return false;
    return true;
}
} // namespace

bool TLinkSettingsFile::read(QSettings &settings, const QString &group, TLinkSettings &values,
                             TSettingsProblems *problems)
{
    const bool stored = settings.childGroups().contains(group);
    settings.beginGroup(group);
    read([&settings](const QString &key) { return settings.value(key, QVariant()); }, stored, group,
         values, problems);
    settings.endGroup();
    return stored;
}

QStringList TLinkSettingsFile::keys()
{
    return {K::conType,         K::serialPortName, K::localIp,       K::localPort,
            K::localIpGroup,    K::localPortGroup, K::remoteIp,      K::remotePort,
            K::udpNetInterface, K::loopBack,       K::baudRate,      K::dataBits,
            K::stopBits,        K::parity,         K::autoReconnect, K::fixedPeer};
}

bool TLinkSettingsFile::read(const Lookup &settings, bool stored, const QString &group,
                             TLinkSettings &values, TSettingsProblems *problems)
{
    const auto take = [&settings](const QString &key, QString &field) {
        const QVariant value = settings(key);
        if (!value.isNull())
            field = asTyped(value.toString());
    };
    const auto choose = [&](const QString &key, QString &field,
                            const QVector<TLinkSettings::Choice> &choices) {
        take(key, field);
        field = listedAs(choices, field);
    };
    // Taken as stored, also when it is no valid value: the checks refuse it
    // and say why, where a silent fix would open a link nobody asked for.
    take(K::conType, values.conType);
    const IOHandler::ConType kind = TLinkSettings::kindOf(values.conType);
    // The form shows, and writes back, its own text for the kind.
    for (const TLinkSettings::Choice &c : TLinkSettings::conTypes())
        if (c.value == kind)
            values.conType = c.text;
    take(K::serialPortName, values.serialPort);
    take(K::localIp, values.localIp);
    take(K::localPort, values.localPort);
    take(K::localIpGroup, values.groupIp);
    take(K::localPortGroup, values.groupPort);
    take(K::remoteIp, values.remoteIp);
    take(K::remotePort, values.remotePort);
    take(K::udpNetInterface, values.netInterface);
    choose(K::baudRate, values.baudRate, TLinkSettings::baudRates());
    choose(K::dataBits, values.dataBits, TLinkSettings::dataBitsChoices());
    choose(K::stopBits, values.stopBits, TLinkSettings::stopBitsChoices());
    choose(K::parity, values.parity, TLinkSettings::parities());

    // Check boxes hold no text to show a wrong value in: it is refused here,
    // for the kinds that use it, and the box keeps its state.
    const QStringList used = TSettingsCheck::keysOf(kind);
    const auto refuse = [&](const QString &key, const QString &value, const QString &allowed) {
        if (problems && used.contains(key))
            problems->append({group, key, value, allowed});
    };
    const QVariant loopBack = settings(K::loopBack);
    if (!loopBack.isNull()) {
        bool number = false;
        const int state = loopBack.toString().trimmed().toInt(&number);
        bool flag = false;
        if (number && state >= Qt::Unchecked && state <= Qt::Checked)
            values.loopBack = state;
        else if (flagOf(loopBack.toString(), flag))
            values.loopBack = flag ? Qt::Checked : Qt::Unchecked;
        else
            refuse(K::loopBack, loopBack.toString(),
                   QStringLiteral("loop-back is 0 (off) or 2 (on), or false or true"));
    }
    for (const auto &key : {qMakePair(&K::autoReconnect, &values.autoReconnect),
                            qMakePair(&K::fixedPeer, &values.fixedPeer)}) {
        const QVariant value = settings(*key.first);
        if (!value.isNull() && !flagOf(value.toString(), *key.second))
            refuse(*key.first, value.toString(), QStringLiteral("it is true or false"));
    }
    return stored;
}

void TLinkSettingsFile::write(QSettings &settings, const QString &group,
                              const TLinkSettings &values, KindText kindText)
{
    settings.beginGroup(group);
    settings.setValue(K::localIp, values.localIp);
    settings.setValue(K::localPort, values.localPort);
    settings.setValue(K::localIpGroup, values.groupIp);
    settings.setValue(K::localPortGroup, values.groupPort);
    settings.setValue(K::remoteIp, values.remoteIp);
    settings.setValue(K::remotePort, values.remotePort.toUInt(nullptr, 10));
    settings.setValue(K::serialPortName, values.serialPort);
    const IOHandler::ConType kind = TLinkSettings::kindOf(values.conType);
    settings.setValue(K::conType, kindText == KindText::Word && kind != IOHandler::None
                                      ? TLinkSettings::kindWord(kind)
                                      : values.conType);
    settings.setValue(K::udpNetInterface, values.netInterface);
    settings.setValue(K::loopBack, values.loopBack);
    settings.setValue(K::baudRate, values.baudRate);
    settings.setValue(K::dataBits, values.dataBits);
    settings.setValue(K::stopBits, values.stopBits);
    settings.setValue(K::parity, values.parity);
    settings.setValue(K::autoReconnect, values.autoReconnect);
    settings.setValue(K::fixedPeer, values.fixedPeer);
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
