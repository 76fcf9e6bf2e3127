#include "link/tlinksender.h"

#include "capture/tcapturetap.h"
#include "link/tlinkcounters.h"
#include "link/tlinknames.h"
#include "link/tlinktap.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>
#include <QVarLengthArray>

#ifdef __GLIBC__
#include <malloc.h>
#endif

TLinkSender::TLinkSender(const IOHandler::DeviceInfo &record, TLinkCounters &counters,
                         TLinkTap &tap, Warn warn)
    : record(record), counters(counters), tap(tap), warn(std::move(warn))
{
}

void TLinkSender::setEndpoint(TEndpoint *device)
{
    QMutexLocker locker(&mutex);
    endpoint = device;
}

void TLinkSender::setSpare(TEndpoint *device)
{
    QMutexLocker locker(&mutex);
    spare = device;
}

void TLinkSender::send(const QByteArray &b, const QVariant &device)
{
    QMutexLocker locker(&mutex);
    sendLocked(b, device);
}

void TLinkSender::sendNoted(const QByteArray &b, const QString &comment)
{
    QMutexLocker locker(&mutex);
    sendLocked(b, QVariant(0), comment);
}

bool TLinkSender::take(const QByteArray &b, const QVariant &device, bool inLinkThread)
{
    if (inLinkThread && pending.isIdle()) {
        send(b, device);
        return false;
    }
    return pending.put(b, device, TSendQueue::nowMs());
}

TLinkSender::Flush TLinkSender::flush()
{
    // In a burst the threads that will queue more for this link are often
    // runnable already: letting them go first turns a wake per block into
    // one per burst (at 200 vehicles in lockstep, 9 times fewer wakes and a
    // third less CPU per delivery). Only in bursts, though: a block that
    // comes alone would wait behind whatever else is runnable (the
    // window's painting, a busy process), for milliseconds, for nothing.
    if (arrivals == Arrivals::Grouped)
        QThread::yieldCurrentThread();
    // One reading serves the whole call: its passes are short.
    const qint64 now = TSendQueue::nowMs();
    int passed = 0;
    quint64 dropped = 0;
    while (pending.take(sending, now, dropped)) {
        if (dropped)
            noteDropped(dropped);
        sendQueued();
        // Under a flood the queue never empties; the link's own socket
        // must still be read, as its reads give way to these sends.
        passed += int(sending.size());
        if (passed >= TSendQueue::takeAtMost) {
            arrivals = Arrivals::Grouped;
            return Flush::More;
        }
    }
    arrivals = passed > 1 ? Arrivals::Grouped : Arrivals::Single;
    if (dropped)
        noteDropped(dropped);
    if (overflow == Overflow::Dropping || sending.capacity() > size_t(TSendQueue::takeAtMost))
        drained();
    return Flush::Done;
}

void TLinkSender::noteDropped(quint64 dropped)
{
    {
        QMutexLocker locker(&mutex);
        counters.droppedBlock(dropped);
    }
    droppedInRun += dropped;
    if (overflow == Overflow::Dropping)
        return;
    overflow = Overflow::Dropping;
    qDebug() << "link" << TLinkNames::rowName(record.id)
             << "send queue full, oldest blocks dropped";
    warn(IOHandler::tr("cannot send as fast as it is handed blocks, the oldest dropped"));
}

// The end of a flush: the queue is empty, and a run of drops is over.
void TLinkSender::drained()
{
    if (sending.capacity() > size_t(TSendQueue::takeAtMost))
        std::vector<TSendQueue::Block>().swap(sending);
    if (overflow == Overflow::Flowing)
        return;
    overflow = Overflow::Flowing;
    qDebug() << "link" << TLinkNames::rowName(record.id) << "send queue drained," << droppedInRun
             << "blocks dropped";
    droppedInRun = 0;
#ifdef __GLIBC__
    // What a flood left freed stays with the process otherwise: glibc
    // gives back only the top of each heap, and the blocks came from the
    // arenas of every thread that queued them.
    malloc_trim(0);
#endif
}

void TLinkSender::sendQueued()
{
    const int count = int(sending.size());
    QMutexLocker locker(&mutex);
    if (!endpoint || record.conType == IOHandler::None) {
        for (const TSendQueue::Block &block : sending)
            sendLocked(block.data, block.device);
        return;
    }
    // Runs of blocks for the link's own endpoint go out in batches.
    QVarLengthArray<Outcome, 256> outcomes(count);
    for (int i = 0; i < count;) {
        if (!IOHandler::isDefaultDevice(sending[size_t(i)].device)) {
            sendLocked(sending[size_t(i)].data, sending[size_t(i)].device);
            ++i;
            continue;
        }
        int end = i + 1;
        while (end < count && IOHandler::isDefaultDevice(sending[size_t(end)].device))
            ++end;
        endpoint->sendBatch(&sending[size_t(i)], end - i, record, outcomes.data() + i);
        for (; i < end; ++i)
            note(record, sending[size_t(i)].data, outcomes[i]);
    }
}

void TLinkSender::sendLocked(const QByteArray &b, const QVariant &device, const QString &comment)
{
    IOHandler::DeviceInfo given{};
    const bool own = IOHandler::isDefaultDevice(device);
    if (!own)
        given = IOHandler::deviceFromVariant(device);
    const IOHandler::DeviceInfo &target = own ? record : given;
    // A closed link has nothing to send with, and no kind nothing to send
    // to; that is no error.
    if (target.conType < IOHandler::Serial || target.conType > IOHandler::TcpServer)
        return;
    TEndpoint *via = endpoint && endpoint->sends(target.conType) ? endpoint
                     : spare && spare->sends(target.conType)     ? spare
                                                                 : nullptr;
    note(target, b, via ? via->send(b, target) : Outcome::Failed, comment);
}

// Under the send lock: a direct call from another thread counts in turn.
void TLinkSender::note(const IOHandler::DeviceInfo &target, const QByteArray &b, Outcome outcome,
                       const QString &comment)
{
    if (outcome == Outcome::Taken) {
        counters.sent(b.size());
        // A TCP connection records its own segments, in stream order.
        if (TCaptureTap::on() && target.conType < IOHandler::TcpClient)
            tap.out(record, target, endpoint ? endpoint->sendPort() : 0, b, comment);
    } else if (outcome == Outcome::Dropped)
        counters.droppedBlock();
    else
        counters.sendFailed();
}

bool TLinkSender::sendDelayed(const std::vector<TDelayLine::Block> &due, qint64 nowUs)
{
    const bool recording = TCaptureTap::on();
    bool wake = false;
    for (const TDelayLine::Block &b : due) {
        if (b.mark != TDelayLine::Mark::Send) {
            if (!recording)
                continue;
            const char *why = b.mark == TDelayLine::Mark::Down   ? "radio: down"
                              : b.mark == TDelayLine::Mark::Lost ? "radio: lost"
                                                                 : "radio: queue full";
            tap.out(record, record, endpoint ? endpoint->sendPort() : 0, b.data,
                    QLatin1String(why));
            continue;
        }
        counters.radioDelayedOne();
        const qint64 waited = nowUs - b.handedUs;
        if (recording)
            sendNoted(b.data,
                      QStringLiteral("radio: delayed %1 ms").arg(double(waited) / 1000, 0, 'f', 3));
        else
            // Through the queue, so that what came due together leaves in
            // the sender's batches.
            wake |= take(b.data, QVariant(0), false);
        if (const TDelayLine::LeftHook hook = TDelayLine::leftHook())
            hook(b.from, record.id, waited, nowUs - b.dueUs);
    }
    return wake;
}
