#pragma once

// Helpers shared by the test programs (header-only).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

namespace testsupport {

// Collects every line written to Qt's message streams while it exists.
class MessageCapture
{
public:
    MessageCapture()
    {
        QMutexLocker locker(&mutex());
        current() = this;
        previous = qInstallMessageHandler(&MessageCapture::handler);
    }
    ~MessageCapture()
    {
        QMutexLocker locker(&mutex());
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    QStringList lines() const
    {
        QMutexLocker locker(&mutex());
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
        QMutexLocker locker(&mutex());
        if (current())
            current()->collected.append(msg);
    }
    static QMutex &mutex()
    {
        static QMutex m;
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

// A UDP port on 127.0.0.1 that was free a moment ago.
inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress(QHostAddress::LocalHost), 0))
        return 0;
    return probe.localPort();
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
