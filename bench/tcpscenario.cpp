#include "tcpscenario.h"

#include "relayharness.h"
#include "tcprun.h"
#include "udppeer.h"

#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>

namespace bench {

namespace {
double printRow(const char *scenario, const char *path, TcpRunResult &r)
{
    const double p50 = r.latency.percentileUs(50);
    std::printf("| %s | %s | %llu | %llu | %llu | %.0f | %.0f | %.0f | %.0f | |\n", scenario, path,
                (unsigned long long)r.sent, (unsigned long long)r.delivered,
                (unsigned long long)r.lost(), p50, r.latency.percentileUs(99),
                r.latency.percentileUs(99.9), r.latency.maxUs());
    std::fflush(stdout);
    return p50;
}
} // namespace

void tcpDownlink(double rate, double seconds)
{
    char scenario[96];
    std::snprintf(scenario, sizeof scenario, "tcp gcs -> 1 tcp uav @ %.0f/s", rate);
    double relayP50 = 0;
    {
        TcpServerPeer vehicle;
        RelayHarness relay;
        if (!relay.openGcsTcpServer() || !relay.setTcpVehicle(vehicle.port())) {
            std::printf("| %s | relay | setup failed | | | | | | | |\n", scenario);
            return;
        }
        TcpRunResult r = vehicle.run(relay.gcsPort(), rate, seconds);
        relayP50 = printRow(scenario, "relay", r);
        relay.removeAllVehicles();
    }
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        return;
    TcpServerPeer vehicle;
    const std::uint16_t port = freeLoopbackPort();
    QProcess socat;
    socat.start(QStringLiteral("socat"),
                {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,nodelay").arg(port),
                 QStringLiteral("TCP:127.0.0.1:%1,nodelay").arg(vehicle.port())});
    if (!socat.waitForStarted(3000))
        return;
    QThread::msleep(300); // let socat listen before the client connects
    TcpRunResult s = vehicle.run(port, rate, seconds);
    const double socatP50 = printRow(scenario, "socat", s);
    socat.kill();
    socat.waitForFinished(3000);
    std::printf("|  | ratio | relay/socat p50 %.2f | | | | | | | |\n",
                socatP50 > 0 ? relayP50 / socatP50 : 0);
    std::fflush(stdout);
}

} // namespace bench
