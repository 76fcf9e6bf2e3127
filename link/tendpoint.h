#pragma once

#include "link/iohandler.h"
#include "link/tsendqueue.h"

#include <QHostAddress>
#include <QObject>

#include <functional>

// One device of one kind, as a link uses it: opened from the link's record,
// read as soon as it is readable, written one block or a run of blocks at a
// time, closed. A link holds exactly one, made for its kind in one place
// (IOHandler::makeEndpoint), and lives with it in the link's thread, so
// every read and write of the device happens there. A new kind of link is a
// new subclass and its settings; nothing else in link/ changes.
class TEndpoint : public QObject
{
    Q_OBJECT
public:
    // What an endpoint hands back to its link, called directly: a block
    // costs no queued call and no copy on its way out.
    struct Sink
    {
        // A block received, with where it came from (a null address for a
        // device without addresses).
        std::function<void(const QByteArray &, const QHostAddress &, quint16)> received;
        // News for the operator; the device stays open.
        std::function<void(const QString &)> warn;
        // The device failed while open.
        std::function<void(const QString &)> lost;
    };
    enum class Outcome
    {
        Taken,
        // The device holds too much unsent already.
        Dropped,
        Failed
    };

    TEndpoint(int linkId, Sink sink, QObject *parent)
        : QObject(parent), linkId(linkId), sink(std::move(sink))
    {
    }

    // On failure `failure` says why, for the operator.
    virtual bool open(const IOHandler::DeviceInfo &device, QString &failure) = 0;
    // The device again after it was lost; `device` takes what changed (an
    // interface that came back under a new index).
    virtual bool reopen(IOHandler::DeviceInfo &device, QString &failure)
    {
        return open(device, failure);
    }
    // The last open failed in a way that may pass by itself (an interface
    // that is down or not there yet).
    virtual bool mayComeBack() const { return false; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Whether it can send to a record of `kind`.
    virtual bool sends(IOHandler::ConType kind) const = 0;
    // One block to `target`: the link's own record, or one a caller gave.
    virtual Outcome send(const QByteArray &b, const IOHandler::DeviceInfo &target) = 0;
    // A run of blocks to `target`, in as few system calls as the device
    // allows; outcomes[i] is that of blocks[i].
    virtual void sendBatch(const TSendQueue::Block *blocks, int count,
                           const IOHandler::DeviceInfo &target, Outcome *outcomes)
    {
        for (int i = 0; i < count; ++i)
            outcomes[i] = send(blocks[i].data, target);
    }
    // The local port sends leave from, when it is not the bound one.
    virtual quint16 sendPort() const { return 0; }

protected:
    const int linkId;
    const Sink sink;
};
