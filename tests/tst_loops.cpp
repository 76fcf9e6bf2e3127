// Two copies of the program joined into a loop: each has its first vehicle
// on one multicast port of a group and its second on another, so what one
// copy hands from vehicle to vehicle the other hands back, for ever. The
// copies run as child processes of this test, each the real window.

#include "app/tprogram.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

using namespace windowtest;

namespace {
const char *const kChildFlag = "--loop-child";

// Child: argv = program --loop-child group port1 port2 runMs
int runChild(int argc, char **argv)
{
    if (argc < 6)
        return 2;
    const QString group = QString::fromLatin1(argv[2]);
    const QStringList ports{QString::fromLatin1(argv[3]), QString::fromLatin1(argv[4])};
    const int runMs = std::atoi(argv[5]);
    // The program sees its name only: the child's own arguments are no options of its.
    int programArgc = 1;
    return TProgram::run(programArgc, argv, [=](TMainWidget *w) {
        QTimer::singleShot(0, w, [=] {
            auto *boxes = new BoxWatcher;
            setUnicast(w->groundStationForm(), testsupport::freeUdpPort(),
                       testsupport::freeUdpPort());
            QTest::mouseClick(w->addUavButton(), Qt::LeftButton);
            for (int n = 0; n < 2; ++n) {
                TIoForm *form = w->openVehicleForms().at(n);
                chooseType(form, multicastText());
                typeInto(form->groupIpEdit, group);
                typeInto(form->groupPortEdit, ports.at(n));
                form->netCardCombox->comboBox()->setCurrentText(QStringLiteral("lo"));
                form->loopBackCheck->setChecked(false);
            }
            QTest::mouseClick(w->connectAllButton(), Qt::LeftButton);
            QTimer::singleShot(1000, w, [=] {
                std::printf("child: ready\n");
                std::fflush(stdout);
            });
            QTimer::singleShot(runMs, w, [=] {
                for (const QString &text : boxes->texts())
                    std::printf("child: box %s\n", qPrintable(text));
                std::fflush(stdout);
                delete boxes;
                w->close();
            });
        });
    });
}
} // namespace

class TstLoops : public QObject
{
    Q_OBJECT

private slots:
    void loopBetweenTwoCopiesIsDamped();
};

void TstLoops::loopBetweenTwoCopiesIsDamped()
{
    const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    if (!lo.isValid())
        QSKIP("no loopback interface");
    const QHostAddress group(QStringLiteral("239.255.%1.%2")
                                 .arg(QRandomGenerator::global()->bounded(1, 255))
                                 .arg(QRandomGenerator::global()->bounded(1, 255)));
    const quint16 ports[2] = {testsupport::freeUdpPort(), testsupport::freeUdpPort()};
    QUdpSocket listeners[2];
    for (int i = 0; i < 2; ++i) {
        QVERIFY(listeners[i].bind(QHostAddress::AnyIPv4, ports[i],
                                  QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        listeners[i].setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 23);
        QVERIFY2(listeners[i].joinMulticastGroup(group, lo),
                 qPrintable(listeners[i].errorString()));
    }
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QHostAddress::LocalHost), 0));
    sender.setMulticastInterface(lo);
    sender.setSocketOption(QAbstractSocket::MulticastTtlOption, 1);

    const int frames = 500;
    QTemporaryDir dirs[2];
    QProcess copies[2];
    for (int i = 0; i < 2; ++i) {
        copies[i].setProcessChannelMode(QProcess::MergedChannels);
        copies[i].setWorkingDirectory(dirs[i].path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        copies[i].setProcessEnvironment(env);
        copies[i].start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(kChildFlag), group.toString(),
                         QString::number(ports[0]), QString::number(ports[1]), "9000"});
    }
    QByteArray output[2];
    const auto readAll = [&] {
        for (int i = 0; i < 2; ++i)
            output[i] += copies[i].readAll();
    };
    QTRY_VERIFY_WITH_TIMEOUT(
        (readAll(), output[0].contains("child: ready") && output[1].contains("child: ready")),
        20000);

    // From the relays, not from the test's own sender.
    int relayed = 0;
    const auto drain = [&] {
        for (QUdpSocket &l : listeners)
            while (l.hasPendingDatagrams())
                relayed += l.receiveDatagram().senderPort() != sender.localPort();
    };
    for (int i = 0; i < frames; ++i) {
        QByteArray frame = QByteArray::fromHex("eb91") + QByteArray(34, '\x5a');
        frame[2] = char(i >> 8);
        frame[3] = char(i);
        sender.writeDatagram(frame, group, ports[0]);
        QTest::qWait(10);
        drain();
    }
    QTest::qWait(500);
    drain();
    qInfo() << frames << "frames sent," << relayed << "datagrams from the two relays";
    for (QProcess &copy : copies) {
        QVERIFY(copy.waitForFinished(30000));
        QCOMPARE(copy.exitCode(), 0);
    }
    readAll();
    // Each frame reaches both copies' first vehicle, which hands it to the
    // second: two datagrams a frame at least. A loop would add thousands.
    QVERIFY2(relayed >= frames, "the relays handed nothing on");
    QVERIFY2(relayed <= 6 * frames, qPrintable(QString::number(relayed)));
    for (const QByteArray &out : output)
        QVERIFY2(out.contains("child: box Uav 2: possible loop through") ||
                     out.contains("child: box Uav 1: possible loop through"),
                 out.right(2000).constData());
}

int main(int argc, char *argv[])
{
    if (argc >= 2 && std::strcmp(argv[1], kChildFlag) == 0)
        return runChild(argc, argv);
    QApplication app(argc, argv);
    TstLoops test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loops.moc"
