#pragma once

// Helpers for the relay tests: a recorder of hand-overs between links and a
// way to empty the process-wide registry between cases (header-only).

#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <QVector>

#include <functional>
#include <memory>
#include <mutex>

namespace relaytest {

// Records every block handed to the watched links (every emission of their
// sendBuffSignal), in emission order, from whichever thread emits it.
class SendRecorder
{
public:
    struct Entry
    {
        int target;
        QByteArray bytes;
        QThread *from;
        bool defaultDevice;
    };

    SendRecorder() = default;
    SendRecorder(const SendRecorder &) = delete;
    SendRecorder &operator=(const SendRecorder &) = delete;
    ~SendRecorder()
    {
        for (const auto &c : qAsConst(connections))
            QObject::disconnect(c);
        // A link thread may have been appending while the connections went:
        // its append must be over before the log goes.
        const std::lock_guard<std::mutex> locker(mutex);
    }

    void watch(IOHandler *link, int tag)
    {
        connections << QObject::connect(
            link, &IOHandler::sendBuffSignal, link,
            [this, tag](const QByteArray &b, const QVariant &device) {
                const std::lock_guard<std::mutex> locker(mutex);
                log.append({tag, b, QThread::currentThread(), IOHandler::isDefaultDevice(device)});
            },
            Qt::DirectConnection);
    }
    void watch(IOHandler *link) { watch(link, link->getDevice().id); }

    QVector<Entry> entries() const
    {
        const std::lock_guard<std::mutex> locker(mutex);
        return log;
    }
    QVector<Entry> entriesFrom(QThread *thread) const
    {
        QVector<Entry> picked;
        for (const Entry &e : entries())
            if (e.from == thread)
                picked.append(e);
        return picked;
    }
    QList<QByteArray> bytesTo(int target) const
    {
        QList<QByteArray> picked;
        for (const Entry &e : entries())
            if (e.target == target)
                picked.append(e.bytes);
        return picked;
    }
    int size() const
    {
        const std::lock_guard<std::mutex> locker(mutex);
        return log.size();
    }
    void clear()
    {
        const std::lock_guard<std::mutex> locker(mutex);
        log.clear();
    }

private:
    mutable std::mutex mutex; // not a QMutex, which ThreadSanitizer cannot follow
    QVector<Entry> log;
    QVector<QMetaObject::Connection> connections;
};

// The target ids of some entries, in order.
inline QList<int> targetsOf(const QVector<SendRecorder::Entry> &entries)
{
    QList<int> ids;
    for (const auto &e : entries)
        ids << e.target;
    return ids;
}

// Calls back, in the thread that deletes it, when the link is deleted. A
// probe child carries the callback: removing a vehicle disconnects every
// signal of the link itself, its destroyed signal included.
inline void onDeletion(QObject *link, const std::function<void()> &callback)
{
    testsupport::runInThreadOf(link, [link, callback] {
        auto *probe = new QObject(link);
        QObject::connect(probe, &QObject::destroyed, callback);
    });
}

// Unregisters every link the way the window does; links that live in the
// calling thread are deleted before this returns, the others in their own
// threads soon after.
inline void clearRegistry()
{
    TLinkManager *registry = TLinkManager::instance();
    while (!registry->uavList().isEmpty())
        registry->removeLastUav();
    for (int id : registry->linkMap().keys())
        registry->removeLink(id);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A ground-station frame: AA EC, three bytes, the length L, L bytes, one
// last byte.
inline QByteArray gcsFrame(int payloadLength, char fill = 0x33)
{
    QByteArray f = QByteArray::fromHex("aaec010203");
    f.append(static_cast<char>(payloadLength));
    f.append(QByteArray(payloadLength, fill));
    f.append('\x7f');
    return f;
}

// A vehicle frame: EB 91 and 34 bytes.
inline QByteArray uavFrame(char fill = 0x22)
{
    return QByteArray::fromHex("eb91") + QByteArray(34, fill);
}

// How a vehicle frame is handed on to the other vehicles: 40 bytes, the
// last 4 zero.
inline QByteArray handedOn(const QByteArray &frame)
{
    return frame + QByteArray(4, '\0');
}

// The far end of one UDP link, as the ground station or a vehicle
// simulation would be: a socket on 127.0.0.1 and what it has received.
struct UdpPeer
{
    QUdpSocket socket;
    QList<QByteArray> got;
    quint16 ignoreFromPort = 0; // its own sends, heard back from a group

    bool bindLocal() { return socket.bind(QHostAddress(QHostAddress::LocalHost), 0); }
    quint16 port() const { return socket.localPort(); }
    const QList<QByteArray> &received()
    {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = socket.receiveDatagram();
            if (!ignoreFromPort || d.senderPort() != ignoreFromPort)
                got << d.data();
        }
        return got;
    }
    qint64 sendTo(quint16 port, const QByteArray &data)
    {
        return socket.writeDatagram(data, QHostAddress(QHostAddress::LocalHost), port);
    }
};

// One end of a TCP link's connection: a client of the relay's server, or a
// server the relay connects to, with the connection it accepted.
struct TcpPeer
{
    QTcpServer server;
    std::unique_ptr<QTcpSocket> socket;
    QByteArray got;

    bool connectTo(quint16 port)
    {
        got.clear();
        socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        return socket->waitForConnected(5000);
    }
    bool listen(quint16 port = 0)
    {
        return server.listen(QHostAddress(QHostAddress::LocalHost), port);
    }
    // The relay's connection, once it came.
    bool accepted()
    {
        if (QTcpSocket *next = server.nextPendingConnection()) {
            got.clear();
            socket.reset(next);
            socket->setParent(nullptr);
        }
        return socket && socket->state() == QAbstractSocket::ConnectedState;
    }
    const QByteArray &received()
    {
        if (socket)
            got += socket->readAll();
        return got;
    }
    void write(const QByteArray &bytes)
    {
        socket->write(bytes);
        socket->flush();
    }
};

} // namespace relaytest
