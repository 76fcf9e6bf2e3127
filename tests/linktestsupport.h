#pragma once

// Helpers for the link tests (header-only): links in threads of their own,
// requests served in the link's thread, and what links report, collected in
// the test thread.

#include "link/iohandler.h"
#include "link/tendpoint.h"
#include "msg/tmsgmanager.h"
#include "session/tapp.h"
#include "testsupport.h"

#include <QNetworkInterface>
#include <QUdpSocket>
#include <QtTest>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace linktest {

struct LinkDeleter
{
    void operator()(IOHandler *link) const { link->shutdown(); }
};
using LinkPtr = std::unique_ptr<IOHandler, LinkDeleter>;

// Runs f in the link's thread and returns when it is done.
template <typename F> void inLinkThread(IOHandler *link, F f)
{
    testsupport::runInThreadOf(link, std::move(f));
}

// A link with a thread of its own, as the program makes them, once its
// thread runs: requests would wait in the queue anyway, but a test that
// reads the link's record next must find init() done.
inline LinkPtr startLink(int id)
{
    LinkPtr link(new IOHandler(id, true));
    inLinkThread(link.get(), [] {});
    return link;
}

// Keeps a link's thread busy in a job of its own until release(), as a
// link that cannot keep up would be: what is handed to it meanwhile waits
// in its send queue. The job and the test meet through a std::mutex only,
// which ThreadSanitizer follows.
class ThreadHold
{
public:
    explicit ThreadHold(QObject *context) : state(std::make_shared<State>())
    {
        const std::shared_ptr<State> shared = state;
        QMetaObject::invokeMethod(
            context,
            [shared] {
                std::unique_lock<std::mutex> locker(shared->mutex);
                shared->step = Step::Holding;
                shared->changed.notify_all();
                shared->changed.wait(locker, [&] { return shared->step == Step::Released; });
            },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> locker(state->mutex);
        state->changed.wait(locker, [this] { return state->step != Step::Posted; });
    }
    ~ThreadHold() { release(); }
    void release()
    {
        const std::lock_guard<std::mutex> locker(state->mutex);
        state->step = Step::Released;
        state->changed.notify_all();
    }

private:
    enum class Step
    {
        Posted,
        Holding,
        Released
    };
    struct State
    {
        std::mutex mutex;
        std::condition_variable changed;
        Step step = Step::Posted;
    };
    std::shared_ptr<State> state;
};

inline bool request(IOHandler *link, const IOHandler::DeviceInfo &device, bool open)
{
    bool result = false;
    inLinkThread(link, [&] { result = link->openDevice(device, open); });
    return result;
}

inline IOHandler::DeviceInfo deviceOf(IOHandler *link)
{
    IOHandler::DeviceInfo device{};
    inLinkThread(link, [&] { device = link->getDevice(); });
    return device;
}

inline QNetworkInterface loopbackInterface()
{
    return QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
}

inline IOHandler::DeviceInfo unicast(int id, quint16 localPort, quint16 remotePort = 0)
{
    IOHandler::DeviceInfo d{};
    d.id = id;
    d.conType = IOHandler::UdpUnicast;
    d.udp.localAddr = QHostAddress(QHostAddress::LocalHost);
    d.udp.localPort = localPort;
    if (remotePort) {
        d.udp.remoteAddr = QHostAddress(QHostAddress::LocalHost);
        d.udp.remotePort = remotePort;
    }
    return d;
}

inline IOHandler::DeviceInfo multicast(int id, const QHostAddress &group, quint16 port,
                                       bool loopBack = true)
{
    IOHandler::DeviceInfo d{};
    d.id = id;
    d.conType = IOHandler::UdpMulticast;
    d.udp.localAddr = d.udp.remoteAddr = group;
    d.udp.localPort = d.udp.remotePort = port;
    d.udp.netInterface = loopbackInterface();
    d.udp.loopBack = loopBack;
    return d;
}

inline IOHandler::DeviceInfo serial(int id, const QString &portName, int baud = 0, int dataBits = 8,
                                    int stopBits = 1, int parity = 0)
{
    IOHandler::DeviceInfo d{};
    d.id = id;
    d.conType = IOHandler::Serial;
    d.serial = {portName, baud, dataBits, stopBits, parity};
    return d;
}

inline const QHostAddress &testGroup()
{
    static const QHostAddress group(QStringLiteral("239.255.77.13"));
    return group;
}

// True when nobody holds the port on 127.0.0.1 (a plain bind succeeds).
inline bool portFree(quint16 port)
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHost, port);
}

// Link events and user messages, collected in the test thread: they are
// emitted in the links' threads, where a QSignalSpy must not be reached.
class EventLog : public QObject
{
public:
    struct Event
    {
        int event;
        int id;
        QVariant var;
    };
    struct Message
    {
        int id;
        MsgType type;
        MsgLevel level;
        QString text;
    };

    EventLog()
    {
        connect(
            TApp::instance(), &TApp::TAppEvent, this,
            [this](int event, int id, const QVariant &var) {
                events.append({event, id, var});
            },
            Qt::QueuedConnection);
        connect(
            TMsgManager::instance(), &TMsgManager::showMsg, this,
            [this](int id, MsgType type, MsgLevel level, const QString &text) {
                messages.append({id, type, level, text});
            },
            Qt::QueuedConnection);
    }

    QVector<int> codes(int id) const
    {
        QVector<int> result;
        for (const Event &e : events)
            if (e.id == id)
                result.append(e.event);
        return result;
    }

    QVector<Event> events;
    QVector<Message> messages;
};

// Every block a link emits, with the description that came with it,
// collected in the test thread.
class Blocks : public QObject
{
public:
    struct Block
    {
        QByteArray data;
        IOHandler::DeviceInfo device;
    };

    explicit Blocks(IOHandler *link)
    {
        connect(link, &IOHandler::recIoBuff, this, [this](const QByteArray &b, const QVariant &d) {
            received.append({b, IOHandler::deviceFromVariant(d)});
        });
    }
    QByteArray joined() const
    {
        QByteArray all;
        for (const Block &b : received)
            all += b.data;
        return all;
    }

    QVector<Block> received;
};

// A scenario of open and close requests in a small notation, one token per
// request: the kind (u unicast, m multicast, s serial, n none, 7 an unknown
// kind, x unicast with a wrong id) followed by + for open or - for close.
struct Scenario
{
    int id;
    quint16 port;
    QString serialPort;

    IOHandler::DeviceInfo deviceFor(QChar kind) const
    {
        switch (kind.toLatin1()) {
        case 'u':
            return unicast(id, port);
        case 'x':
            return unicast(id + 1, port);
        case 'm':
            return multicast(id, testGroup(), port);
        case 's':
            return serial(id, serialPort);
        case '7': {
            IOHandler::DeviceInfo d = unicast(id, port);
            d.conType = static_cast<IOHandler::ConType>(7);
            return d;
        }
        default: {
            IOHandler::DeviceInfo d = unicast(id, port);
            d.conType = IOHandler::None;
            return d;
        }
        }
    }

    // Serves every request in the link's thread; returns the results as a
    // string of 1 and 0.
    QString run(IOHandler *link, const QString &steps) const
    {
        QString results;
        for (const QString &step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            results += request(link, deviceFor(step.at(0)), step.at(1) == QLatin1Char('+'))
                           ? QLatin1Char('1')
                           : QLatin1Char('0');
        return results;
    }
};

// A device in memory: opens always, keeps every block sent to it in order,
// and hands on what a test delivers as if it had been received. For tests
// of a link's send path that need no socket.
class MemoryEndpoint : public TEndpoint
{
public:
    explicit MemoryEndpoint(int linkId, QObject *parent = nullptr)
        : TEndpoint(linkId,
                    {[](const QByteArray &, const QHostAddress &, quint16) {},
                     [](const QString &) {}, [](const QString &) {}},
                    parent)
    {
    }
    bool open(const IOHandler::DeviceInfo &, QString &) override { return opened = true; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    bool sends(IOHandler::ConType kind) const override { return kind != IOHandler::None; }
    Outcome send(const QByteArray &b, const IOHandler::DeviceInfo &) override
    {
        const std::lock_guard<std::mutex> hold(lock);
        blocks.append(b);
        return Outcome::Taken;
    }
    QList<QByteArray> sent() const
    {
        const std::lock_guard<std::mutex> hold(lock);
        return blocks;
    }

private:
    bool opened = false;
    mutable std::mutex lock;
    QList<QByteArray> blocks;
};
} // namespace linktest
