#include "headless/tstatslines.h"

#include "monitor/tlinkfigures.h"

#include <QJsonDocument>

namespace {
// logfmt: a quoted value with its quotes and backslashes escaped, on one line.
QString quoted(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}
} // namespace

QString TStatsLines::line(int id, const QString &state, const TLinkCounters::Snapshot &counts,
                          quint64 captureDropped)
{
    QString text = QStringLiteral("stats");
    for (const TLinkFigures::Field &f : TLinkFigures::of(id, state, counts, captureDropped)) {
        const QString value = f.value.toString();
        text += QLatin1Char(' ') + f.key + QLatin1Char('=') +
                (f.kind == TLinkFigures::Field::Kind::Text ? quoted(value) : value);
    }
    return text;
}

QString TStatsLines::json(int id, const QString &state, const TLinkCounters::Snapshot &counts,
                          quint64 captureDropped)
{
    const QJsonObject object =
        TLinkFigures::json(TLinkFigures::of(id, state, counts, captureDropped));
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
