#include "control/tcontrolcommands.h"

#include "config/tlinksettingsfile.h"
#include "config/tswarmfile.h"
#include "control/tcontroljson.h"
#include "control/tcontrolradio.h"
#include "control/tcontrolsettings.h"
#include "link/tendpointtext.h"
#include "link/tlinknames.h"
#include "link/tserialports.h"
#include "monitor/tlinkfigures.h"
#include "session/trelaysession.h"

#include <QJsonDocument>
#include <QSettings>

namespace {
const QString kCmd = QStringLiteral("cmd");
const QString kLink = QStringLiteral("link");
} // namespace

TControlCommands::TControlCommands(TRelaySession &session, const QString &configPath)
    : session(session), configPath(configPath)
{
}

QJsonObject TControlCommands::error(const QString &text)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

bool TControlCommands::parse(const QByteArray &line, QJsonObject &request)
{
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parse);
    if (parse.error != QJsonParseError::NoError)
        request = error(QStringLiteral("invalid JSON at offset %1: %2")
                            .arg(parse.offset)
                            .arg(parse.errorString()));
    else if (!document.isObject())
        request = error(QStringLiteral("a request is a JSON object such as {\"cmd\":\"list\"}"));
    else
        request = document.object();
    return parse.error == QJsonParseError::NoError && document.isObject();
}

QJsonObject TControlCommands::runLine(const QByteArray &line)
{
    QJsonObject request;
    return parse(line, request) ? run(request) : request;
}

TControlCommands::Answer TControlCommands::answerLine(const QByteArray &line)
{
    QJsonObject request;
    if (!parse(line, request))
        return {QJsonDocument(request).toJson(QJsonDocument::Compact)};
    // The one answer that grows with the swarm, and the one asked most.
    if (request.value(kCmd) == QLatin1String("list"))
        return {"{\"ok\":true,\"links\":" + linksText() + '}'};
    const QJsonObject answer = run(request);
    return {QJsonDocument(answer).toJson(QJsonDocument::Compact), watchSeconds(answer)};
}

QJsonObject TControlCommands::run(const QJsonObject &request)
{
    const QJsonValue cmd = request.value(kCmd);
    if (!cmd.isString())
        return error(
            QStringLiteral("cmd: a request names its command as a string, not ") +
            (cmd.isUndefined() ? QStringLiteral("none") : TControlSettings::typeName(cmd)));
    const QString name = cmd.toString();
    if (name == QLatin1String("list"))
        return list();
    if (name == QLatin1String("add"))
        return add(request);
    if (name == QLatin1String("remove"))
        return remove();
    if (name == QLatin1String("open") || name == QLatin1String("close"))
        return openOrClose(request, name == QLatin1String("open"));
    if (name == QLatin1String("set"))
        return set(request);
    if (name == QLatin1String("reset"))
        return reset(request);
    if (name == QLatin1String("capture"))
        return capture(request);
    if (name == QLatin1String("radio"))
        return TControlRadio::run(session, request);
    if (name == QLatin1String("watch"))
        return watch(request);
    return error(QStringLiteral("unknown command '%1' (list, add, remove, open, close, set, reset, "
                                "capture, radio, watch)")
                     .arg(name));
}

int TControlCommands::linkOf(const QJsonObject &request, bool all, QString &problem) const
{
    const QJsonValue link = request.value(kLink);
    const QString cmd = request.value(kCmd).toString();
    if (!link.isString()) {
        problem =
            cmd + QStringLiteral(": link names a link such as uav1") +
            (all ? QStringLiteral(", or all") : QString()) +
            (link.isUndefined() ? QString()
                                : QStringLiteral(", not ") + TControlSettings::typeName(link));
        return 0;
    }
    if (all && link.toString() == QLatin1String("all"))
        return -1;
    for (int id : session.linkIds())
        if (TLinkNames::shortName(id) == link.toString())
            return id;
    problem = cmd + QStringLiteral(": there is no link '%1'").arg(link.toString());
    return 0;
}

TLinkFigures::Fields TControlCommands::linkFields(int id) const
{
    using K = TLinkFigures::Field::Kind;
    const TLinkStates::State state = session.states().stateOf(id);
    const TLinkSettings values = session.settings(id);
    TLinkFigures::Fields fields = TLinkFigures::of(id, TLinkStates::name(state),
                                                   session.figures(id), session.recordingDropped());
    IOHandler::DeviceInfo device = values.device();
    device.id = id;
    const IOHandler::ConType kind = TLinkSettings::kindOf(values.conType);
    fields.append({QStringLiteral("kind"),
                   kind == IOHandler::None ? values.conType : TLinkSettings::kindWord(kind),
                   K::Text});
    fields.append({QStringLiteral("endpoint"), TEndpointText::of(device), K::Text});
    if (state == TLinkStates::State::Failed)
        fields.append({QStringLiteral("failure"), session.states().failureOf(id), K::Text});
    return fields;
}

// What answerLine() writes as text, built as a document.
QJsonObject TControlCommands::list() const
{
    QJsonArray links;
    for (int id : session.linkIds())
        links.append(TLinkFigures::json(linkFields(id)));
    return {{QStringLiteral("ok"), true}, {QStringLiteral("links"), links}};
}

QByteArray TControlCommands::linksText() const
{
    QByteArray out = "[";
    out.reserve(600 * (session.vehicleCount() + 1));
    for (int id : session.linkIds()) {
        if (out.size() > 1)
            out += ',';
        TControlJson::appendObject(out, linkFields(id));
    }
    return out + ']';
}

QJsonObject TControlCommands::add(const QJsonObject &request)
{
    if (session.vehicleCount() >= TSwarmFile::maxVehicles)
        return error(QStringLiteral("add: %1 vehicles are the most").arg(TSwarmFile::maxVehicles));
    const int n = session.vehicleCount();
    const int id = TLinkNames::firstUavLinkId + n;
    QSettings file(configPath, QSettings::IniFormat);
    const int above = n == 0 ? TLinkNames::gcsLinkId : id - 1;
    TSwarmFile::Link link = TSwarmFile::vehicle(
        file, n, session.settings(above), TSwarmFile::portStride(file), TSerialPorts::entries());
    QString problem;
    const bool given = request.size() > 1;
    if (given ? !TControlSettings::apply(request, id, link.values, problem)
              : !link.problems.isEmpty()) {
        if (!given)
            problem = QStringLiteral("add: ") + link.problems.first().line(configPath);
        return error(problem);
    }
    // A script adds a vehicle to use it: it opens at once, as every link
    // of the relay without a window does at start.
    session.addVehicle(link.values);
    session.open(id);
    return {{QStringLiteral("ok"), true}, {kLink, TLinkNames::shortName(id)}};
}

QJsonObject TControlCommands::remove()
{
    // As the window's button: the first vehicle stays.
    if (session.vehicleCount() < 2)
        return error(QStringLiteral("remove: the last vehicle stays"));
    const int id = TLinkNames::firstUavLinkId + session.vehicleCount() - 1;
    session.removeLastVehicle();
    return {{QStringLiteral("ok"), true}, {kLink, TLinkNames::shortName(id)}};
}

QJsonObject TControlCommands::openOrClose(const QJsonObject &request, bool open)
{
    QString problem;
    const int link = linkOf(request, true, problem);
    if (link == 0)
        return error(problem);
    const QVector<int> ids = link < 0 ? session.linkIds() : QVector<int>{link};
    QJsonArray refused;
    for (int id : ids) {
        if (!open) {
            session.close(id);
            continue;
        }
        // One that is open or on its way stays as it is.
        if (session.states().stateOf(id) != TLinkStates::State::Closed &&
            session.states().stateOf(id) != TLinkStates::State::Failed)
            continue;
        TLinkSettings values = session.settings(id);
        // Nothing to apply: the link's own settings, checked as at start.
        if (!TControlSettings::apply(QJsonObject{{kCmd, request.value(kCmd)}}, id, values,
                                     problem)) {
            session.refuse(id, problem);
            refused.append(problem);
            continue;
        }
        session.open(id);
    }
    if (link > 0 && !refused.isEmpty())
        return error(refused.first().toString());
    QJsonObject answer{{QStringLiteral("ok"), true}};
    if (!refused.isEmpty())
        answer.insert(QStringLiteral("refused"), refused);
    return answer;
}

QJsonObject TControlCommands::set(const QJsonObject &request)
{
    QString problem;
    const int id = linkOf(request, false, problem);
    if (id == 0)
        return error(problem);
    const TLinkStates::State state = session.states().stateOf(id);
    if (state != TLinkStates::State::Closed && state != TLinkStates::State::Failed)
        return error(QStringLiteral("set: %1 is %2; close it first")
                         .arg(TLinkNames::shortName(id), TLinkStates::name(state)));
    TLinkSettings values = session.settings(id);
    if (!TControlSettings::apply(request, id, values, problem))
        return error(problem);
    session.setSettings(id, values);
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("link"), TLinkFigures::json(linkFields(id))}};
}

QJsonObject TControlCommands::reset(const QJsonObject &request)
{
    QString problem;
    const int id = linkOf(request, true, problem);
    if (id == 0)
        return error(problem);
    if (id < 0)
        session.resetAllCounters();
    else
        session.resetCounters(id);
    // From now, not from the next read: a script counts what it sends next.
    for (int each : id < 0 ? session.linkIds() : QVector<int>{id})
        session.figures(each);
    return {{QStringLiteral("ok"), true}};
}

QJsonObject TControlCommands::capture(const QJsonObject &request)
{
    const QJsonValue file = request.value(QStringLiteral("file"));
    const QJsonValue limit = request.value(QStringLiteral("limit_mb"));
    if (file.isUndefined()) {
        session.stopRecording();
        return {{QStringLiteral("ok"), true}, {QStringLiteral("recording"), false}};
    }
    if (!file.isString() || file.toString().isEmpty())
        return error(QStringLiteral("capture: file names a file to record into, not ") +
                     TControlSettings::typeName(file));
    if (!limit.isUndefined() && (!limit.isDouble() || limit.toDouble() < 0))
        return error(QStringLiteral("capture: limit_mb is a number of megabytes, not ") +
                     TControlSettings::typeName(limit));
    QString problem;
    if (!session.startRecording(file.toString(), qint64(limit.toDouble() * 1024 * 1024), problem))
        return error(QStringLiteral("capture: ") + problem);
    return {{QStringLiteral("ok"), true}, {QStringLiteral("recording"), true}};
}

QJsonObject TControlCommands::watch(const QJsonObject &request)
{
    const QJsonValue every = request.value(QStringLiteral("every"));
    const double seconds = every.isUndefined() ? 1 : every.toDouble(-1);
    if (!every.isUndefined() &&
        (!every.isDouble() || seconds < 0 || seconds > 3600 || seconds != double(int(seconds))))
        return error(QStringLiteral("watch: every is a whole number of seconds from 0 to 3600"));
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("watching"), true},
            {QStringLiteral("every"), int(seconds)}};
}

int TControlCommands::watchSeconds(const QJsonObject &answer)
{
    return answer.value(QStringLiteral("watching")).toBool()
               ? answer.value(QStringLiteral("every")).toInt()
               : -1;
}
