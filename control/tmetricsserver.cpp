#include "control/tmetricsserver.h"

#include "link/tlinknames.h"
#include "monitor/tlinkfigures.h"
#include "monitor/tlinkstates.h"
#include "session/trelaysession.h"

#include <QHostAddress>

#include <arpa/inet.h>
#include <microhttpd.h>

#include <chrono>
#include <future>
#include <memory>

namespace {
constexpr const char *prefix = "uav_relay_";
const TLinkStates::State kStates[] = {TLinkStates::State::Closed, TLinkStates::State::Opening,
                                      TLinkStates::State::Open, TLinkStates::State::Failed,
                                      TLinkStates::State::Waiting};

MHD_Result answer(void *self, MHD_Connection *connection, const char *url, const char *method,
                  const char *, const char *, size_t *, void **)
{
    auto *server = static_cast<TMetricsServer *>(self);
    QByteArray body;
    unsigned status = MHD_HTTP_NOT_FOUND;
    if (qstrcmp(method, "GET") != 0) {
        status = MHD_HTTP_METHOD_NOT_ALLOWED;
    } else if (qstrcmp(url, "/metrics") == 0) {
        body = server->pageFromOwnThread();
        status = body.isEmpty() ? MHD_HTTP_SERVICE_UNAVAILABLE : MHD_HTTP_OK;
    }
    if (body.isEmpty())
        body = "not found; try /metrics\n";
    MHD_Response *response = MHD_create_response_from_buffer(
        size_t(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, "Content-Type", "text/plain; version=0.0.4");
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}
} // namespace

TMetricsServer::TMetricsServer(TRelaySession &session, QObject *parent)
    : QObject(parent), session(session)
{
}

TMetricsServer::~TMetricsServer()
{
    stopping = true;
    if (daemon)
        MHD_stop_daemon(daemon);
}

bool TMetricsServer::start(const QString &hostPort, QString &error, QString &warning)
{
    const int colon = hostPort.lastIndexOf(QLatin1Char(':'));
    host = colon < 0 ? QStringLiteral("127.0.0.1") : hostPort.left(colon);
    bool ok = false;
    const uint port = hostPort.mid(colon + 1).toUInt(&ok);
    QHostAddress address;
    if (!ok || port > 65535 || !address.setAddress(host) ||
        address.protocol() != QAbstractSocket::IPv4Protocol) {
        error = QStringLiteral("--metrics takes PORT or HOST:PORT with an IPv4 address, not '%1'")
                    .arg(hostPort);
        return false;
    }
    if (!address.isLoopback())
        warning = QStringLiteral("metrics on %1: any host that reaches it can read every link's "
                                 "figures")
                      .arg(hostPort);
    sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_port = htons(quint16(port));
    where.sin_addr.s_addr = htonl(address.toIPv4Address());
    daemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, quint16(port),
                              nullptr, nullptr, &answer, this, MHD_OPTION_SOCK_ADDR, &where,
                              MHD_OPTION_END);
    if (!daemon) {
        error = QStringLiteral("metrics on %1: the port cannot be bound").arg(hostPort);
        return false;
    }
    return true;
}

quint16 TMetricsServer::port() const
{
    const MHD_DaemonInfo *info =
        daemon ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    return info ? info->port : 0;
}

QString TMetricsServer::url() const
{
    return QStringLiteral("http://%1:%2/metrics").arg(host).arg(port());
}

QByteArray TMetricsServer::page() const
{
    QByteArray text;
    const QVector<int> ids = session.linkIds();
    QVector<TLinkFigures::Fields> all;
    for (int id : ids)
        all.append(
            TLinkFigures::of(id, QString(), session.figures(id), session.recordingDropped()));
    const auto label = [](int id) {
        return QByteArray("{link=\"") + TLinkNames::shortName(id).toUtf8() + '"';
    };
    for (int f = 0; !all.isEmpty() && f < all.first().size(); ++f) {
        const TLinkFigures::Field &field = all.first().at(f);
        const bool counter = field.kind == TLinkFigures::Field::Kind::Counter;
        if (!counter && field.kind != TLinkFigures::Field::Kind::Gauge)
            continue;
        const QByteArray name = prefix + field.key.toLatin1() + (counter ? "_total" : "");
        text += "# HELP " + name + " The stats line's " + field.key.toLatin1() + ".\n";
        text += "# TYPE " + name + (counter ? " counter\n" : " gauge\n");
        for (int i = 0; i < ids.size(); ++i)
            text += name + label(ids.at(i)) + "} " +
                    QByteArray::number(all.at(i).at(f).value.toULongLong()) + '\n';
    }
    const QByteArray state = QByteArray(prefix) + "link_state";
    text += "# HELP " + state + " 1 for the state the link is in, 0 for the others.\n";
    text += "# TYPE " + state + " gauge\n";
    for (int id : ids)
        for (TLinkStates::State s : kStates)
            text += state + label(id) + ",state=\"" + TLinkStates::name(s).toLatin1() + "\"} " +
                    (session.states().stateOf(id) == s ? "1\n" : "0\n");
    return text;
}

QByteArray TMetricsServer::pageFromOwnThread()
{
    auto promise = std::make_shared<std::promise<QByteArray>>();
    std::future<QByteArray> future = promise->get_future();
    // Dropped unrun when this object is gone first.
    QMetaObject::invokeMethod(
        this, [this, promise] { promise->set_value(page()); }, Qt::QueuedConnection);
    // The stop waits for this thread: a page that does not come in time is
    // no page.
    while (!stopping) {
        if (future.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready)
            return future.get();
    }
    return QByteArray();
}
