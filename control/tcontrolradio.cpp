#include "control/tcontrolradio.h"

#include "control/tcontrolcommands.h"
#include "control/tcontrolsettings.h"
#include "link/tlinknames.h"
#include "radio/tradiofile.h"
#include "session/trelaysession.h"

namespace {
const QString kFile = QStringLiteral("file");
const QString kFrom = QStringLiteral("from");
const QString kTo = QStringLiteral("to");
const QString kProfile = QStringLiteral("profile");
const QString kSeed = QStringLiteral("seed");

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}
} // namespace

QJsonObject TControlRadio::run(TRelaySession &session, const QJsonObject &request)
{
    bool rule = false;
    for (auto it = request.begin(); it != request.end(); ++it) {
        if (it.key() == QLatin1String("cmd") || it.key() == kFile)
            continue;
        if (it.key() != kFrom && it.key() != kTo && it.key() != kProfile && it.key() != kSeed)
            return TControlCommands::error(
                QStringLiteral("radio: unknown key '%1' (file; or from, to, profile and seed)")
                    .arg(it.key()));
        rule = true;
    }
    const QJsonValue file = request.value(kFile);
    if (rule && !file.isUndefined())
        return TControlCommands::error(
            QStringLiteral("radio: file or a rule (from, to, profile), not both"));
    if (rule)
        return setRule(session, request);
    if (file.isUndefined()) {
        session.unloadRadio();
        return {{QStringLiteral("ok"), true}, {QStringLiteral("radio"), QString()}};
    }
    if (!file.isString() || file.toString().isEmpty())
        return TControlCommands::error(QStringLiteral("radio: file names a radio file, not ") +
                                       TControlSettings::typeName(file));
    QString problem;
    if (!session.loadRadio(file.toString(), problem))
        return TControlCommands::error(QStringLiteral("radio: ") + problem);
    return {{QStringLiteral("ok"), true}, {QStringLiteral("radio"), session.radioFile()}};
}

bool TControlRadio::linkName(const TRelaySession &session, const QJsonValue &value,
                             const QString &key, QString &problem)
{
    const QVector<int> ids = session.linkIds();
    const QString known =
        QStringLiteral("gcs, uav1 ... %1, or *").arg(TLinkNames::shortName(ids.last()));
    if (!value.isString()) {
        problem = QStringLiteral("radio: %1 names a link (%2), not %3")
                      .arg(key, known,
                           value.isUndefined() ? QStringLiteral("none")
                                               : TControlSettings::typeName(value));
        return false;
    }
    const int id = TRadioFile::linkId(value.toString());
    if (id == TRadioFile::anyLink || ids.contains(id))
        return true;
    problem = QStringLiteral("radio: %1 = %2: no link of this relay (%3)")
                  .arg(key, quoted(value.toString()), known);
    return false;
}

QJsonObject TControlRadio::setRule(TRelaySession &session, const QJsonObject &request)
{
    QString problem;
    if (!linkName(session, request.value(kFrom), kFrom, problem) ||
        !linkName(session, request.value(kTo), kTo, problem))
        return TControlCommands::error(problem);
    TRadioFile::Rule rule{request.value(kFrom).toString(),
                          request.value(kTo).toString(),
                          request.value(kProfile).toString(),
                          {}};
    const QJsonValue profile = request.value(kProfile);
    if (!profile.isString())
        return TControlCommands::error(
            QStringLiteral("radio: profile is a text such as \"delay 50ms loss 2%\", not ") +
            (profile.isUndefined() ? QStringLiteral("none") : TControlSettings::typeName(profile)));
    rule.profile = TRadioProfile::parse(rule.profileText, problem);
    if (!problem.isNull())
        return TControlCommands::error(
            QStringLiteral("radio: profile = %1: %2").arg(quoted(rule.profileText), problem));
    const QJsonValue seed = request.value(kSeed);
    const double seedValue = seed.toDouble(-1);
    if (!seed.isUndefined() &&
        (!seed.isDouble() || seedValue < 0 || seedValue != qint64(seedValue)))
        return TControlCommands::error(
            QStringLiteral("radio: seed is a whole number from 0, not ") +
            (seed.isDouble() ? QString::number(seedValue) : TControlSettings::typeName(seed)));
    session.setRadioRule(rule, seed.isUndefined() ? -1 : qint64(seedValue));
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("radio"), session.radioFile()},
            {QStringLiteral("rule"),
             QJsonObject{{kFrom, rule.from}, {kTo, rule.to}, {kProfile, rule.profileText}}}};
}
