#include "capture/tcapturewriter.h"

#include <QtTest>

#include <thread>

using Dir = TPcapngFile::Direction;

class TestCapture : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path() const { return dir.filePath("c.pcapng"); }

    // One line per packet, the fields joined by '|'.
    static QStringList tshark(const QString &file, const QStringList &args)
    {
        QProcess p;
        p.start("tshark", QStringList{"-r", file, "-T", "fields", "-E", "separator=|"} + args);
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return {"tshark failed: " + QString::fromLocal8Bit(p.readAllStandardError())};
        return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void init()
    {
        const QString fn = QTest::currentTestFunction();
        if (fn != "openFails" && QStandardPaths::findExecutable("tshark").isEmpty())
            QSKIP("tshark is not installed; it reads the captures back");
    }

    // Two UDP links and a serial one that is added after packets of the
    // others, both directions; every field as a reader of the file sees it.
    void roundTrip()
    {
        struct Sent
        {
            int iface;
            Dir dir;
            QString src, dst;
            quint16 srcPort, dstPort;
            QByteArray bytes;
        };
        const QString a = "127.0.0.1", b = "127.0.0.2";
        const QVector<Sent> sent{{0, Dir::Inbound, b, a, 9003, 7004, "hello"},
                                 {0, Dir::Outbound, a, b, 7004, 9003, QByteArray(3, '\0')},
                                 {1, Dir::Inbound, b, a, 14550, 7010, QByteArray(1400, 'x')},
                                 {2, Dir::Inbound, {}, {}, 0, 0, QByteArray("\xfe\x09\x00", 3)},
                                 {2, Dir::Outbound, {}, {}, 0, 0, "\x55"},
                                 {1, Dir::Outbound, a, b, 7010, 14550, "\x01\x02"}};
        const QStringList names{"gcs", "uav1", "uav2"},
            about{"udp 127.0.0.1:7004 -> 127.0.0.2:9003", "udp 127.0.0.1:7010",
                  "serial /dev/ttyUSB0"};
        const qint64 t0 = 1700000000123456;
        TCaptureWriter writer;
        QString error;
        QVERIFY2(writer.start(path(), error), qPrintable(error));
        QCOMPARE(writer.addInterface(TPcapngFile::Udp, names[0], about[0]), 0);
        QCOMPARE(writer.addInterface(TPcapngFile::Udp, names[1], about[1]), 1);
        QStringList expected;
        for (int i = 0; i < sent.size(); ++i) {
            const Sent &p = sent[i];
            const bool udp = p.iface < 2;
            if (i == 3)
                QCOMPARE(writer.addInterface(TPcapngFile::Serial, names[2], about[2]), 2);
            QVERIFY(udp ? writer.udp(p.iface, t0 + i, p.dir, QHostAddress(p.src), p.srcPort,
                                     QHostAddress(p.dst), p.dstPort, p.bytes)
                        : writer.raw(p.iface, t0 + i, p.dir, p.bytes));
            const QString hex = p.bytes.toHex();
            QStringList line{names[p.iface], about[p.iface], "0x0000000" + QString::number(p.dir),
                             "1700000000." + QString::number(123456 + i) + "000"};
            if (udp)
                line << "ip:udp:data" << p.src << QString::number(p.srcPort) << p.dst
                     << QString::number(p.dstPort) << "1" << hex << hex;
            else
                line << "user_dlt:data" + QString(7, '|') + hex;
            expected << line.join('|');
        }
        QVERIFY(!writer.udp(0, t0, Dir::Inbound, QHostAddress("::1"), 1, QHostAddress(a), 2, "6"));
        writer.stop();
        QCOMPARE(writer.written(), quint64(sent.size()));
        QCOMPARE(writer.dropped(), 1u);
        QStringList args{"-o", "ip.check_checksum:TRUE"};
        for (const char *field :
             {"frame.interface_name", "frame.interface_description", "frame.packet_flags_direction",
              "frame.time_epoch", "frame.protocols", "ip.src", "udp.srcport", "ip.dst",
              "udp.dstport", "ip.checksum.status", "udp.payload", "data.data"})
            args << "-e" << field;
        QCOMPARE(tshark(path(), args), expected);
        QCOMPARE(tshark(path(), {"-Y", "udp.port == 9003", "-e", "frame.interface_name"}),
                 (QStringList{"gcs", "gcs"}));
    }

    void openFails_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing directory") << "nowhere/c.pcapng";
        QTest::newRow("a directory") << "";
    }
    void openFails()
    {
        QFETCH(QString, target);
        const QString file = dir.filePath(target);
        TPcapngFile capture;
        QString error;
        QVERIFY(!capture.open(file, error));
        const QString told = "Cannot create capture file " + file + ": ";
        QVERIFY2(error.startsWith(told) && error.size() > told.size() + 5, qPrintable(error));
        QVERIFY(!capture.isOpen());
    }

    // Recording that ends by itself: the reason is told once and the file
    // holds whole blocks up to that point.
    void stopsByItself_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("reason");
        QTest::newRow("size limit")
            << QString() << qint64(3000) << "reached its size limit of 3000";
        if (QFileInfo::exists("/dev/full"))
            QTest::newRow("full disk") << "/dev/full" << qint64(0) << "No space left on device";
    }
    void stopsByItself()
    {
        QFETCH(QString, target);
        QFETCH(qint64, limit);
        QFETCH(QString, reason);
        const QString file = target.isEmpty() ? path() : target;
        TCaptureWriter writer;
        QSignalSpy spy(&writer, &TCaptureWriter::stopped);
        QString error;
        QVERIFY2(writer.start(file, error, limit), qPrintable(error));
        const int iface = writer.addInterface(TPcapngFile::Udp, "gcs", "udp");
        const QHostAddress a("127.0.0.1");
        for (int i = 0; i < 400; ++i)
            writer.udp(iface, TCaptureWriter::nowUsec(), Dir::Inbound, a, 1, a, 2,
                       QByteArray(64, 'p'));
        writer.stop();
        QCOMPARE(spy.count(), 1);
        const QString told = spy.at(0).at(0).toString();
        QVERIFY2(told.contains(file) && told.contains(reason), qPrintable(told));
        QCOMPARE(writer.written() + writer.dropped(), 400u);
        QVERIFY(!writer.udp(iface, 0, Dir::Inbound, a, 1, a, 2, "late"));
        if (limit == 0)
            return;
        const qint64 size = QFileInfo(file).size();
        QVERIFY2(size <= limit && size > limit - 150, qPrintable(QString::number(size)));
        QCOMPARE(tshark(file, {"-e", "udp.dstport"}).size(), int(writer.written()));
    }

    // Many producers and a queue of eight: every packet is either in the
    // file or counted as dropped, and under the interface its thread added.
    void producersNeverWait()
    {
        TCaptureWriter writer(8);
        QString error;
        QVERIFY2(writer.start(path(), error), qPrintable(error));
        constexpr int threads = 4, perThread = 5000;
        std::vector<std::thread> producers;
        for (int t = 0; t < threads; ++t)
            producers.emplace_back([&writer, t] {
                const QByteArray name = "s" + QByteArray::number(t);
                const int iface = writer.addInterface(TPcapngFile::Serial, name, "");
                for (int i = 0; i < perThread; ++i)
                    writer.raw(iface, TCaptureWriter::nowUsec(), Dir::Outbound, name);
            });
        for (std::thread &p : producers)
            p.join();
        writer.stop();
        QCOMPARE(writer.written() + writer.dropped(), quint64(threads * perThread));
        QVERIFY(writer.dropped() > 0);
        const QStringList lines = tshark(path(), {"-e", "frame.interface_name", "-e", "data.data"});
        QCOMPARE(lines.size(), int(writer.written()));
        for (const QString &line : lines) {
            const QString name = line.section('|', 0, 0);
            QCOMPARE(line, name + "|" + name.toLatin1().toHex());
        }
    }
};

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"
