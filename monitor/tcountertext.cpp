#include "monitor/tcountertext.h"

#include <QCoreApplication>
#include <QLocale>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("TCounterText", text);
}

QString rate(double perSecond)
{
    return perSecond >= 10 || perSecond == 0 ? QString::number(qRound64(perSecond))
                                             : QString::number(perSecond, 'f', 1);
}
} // namespace

QString TCounterText::compact(quint64 n)
{
    if (n < 10000)
        return QString::number(n);
    if (n < 10000000)
        return QString::number(double(n) / 1e3, 'f', 1) + QLatin1Char('k');
    return QString::number(double(n) / 1e6, 'f', 1) + QLatin1Char('M');
}

QString TCounterText::exact(quint64 n)
{
    return QLocale().toString(qulonglong(n));
}

QString TCounterText::line(const TLinkMonitor::Sample &s)
{
    switch (s.state) {
    case TLinkStates::State::Failed:
        return tr("failed: %1").arg(s.failure);
    case TLinkStates::State::Closed:
        return tr("closed");
    case TLinkStates::State::Opening:
        return tr("opening");
    case TLinkStates::State::Waiting:
        return s.awaits == TLinkStates::Awaits::Peer ? tr("waiting for peer")
                                                     : tr("waiting for port");
    default:
        break;
    }
    // A TCP server says how many are connected.
    const QString state = s.counts.connections < 0 ? (s.quiet ? tr("quiet") : tr("open"))
                                                   : tr("%1, %2 connected")
                                                         .arg(s.quiet ? tr("quiet") : tr("open"))
                                                         .arg(s.counts.connections);
    return tr("%1  in %2/s  out %3/s  %4 / %5")
        .arg(state, rate(s.rxRate), rate(s.txRate), compact(s.counts.rxBlocks),
             compact(s.counts.txBlocks));
}

QString TCounterText::tooltip(const TLinkMonitor::Sample &s, bool vehicle)
{
    const TLinkCounters::Snapshot &c = s.counts;
    QStringList rows;
    rows << tr("received: %1 blocks, %2 bytes").arg(exact(c.rxBlocks), exact(c.rxBytes))
         << tr("sent: %1 blocks, %2 bytes").arg(exact(c.txBlocks), exact(c.txBytes));
    if (vehicle)
        rows << tr("frames to the ground station: %1").arg(exact(c.gcsFrames))
             << tr("frames to the other vehicles: %1").arg(exact(c.uavFrames))
             << tr("bytes in no frame: %1").arg(exact(c.discardedBytes));
    rows << tr("send errors: %1").arg(exact(c.sendErrors))
         << tr("blocks dropped: %1").arg(exact(c.dropped))
         << tr("reconnects: %1").arg(exact(c.reconnects));
    if (c.connections >= 0)
        rows << tr("connections: %1").arg(exact(quint64(c.connections)));
    if (c.foreignDropped > 0 || !c.lastForeign.isEmpty())
        rows << tr("from strangers, dropped: %1 (last from %2)")
                    .arg(exact(c.foreignDropped), c.lastForeign);
    if (c.radioLost || c.radioDuplicated || c.radioQueueDropped || c.radioDelayed)
        rows << tr("radio: %1 lost, %2 duplicated, %3 queue full, %4 delayed")
                    .arg(exact(c.radioLost), exact(c.radioDuplicated), exact(c.radioQueueDropped),
                         exact(c.radioDelayed));
    if (!c.peer.isEmpty())
        rows << tr("peer: %1").arg(c.peer);
    rows << tr("last block: %1")
                .arg(s.lastRxAt.isValid() ? s.lastRxAt.toString(QStringLiteral("HH:mm:ss"))
                                          : tr("none yet"));
    if (!c.lastError.isEmpty())
        rows << tr("last error (%1): %2")
                    .arg(c.lastErrorAt.toString(QStringLiteral("HH:mm:ss")), c.lastError);
    if (!c.exposure.isEmpty())
        rows << c.exposure;
    return rows.join(QLatin1Char('\n'));
}
