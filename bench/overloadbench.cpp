// Fan-in overload of the real program: the headless relay with one ground
// station and N vehicles on unicast, every vehicle sending ground-station
// frames as fast as the sending threads can, towards one ground station that
// cannot take them all. Prints the relay's resident memory idle, during the
// blast and after it, whether it still relays once the blast is over, and
// what its final stats lines say of what was handed to the ground station,
// sent and dropped.
//
//   relay-overload [seconds=60] [vehicles=10] [frames-per-datagram=16] [program]

#include "config/tlinksettings.h"
#include "config/tlinksettingsfile.h"
#include "procstats.h"
#include "udppeer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

using namespace bench;

namespace {

constexpr int kPayload = 40; // a 47-byte frame
constexpr int kSenderThreads = 2;
constexpr long kMostMiB = 4096;

// Written as the window stores a unicast row.
void unicastGroup(QSettings &file, const QString &group, std::uint16_t local, std::uint16_t remote)
{
    TLinkSettings values = TLinkSettings::defaults();
    for (const TLinkSettings::Choice &choice : TLinkSettings::conTypes())
        if (choice.value == IOHandler::UdpUnicast)
            values.conType = choice.text;
    values.localIp = values.remoteIp = QStringLiteral("127.0.0.1");
    values.localPort = QString::number(local);
    values.remotePort = QString::number(remote);
    TLinkSettingsFile::write(file, group, values);
}

QByteArray frames(int count)
{
    QByteArray frame(kPayload + 7, '\x33');
    frame[0] = char(0xAA);
    frame[1] = char(0xEC);
    frame[5] = char(kPayload);
    return frame.repeated(count);
}

long rssMiB(long pid)
{
    const QByteArray id = QByteArray::number(qint64(pid));
    return procStatusField("VmRSS:", id.constData()) / 1024;
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A figure of the last stats line for a link.
quint64 figure(const QString &out, const QString &link, const QString &key)
{
    const QRegularExpression line(QStringLiteral("stats link=%1 [^\n]* %2=(\\d+)").arg(link, key));
    quint64 value = 0;
    for (auto it = line.globalMatch(out); it.hasNext();)
        value = it.next().captured(1).toULongLong();
    return value;
}

// Drains the ground station's socket, counting what arrives.
void receive(UdpPeer &peer, const std::atomic<bool> &stop, std::atomic<quint64> &received)
{
    char buffer[65536];
    while (!stop.load()) {
        if (peer.receive(buffer, sizeof buffer) >= 0)
            received.fetch_add(1);
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

bool waitFor(const std::function<bool()> &done, int seconds)
{
    for (int n = 0; n < seconds * 10; ++n) {
        if (done())
            return true;
        QThread::msleep(100);
    }
    return done();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int vehicles = argc > 2 ? std::atoi(argv[2]) : 10;
    const int perDatagram = argc > 3 ? std::atoi(argv[3]) : 16;
    const QString program =
        argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral(RELAY_PROGRAM);

    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("app.ini"));
    UdpPeer gcs;
    std::vector<std::unique_ptr<UdpPeer>> peers;
    std::vector<std::uint16_t> links;
    {
        QSettings file(config, QSettings::IniFormat);
        links.push_back(freeLoopbackPort());
        unicastGroup(file, QStringLiteral("Connect"), links[0], gcs.port());
        for (int i = 0; i < vehicles; ++i) {
            peers.push_back(std::make_unique<UdpPeer>());
            links.push_back(freeLoopbackPort());
            unicastGroup(file, QStringLiteral("Con%1").arg(i), links.back(), peers[i]->port());
        }
    }
    QProcess relay;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    relay.setProcessEnvironment(env);
    const QString out = dir.filePath(QStringLiteral("out")),
                  err = dir.filePath(QStringLiteral("err"));
    relay.setStandardOutputFile(out);
    relay.setStandardErrorFile(err);
    relay.start(program, {"--headless", "--config", config, "--stats", "1"});
    if (!relay.waitForStarted() ||
        !waitFor([&] { return readAll(err).count(QStringLiteral(" open udp ")) == vehicles + 1; },
                 20)) {
        std::fprintf(stderr, "the relay did not open its links:\n%s\n", qPrintable(readAll(err)));
        return 1;
    }
    const long pid = long(relay.processId());
    std::atomic<bool> stopReceiving{false};
    std::atomic<quint64> received{0};
    std::thread receiver(receive, std::ref(gcs), std::cref(stopReceiving), std::ref(received));
    QThread::sleep(3);
    const long idle = rssMiB(pid);
    std::printf("%d vehicles, %d frames of %d bytes a datagram, %d s\nidle: %ld MiB\n", vehicles,
                perDatagram, kPayload + 7, seconds, idle);

    std::atomic<bool> stopSending{false};
    std::atomic<quint64> datagrams{0};
    const QByteArray blast = frames(perDatagram);
    std::vector<std::thread> senders;
    for (int t = 0; t < kSenderThreads; ++t)
        senders.emplace_back([&, t] {
            for (quint64 n = 0; !stopSending.load(); ++n)
                for (int i = t; i < vehicles; i += kSenderThreads)
                    if (peers[size_t(i)]->sendTo(links[size_t(i) + 1], blast.constData(),
                                                 size_t(blast.size())))
                        datagrams.fetch_add(1, std::memory_order_relaxed);
        });
    // A command a second from the ground station: the overloaded link
    // must still read its own socket.
    const QByteArray command("command");
    int commands = 0;
    long peak = idle;
    for (int s = 1; s <= seconds; ++s) {
        QThread::sleep(1);
        commands += gcs.sendTo(links[0], command.constData(), size_t(command.size()));
        const long now = rssMiB(pid);
        peak = qMax(peak, now);
        if (s % 10 == 0 || s == seconds)
            std::printf("blast %3d s: %ld MiB (peak %ld)\n", s, now, peak);
        // The machine is shared: a relay without bounds is stopped early.
        if (now > kMostMiB) {
            std::printf("blast stopped at %d s: the relay holds %ld MiB\n", s, now);
            break;
        }
    }
    stopSending.store(true);
    for (std::thread &sender : senders)
        sender.join();
    long after = 0;
    for (int s = 1; s <= 10; ++s) {
        QThread::sleep(1);
        after = rssMiB(pid);
    }
    std::printf("peak during the blast: %ld MiB (+%ld); 10 s after: %ld MiB (+%ld)\n", peak,
                peak - idle, after, after - idle);

    // Still relaying: single frames from the first vehicle reach the ground
    // station once the queue has drained.
    const quint64 before = received.load();
    const QByteArray one = frames(1);
    for (int n = 0; n < 20; ++n) {
        peers[0]->sendTo(links[1], one.constData(), size_t(one.size()));
        QThread::msleep(20);
    }
    const bool relaying = waitFor([&] { return received.load() - before >= 20; }, 5);
    char buffer[256];
    int heard = 0;
    while (peers[0]->receive(buffer, sizeof buffer) >= 0)
        ++heard;
    std::printf("during the blast: %d of %d commands reached vehicle 1\n", heard, commands);
    std::printf("after the blast: %llu of 20 frames reached the ground station\n",
                (unsigned long long)(received.load() - before));

    ::kill(pid_t(pid), SIGTERM);
    if (!relay.waitForFinished(60000)) {
        std::printf("the relay did not stop within 60 s of SIGTERM\n");
        relay.kill();
        relay.waitForFinished();
    }
    stopReceiving.store(true);
    receiver.join();
    const QString stats = readAll(out);
    quint64 handed = 0;
    for (int i = 1; i <= vehicles; ++i)
        handed += figure(stats, QStringLiteral("uav%1").arg(i), QStringLiteral("gcs_frames"));
    const quint64 sent = figure(stats, QStringLiteral("gcs"), QStringLiteral("tx_blocks"));
    const quint64 dropped = figure(stats, QStringLiteral("gcs"), QStringLiteral("dropped"));
    const quint64 errors = figure(stats, QStringLiteral("gcs"), QStringLiteral("send_errors"));
    std::printf("datagrams sent by the vehicles: %llu; handed to the gcs link: %llu; sent: %llu; "
                "handed - sent: %llu; dropped: %llu; send errors: %llu; received by the ground "
                "station: %llu\n",
                (unsigned long long)datagrams.load(), (unsigned long long)handed,
                (unsigned long long)sent, (unsigned long long)(handed - sent),
                (unsigned long long)dropped, (unsigned long long)errors,
                (unsigned long long)received.load());
    std::printf(
        "vehicle 1: %llu blocks sent, %llu dropped, %llu send errors\n",
        (unsigned long long)figure(stats, QStringLiteral("uav1"), QStringLiteral("tx_blocks")),
        (unsigned long long)figure(stats, QStringLiteral("uav1"), QStringLiteral("dropped")),
        (unsigned long long)figure(stats, QStringLiteral("uav1"), QStringLiteral("send_errors")));
    const QString errText = readAll(err);
    std::printf("warnings on standard error: %lld\n",
                qint64(errText.count(QRegularExpression(QStringLiteral("gcs error: [^\n]*")))));
    for (const QString &line : errText.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("gcs error:")))
            std::printf("  %s\n", qPrintable(line));
    return relaying && dropped + errors == handed - sent ? 0 : 2;
}
