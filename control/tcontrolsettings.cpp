#include "control/tcontrolsettings.h"

#include "config/tlinksettings.h"
#include "config/tlinksettingsfile.h"
#include "config/tsettingscheck.h"
#include "link/tlinknames.h"

#include <QVariant>

namespace {
// A settings value as the file would hold it: a text, a whole number or a
// flag; null for any other type.
QVariant asStored(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return QString::fromLatin1(value.toBool() ? "true" : "false");
    if (value.isDouble() && value.toDouble() == double(qint64(value.toDouble())))
        return QString::number(qint64(value.toDouble()));
    return QVariant();
}
} // namespace

QString TControlSettings::typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    default:
        return QStringLiteral("a string");
    }
}

bool TControlSettings::apply(const QJsonObject &request, int id, TLinkSettings &values,
                             QString &problem)
{
    const QString cmd = request.value(QStringLiteral("cmd")).toString();
    const QStringList keys = TLinkSettingsFile::keys();
    for (auto it = request.begin(); it != request.end(); ++it) {
        if (it.key() == QStringLiteral("cmd") || it.key() == QStringLiteral("link"))
            continue;
        if (!keys.contains(it.key())) {
            problem = cmd + QStringLiteral(": unknown key '%1' (the keys of the settings file: %2)")
                                .arg(it.key(), keys.join(QStringLiteral(", ")));
            return false;
        }
        if (asStored(it.value()).isNull()) {
            problem =
                cmd + QStringLiteral(": %1 takes a text, a whole number or true/false, not %2")
                          .arg(it.key(), typeName(it.value()));
            return false;
        }
    }
    const QString group = id == TLinkNames::gcsLinkId
                              ? TLinkSettingsFile::groundStationGroup()
                              : TLinkSettingsFile::vehicleGroup(id - TLinkNames::firstUavLinkId);
    TSettingsProblems problems;
    TLinkSettingsFile::read([&request](const QString &key) { return asStored(request.value(key)); },
                            true, group, values, &problems);
    problems += TSettingsCheck::check(group, values);
    if (problems.isEmpty())
        return true;
    problem = cmd + QStringLiteral(": ") + problems.first().line(QString()).trimmed();
    return false;
}
