// The relay without a window, as a server runs it: the real program as a
// child process with no display at all, links from a settings file the
// test writes, real UDP peers on 127.0.0.1, and signals to stop it.

#include "relaysupport.h"
#include "testsupport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
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
          QStringList{"--stats", "-1"}, QStringList{"--capture-limit", "0"}})
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
    QTest::newRow("kind without a file to write") << QStringList{"--kind", "udp"} << 2 << "^$"
                                                  << "--kind needs --write-config" + usage;
    QTest::newRow("kind that is none")
        << QStringList{"--write-config", "a.ini", "--kind", "unicast"} << 2 << "^$"
        << "--kind takes udp, multicast or serial, not 'unicast'" + usage;
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
                              "radio_duplicated=0 radio_queue_dropped=0 radio_delayed=0\n")
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

void TstHeadless::takenPortLeavesTheOthers()
{
    UdpPeer gcs, uav1, taker;
    for (UdpPeer *peer : {&gcs, &uav1, &taker})
        QVERIFY2(peer->bindLocal(), qPrintable(peer->socket.errorString()));
    const quint16 gcsLink = testsupport::freeUdpPort(), uav1Link = testsupport::freeUdpPort();
    Headless program;
    program.unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
    program.unicastGroup(QStringLiteral("Con0"), uav1Link, uav1.port());
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
    const QString kind = QStringLiteral("a kind is serial, udp or multicast (or as the window "
                                        "writes them: Serial, Udp单播, Udp组播)");
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
    QTest::addColumn<int>("vehicles");
    QTest::addColumn<int>("stride");
    QTest::newRow("200 vehicles") << 200 << 1;
    QTest::newRow("20 vehicles 10 ports apart") << 20 << 10;
}

// The recipe of the README: a file written, checked, and run as it is.
void TstHeadless::scriptedSwarm()
{
    QFETCH(int, vehicles);
    QFETCH(int, stride);
    // A free port with room above it for every vehicle's.
    quint16 base = 0;
    while (base == 0 || base + vehicles * stride > 65535)
        base = testsupport::freeUdpPort();
    Headless writer;
    writer.start({"--write-config", "swarm.ini", "--vehicles", QString::number(vehicles),
                  "--base-port", QString::number(base), "--port-stride", QString::number(stride)});
    QCOMPARE(writer.finish(), 0);
    QCOMPARE(writer.err, QString());

    Headless check;
    const QString file = writer.dir.filePath(QStringLiteral("swarm.ini"));
    check.start({"--check-config", file});
    QCOMPARE(check.finish(), 0);
    QStringList expected{QStringLiteral("gcs udp 127.0.0.1:%1 -> 127.0.0.1:9000").arg(base)};
    for (int n = 1; n <= vehicles; ++n)
        expected << QStringLiteral("uav%1 udp 127.0.0.1:%2 -> 127.0.0.1:%3")
                        .arg(n)
                        .arg(base + n * stride)
                        .arg(9000 + n * stride);
    QCOMPARE(check.out, expected.join('\n') + '\n');

    Headless relay;
    relay.start({"--headless", "--config", file});
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
    for (UdpPeer *peer : {&gcs, &uav1})
        QVERIFY2(peer->bindLocal(), qPrintable(peer->socket.errorString()));
    const quint16 gcsLink = testsupport::freeUdpPort(), uav1Link = testsupport::freeUdpPort();
    Headless program;
    program.unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
    program.unicastGroup(QStringLiteral("Con0"), uav1Link, uav1.port());
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
    for (UdpPeer *peer : {&gcs, &uav1})
        QVERIFY2(peer->bindLocal(), qPrintable(peer->socket.errorString()));
    const quint16 gcsLink = testsupport::freeUdpPort(), uav1Link = testsupport::freeUdpPort();
    Headless program;
    program.unicastGroup(QStringLiteral("Connect"), gcsLink, gcs.port());
    program.unicastGroup(QStringLiteral("Con0"), uav1Link, uav1.port());
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

QTEST_GUILESS_MAIN(TstHeadless)
#include "tst_headless.moc"
