#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>

struct MHD_Daemon;
class TRelaySession;

// GET /metrics in the Prometheus text format: every figure of the stats
// line per link, labelled link="uav3", and each link's state as a gauge.
// The HTTP server answers in threads of its own; the page is always made
// in this object's thread, from the session itself.
class TMetricsServer : public QObject
{
    Q_OBJECT
public:
    explicit TMetricsServer(TRelaySession &session, QObject *parent = nullptr);
    ~TMetricsServer() override;

    // "PORT" (on 127.0.0.1) or "HOST:PORT"; false with the reason. A host
    // beyond loopback is served, with a warning in `warning`.
    bool start(const QString &hostPort, QString &error, QString &warning);
    quint16 port() const;
    // http://HOST:PORT/metrics, with the port bound.
    QString url() const;
    QByteArray page() const;
    // For a server thread: waits for the page from this object's thread;
    // empty when the server stops first.
    QByteArray pageFromOwnThread();

private:
    TRelaySession &session;
    MHD_Daemon *daemon = nullptr;
    QString host;
    std::atomic<bool> stopping{false};
};
