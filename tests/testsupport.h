#pragma once

// Helpers shared by the test programs (header-only).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QProcess>
#include <QQueue>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Resident memory says little under a sanitizer: AddressSanitizer keeps
// freed memory in quarantine, ThreadSanitizer shadows what is touched.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RELAY_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define RELAY_UNDER_SANITIZER 1
#endif
#endif

namespace testsupport {

// Collects every line written to Qt's message streams while it exists.
class MessageCapture
{
public:
    MessageCapture()
    {
        const std::lock_guard<std::mutex> locker(mutex());
        current() = this;
        previous = qInstallMessageHandler(&MessageCapture::handler);
    }
    ~MessageCapture()
    {
        const std::lock_guard<std::mutex> locker(mutex());
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    QStringList lines() const
    {
        const std::lock_guard<std::mutex> locker(mutex());
        return collected;
    }
    int count(const QString &line) const { return lines().count(line); }
    bool contains(const QString &part) const
    {
        for (const QString &l : lines())
            if (l.contains(part))
                return true;
        return false;
    }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &msg)
    {
        const std::lock_guard<std::mutex> locker(mutex());
        if (current())
            current()->collected.append(msg);
    }
    // Not a QMutex, which ThreadSanitizer cannot follow.
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static MessageCapture *&current()
    {
        static MessageCapture *c = nullptr;
        return c;
    }
    QtMessageHandler previous = nullptr;
    QStringList collected;
};

namespace detail {
struct Job
{
    std::function<void()> work;
    bool posted = false;
    bool done = false;
};

struct Jobs
{
    std::mutex mutex;
    std::condition_variable changed;
    QHash<QThread *, QQueue<Job *>> waiting;
};

inline Jobs &jobs()
{
    static Jobs all;
    return all;
}

// Runs, in the calling thread, the oldest job handed to it.
inline void serveJob()
{
    Jobs &all = jobs();
    std::unique_lock<std::mutex> locker(all.mutex);
    Job *job = all.waiting[QThread::currentThread()].dequeue();
    all.changed.wait(locker, [job] { return job->posted; });
    locker.unlock();
    job->work();
    locker.lock();
    job->done = true;
    all.changed.notify_all();
}
} // namespace detail

// Runs f in the thread of `context` and returns once it has run there (at
// once when that is the calling thread).
//
// Qt hands a queued call over, and reports it done, inside the Qt library,
// where ThreadSanitizer cannot see it. So the work and the news that it is
// done go through a std::mutex instead, and the queued call carries nothing
// but the order to look: what the caller did before, the queued call
// included, happens before f, and f before what the caller does after.
template <typename F> void runInThreadOf(QObject *context, F f)
{
    if (context->thread() == QThread::currentThread()) {
        f();
        return;
    }
    detail::Jobs &all = detail::jobs();
    detail::Job job{std::function<void()>(std::move(f))};
    {
        const std::lock_guard<std::mutex> locker(all.mutex);
        all.waiting[context->thread()].enqueue(&job);
    }
    QMetaObject::invokeMethod(
        context, [] { detail::serveJob(); }, Qt::QueuedConnection);
    std::unique_lock<std::mutex> locker(all.mutex);
    job.posted = true;
    all.changed.notify_all();
    if (!all.changed.wait_for(locker, std::chrono::minutes(1), [&job] { return job.done; }))
        qFatal("a job handed to another thread has not run within a minute");
}

// A UDP port on 127.0.0.1 that was free a moment ago.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress(QHostAddress::LocalHost), 0))
        return 0;
    return probe.localPort();
}

// A free UDP port `base` such that base + n * stride is free too for every n
// up to `count`: a swarm's ports, each checked by binding it.
inline quint16 freeUdpPortRun(int count, int stride)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const quint16 base = freeUdpPort();
        if (base == 0 || base + count * stride > 65535)
            continue;
        std::vector<std::unique_ptr<QUdpSocket>> held;
        for (int n = 0; n <= count; ++n) {
            held.push_back(std::make_unique<QUdpSocket>());
            if (!held.back()->bind(QHostAddress(QHostAddress::LocalHost),
                                   quint16(base + n * stride)))
                break;
        }
        if (int(held.size()) == count + 1 && held.back()->state() == QAbstractSocket::BoundState)
            return base;
    }
    return 0;
}

inline quint16 freeTcpPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return 0;
    return probe.serverPort();
}

// GET /metrics from a metrics server on 127.0.0.1:port, the whole reply
// (status line, headers and page); empty when nobody answers.
inline QString scrapeMetrics(quint16 port)
{
    QTcpSocket http;
    http.connectToHost(QHostAddress::LocalHost, port);
    if (!http.waitForConnected(5000))
        return QString();
    http.write("GET /metrics HTTP/1.0\r\n\r\n");
    while (http.waitForReadyRead(5000) || http.state() == QAbstractSocket::ConnectedState)
        if (http.state() != QAbstractSocket::ConnectedState)
            break;
    return QString::fromUtf8(http.readAll());
}

// The built program, as the build names it to every test; empty when it
// does not exist.
inline QString appBinary()
{
    const QString binary = qEnvironmentVariable("RELAY_APP_BINARY");
    return QFile::exists(binary) ? binary : QString();
}

// Threads of this process, as the kernel counts them.
inline int processThreadCount()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    return -1;
}

// Resident memory of this process in KiB.
inline qint64 processRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// A connected pair of pseudo terminals made by socat; both ends are full
// paths that QSerialPort can open. isReady() is false without socat.
class PtyPair
{
public:
    PtyPair()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty() || !dir.isValid())
            return;
        a = dir.filePath(QStringLiteral("ttyA"));
        b = dir.filePath(QStringLiteral("ttyB"));
        start();
    }
    // A new pair under the same two names after kill(): a port that went
    // away comes back.
    bool restart()
    {
        kill();
        if (!a.isEmpty())
            start();
        return ready;
    }
    ~PtyPair() { kill(); }
    void kill()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool isReady() const { return ready; }
    QString endA() const { return a; }
    QString endB() const { return b; }

private:
    void start()
    {
        // A killed socat leaves its links behind.
        QFile::remove(a);
        QFile::remove(b);
        process.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + a,
                                                QStringLiteral("pty,raw,echo=0,link=") + b});
        ready = false;
        if (!process.waitForStarted(5000))
            return;
        for (int i = 0; i < 100 && !(QFile::exists(a) && QFile::exists(b)); ++i)
            QThread::msleep(20);
        ready = QFile::exists(a) && QFile::exists(b);
    }

    QTemporaryDir dir;
    QProcess process;
    QString a, b;
    bool ready = false;
};

} // namespace testsupport
