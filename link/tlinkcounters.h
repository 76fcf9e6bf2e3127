#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <mutex>

// What passed through one link. Only the link's own thread writes the
// figures (sends that come in directly from elsewhere hold the link's send
// lock), so a count is a plain load and store with no locked instruction on
// the forwarding path; any thread may read them at any time. The notes (the
// peer, the last error) change seldom and sit behind a lock of their own.
class TLinkCounters
{
public:
    struct Snapshot
    {
        quint64 rxBlocks = 0;
        quint64 rxBytes = 0;
        quint64 txBlocks = 0;
        quint64 txBytes = 0;
        // A vehicle link's parsers: frames handed on to the ground station
        // and to the other vehicles, and bytes read while both were looking
        // for the start of a frame.
        quint64 gcsFrames = 0;
        quint64 uavFrames = 0;
        quint64 discardedBytes = 0;
        quint64 sendErrors = 0;
        // Blocks not sent (a serial port that takes no more, a send queue
        // that was full or held them too long) or not read on (a loop).
        quint64 dropped = 0;
        QString peer;
        QString lastError;
        QDateTime lastErrorAt;
        // Devices that came back by themselves.
        quint64 reconnects = 0;
        // Datagrams from other than a fixed peer, and the last such sender.
        quint64 foreignDropped = 0;
        QString lastForeign;
        // What the operator should know of how the link is exposed.
        QString exposure;
        // A TCP server's connections now; -1 for a link that has none.
        qint64 connections = -1;
        // The emulated radio, for blocks this link was to send: lost (by
        // loss or a pair that is down), sent twice, dropped from a full rate
        // queue, and sent after waiting.
        quint64 radioLost = 0;
        quint64 radioDuplicated = 0;
        quint64 radioQueueDropped = 0;
        quint64 radioDelayed = 0;
    };

    void received(qsizetype bytes)
    {
        bump(rxBlocks, 1);
        bump(rxBytes, quint64(bytes));
    }
    void sent(qsizetype bytes)
    {
        bump(txBlocks, 1);
        bump(txBytes, quint64(bytes));
    }
    void sendFailed() { bump(sendErrors, 1); }
    void droppedBlock(quint64 count = 1) { bump(droppedBlocks, count); }
    void parsed(quint64 gcs, quint64 uav, quint64 discarded)
    {
        bump(gcsFrames, gcs);
        bump(uavFrames, uav);
        bump(discardedBytes, discarded);
    }
    void reconnected() { bump(reconnectCount, 1); }
    // Decided in the threads that hand the link its blocks, so counted with
    // an atomic add; radioDelayedOne() only in the link's own thread.
    void radioLostOne() { radioLostCount.fetch_add(1, std::memory_order_relaxed); }
    void radioDuplicatedOne() { radioDuplicatedCount.fetch_add(1, std::memory_order_relaxed); }
    void radioQueueDroppedOne() { radioQueueCount.fetch_add(1, std::memory_order_relaxed); }
    void radioDelayedOne() { bump(radioDelayedCount, 1); }
    void foreign(const QString &sender)
    {
        bump(foreignCount, 1);
        const std::lock_guard<std::mutex> locker(notesMutex);
        lastForeignSender = sender;
    }
    // Written by the link's thread only.
    void noteConnections(qint64 count) { connectionCount.store(count, std::memory_order_relaxed); }
    void noteExposure(const QString &text)
    {
        const std::lock_guard<std::mutex> locker(notesMutex);
        exposureText = text;
    }
    void notePeer(const QString &peer)
    {
        const std::lock_guard<std::mutex> locker(notesMutex);
        currentPeer = peer;
    }
    void noteError(const QString &text)
    {
        const std::lock_guard<std::mutex> locker(notesMutex);
        error = text;
        errorAt = QDateTime::currentDateTime();
    }

    // What the emulated radio counts as lost for link `id` where it
    // decides, rather than here.
    using CountedElsewhere = quint64 (*)(int id);
    static void setRadioLostElsewhere(CountedElsewhere f)
    {
        radioLostElsewhere.store(f, std::memory_order_release);
    }
    static quint64 radioLostFor(int id)
    {
        const CountedElsewhere f = radioLostElsewhere.load(std::memory_order_acquire);
        return f ? f(id) : 0;
    }

    // `moreDropped` adds what the link's filters count elsewhere,
    // `moreRadioLost` what the radio does.
    Snapshot snapshot(quint64 moreDropped = 0, quint64 moreRadioLost = 0) const
    {
        Snapshot s;
        s.rxBlocks = read(rxBlocks);
        s.rxBytes = read(rxBytes);
        s.txBlocks = read(txBlocks);
        s.txBytes = read(txBytes);
        s.gcsFrames = read(gcsFrames);
        s.uavFrames = read(uavFrames);
        s.discardedBytes = read(discardedBytes);
        s.sendErrors = read(sendErrors);
        s.dropped = read(droppedBlocks) + moreDropped;
        s.reconnects = read(reconnectCount);
        s.foreignDropped = read(foreignCount);
        s.connections = connectionCount.load(std::memory_order_relaxed);
        s.radioLost = read(radioLostCount) + moreRadioLost;
        s.radioDuplicated = read(radioDuplicatedCount);
        s.radioQueueDropped = read(radioQueueCount);
        s.radioDelayed = read(radioDelayedCount);
        const std::lock_guard<std::mutex> locker(notesMutex);
        s.peer = currentPeer;
        s.lastError = error;
        s.lastErrorAt = errorAt;
        s.lastForeign = lastForeignSender;
        s.exposure = exposureText;
        return s;
    }

private:
    static void bump(std::atomic<quint64> &counter, quint64 by)
    {
        counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
    }
    static quint64 read(const std::atomic<quint64> &counter)
    {
        return counter.load(std::memory_order_relaxed);
    }

    std::atomic<quint64> rxBlocks{0};
    std::atomic<quint64> rxBytes{0};
    std::atomic<quint64> txBlocks{0};
    std::atomic<quint64> txBytes{0};
    std::atomic<quint64> gcsFrames{0};
    std::atomic<quint64> uavFrames{0};
    std::atomic<quint64> discardedBytes{0};
    std::atomic<quint64> sendErrors{0};
    std::atomic<quint64> droppedBlocks{0};
    std::atomic<quint64> reconnectCount{0};
    std::atomic<quint64> foreignCount{0};
    std::atomic<qint64> connectionCount{-1};
    std::atomic<quint64> radioLostCount{0};
    static inline std::atomic<CountedElsewhere> radioLostElsewhere{nullptr};
    std::atomic<quint64> radioDuplicatedCount{0};
    std::atomic<quint64> radioQueueCount{0};
    std::atomic<quint64> radioDelayedCount{0};
    mutable std::mutex notesMutex;
    QString currentPeer;
    QString error;
    QDateTime errorAt;
    QString lastForeignSender;
    QString exposureText;
};
