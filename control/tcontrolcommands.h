#pragma once

#include "monitor/tlinkfigures.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class TRelaySession;

// What the control socket can ask of the relay, one request object in and
// one answer object out: {"ok":true,...} or {"ok":false,"error":"..."}.
// Everything goes through the session both views hold, so the window shows
// what a script does and a script sees what the window does.
class TControlCommands
{
public:
    // `configPath`: where a vehicle added without settings looks for its
    // stored group first.
    TControlCommands(TRelaySession &session, const QString &configPath);

    // One line as it came: a JSON object, else the error answer.
    QJsonObject runLine(const QByteArray &line);
    QJsonObject run(const QJsonObject &request);
    // The answer to one line as the text to send, without its newline, and
    // the period of the counters a watch answer starts (see watchSeconds).
    struct Answer
    {
        QByteArray text;
        int watchSeconds = -1;
    };
    Answer answerLine(const QByteArray &line);

    // Every link with its kind, endpoint, state and figures, as a JSON
    // array's text.
    QByteArray linksText() const;
    // The period in seconds (0: events only) of the counters a watch
    // answer starts; -1 for any other answer.
    static int watchSeconds(const QJsonObject &answer);

    static QJsonObject error(const QString &text);

private:
    // The request of `line`, else false with the error answer in `request`.
    static bool parse(const QByteArray &line, QJsonObject &request);
    QJsonObject list() const;
    QJsonObject add(const QJsonObject &request);
    QJsonObject remove();
    QJsonObject openOrClose(const QJsonObject &request, bool open);
    QJsonObject set(const QJsonObject &request);
    QJsonObject reset(const QJsonObject &request);
    QJsonObject capture(const QJsonObject &request);
    QJsonObject watch(const QJsonObject &request);

    // The link a request names ("gcs", "uav3"), 0 for none with `error`
    // set; `all` allowed: -1 for every link.
    int linkOf(const QJsonObject &request, bool all, QString &error) const;
    TLinkFigures::Fields linkFields(int id) const;

    TRelaySession &session;
    const QString configPath;
};
