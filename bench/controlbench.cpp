// The control socket of the real program under a swarm: the headless relay
// is started on a settings file with the ground station and one vehicle,
// then a script-like client adds N vehicles through the socket one request
// after another, and the time until all are open is taken. Then `list` is
// asked every 200 ms, first with the swarm idle, then while the N vehicles
// send in lockstep at 10 Hz (each frame handed to the N-1 others), and the
// swarm's deliveries are counted.
//
//   relay-control [vehicles=200] [lists=50] [program]

#include "benchclock.h"
#include "config/tlinksettings.h"
#include "config/tlinksettingsfile.h"
#include "latencystats.h"
#include "procstats.h"
#include "swarmrun.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

constexpr double kHz = 10;
constexpr int kListEveryMs = 200;

// One connection to the control socket, outside Qt like the swarm's peers:
// a line out, the next line back.
class ControlLine
{
public:
    explicit ControlLine(const std::string &path)
    {
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        path.copy(addr.sun_path, sizeof addr.sun_path - 1);
        if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~ControlLine()
    {
        if (fd >= 0)
            close(fd);
    }
    bool isValid() const { return fd >= 0; }

    bool send(const std::string &line)
    {
        const std::string out = line + '\n';
        for (std::size_t done = 0; done < out.size();) {
            const long n = write(fd, out.data() + done, out.size() - done);
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        return true;
    }
    // False when nothing complete came within `timeoutMs`.
    bool readLine(std::string &line, int timeoutMs = 10000)
    {
        for (;;) {
            const std::size_t end = buffer.find('\n');
            if (end != std::string::npos) {
                line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return true;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return false;
            char chunk[65536];
            const long n = read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            buffer.append(chunk, std::size_t(n));
        }
    }
    bool ask(const std::string &request, std::string &answer)
    {
        return send(request) && readLine(answer) && answer.find("\"ok\":true") != std::string::npos;
    }

private:
    int fd = -1;
    std::string buffer;
};

std::string addRequest(std::uint16_t local, std::uint16_t remote)
{
    return "{\"cmd\":\"add\",\"ConType\":\"udp\",\"LocalIp\":\"127.0.0.1\",\"LocalPort\":" +
           std::to_string(local) +
           ",\"RemoteIp\":\"127.0.0.1\",\"RemotePort\":" + std::to_string(remote) + "}";
}

void unicastGroup(QSettings &file, const QString &group, std::uint16_t local, std::uint16_t remote)
{
    TLinkSettings values = TLinkSettings::defaults();
    values.conType = TLinkSettings::kindWord(IOHandler::UdpUnicast);
    values.localIp = values.remoteIp = QStringLiteral("127.0.0.1");
    values.localPort = QString::number(local);
    values.remotePort = QString::number(remote);
    TLinkSettingsFile::write(file, group, values);
}

struct Lists
{
    LatencyStats latency;
    std::size_t bytes = 0;
    int failed = 0;
};

// `count` lists, one every kListEveryMs, each timed from its request to
// the end of its answer.
Lists listEvery(ControlLine &control, int count)
{
    Lists out;
    const std::uint64_t start = monotonicNs();
    for (int n = 0; n < count; ++n) {
        const std::uint64_t due = start + std::uint64_t(n) * kListEveryMs * 1000000u;
        timespec ts{time_t(due / 1000000000u), long(due % 1000000000u)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        const std::uint64_t asked = monotonicNs();
        std::string answer;
        if (!control.ask("{\"cmd\":\"list\"}", answer)) {
            ++out.failed;
            continue;
        }
        out.latency.add(monotonicNs() - asked);
        out.bytes = answer.size();
    }
    return out;
}

void listRow(const char *swarm, int count, Lists &lists)
{
    std::printf("| list, swarm %s | %d lists of %zu bytes, %d failed; p50 %.1f / p99 %.1f / max "
                "%.1f ms | < 50 ms |\n",
                swarm, count, lists.bytes, lists.failed, lists.latency.percentileUs(50) / 1000,
                lists.latency.percentileUs(99) / 1000, lists.latency.maxUs() / 1000);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int vehicles = argc > 1 ? std::atoi(argv[1]) : 200;
    const int lists = argc > 2 ? std::atoi(argv[2]) : 50;
    const QString program =
        argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(RELAY_PROGRAM);

    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("app.ini"));
    const std::string socketPath = dir.filePath(QStringLiteral("relay.sock")).toStdString();
    UdpPeer gcs, first;
    std::vector<std::unique_ptr<UdpPeer>> owned;
    std::vector<UdpPeer *> peers;
    std::vector<std::uint16_t> links, shellLinks;
    {
        // Held together while the ports are taken, so that no two are alike.
        std::vector<std::unique_ptr<UdpPeer>> probes;
        for (int i = 0; i < 2 * vehicles + 2; ++i)
            probes.push_back(std::make_unique<UdpPeer>());
        for (int i = 0; i < vehicles; ++i) {
            owned.push_back(std::make_unique<UdpPeer>());
            peers.push_back(owned.back().get());
            links.push_back(probes[std::size_t(i) + 2]->port());
            shellLinks.push_back(probes[std::size_t(vehicles + i) + 2]->port());
        }
        QSettings file(config, QSettings::IniFormat);
        unicastGroup(file, QStringLiteral("Connect"), probes[0]->port(), gcs.port());
        unicastGroup(file, QStringLiteral("Con0"), probes[1]->port(), first.port());
    }
    QProcess relay;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    relay.setProcessEnvironment(env);
    relay.setStandardOutputFile(dir.filePath(QStringLiteral("out")));
    relay.setStandardErrorFile(dir.filePath(QStringLiteral("err")));
    relay.start(program, {"--headless", "--config", config, "--control",
                          QString::fromStdString(socketPath)});
    std::unique_ptr<ControlLine> control;
    for (int n = 0; n < 100 && relay.waitForStarted() && !(control && control->isValid()); ++n) {
        QThread::msleep(100);
        control = std::make_unique<ControlLine>(socketPath);
    }
    ControlLine watch(socketPath);
    std::string answer;
    // The vehicle of the file stays out of the swarm.
    if (!control || !control->isValid() || !watch.ask("{\"cmd\":\"watch\",\"every\":0}", answer) ||
        !control->ask("{\"cmd\":\"close\",\"link\":\"uav1\"}", answer)) {
        std::fprintf(stderr, "no relay answers at %s\n", socketPath.c_str());
        return 1;
    }
    QThread::msleep(500);
    while (watch.readLine(answer, 100))
        ;
    const long pid = long(relay.processId());
    std::printf("relay-control: %d vehicles added through the control socket, then `list` every "
                "%d ms, idle and in lockstep at %.0f Hz; %ld cores\n\n",
                vehicles, kListEveryMs, kHz, sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("| step | figure | target |\n|---|---|---|\n");

    // As a shell loop does it: one `ctl add` process a vehicle; then they go
    // again, and the swarm's own are added on one connection.
    std::uint64_t addStart = monotonicNs();
    int failed = 0;
    for (int i = 0; i < vehicles; ++i) {
        QProcess ctl;
        ctl.setStandardOutputFile(QProcess::nullDevice());
        ctl.start(program, {"ctl", "--control", QString::fromStdString(socketPath), "add",
                            "ConType=udp", "LocalIp=127.0.0.1",
                            QStringLiteral("LocalPort=%1").arg(shellLinks[std::size_t(i)]),
                            "RemoteIp=127.0.0.1",
                            QStringLiteral("RemotePort=%1").arg(peers[std::size_t(i)]->port())});
        failed += !ctl.waitForFinished(10000) || ctl.exitCode() != 0;
    }
    const double shellMs = double(monotonicNs() - addStart) / 1e6;
    int shellOpen = 0;
    while (shellOpen < vehicles - failed && watch.readLine(answer, 10000))
        shellOpen += answer.find("\"event\":\"open\"") != std::string::npos;
    std::printf("| add %d vehicles, one `ctl add` process each | answered in %.0f ms, %d failed; "
                "%d open after %.0f ms | all open < 5,000 ms |\n",
                vehicles, shellMs, failed, shellOpen, double(monotonicNs() - addStart) / 1e6);
    std::fflush(stdout);
    for (int i = 0; i < vehicles; ++i)
        control->ask("{\"cmd\":\"remove\"}", answer);
    QThread::msleep(1000);
    while (watch.readLine(answer, 100))
        ;

    addStart = monotonicNs();
    int refused = 0;
    for (int i = 0; i < vehicles; ++i)
        refused +=
            !control->ask(addRequest(links[std::size_t(i)], peers[std::size_t(i)]->port()), answer);
    const double answeredMs = double(monotonicNs() - addStart) / 1e6;
    int opened = 0;
    while (opened < vehicles - refused && watch.readLine(answer, 10000))
        opened += answer.find("\"event\":\"open\"") != std::string::npos;
    const double openMs = double(monotonicNs() - addStart) / 1e6;
    std::printf("| add %d vehicles, one request after another | answered in %.0f ms, %d refused; "
                "%d open after %.0f ms | all open < 5,000 ms |\n",
                vehicles, answeredMs, refused, opened, openMs);
    std::fflush(stdout);

    QThread::msleep(1000);
    Lists idle = listEvery(*control, lists);
    listRow("idle", lists, idle);

    SwarmRun run(peers, links);
    SwarmResult swarm;
    const double seconds = double(lists) * kListEveryMs / 1000 + 2;
    const unsigned long long cpu0 = processCpuNsOf(pid);
    std::thread swarmThread([&] { swarm = run.run(SwarmRun::Path::Relay, kHz, seconds); });
    QThread::msleep(1000);
    Lists busy = listEvery(*control, lists);
    swarmThread.join();
    const double relayCore =
        100.0 * double(processCpuNsOf(pid) - cpu0) / double(swarm.wallNs ? swarm.wallNs : 1);
    char swarmName[64];
    std::snprintf(swarmName, sizeof swarmName, "of %d in lockstep", vehicles);
    listRow(swarmName, lists, busy);
    std::printf("| the swarm meanwhile, %.0f s | %llu of %llu delivered, %llu lost, %llu "
                "duplicates; burst p50 %.1f / p99 %.1f ms; relay CPU %.0f %% of a core | 0 lost "
                "|\n",
                seconds, (unsigned long long)swarm.delivered, (unsigned long long)swarm.expected,
                (unsigned long long)swarm.lost(), (unsigned long long)swarm.duplicates,
                swarm.burst.percentileUs(50) / 1000, swarm.burst.percentileUs(99) / 1000,
                relayCore);

    relay.terminate();
    if (!relay.waitForFinished(30000))
        relay.kill();
    return swarm.lost() == 0 && refused + failed == 0 && opened + shellOpen == 2 * vehicles ? 0 : 2;
}
