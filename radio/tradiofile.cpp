#include "radio/tradiofile.h"

#include "link/tlinknames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {
// "30s", "1500ms", "2m"; -1 for what is none.
qint64 timeMs(const QJsonValue &value)
{
    if (value.isDouble())
        return value.toDouble() >= 0 ? qint64(value.toDouble() * 1000) : -1;
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)(ms|s|m)$"));
    const QRegularExpressionMatch m = form.match(value.toString());
    if (!m.hasMatch())
        return -1;
    const double scale = m.captured(2) == QLatin1String("ms")  ? 1
                         : m.captured(2) == QLatin1String("s") ? 1000
                                                               : 60000;
    return qint64(m.captured(1).toDouble() * scale);
}

QString shown(const QJsonValue &value)
{
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    if (value.isUndefined())
        return QStringLiteral("missing");
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

// One rule at `where` ("links[2]"); false with the error.
bool readRule(const QJsonValue &entry, const QString &where, TRadioFile::Rule &rule, QString &error)
{
    const QJsonObject o = entry.toObject();
    if (!entry.isObject()) {
        error = QStringLiteral("%1 = %2: a rule is an object with from, to and profile")
                    .arg(where, shown(entry));
        return false;
    }
    for (const char *key : {"from", "to"}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isString() || TRadioFile::linkId(v.toString()) == TRadioFile::noLink) {
            error = QStringLiteral("%1.%2 = %3: a link is gcs, uav1, uav2, ... or *")
                        .arg(where, QLatin1String(key), shown(v));
            return false;
        }
    }
    rule.from = o.value(QLatin1String("from")).toString();
    rule.to = o.value(QLatin1String("to")).toString();
    const QJsonValue profile = o.value(QLatin1String("profile"));
    rule.profileText = profile.toString();
    QString why = QStringLiteral("a profile is text");
    if (profile.isString())
        rule.profile = TRadioProfile::parse(rule.profileText, why);
    if (!why.isNull()) {
        error = QStringLiteral("%1.profile = %2: %3").arg(where, shown(profile), why);
        return false;
    }
    return true;
}
} // namespace

int TRadioFile::linkId(const QString &name)
{
    if (name == QLatin1String("*"))
        return anyLink;
    const int id = TLinkNames::idOf(name);
    return id < 0 ? noLink : id;
}

TRadioFile TRadioFile::parse(const QByteArray &text, QString &error)
{
    TRadioFile file;
    error.clear();
    QJsonParseError syntax{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &syntax);
    if (syntax.error != QJsonParseError::NoError) {
        const int line = text.left(syntax.offset).count('\n') + 1;
        error = QStringLiteral("line %1: %2").arg(line).arg(syntax.errorString());
        return file;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("line 1: the file is one JSON object");
        return file;
    }
    const QJsonObject top = doc.object();
    static const QSet<QString> known{"seed", "default", "links", "schedule"};
    for (const QString &key : top.keys())
        if (!known.contains(key)) {
            error = QStringLiteral("%1: not a field of a radio file (seed, default, links, "
                                   "schedule)")
                        .arg(key);
            return file;
        }
    const QJsonValue seed = top.value(QLatin1String("seed"));
    if (!seed.isUndefined()) {
        if (!seed.isDouble() || seed.toDouble() < 0 || seed.toDouble() != qint64(seed.toDouble())) {
            error = QStringLiteral("seed = %1: a whole number from 0").arg(shown(seed));
            return file;
        }
        file.seed = quint64(seed.toDouble());
    }
    const QJsonValue fallback = top.value(QLatin1String("default"));
    if (!fallback.isUndefined()) {
        QString why = QStringLiteral("a profile is text");
        if (fallback.isString())
            file.defaultProfile = TRadioProfile::parse(fallback.toString(), why);
        if (why.isNull() && file.defaultProfile.kind == TRadioProfile::Kind::Default)
            why = QStringLiteral("the default cannot be itself");
        if (!why.isNull()) {
            error = QStringLiteral("default = %1: %2").arg(shown(fallback), why);
            return file;
        }
        file.defaultText = fallback.toString();
    }
    for (const char *list : {"links", "schedule"}) {
        const QJsonValue v = top.value(QLatin1String(list));
        if (!v.isUndefined() && !v.isArray()) {
            error = QStringLiteral("%1 = %2: a list").arg(QLatin1String(list), shown(v));
            return file;
        }
    }
    const QJsonArray links = top.value(QLatin1String("links")).toArray();
    for (int i = 0; i < links.size(); ++i) {
        Rule rule;
        if (!readRule(links[i], QStringLiteral("links[%1]").arg(i), rule, error))
            return file;
        file.rules.append(rule);
    }
    const QJsonArray schedule = top.value(QLatin1String("schedule")).toArray();
    for (int i = 0; i < schedule.size(); ++i) {
        Change change;
        const QString where = QStringLiteral("schedule[%1]").arg(i);
        if (!readRule(schedule[i], where, change.rule, error))
            return file;
        const QJsonValue at = schedule[i].toObject().value(QLatin1String("at"));
        change.atMs = timeMs(at);
        if (change.atMs < 0) {
            error =
                QStringLiteral("%1.at = %2: a time such as 30s or 1500ms").arg(where, shown(at));
            return file;
        }
        file.schedule.append(change);
    }
    std::stable_sort(file.schedule.begin(), file.schedule.end(),
                     [](const Change &a, const Change &b) { return a.atMs < b.atMs; });
    return file;
}

QStringList TRadioFile::names() const
{
    QStringList out;
    const auto add = [&out](const Rule &r) {
        for (const QString &name : {r.from, r.to})
            if (name != QLatin1String("*") && !out.contains(name))
                out << name;
    };
    for (const Rule &r : rules)
        add(r);
    for (const Change &c : schedule)
        add(c.rule);
    return out;
}
