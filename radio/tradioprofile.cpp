#include "radio/tradioprofile.h"

#include <QRegularExpression>
#include <QStringList>

namespace {
// "20ms", "1.5s", "300us", "0"; false when it is no time.
bool timeUs(const QString &word, qint64 &us)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)(us|ms|s)?$"));
    const QRegularExpressionMatch m = form.match(word);
    if (!m.hasMatch())
        return false;
    const double value = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    const double scale = unit == QLatin1String("s") ? 1e6 : unit == QLatin1String("us") ? 1 : 1e3;
    us = qint64(value * scale + 0.5);
    return true;
}

// "2%", "2" (percent either way), as a share of 1.
bool percent(const QString &word, double &share)
{
    QString number = word;
    if (number.endsWith(QLatin1Char('%')))
        number.chop(1);
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || value < 0 || value > 100)
        return false;
    share = value / 100;
    return true;
}

bool rate(const QString &word, qint64 &bitsPerSecond)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)(bit|kbit|mbit|gbit)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(word);
    if (!m.hasMatch())
        return false;
    const QString unit = m.captured(2).toLower();
    const double scale = unit == QLatin1String("kbit")   ? 1e3
                         : unit == QLatin1String("mbit") ? 1e6
                         : unit == QLatin1String("gbit") ? 1e9
                                                         : 1;
    bitsPerSecond = qint64(m.captured(1).toDouble() * scale);
    return bitsPerSecond > 0;
}
} // namespace

TRadioProfile TRadioProfile::parse(const QString &text, QString &error)
{
    TRadioProfile p;
    error.clear();
    const QStringList words = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        error = QStringLiteral("an empty profile");
        return p;
    }
    if (words.size() == 1 &&
        (words[0] == QLatin1String("down") || words[0] == QLatin1String("clean") ||
         words[0] == QLatin1String("default"))) {
        p.kind = words[0] == QLatin1String("down")    ? Kind::Down
                 : words[0] == QLatin1String("clean") ? Kind::Clean
                                                      : Kind::Default;
        return p;
    }
    p.kind = Kind::Shaped;
    const auto bad = [&error](const QString &what, const QString &word) {
        error = QStringLiteral("%1, not '%2'").arg(what, word);
    };
    for (int i = 0; i < words.size() && error.isNull(); ++i) {
        const QString &w = words[i];
        const QString next = i + 1 < words.size() ? words[i + 1] : QString();
        if (w == QLatin1String("delay")) {
            if (!timeUs(next, p.delayUs)) {
                bad(QStringLiteral("delay takes a time (us, ms, s)"), next);
                return p;
            }
            ++i;
            qint64 jitter = 0;
            if (i + 1 < words.size() && timeUs(words[i + 1], jitter)) {
                p.jitterUs = jitter;
                ++i;
                if (i + 1 < words.size() && words[i + 1] == QLatin1String("normal")) {
                    p.jitter = Jitter::Normal;
                    ++i;
                }
            }
        } else if (w == QLatin1String("loss") && next == QLatin1String("gemodel")) {
            const QString enter = i + 2 < words.size() ? words[i + 2] : QString();
            const QString leave = i + 3 < words.size() ? words[i + 3] : QString();
            if (!percent(enter, p.enterBad)) {
                bad(QStringLiteral("loss gemodel takes P, a percentage"), enter);
                return p;
            }
            if (!percent(leave, p.leaveBad)) {
                bad(QStringLiteral("loss gemodel takes R, a percentage"), leave);
                return p;
            }
            p.loss = Loss::GilbertElliott;
            i += 3;
        } else if (w == QLatin1String("loss")) {
            if (!percent(next, p.lossShare)) {
                bad(QStringLiteral("loss takes a percentage"), next);
                return p;
            }
            p.loss = Loss::Independent;
            ++i;
        } else if (w == QLatin1String("duplicate")) {
            if (!percent(next, p.duplicateShare)) {
                bad(QStringLiteral("duplicate takes a percentage"), next);
                return p;
            }
            ++i;
        } else if (w == QLatin1String("rate")) {
            if (!rate(next, p.rateBitsPerSecond)) {
                bad(QStringLiteral("rate takes bit, kbit or mbit"), next);
                return p;
            }
            ++i;
        } else if (w == QLatin1String("limit")) {
            bool ok = false;
            p.limit = next.toInt(&ok);
            if (!ok || p.limit < 1) {
                bad(QStringLiteral("limit takes a number of blocks from 1"), next);
                return p;
            }
            ++i;
        } else {
            bad(QStringLiteral("a profile word is delay, loss, duplicate, rate, limit, down, "
                               "clean or default"),
                w);
        }
    }
    return p;
}
