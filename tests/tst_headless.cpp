// The relay without a window, as a server runs it: the real program as a
// child process with no display at all, links from a settings file the
// test writes, real UDP peers on 127.0.0.1, and signals to stop it.

#include "relaysupport.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using relaytest::UdpPeer;

namespace {
// The program in a scratch directory, with every way to a display removed.
struct Headless
{
    QTemporaryDir dir;
    QProcess process;
    QString err;
    QString out;

    // Root reads any file: a file it may not read needs another user.
    bool asNobody = false;

    QString config() const { return dir.filePath(QStringLiteral("app.ini")); }
    // One unicast group: the link binds 127.0.0.1:local and answers remote.
    void unicastGroup(const QString &group, quint16 local, quint16 remote)
    {
        QSettings file(config(), QSettings::IniFormat);
        file.beginGroup(group);
        file.setValue(QStringLiteral("ConType"), QStringLiteral("Udp单播"));
        file.setValue(QStringLiteral("LocalIp"), QStringLiteral("127.0.0.1"));
        file.setValue(QStringLiteral("LocalPort"), QString::number(local));
        file.setValue(QStringLiteral("RemoteIp"), QStringLiteral("127.0.0.1"));
        file.setValue(QStringLiteral("RemotePort"), remote);
    }
    // A TCP group: a server on 127.0.0.1:port, or a client of it.
    void tcpGroup(const QString &group, const char *kind, quint16 port)
    {
        QSettings file(config(), QSettings::IniFormat);
        file.beginGroup(group);
        file.setValue(QStringLiteral("ConType"), QLatin1String(kind));
        file.setValue(QStringLiteral("LocalIp"), QStringLiteral("127.0.0.1"));
        file.setValue(QStringLiteral("LocalPort"), QString::number(port));
        file.setValue(QStringLiteral("RemoteIp"), QStringLiteral("127.0.0.1"));
        file.setValue(QStringLiteral("RemotePort"), QString::number(port));
    }
    // The ground station and the first vehicle on unicast, answering
    // `gcs` and `uav1` (bound here); the two links' own ports.
    QPair<quint16, quint16> twoLinks(UdpPeer &gcs, UdpPeer &uav1)
    {
        const quint16 gcsLink = testsupport::freeUdpPort(), uav1Link = testsupport::freeUdpPort();
        if (!gcs.bindLocal() || !uav1.bindLocal())
            return {};
        unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
        unicastGroup(QStringLiteral("Con0"), uav1Link, uav1.port());
        return {gcsLink, uav1Link};
    }
    void start(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        if (asNobody)
            process.start(QStringLiteral("setpriv"),
                          QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                      testsupport::appBinary()} +
                              arguments);
        else
            process.start(testsupport::appBinary(), arguments);
    }
    void read()
    {
        err += QString::fromLocal8Bit(process.readAllStandardError());
        out += QString::fromLocal8Bit(process.readAllStandardOutput());
    }
    int errLines(const QString &part)
    {
        read();
        return err.count(part);
    }
    QString socket() const { return dir.filePath(QStringLiteral("relay.sock")); }
    // One `ctl` run on this relay's socket: its exit status and output.
    int ctl(const QStringList &arguments, QString *output = nullptr) const
    {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(testsupport::appBinary(), QStringList{"ctl", "--control", socket()} + arguments);
        if (!tool.waitForFinished(10000))
            return -1;
        if (output)
            *output = QString::fromUtf8(tool.readAll());
        return tool.exitCode();
    }
    // The list answer's entry of `link`.
    QJsonObject listed(const QString &link) const
    {
        QString answer;
        ctl({"list"}, &answer);
        const QJsonArray links =
            QJsonDocument::fromJson(answer.toUtf8()).object().value("links").toArray();
        for (const QJsonValue &entry : links)
            if (entry.toObject().value("link").toString() == link)
                return entry.toObject();
        return {};
    }
    // The exit status of a run that ends by itself, -1 for none.
    int finish()
    {
        if (!process.waitForFinished(20000))
            return -1;
        read();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // Stops it as a service manager would; the exit status, -1 for none.
    int stop(int signal = SIGTERM)
    {
        ::kill(pid_t(process.processId()), signal);
        return finish();
    }
    ~Headless()
    {
        process.kill();
        process.waitForFinished(5000);
    }
};
} // namespace

class TstHeadless : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void commandLine_data();
    void commandLine();
    void relaysBothWaysAndCounts();
    void tcpLinks();
    void takenPortLeavesTheOthers();
    void refusedSettings_data();
    void refusedSettings();
    void scriptedSwarm_data();
    void scriptedSwarm();
    void stops_data();
    void stops();
    void earlyStops_data();
    void earlyStops();
    void hangUp_data();
    void hangUp();
    void captureReaderGoes();
    void controlSocket();
    void controlBadInput_data();
    void controlBadInput();
    void controlDropsAClientThatDoesNotRead();
    void metricsEqualStatsLines();
    void radioShapesEachPair();
    void radioRefused_data();
    void radioRefused();
};

void TstHeadless::init()
{
    if (testsupport::appBinary().isEmpty())
        QSKIP("RELAY_APP_BINARY does not name the built program");
}

void TstHeadless::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutPattern");
    QTest::addColumn<QString>("stderrPattern");
    const QString usage = QStringLiteral("(?s).+\nUsage: ");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "(?s)--headless.*--config <FILE>"
                          << "^$";
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << "^uav-sim-relay v1\\.1\\.0\\.\\d{8}\\.1\n$"
                             << "^$";
    QTest::newRow("unknown option") << QStringList{"--headles"} << 2 << "^$"
                                    << "^uav-sim-relay: Unknown option 'headles'\\.\nUsage: ";
    QTest::newRow("value missing") << QStringList{"--headless", "--vehicles"} << 2 << "^$"
                                   << "Missing value after '--vehicles'" + usage;
    for (const QStringList &bad :
         {QStringList{"--vehicles", "0"}, QStringList{"--vehicles", "abc"},
          QStringList{"--stats", "-1"}, QStringList{"--capture-limit", "0"},
          QStringList{"--stats-format", "xml"}})
        QTest::newRow(qPrintable(bad.join(' ')))
            << (QStringList{"--headless"} + bad) << 2 << "^$" << bad.first() + " takes" + usage;
    QTest::newRow("config is a directory")
        << QStringList{"--headless", "--config", "."} << 2 << "^$"
        << "--config \\. is a directory";
    QTest::newRow("config in no directory")
        << QStringList{"--headless", "--config", "none/app.ini"} << 2 << "^$"
        << "--config none/app.ini: there is no directory";
    QTest::newRow("headless option for the window") << QStringList{"--stats", "5"} << 2 << "^$"
                                                    << "--stats needs --headless" + usage;
    QTest::newRow("metrics with config writing")
        << QStringList{"--write-config", "a.ini", "--metrics", "9100"} << 2 << "^$"
        << "--metrics does not go with --write-config or --check-config" + usage;
    QTest::newRow("metrics port beyond 65535")
        << QStringList{"--headless", "--control", "none", "--metrics", "70000"} << 1 << "^$"
        << "--metrics takes PORT or HOST:PORT";
    QTest::newRow("kind without a file to write") << QStringList{"--kind", "udp"} << 2 << "^$"
                                                  << "--kind needs --write-config" + usage;
    QTest::newRow("kind that is none")
        << QStringList{"--write-config", "a.ini", "--kind", "unicast"} << 2 << "^$"
        << "--kind takes udp, multicast, serial, tcpclient or tcpserver, not 'unicast'" + usage;
    QTest::newRow("ports beyond 65535")
        << QStringList{"--write-config", "a.ini", "--vehicles", "200", "--port-stride", "300"} << 2
        << "^$"
        << "^uav-sim-relay: 200 vehicles 300 ports apart from port 7001 need port 69000; a "
           "port is 1 to 65535\n$";
    QTest::newRow("check of no file")
        << QStringList{"--check-config", "absent.ini"} << 1
        << "^settings file absent.ini not found, every link on its defaults\n"
        << "^$";
}

void TstHeadless::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutPattern);
    QFETCH(QString, stderrPattern);
    Headless program;
    program.start(arguments);
    QCOMPARE(program.finish(), exitCode);
    QVERIFY2(program.out.contains(QRegularExpression(stdoutPattern)), qPrintable(program.out));
    QVERIFY2(program.err.contains(QRegularExpression(stderrPattern)), qPrintable(program.err));
    // Nothing written unasked.
    QVERIFY(QDir(program.dir.path()).isEmpty());
}

// Ground station and two vehicles on unicast: data goes where the window
// would send it, every figure of the final stats lines is exact, and the
// settings file is read only.
void TstHeadless::relaysBothWaysAndCounts()
{
    UdpPeer gcs, uav1, uav2;
    for (UdpPeer *peer : {&gcs, &uav1, &uav2})
        QVERIFY2(peer->bindLocal(), qPrintable(peer->socket.errorString()));
    const quint16 gcsLink = testsupport::freeUdpPort(), uav1Link = testsupport::freeUdpPort(),
                  uav2Link = testsupport::freeUdpPort();
    Headless program;
    program.unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
    program.unicastGroup(QStringLiteral("Con0"), uav1Link, uav1.port());
    program.unicastGroup(QStringLiteral("Con1"), uav2Link, uav2.port());
    QFile file(program.config());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    const QString capture = program.dir.filePath(QStringLiteral("relay.pcapng"));
    program.start(
        {"--headless", "--config", program.config(), "--stats", "1", "--capture", capture});
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral(" open udp 127.0.0.1:")), 3, 20000);
    QVERIFY2(program.err.contains(QStringLiteral("uav2 open udp 127.0.0.1:%1 -> 127.0.0.1:%2")
                                      .arg(uav2Link)
                                      .arg(uav2.port())),
             qPrintable(program.err));

    const QByteArray command("ground station data");
    const int commands = 5;
    QList<QByteArray> everyCommand;
    for (int n = 0; n < commands; ++n) {
        gcs.sendTo(gcsLink, command);
        everyCommand << command;
    }
    QTRY_COMPARE(uav1.received(), everyCommand);
    QTRY_COMPARE(uav2.received(), everyCommand);
    const QByteArray telemetry = relaytest::gcsFrame(5);
    uav1.sendTo(uav1Link, telemetry);
    QTRY_COMPARE(gcs.received(), QList<QByteArray>{telemetry});
    const QByteArray position = relaytest::uavFrame();
    uav1.sendTo(uav1Link, position);
    QTRY_COMPARE(uav2.received().size(), commands + 1);
    QCOMPARE(uav2.received().last(), relaytest::handedOn(position));
    // Nothing flows any more: two rounds of stats later the figures stand.
    const auto rounds = [&program] {
        program.read();
        return program.out.count(QStringLiteral("stats link=uav2 state=open "));
    };
    const int seen = rounds();
    QTRY_VERIFY_WITH_TIMEOUT(rounds() >= seen + 2, 10000);
    const QStringList lines = program.out.split(QLatin1Char('\n'));
    QStringList uav2Lines;
    for (const QString &line : lines)
        if (line.startsWith(QLatin1String("stats link=uav2 state=open ")))
            uav2Lines << line;
    QCOMPARE(uav2Lines.at(uav2Lines.size() - 1), uav2Lines.at(uav2Lines.size() - 2));

    QCOMPARE(program.stop(), 0);
    // Every figure of every link; the vehicle frame goes on as 40 bytes.
    const auto finalLine = [](const char *link, QVector<qsizetype> figures, quint16 peer) {
        QString line = QStringLiteral("stats link=%1 state=closed").arg(QLatin1String(link));
        const char *keys[] = {"rx_blocks",       "rx_bytes",    "tx_blocks",
                              "tx_bytes",        "gcs_frames",  "uav_frames",
                              "discarded_bytes", "send_errors", "dropped"};
        figures.resize(9);
        for (int i = 0; i < 9; ++i)
            line += QStringLiteral(" %1=%2").arg(QLatin1String(keys[i])).arg(figures.at(i));
        return line +
               QStringLiteral(" peer=127.0.0.1:%1 last_error=\"\" reconnects=0 "
                              "foreign_dropped=0 last_foreign= capture_dropped=0 radio_lost=0 "
                              "radio_duplicated=0 radio_queue_dropped=0 radio_delayed=0 "
                              "connections=0\n")
                   .arg(peer);
    };
    const QString last =
        finalLine("gcs", {commands, commands * command.size(), 1, telemetry.size()}, gcs.port()) +
        finalLine(
            "uav1",
            {2, telemetry.size() + position.size(), commands, commands * command.size(), 1, 1},
            uav1.port()) +
        finalLine("uav2", {0, 0, commands + 1, commands * command.size() + position.size() + 4},
                  uav2.port());
    QVERIFY2(program.out.endsWith(last), qPrintable(program.out));
    QCOMPARE(uav1.received(), everyCommand);
    QVERIFY(file.seek(0));
    QCOMPARE(file.readAll(), stored);

    // The capture holds every block once, under its link, direction,
    // addresses and ports, with the bytes as they went.
    if (QStandardPaths::findExecutable(QStringLiteral("tshark")).isEmpty())
        QSKIP("tshark is not installed; it reads the capture back");
    QProcess tshark;
    tshark.start(QStringLiteral("tshark"),
                 {"-r", capture, "-T", "fields", "-e", "frame.interface_name", "-e",
                  "frame.packet_flags_direction", "-e", "udp.dstport", "-e", "udp.payload"});
    QVERIFY(tshark.waitForFinished(30000));
    QMap<QString, int> packets;
    QSet<QByteArray> payloads;
    for (const QByteArray &line : tshark.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 4)
            continue;
        packets[QString::fromLatin1(f[0] + ' ' + f[1].right(1))]++;
        payloads << QByteArray::fromHex(f[3]);
        if (f[0] == "uav2")
            QCOMPARE(f[2].toInt(), int(uav2.port()));
    }
    const QMap<QString, int> expected{{"gcs 1", commands},
                                      {"gcs 2", 1},
                                      {"uav1 1", 2},
                                      {"uav1 2", commands},
                                      {"uav2 2", commands + 1}};
    QCOMPARE(packets, expected);
    QCOMPARE(payloads,
             (QSet<QByteArray>{command, telemetry, position, relaytest::handedOn(position)}));
}

// A ground station connects to the relay's server; one vehicle is a server
// the relay connects to, started after the relay and later restarted, the
// other is on UDP. The capture gives each connection's bytes back.
void TstHeadless::tcpLinks()
{
    relaytest::TcpPeer gcs, uav1;
    UdpPeer uav2;
    QVERIFY(uav2.bindLocal());
    const quint16 gcsLink = testsupport::freeTcpPort(), uav1Port = testsupport::freeTcpPort(),
                  uav2Link = testsupport::freeUdpPort();
    Headless program;
    program.tcpGroup(QStringLiteral("Connect"), "tcpserver", gcsLink);
    program.tcpGroup(QStringLiteral("Con0"), "TCPCLIENT", uav1Port);
    program.unicastGroup(QStringLiteral("Con1"), uav2Link, uav2.port());
    const QString capture = program.dir.filePath(QStringLiteral("relay.pcapng"));
    program.start({"--headless", "--config", program.config(), "--capture", capture});
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral("uav1 waiting for peer\n")), 1,
                              20000);
    QTRY_COMPARE(program.errLines(QStringLiteral("gcs open tcpserver 127.0.0.1:")), 1);
    QTRY_COMPARE(program.errLines(QStringLiteral("uav2 open udp")), 1);
    QVERIFY(gcs.connectTo(gcsLink));
    QVERIFY(uav1.listen(uav1Port));
    QTRY_VERIFY_WITH_TIMEOUT(uav1.accepted(), 5000);
    QTRY_COMPARE(program.errLines(QStringLiteral("uav1 open tcpclient -> 127.0.0.1:")), 1);

    QByteArray commands;
    for (int n = 0; n < 20; ++n) {
        const QByteArray command = QByteArray("command ") + QByteArray::number(n);
        gcs.write(command);
        commands += command;
    }
    QTRY_COMPARE(uav1.received(), commands);
    QByteArray overUdp;
    QTRY_COMPARE((overUdp = uav2.received().join()), commands);
    // A frame cut by the stream reaches the ground station whole.
    const QByteArray telemetry = relaytest::gcsFrame(30);
    uav1.write(telemetry.left(10));
    QTest::qWait(50);
    uav1.write(telemetry.mid(10));
    QTRY_COMPARE(gcs.received(), telemetry);
    const QByteArray position = relaytest::uavFrame();
    uav1.write(position.left(20));
    QTest::qWait(50);
    uav1.write(position.mid(20));
    QTRY_COMPARE(uav2.received().last(), relaytest::handedOn(position));

    // The simulator restarts on its port: the link is back by itself.
    const QByteArray beforeRestart = uav1.received();
    uav1.socket->abort();
    uav1.server.close();
    QTRY_COMPARE(program.errLines(QStringLiteral("uav1 waiting for peer\n")), 2);
    QVERIFY(uav1.listen(uav1Port));
    QElapsedTimer back;
    back.start();
    QTRY_VERIFY_WITH_TIMEOUT(uav1.accepted(), 5000);
    QTRY_COMPARE(program.errLines(QStringLiteral("uav1 open tcpclient")), 2);
    QVERIFY(back.elapsed() < 5000);
    gcs.write("after the restart");
    QTRY_COMPARE(uav1.received(), QByteArray("after the restart"));
    QCOMPARE(program.errLines(QStringLiteral("uav1 error: ")), 1);

    QCOMPARE(program.stop(), 0);
    QVERIFY2(program.out.contains(QRegularExpression(
                 // The first connection ended a wait, as the second did.
                 "stats link=uav1 state=closed [^\n]* reconnects=2 [^\n]* connections=0\n")),
             qPrintable(program.out));
    QVERIFY2(program.out.contains(
                 QRegularExpression("stats link=gcs state=closed rx_blocks=\\d+ rx_bytes=" +
                                    QString::number(commands.size() + 17) + " tx_blocks=1 ")),
             qPrintable(program.out));

    if (QStandardPaths::findExecutable(QStringLiteral("tshark")).isEmpty())
        QSKIP("tshark is not installed; it reads the capture back");
    // Each direction of the first vehicle connection, as tshark follows it.
    const auto follow = [&capture](int stream) {
        QProcess tshark;
        tshark.start(QStringLiteral("tshark"),
                     {"-r", capture, "-q", "-z", QStringLiteral("follow,tcp,raw,%1").arg(stream)});
        tshark.waitForFinished(30000);
        QByteArray first, second;
        for (const QByteArray &line : tshark.readAllStandardOutput().split('\n')) {
            if (line.isEmpty() || line.startsWith('=') || line.contains(':'))
                continue;
            (line.startsWith('\t') ? second : first) += QByteArray::fromHex(line.trimmed());
        }
        return qMakePair(first, second);
    };
    // Streams are numbered as they first appear: the ground station's
    // commands, then the vehicle's copy of them.
    QCOMPARE(follow(0), qMakePair(commands + "after the restart", telemetry));
    QCOMPARE(follow(1), qMakePair(commands, telemetry + position));
    QCOMPARE(beforeRestart, commands);
}

void TstHeadless::takenPortLeavesTheOthers()
{
    UdpPeer gcs, uav1, taker;
    QVERIFY2(taker.bindLocal(), qPrintable(taker.socket.errorString()));
    Headless program;
    const QPair<quint16, quint16> links = program.twoLinks(gcs, uav1);
    QVERIFY2(links.first != 0, "the peers could not bind");
    const quint16 gcsLink = links.first, uav1Link = links.second;
    program.unicastGroup(QStringLiteral("Con1"), taker.port(), testsupport::freeUdpPort());
    QSettings(program.config(), QSettings::IniFormat)
        .setValue(QStringLiteral("Con0/FixedPeer"), QStringLiteral("true"));
    program.start({"--headless", "--config", program.config(), "--stats", "60", "--capture",
                   "no-such-folder/relay.pcapng"});
    const QString reason = QStringLiteral("127.0.0.1:%1 is already in use").arg(taker.port());
    const QString failed = QStringLiteral("uav2 failed: ") + reason + QLatin1Char('\n');
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(failed), 1, 20000);
    QTRY_COMPARE(program.errLines(QStringLiteral(" open udp ")), 2);
    // A capture that cannot be made is told; the relay runs without it.
    QCOMPARE(program.errLines(QStringLiteral("error: Cannot create capture file "
                                             "no-such-folder/relay.pcapng")),
             1);
    gcs.sendTo(gcsLink, "still relayed");
    QTRY_COMPARE(uav1.received(), QList<QByteArray>{"still relayed"});
    // uav1 answers its fixed peer only: what the stranger sends goes nowhere.
    taker.sendTo(uav1Link, relaytest::gcsFrame(3));
    uav1.sendTo(uav1Link, relaytest::gcsFrame(4));
    QTRY_COMPARE(gcs.received(), QList<QByteArray>{relaytest::gcsFrame(4)});
    QCOMPARE(program.stop(SIGINT), 0);
    QVERIFY2(program.out.contains(
                 QStringLiteral("foreign_dropped=1 last_foreign=127.0.0.1:%1 ").arg(taker.port())),
             qPrintable(program.out));
    QVERIFY2(program.out.contains(QStringLiteral("last_error=\"rec udp error: %1\" ").arg(reason)),
             qPrintable(program.out));
}

void TstHeadless::refusedSettings_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("allowed");
    const QString port = QStringLiteral("a port is 1 to 65535");
    for (const char *bad : {"0", "65536", "70001", "-1", "seven"})
        QTest::newRow(qPrintable(QStringLiteral("port %1").arg(bad))) << "LocalPort" << bad << port;
    QTest::newRow("remote port 65536") << "RemotePort"
                                       << "65536" << port;
    const QString address = QStringLiteral(
        "an address is an IPv4 dotted quad such as 127.0.0.1 (names are not resolved)");
    QTest::newRow("address localhost") << "RemoteIp"
                                       << "localhost" << address;
    QTest::newRow("address 1.2.3") << "LocalIp"
                                   << "1.2.3" << address;
    const QString kind =
        QStringLiteral("a kind is serial, udp, multicast, tcpclient or tcpserver (or as the "
                       "window writes them: Serial, Udp单播, Udp组播, Tcp客户端, Tcp服务端)");
    QTest::newRow("kind unicast") << "ConType"
                                  << "unicast" << kind;
    QTest::newRow("kind empty") << "ConType"
                                << "" << kind;
    QTest::newRow("kind unknown") << "ConType"
                                  << "udp单播x" << kind;
    QTest::newRow("fixed peer yes") << "FixedPeer"
                                    << "yes"
                                    << "it is true or false";
    // A whole file the relay will not run on: never taken as defaults.
    QTest::newRow("binary file") << ""
                                 << "binary"
                                 << "is not a settings file (it holds binary data)";
    QTest::newRow("unreadable file") << ""
                                     << "unreadable"
                                     << "cannot be read: permission denied";
}

// One bad value keeps its own link closed, with one line that names it; the
// other links open and relay, and the file is left as it was. --check-config
// finds the same and fails.
void TstHeadless::refusedSettings()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, allowed);
    UdpPeer gcs, uav2;
    for (UdpPeer *peer : {&gcs, &uav2})
        QVERIFY2(peer->bindLocal(), qPrintable(peer->socket.errorString()));
    const quint16 gcsLink = testsupport::freeUdpPort(), uav2Link = testsupport::freeUdpPort();
    Headless program;
    if (value == QLatin1String("binary")) {
        QFile binary(program.config());
        QVERIFY(binary.open(QIODevice::WriteOnly));
        binary.write(QByteArray("[Connect]\nLocalPort=7001\n\0\x7f\x01\x02", 27));
    } else if (value == QLatin1String("unreadable")) {
        program.unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
        QVERIFY(QFile::setPermissions(program.config(), QFile::Permissions()));
        QVERIFY(QFile::setPermissions(program.dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner | QFile::ReadOther |
                                                              QFile::ExeOther));
        program.asNobody = ::geteuid() == 0;
        if (program.asNobody && QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("running as root, and setpriv is not there to run as another user");
    } else {
        program.unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
        program.unicastGroup(QStringLiteral("Con0"), testsupport::freeUdpPort(), 9);
        program.unicastGroup(QStringLiteral("Con1"), uav2Link, uav2.port());
        QSettings(program.config(), QSettings::IniFormat)
            .setValue(QStringLiteral("Con0/") + key, value);
    }
    QFile file(program.config());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();

    Headless check;
    check.asNobody = program.asNobody;
    check.start({"--check-config", program.config()});
    program.start({"--headless", "--config", "app.ini"});
    QCOMPARE(check.finish(), 1);
    if (key.isEmpty()) {
        // Never taken as defaults: every row would open the first serial port.
        QCOMPARE(program.finish(), 2);
        QCOMPARE(program.err,
                 QStringLiteral("uav-sim-relay: settings file app.ini %1\n").arg(allowed));
        QVERIFY2(check.out.endsWith(allowed + '\n'), qPrintable(check.out));
        QVERIFY(file.seek(0));
        QCOMPARE(file.readAll(), stored);
        return;
    }
    const QString line = QStringLiteral("app.ini [Con0] %1=%2: %3\n").arg(key, value, allowed);
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral(" open udp ")), 2, 20000);
    QCOMPARE(program.errLines(line), 1);
    QCOMPARE(program.errLines(QStringLiteral("uav1 ")), 0);
    QVERIFY2(check.out.contains(QStringLiteral("uav1 refused: ") +
                                program.config().section('/', 0, -2) + '/' + line),
             qPrintable(check.out));
    gcs.sendTo(gcsLink, "to the others");
    QTRY_COMPARE(uav2.received(), QList<QByteArray>{"to the others"});
    QCOMPARE(program.stop(), 0);
    QVERIFY(program.out.contains(QStringLiteral("stats link=uav1 state=closed rx_blocks=0 ")));
    QVERIFY(file.seek(0));
    QCOMPARE(file.readAll(), stored);
}

void TstHeadless::scriptedSwarm_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("vehicles");
    QTest::addColumn<int>("stride");
    QTest::newRow("200 vehicles") << "udp" << 200 << 1;
    QTest::newRow("20 vehicles 10 ports apart") << "udp" << 20 << 10;
    // Simulators step their TCP servers' ports by 10; none runs here.
    QTest::newRow("20 tcp clients 10 ports apart") << "tcpclient" << 20 << 10;
}

// The recipe of the README: a file written, checked, and run as it is.
void TstHeadless::scriptedSwarm()
{
    QFETCH(QString, kind);
    QFETCH(int, vehicles);
    QFETCH(int, stride);
    const bool tcp = kind == QLatin1String("tcpclient");
    // A free port with room above it for every vehicle's, all free.
    quint16 base = 0;
    while (tcp && (base == 0 || base + vehicles * stride > 65535))
        base = testsupport::freeTcpPort();
    if (!tcp)
        base = testsupport::freeUdpPortRun(vehicles, stride);
    QVERIFY(base != 0);
    Headless writer;
    writer.start({"--write-config", "swarm.ini", "--vehicles", QString::number(vehicles),
                  "--base-port", QString::number(base), "--port-stride", QString::number(stride),
                  "--kind", kind});
    QCOMPARE(writer.finish(), 0);
    QCOMPARE(writer.err, QString());

    Headless check;
    const QString file = writer.dir.filePath(QStringLiteral("swarm.ini"));
    check.start({"--check-config", file});
    QCOMPARE(check.finish(), 0);
    QStringList expected{tcp ? QStringLiteral("gcs tcpserver 127.0.0.1:%1").arg(base)
                             : QStringLiteral("gcs udp 127.0.0.1:%1 -> 127.0.0.1:9000").arg(base)};
    for (int n = 1; n <= vehicles; ++n)
        expected << (tcp ? QStringLiteral("uav%1 tcpclient -> 127.0.0.1:%2")
                               .arg(n)
                               .arg(9000 + n * stride)
                         : QStringLiteral("uav%1 udp 127.0.0.1:%2 -> 127.0.0.1:%3")
                               .arg(n)
                               .arg(base + n * stride)
                               .arg(9000 + n * stride));
    QCOMPARE(check.out, expected.join('\n') + '\n');

    Headless relay;
    relay.start({"--headless", "--config", file});
    if (tcp) {
        // Every client waits for its simulator; the server is open.
        QTRY_COMPARE_WITH_TIMEOUT(relay.errLines(QStringLiteral(" waiting for peer\n")), vehicles,
                                  30000);
        QTRY_COMPARE(relay.errLines(QStringLiteral("gcs open tcpserver 127.0.0.1:%1\n").arg(base)),
                     1);
        QCOMPARE(relay.stop(), 0);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(relay.errLines(QStringLiteral(" open udp ")), vehicles + 1, 30000);
    // In link order, as the check listed them.
    QStringList opened;
    for (QString line : relay.err.split(QLatin1Char('\n')))
        if (line.contains(QLatin1String(" open udp ")))
            opened << line.replace(QLatin1String(" open "), QLatin1String(" "));
    QCOMPARE(opened, expected);
    QCOMPARE(relay.stop(), 0);
    QCOMPARE(relay.out.count(QStringLiteral("stats link=")), vehicles + 1);
}

void TstHeadless::stops_data()
{
    QTest::addColumn<int>("stopSignals");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("one signal: an orderly stop") << 1 << 0;
    // Two of one kind sent together may arrive as one; two kinds never do,
    // and the second always lands before the orderly stop has run.
    QTest::newRow("a second one: at once") << 2 << 130;
}

void TstHeadless::stops()
{
    QFETCH(int, stopSignals);
    QFETCH(int, exitCode);
    Headless program;
    // No cfg/ folder at all: every link on its defaults, the ground station
    // on serial; the vehicles stay off the network. The final stats come
    // without --stats.
    program.start({"--headless", "--vehicles", "20"});
    QTRY_COMPARE_WITH_TIMEOUT(
        program.errLines(QStringLiteral("settings file cfg/app.ini not found, every link on its "
                                        "defaults\n")),
        1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral("uav20 ")), 1, 20000);
    if (stopSignals == 2)
        ::kill(pid_t(program.process.processId()), SIGINT);
    QCOMPARE(program.stop(), exitCode);
    QCOMPARE(program.out.count(QStringLiteral("stats link=")), exitCode == 0 ? 21 : 0);
    QVERIFY(QDir(program.dir.path()).isEmpty());
}

void TstHeadless::earlyStops_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

// A service manager that stops the relay right after starting it: from the
// moment the program runs (its handlers are in place; before that the
// system loader is still mapping its libraries), a stop at any moment of
// the first 20 ms, links half-built or not, ends it cleanly with its stats.
void TstHeadless::earlyStops()
{
    QFETCH(int, signal);
    const auto caught = [signal](qint64 pid) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1) != 0;
        return false;
    };
    for (int run = 0; run < 20; ++run) {
        Headless program;
        program.unicastGroup(QStringLiteral("Connect"), testsupport::freeUdpPort(), 9);
        program.start({"--headless", "--config", program.config(), "--vehicles", "3"});
        QVERIFY(program.process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(caught(program.process.processId()), 5000);
        QThread::usleep(ulong(QRandomGenerator::global()->bounded(20000)));
        QCOMPARE(program.stop(signal), 0);
        QCOMPARE(program.out.count(QStringLiteral("stats link=")), 4);
    }
}

void TstHeadless::hangUp_data()
{
    QTest::addColumn<QString>("capture");
    QTest::addColumn<bool>("rotated");
    QTest::addColumn<QString>("said");
    QTest::newRow("no capture") << QString() << false << "SIGHUP: no capture to reopen; ignored";
    QTest::newRow("capture in place")
        << "relay.pcapng" << false << "SIGHUP: relay.pcapng is still in place; recording goes on";
    QTest::newRow("capture moved away") << "relay.pcapng" << true << "SIGHUP: capture reopened";
}

// SIGHUP never ends the relay: it says what it did, a capture moved away
// by a rotation goes on in a new file, and the links relay throughout.
void TstHeadless::hangUp()
{
    QFETCH(QString, capture);
    QFETCH(bool, rotated);
    QFETCH(QString, said);
    UdpPeer gcs, uav1;
    Headless program;
    const quint16 gcsLink = program.twoLinks(gcs, uav1).first;
    QVERIFY2(gcsLink != 0, "the peers could not bind");
    QStringList arguments{"--headless", "--config", "app.ini"};
    if (!capture.isEmpty())
        arguments << "--capture" << capture;
    program.start(arguments);
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral(" open udp ")), 2, 20000);
    gcs.sendTo(gcsLink, "before");
    QTRY_COMPARE(uav1.received().size(), 1);
    const QString moved = program.dir.filePath(QStringLiteral("relay.pcapng.1"));
    if (rotated)
        QVERIFY(QFile::rename(program.dir.filePath(capture), moved));
    ::kill(pid_t(program.process.processId()), SIGHUP);
    QTRY_COMPARE(program.errLines(said + QLatin1Char('\n')), 1);
    gcs.sendTo(gcsLink, "after");
    QTRY_COMPARE(uav1.received().size(), 2);
    QCOMPARE(program.stop(), 0);
    QCOMPARE(program.out.count(QStringLiteral("stats link=")), 2);
    if (capture.isEmpty())
        return;
    // Each file whole: the moved one up to the signal, the new one after.
    const auto holds = [](const QString &path, const QByteArray &payload) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(payload);
    };
    const QString current = program.dir.filePath(capture);
    QVERIFY(holds(current, "after"));
    QCOMPARE(holds(current, "before"), !rotated);
    QCOMPARE(holds(moved, "before"), rotated);
}

// A capture into a pipe whose reader goes away ends the recording, with a
// line that says so; the relay goes on relaying and stops cleanly.
void TstHeadless::captureReaderGoes()
{
    if (QStandardPaths::findExecutable(QStringLiteral("mkfifo")).isEmpty())
        QSKIP("mkfifo is not installed");
    UdpPeer gcs, uav1;
    Headless program;
    const quint16 gcsLink = program.twoLinks(gcs, uav1).first;
    QVERIFY2(gcsLink != 0, "the peers could not bind");
    const QString fifo = program.dir.filePath(QStringLiteral("capture.pipe"));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    // The reader first: opening a pipe for writing waits for one.
    QProcess reader;
    reader.setStandardOutputFile(QProcess::nullDevice());
    reader.start(QStringLiteral("cat"), {fifo});
    QVERIFY(reader.waitForStarted());
    program.start({"--headless", "--config", program.config(), "--capture", fifo});
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral(" open udp ")), 2, 20000);
    gcs.sendTo(gcsLink, "recorded");
    QTRY_COMPARE(uav1.received().size(), 1);
    reader.kill();
    QVERIFY(reader.waitForFinished());
    // Whatever is sent next has nowhere to go in the pipe.
    int sent = 1;
    QTRY_VERIFY_WITH_TIMEOUT((gcs.sendTo(gcsLink, "after the reader"), ++sent,
                              program.errLines(QStringLiteral("capture stopped: ")) == 1),
                             10000);
    QTRY_COMPARE(uav1.received().size(), sent);
    QCOMPARE(program.stop(), 0);
    QCOMPARE(program.out.count(QStringLiteral("stats link=")), 2);
}

// A script drives a running relay through its socket and the ctl client.
void TstHeadless::controlSocket()
{
    UdpPeer gcs, uav1, uav2, uav2Later;
    QVERIFY(uav2.bindLocal() && uav2Later.bindLocal());
    Headless program;
    const auto [gcsLink, uav1Link] = program.twoLinks(gcs, uav1);
    QVERIFY(gcsLink != 0);
    const quint16 uav2Link = testsupport::freeUdpPort();
    program.start({"--headless", "--config", program.config(), "--control", program.socket()});
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral(" open udp 127.0.0.1:")), 2, 20000);

    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(program.socket()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));
    QCOMPARE(program.listed("uav1").value("state").toString(), QStringLiteral("open"));
    QCOMPARE(program.listed("uav1").value("endpoint").toString(),
             QStringLiteral("udp 127.0.0.1:%1 -> 127.0.0.1:%2").arg(uav1Link).arg(uav1.port()));

    Headless second;
    second.start({"--headless", "--config", program.config(), "--control", program.socket()});
    QCOMPARE(second.finish(), 1);
    QVERIFY2(second.err.contains("another relay runs there"), qPrintable(second.err));

    // A watcher hears what the others do, and the counters every second.
    QProcess watcher;
    watcher.start(testsupport::appBinary(),
                  {"ctl", "--control", program.socket(), "watch", "every=1"});
    QString watched;
    const auto heard = [&watcher, &watched](const char *part) {
        watched += QString::fromUtf8(watcher.readAllStandardOutput());
        return watched.contains(QLatin1String(part));
    };
    QTRY_VERIFY(heard("\"watching\":true"));

    QString answer;
    QCOMPARE(program.ctl({"add", "ConType=udp", "LocalIp=127.0.0.1",
                          QStringLiteral("LocalPort=%1").arg(uav2Link), "RemoteIp=127.0.0.1",
                          QStringLiteral("RemotePort=%1").arg(uav2.port())},
                         &answer),
             0);
    QCOMPARE(answer.trimmed(), QStringLiteral("{\"link\":\"uav2\",\"ok\":true}"));
    QTRY_COMPARE(program.listed("uav2").value("state").toString(), QStringLiteral("open"));
    QTRY_VERIFY(heard("{\"event\":\"added\",\"link\":\"uav2\"}"));
    QTRY_VERIFY(
        heard(qPrintable(QStringLiteral("{\"endpoint\":\"udp 127.0.0.1:%1 -> 127.0.0.1:%2\","
                                        "\"event\":\"open\",\"link\":\"uav2\"}")
                             .arg(uav2Link)
                             .arg(uav2.port()))));
    QTRY_VERIFY_WITH_TIMEOUT(heard("{\"event\":\"stats\",\"links\":[{"), 5000);
    gcs.sendTo(gcsLink, "to all");
    QTRY_COMPARE(uav2.received(), QList<QByteArray>{"to all"});
    QCOMPARE(program.listed("gcs").value("rx_blocks").toInt(), 1);

    const QString later = QStringLiteral("RemotePort=%1").arg(uav2Later.port());
    QCOMPARE(program.ctl({"set", "link=uav2", later}, &answer), 1);
    QVERIFY2(answer.contains("uav2 is open; close it first"), qPrintable(answer));
    QCOMPARE(program.ctl({"close", "link=uav2"}), 0);
    QTRY_COMPARE(program.listed("uav2").value("state").toString(), QStringLiteral("closed"));
    QCOMPARE(program.ctl({"set", "link=uav2", "RemotePort=70000"}, &answer), 1);
    QVERIFY2(answer.contains("[Con1] RemotePort=70000: a port is 1 to 65535"), qPrintable(answer));
    QCOMPARE(program.ctl({"set", "link=uav2", later}), 0);
    QCOMPARE(program.ctl({"reset", "link=all"}), 0);
    QCOMPARE(program.listed("gcs").value("rx_blocks").toInt(), 0);
    QCOMPARE(program.ctl({"open", "link=uav2"}), 0);
    QTRY_COMPARE(program.listed("uav2").value("state").toString(), QStringLiteral("open"));
    gcs.sendTo(gcsLink, "again");
    QTRY_COMPARE(uav2Later.received(), QList<QByteArray>{"again"});
    QCOMPARE(uav2.received().size(), 1);

    QCOMPARE(program.ctl({"open", "link=uav9"}, &answer), 1);
    QVERIFY2(answer.contains("there is no link 'uav9'"), qPrintable(answer));
    // One radio rule through ctl: the ground station's blocks stop reaching
    // uav2 alone (lost as they are handed on, before uav1 gets its copy).
    QCOMPARE(program.ctl({"radio", "from=gcs", "to=*", "profile=delay 5 parsecs"}, &answer), 1);
    QVERIFY2(answer.contains("radio: profile = \\\"delay 5 parsecs\\\": "), qPrintable(answer));
    QCOMPARE(program.ctl({"radio", "from=gcs", "to=uav2", "profile=down"}), 0);
    const int before = uav1.received().size();
    gcs.sendTo(gcsLink, "cut off");
    QTRY_COMPARE(uav1.received().size(), before + 1);
    QCOMPARE(program.listed("uav2").value("radio_lost").toInt(), 1);
    QCOMPARE(uav2Later.received().size(), 1);
    QCOMPARE(program.ctl({"radio", "file=no-such-radio.json"}), 1);
    QCOMPARE(program.ctl({"radio"}), 0);
    QCOMPARE(program.ctl({}), 2);
    QCOMPARE(program.ctl({"open", "uav2"}), 2);
    QCOMPARE(program.stop(), 0);
    QVERIFY(!QFileInfo::exists(program.socket()));
    // The relay's end ends the watch.
    QVERIFY(watcher.waitForFinished(5000));
    QCOMPARE(program.ctl({"list"}, &answer), 1);
    QVERIFY2(answer.contains("no relay at"), qPrintable(answer));
}

void TstHeadless::controlBadInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Empty: no answer, the client goes.
    QTest::addColumn<QString>("error");
    QTest::newRow("garbage") << QByteArray("\x00\xff\xfe\x01 junk\n", 10) << "invalid JSON";
    QTest::newRow("1 MiB line") << QByteArray(1024 * 1024, 'x') + '\n' << "at most 65536 bytes";
    QTest::newRow("invalid JSON") << QByteArray("{\"cmd\": \"list\"\n") << "invalid JSON";
    QTest::newRow("no object") << QByteArray("[1,2]\n") << "a request is a JSON object";
    QTest::newRow("unknown command")
        << QByteArray("{\"cmd\":\"fly\"}\n") << "unknown command 'fly'";
    QTest::newRow("cmd not a string") << QByteArray("{\"cmd\":7}\n") << "cmd: a request names";
    QTest::newRow("link a number")
        << QByteArray("{\"cmd\":\"close\",\"link\":5}\n") << "link names a link such as uav1";
    QTest::newRow("port an array") << QByteArray("{\"cmd\":\"add\",\"LocalPort\":[1]}\n")
                                   << "add: LocalPort takes a text, a whole number or true/false";
    QTest::newRow("unknown key") << QByteArray("{\"cmd\":\"add\",\"Port\":1}\n")
                                 << "add: unknown key 'Port'";
    QTest::newRow("watch every text")
        << QByteArray("{\"cmd\":\"watch\",\"every\":\"x\"}\n") << "watch: every is a whole number";
    QTest::newRow("disconnect mid-line") << QByteArray("{\"cmd\":\"li") << QString();
    // Gone before its answer: writing it fails at once.
    QTest::newRow("disconnect after asking")
        << QByteArray("{\"cmd\":\"list\"}\n").repeated(50) << QString();
}

// Each is answered with an error naming it, or the client goes; the relay
// and other clients go on.
void TstHeadless::controlBadInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    Headless program;
    program.start({"--headless", "--vehicles", "1", "--control", program.socket()});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(program.socket()), 20000);
    QLocalSocket client;
    client.connectToServer(program.socket());
    QVERIFY(client.waitForConnected(5000));
    client.write(bytes);
    QVERIFY(client.waitForBytesWritten(5000));
    if (error.isEmpty()) {
        client.disconnectFromServer();
    } else {
        QTRY_VERIFY(client.canReadLine() || (client.waitForReadyRead(100) && client.canReadLine()));
        const QJsonObject answer = QJsonDocument::fromJson(client.readLine()).object();
        QCOMPARE(answer.value("ok"), QJsonValue(false));
        QVERIFY2(answer.value("error").toString().contains(error),
                 qPrintable(answer.value("error").toString()));
        // The same connection goes on.
        client.write("{\"cmd\":\"list\"}\n");
        QVERIFY(client.waitForReadyRead(5000));
        QTRY_VERIFY(client.canReadLine() || client.waitForReadyRead(100));
        QCOMPARE(QJsonDocument::fromJson(client.readLine()).object().value("ok"), QJsonValue(true));
    }
    QCOMPARE(program.ctl({"list"}), 0);
    QCOMPARE(program.stop(), 0);
}

// Asks and asks and reads nothing (a plain socket: a QLocalSocket would read
// into its buffer whenever the test's loop runs): the relay drops it once
// its answers pile up, and answers the others all the while.
void TstHeadless::controlDropsAClientThatDoesNotRead()
{
    Headless program;
    program.start({"--headless", "--vehicles", "1", "--control", program.socket()});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(program.socket()), 20000);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un where = {};
    where.sun_family = AF_UNIX;
    qstrncpy(where.sun_path, QFile::encodeName(program.socket()).constData(),
             sizeof where.sun_path);
    QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&where), sizeof where), 0);
    const QByteArray lists = QByteArray("{\"cmd\":\"list\"}\n").repeated(1000);
    const auto ask = [fd, &lists] {
        return ::send(fd, lists.constData(), size_t(lists.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    };
    // Each answer is about 1 KiB: well beyond the bound after a few rounds.
    QTRY_VERIFY_WITH_TIMEOUT(ask() < 0 && errno != EAGAIN, 20000);
    ::close(fd);
    QCOMPARE(program.ctl({"list"}), 0);
    QCOMPARE(program.stop(), 0);
}

// A scrape's figures after traffic are those of the stats lines at exit.
void TstHeadless::metricsEqualStatsLines()
{
    UdpPeer gcs, uav1;
    Headless program;
    const auto [gcsLink, uav1Link] = program.twoLinks(gcs, uav1);
    QVERIFY(gcsLink != 0);
    program.start({"--headless", "--config", program.config(), "--control", "none",
                   "--stats-format", "json", "--metrics", "127.0.0.1:0"});
    QTRY_COMPARE_WITH_TIMEOUT(program.errLines(QStringLiteral(" open udp 127.0.0.1:")), 2, 20000);
    const QRegularExpression url(QStringLiteral("metrics on http://127.0.0.1:(\\d+)/metrics"));
    const quint16 port = quint16(url.match(program.err).captured(1).toUInt());
    QVERIFY2(port != 0, qPrintable(program.err));
    const auto scrape = [port] { return testsupport::scrapeMetrics(port); };
    for (int n = 0; n < 20; ++n) {
        gcs.sendTo(gcsLink, "block");
        uav1.sendTo(uav1Link, relaytest::gcsFrame(3));
        if (n == 10)
            QVERIFY(scrape().contains(" 200 OK"));
    }
    QTRY_COMPARE(uav1.received().size(), 20);
    QTRY_COMPARE(gcs.received().size(), 20);
    const QString page = scrape();
    QVERIFY2(page.contains("# TYPE uav_relay_rx_blocks_total counter"), qPrintable(page));
    QVERIFY(page.contains("uav_relay_link_state{link=\"uav1\",state=\"open\"} 1"));
    QCOMPARE(program.stop(), 0);
    int compared = 0;
    for (const QString &line : program.out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject stats = QJsonDocument::fromJson(line.toUtf8()).object();
        const QString link = stats.value("link").toString();
        for (auto it = stats.begin(); it != stats.end(); ++it) {
            if (!it.value().isDouble())
                continue;
            // The one figure that goes down again is a gauge, the rest counters.
            const QString name = it.key() == QLatin1String("connections")
                                     ? it.key()
                                     : it.key() + QStringLiteral("_total");
            const QString metric = QStringLiteral("uav_relay_%1{link=\"%2\"} %3\n")
                                       .arg(name, link)
                                       .arg(qint64(it.value().toDouble()));
            QVERIFY2(page.contains(metric), qPrintable(metric + page));
            ++compared;
        }
    }
    QCOMPARE(compared, 2 * 17);
    QVERIFY(program.out.contains("\"rx_blocks\":20,"));
}

namespace {
// One run of the relay with a radio between the ground station and four
// vehicles: uav1 down, uav2 at half loss, uav3 100 ms late, uav4 on a
// channel of 10,000 bytes a second that holds 20 blocks. The ground station
// sends 400 numbered blocks of 100 bytes at once.
struct RadioRun
{
    static constexpr int blocks = 400;
    QSet<int> heard[4];
    QVector<qint64> waitedUs[4];
    QVector<qint64> arrivedUs[4];
    QString out;
    QString err;
    QString pairs;
    QString capture;
    qint64 sentUntilUs = 0;
    int exit = -1;
    QTemporaryDir kept; // the capture outlives the run's own folder

    bool run(quint64 seed, bool record)
    {
        UdpPeer gcs, uav[4];
        if (!gcs.bindLocal())
            return false;
        Headless program;
        const quint16 gcsLink = testsupport::freeUdpPort();
        program.unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
        quint16 links[4];
        for (int i = 0; i < 4; ++i) {
            if (!uav[i].bindLocal())
                return false;
            links[i] = testsupport::freeUdpPort();
            program.unicastGroup(QStringLiteral("Con%1").arg(i), links[i], uav[i].port());
        }
        const QString radio = program.dir.filePath(QStringLiteral("radio.json"));
        QFile file(radio);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral(R"({"seed": %1, "links": [
            {"from": "gcs", "to": "uav1", "profile": "down"},
            {"from": "gcs", "to": "uav2", "profile": "loss 50%"},
            {"from": "gcs", "to": "uav3", "profile": "delay 100ms"},
            {"from": "*", "to": "uav4", "profile": "rate 80kbit limit 20"}]})")
                       .arg(seed)
                       .toUtf8());
        file.close();
        const QString csv = program.dir.filePath(QStringLiteral("pairs.csv"));
        const QString recorded = program.dir.filePath(QStringLiteral("radio.pcapng"));
        capture = kept.filePath(QStringLiteral("radio.pcapng"));
        QStringList args{"--headless", "--config", program.config(), "--vehicles", "4",
                         "--radio",    radio,      "--pair-stats",   csv};
        if (record)
            args << "--capture" << recorded;
        program.start(args);
        if (!QTest::qWaitFor([&] { return program.errLines(QStringLiteral(" open udp")) == 5; },
                             20000))
            return false;
        QElapsedTimer clock;
        clock.start();
        QVector<qint64> sentUs;
        for (int n = 0; n < blocks; ++n) {
            // In bursts the relay's socket buffer holds: a block the kernel
            // drops would shift every index after it.
            if (n % 50 == 49)
                QThread::usleep(2000);
            // Random bytes behind the number: blocks that differ in a few
            // bytes only share hashes often enough to look like an echo.
            QByteArray block(100, '\0');
            for (int i = 4; i < block.size(); ++i)
                block[i] = char(QRandomGenerator::global()->bounded(256));
            qToBigEndian(quint32(n), block.data());
            sentUs << clock.nsecsElapsed() / 1000;
            gcs.sendTo(gcsLink, block);
        }
        sentUntilUs = clock.nsecsElapsed() / 1000;
        // Read as they arrive, each with its time.
        const qint64 until = clock.elapsed() + 1000;
        while (clock.elapsed() < until) {
            pollfd fds[4];
            for (int i = 0; i < 4; ++i)
                fds[i] = {int(uav[i].socket.socketDescriptor()), POLLIN, 0};
            ::poll(fds, 4, 5);
            for (int i = 0; i < 4; ++i)
                while (uav[i].socket.hasPendingDatagrams()) {
                    const QByteArray d = uav[i].socket.receiveDatagram().data();
                    // After the read: a clock read before it would date a
                    // datagram that came meanwhile too early.
                    const qint64 now = clock.nsecsElapsed() / 1000;
                    const int n = int(qFromBigEndian<quint32>(d.constData()));
                    heard[i] << n;
                    waitedUs[i] << now - sentUs.value(n);
                    arrivedUs[i] << now;
                }
        }
        exit = program.stop();
        QFile::copy(recorded, capture);
        out = program.out;
        err = program.err;
        QFile pairFile(csv);
        if (pairFile.open(QIODevice::ReadOnly))
            pairs = QString::fromUtf8(pairFile.readAll());
        return true;
    }
    // A figure of a link's last stats line.
    quint64 figure(const QString &link, const QString &key) const
    {
        const QRegularExpression line(
            QStringLiteral("stats link=%1 state=closed .* %2=(\\d+)").arg(link, key));
        return out.contains(line) ? line.match(out).captured(1).toULongLong() : ~0ULL;
    }
};
} // namespace

void TstHeadless::radioShapesEachPair()
{
    RadioRun first;
    QVERIFY(first.run(7, true));
    QVERIFY2(first.exit == 0, qPrintable(first.err));
    const int n = RadioRun::blocks;
    QVERIFY2(first.heard[0].isEmpty(), qPrintable(first.out));
    QVERIFY2(first.figure("uav1", "radio_lost") == quint64(n), qPrintable(first.out));
    // Half of 400 lost: 4.5 standard deviations (10 blocks) either way.
    const int kept = first.heard[1].size();
    QVERIFY2(kept >= 155 && kept <= 245, qPrintable(QString::number(kept)));
    QCOMPARE(first.figure("uav2", "radio_lost"), quint64(n - kept));
    QCOMPARE(first.heard[2].size(), n);
    for (qint64 waited : first.waitedUs[2])
        QVERIFY2(waited >= 100000 && waited <= 120000, qPrintable(QString::number(waited)));
    QCOMPARE(first.figure("uav3", "radio_delayed"), quint64(n));
    // The channel: what did not fit is counted, what did arrives at its rate.
    const int carried = first.heard[3].size();
    QVERIFY2(carried >= 20 && carried < 40, qPrintable(QString::number(carried)));
    QCOMPARE(first.figure("uav4", "radio_queue_dropped"), quint64(n - carried));
    // Timed from the first block that came after the sending was over: the
    // test cannot time arrivals while it sends.
    const QVector<qint64> &at = first.arrivedUs[3];
    const int from = int(std::upper_bound(at.begin(), at.end(), first.sentUntilUs) - at.begin());
    QVERIFY(carried - from >= 15);
    // By the median gap between arrivals: one block the test's own thread
    // read late would shorten the span of all of them.
    QVector<qint64> gaps;
    for (int i = from + 1; i < carried; ++i)
        gaps << at[i] - at[i - 1];
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double rate = 100 / (double(gaps[gaps.size() / 2]) / 1e6);
    QVERIFY2(qAbs(rate - 10000) <= 500, qPrintable(QString::number(rate)));
    QVERIFY2(first.pairs.contains(QStringLiteral("\ngcs,uav1,400,0,400,0,0,")),
             qPrintable(first.pairs));
    QVERIFY2(first.pairs.contains(QStringLiteral("\ngcs,uav3,400,400,0,0,0,")),
             qPrintable(first.pairs));

    // The seed alone decides which blocks go.
    RadioRun again, other;
    QVERIFY(again.run(7, false));
    QVERIFY(other.run(8, false));
    QCOMPARE(again.heard[1], first.heard[1]);
    QVERIFY(other.heard[1] != first.heard[1]);

    if (QStandardPaths::findExecutable(QStringLiteral("tshark")).isEmpty())
        QSKIP("tshark is not installed; it reads the capture's comments");
    QProcess tshark;
    tshark.start(QStringLiteral("tshark"), {"-r", first.capture, "-T", "fields", "-e",
                                            "frame.interface_name", "-e", "frame.comment"});
    QVERIFY(tshark.waitForFinished(30000));
    QMap<QString, int> comments;
    for (const QByteArray &line : tshark.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() == 2 && !f[1].isEmpty())
            comments[QString::fromUtf8(f[0] + ' ' + f[1].split(' ').mid(0, 2).join(' '))]++;
    }
    const QMap<QString, int> expected{{"uav1 radio: down", n},
                                      {"uav2 radio: lost", n - kept},
                                      {"uav3 radio: delayed", n},
                                      {"uav4 radio: queue", n - carried},
                                      {"uav4 radio: delayed", carried}};
    const auto shown = [](const QMap<QString, int> &m) {
        QStringList parts;
        for (auto it = m.begin(); it != m.end(); ++it)
            parts << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
        return parts.join(QStringLiteral(", "));
    };
    QVERIFY2(comments == expected,
             qPrintable(shown(comments) + QStringLiteral(" / ") + shown(expected)));
}

void TstHeadless::radioRefused_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("line");
    QTest::newRow("bad profile")
        << QByteArray(R"({"links": [{"from": "gcs", "to": "*", "profile": "delay soon"}]})") << 2
        << "links[0].profile = \"delay soon\": delay takes a time";
    QTest::newRow("no such link")
        << QByteArray(R"({"links": [{"from": "uav9", "to": "*", "profile": "down"}]})") << 0
        << "names uav9, which is no link of this relay";
}

void TstHeadless::radioRefused()
{
    QFETCH(QByteArray, file);
    QFETCH(int, exit);
    QFETCH(QString, line);
    Headless program;
    QFile radio(program.dir.filePath(QStringLiteral("radio.json")));
    QVERIFY(radio.open(QIODevice::WriteOnly) && radio.write(file) == file.size());
    radio.close();
    program.start({"--headless", "--config", program.config(), "--radio", radio.fileName()});
    QTRY_VERIFY_WITH_TIMEOUT(program.errLines(line) == 1, 20000);
    if (exit == 0) {
        QCOMPARE(program.stop(), 0);
        return;
    }
    // It may have ended already, which waitForFinished() does not count.
    program.process.waitForFinished(20000);
    QCOMPARE(program.process.state(), QProcess::NotRunning);
    QCOMPARE(program.process.exitCode(), exit);
}

QTEST_GUILESS_MAIN(TstHeadless)
#include "tst_headless.moc"
