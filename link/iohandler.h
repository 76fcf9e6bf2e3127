#pragma once

#include "link/tdelayline.h"
#include "link/tlinkcounters.h"
#include "link/tlinkwake.h"
#include "link/tloopguard.h"
#include "link/tsendlimits.h"
#include "link/tstreamgathering.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class TLinkSender;
class TLinkTap;
class TReconnect;
class TEndpoint;

// One link endpoint: a UDP socket (unicast or multicast member), a TCP
// client or server, or a serial port, opened, read as soon as it is readable, and written, in a
// thread of its own; the device work itself is done by an endpoint object per kind.
class IOHandler : public QObject
{
    Q_OBJECT
public:
    enum ConType : qint32
    {
        None = 0,
        Serial = 1,
        UdpUnicast = 2,
        UdpMulticast = 3,
        // Connects to remoteAddr:remotePort, and again whenever the peer is
        // not there.
        TcpClient = 4,
        // Listens on localAddr:localPort for any number of connections.
        TcpServer = 5
    };

    struct SerialInfo
    {
        QString portName; // "name: description" as listed; only the name is opened
        qint32 baudRate;  // 0 selects 115200 8N1 and ignores the rest
        qint32 dataBits;
        qint32 stopBits;
        qint32 parity;
    };

    struct UdpInfo
    {
        QHostAddress localAddr; // multicast: the group
        quint16 localPort;      // multicast: the group port
        QHostAddress remoteAddr;
        quint16 remotePort;
        QNetworkInterface netInterface;
        bool loopBack;
        // Unicast: answer only remoteAddr:remotePort, never a later sender;
        // TCP server: accept connections from remoteAddr only.
        bool fixedPeer;
    };

    struct DeviceInfo
    {
        qint32 id;
        ConType conType;
        SerialInfo serial;
        UdpInfo udp;
        // Serial, multicast: a lost port (or an interface a group cannot be
        // joined on) is tried again until it is back.
        bool reconnect;
    };

    // Link event codes carried by TApp::TAppEvent.
    enum LinkEvent
    {
        LinkError = 2,
        LinkOpened = 3,
        LinkOpenFailed = 4,
        LinkClosed = 5,
        // Lost, and being tried again; LinkOpened follows once it is back.
        LinkWaiting = 6
    };

    IOHandler(int id, bool ownThread, QObject *parent = nullptr);
    ~IOHandler() override;

    DeviceInfo &getDevice() { return deviceInfo; }
    // Datagrams dropped because this process sent them, or because they
    // kept coming back through a loop; safe to read from any thread.
    quint64 ownDroppedCount() const { return ownDropped.load(std::memory_order_relaxed); }
    quint64 loopDroppedCount() const { return loopGuard.dropped(); }
    // What passed through the link; safe to read from any thread.
    TLinkCounters &counters() { return linkCounters; }
    TLinkCounters::Snapshot countersSnapshot() const
    {
        return linkCounters.snapshot(loopGuard.dropped(),
                                     TLinkCounters::radioLostFor(deviceInfo.id));
    }
    // How much the link's send queue may hold; from any thread.
    void setSendLimits(const TSendLimits &limits);
    // From any thread: a block to send at `dueUs` (TDelayLine::nowUs()),
    // in this link's thread; or, marked lost, only to be recorded then.
    void sendLater(qint64 dueUs, qint64 handedUs, int from, TDelayLine::Mark mark,
                   const QByteArray &b)
    {
        delayLine.put(dueUs, handedUs, from, mark, b);
    }
    // The thread this link created for itself, null without one.
    QThread *linkThread() const { return workerThread; }

    // Most datagrams read from one socket in one go before the link turns to
    // the sends queued for it. At 2 to 3 us a datagram a full drain takes
    // well under a millisecond, so a flood cannot hold those sends up for
    // longer than that, while a burst is still read in few passes.
    static constexpr int maxDatagramsPerPoll = 256;
    // How long a serial link gathers bytes into one block.
    static constexpr int pollIntervalMs = 5;
    static constexpr int udpReceiveBufferBytes = 4 * 1024 * 1024;
    // Bytes a serial port may hold unsent before blocks are dropped: about
    // 90 s of a 115200 baud line.
    static constexpr qint64 maxSerialBacklogBytes = 1024 * 1024;

    // Registers the types that travel in queued signals and QVariants.
    static void registerMetaTypes();
    // Unpacks a record from a QVariant: the stored record, else a
    // conversion, else a value-initialised record.
    static DeviceInfo deviceFromVariant(const QVariant &device);
    // True for the "use your own endpoint" value, a numeric zero.
    static bool isDefaultDevice(const QVariant &device) { return device == QVariant(0); }

    // Stops the link for good from another thread: its timer and device are
    // released and the link deleted in its own thread, which is then joined
    // and freed. The link must not be used afterwards.
    void shutdown();

protected:
    // For derived links: build everything, then call start() last in the
    // derived constructor, so the link's thread starts on a whole object.
    enum StartLaterTag
    {
        StartLater
    };
    IOHandler(int id, bool ownThread, QObject *parent, StartLaterTag);
    void start();

signals:
    void openDeviceSignal(IOHandler::DeviceInfo device, bool isConFlag);
    void recIoBuff(QByteArray b, QVariant device = QVariant(0));
    void sendBuffSignal(QByteArray b, QVariant device = QVariant(0));

public slots:
    void init();
    bool openDevice(IOHandler::DeviceInfo device, bool isConFlag);
    void sendData(QByteArray b, QVariant device = QVariant(0));

private:
    // Where sendBuffSignal leads, in the thread that emits it.
    void queueSend(const QByteArray &b, const QVariant &device);
    TEndpoint *makeEndpoint(ConType kind);
    // Closes and frees the device, if any.
    void dropEndpoint();
    bool closed();
    // A serial port's bytes come from no address.
    void onSerialBlock(const QByteArray &b, const QHostAddress &, quint16);
    // The device failed while open.
    void onDeviceLost(const QString &text);
    // Lets go of what was lost and tries it again on a schedule.
    void waitForDevice(ConType kind);
    void onDatagram(const QByteArray &data, const QHostAddress &sender, quint16 senderPort);
    void emitEvent(int event);
    void reportLinkError(const QString &text);
    // Where the endpoints and the sender send news for the operator.
    std::function<void(const QString &)> operatorNews()
    {
        return [this](const QString &text) { reportLinkError(text); };
    }
    bool failOpen(const QString &text);
    void leaveDelayLine(const std::vector<TDelayLine::Block> &due, qint64 nowUs);
    QString name() const;

    // The device of the kind last opened, made in the link's thread; null
    // while the link is closed.
    TEndpoint *endpoint = nullptr;
    TEndpoint *spare = nullptr;
    TReconnect *reconnect = nullptr;
    // The UDP endpoint's filters count here: the counts are read from any
    // thread, while the endpoint exists only in the link's.
    TLoopGuard loopGuard;
    std::atomic<quint64> ownDropped{0};
    TLinkCounters linkCounters;
    // Made with the link; a block is handed over only while recording.
    std::unique_ptr<TLinkTap> tap;
    DeviceInfo deviceInfo{};
    QVariant packedDevice; // deviceInfo as last emitted with a datagram
    // Made with the link, after the record, counters and tap it writes to.
    std::unique_ptr<TLinkSender> sendPath;
    TDelayLine delayLine;
    TLinkWake wakeUp;
    TStreamGathering gathering;
    QThread *workerThread = nullptr;
    bool ownsThread = false;
};

Q_DECLARE_METATYPE(IOHandler::DeviceInfo)
