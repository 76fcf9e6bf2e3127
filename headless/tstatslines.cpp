#include "headless/tstatslines.h"

#include "link/tlinknames.h"

namespace {
// logfmt: a quoted value with its quotes and backslashes escaped, on one line.
QString quoted(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}
} // namespace

QString TStatsLines::line(int id, const QString &state, const TLinkCounters::Snapshot &counts,
                          quint64 captureDropped)
{
    return QStringLiteral("stats link=%1 state=%2 rx_blocks=%3 rx_bytes=%4 tx_blocks=%5 "
                          "tx_bytes=%6 gcs_frames=%7 uav_frames=%8 discarded_bytes=%9 ")
               .arg(TLinkNames::shortName(id), state)
               .arg(counts.rxBlocks)
               .arg(counts.rxBytes)
               .arg(counts.txBlocks)
               .arg(counts.txBytes)
               .arg(counts.gcsFrames)
               .arg(counts.uavFrames)
               .arg(counts.discardedBytes) +
           QStringLiteral("send_errors=%1 dropped=%2 peer=%3 last_error=%4 reconnects=%5 "
                          "foreign_dropped=%6 last_foreign=%7 capture_dropped=%8 ")
               .arg(counts.sendErrors)
               .arg(counts.dropped)
               .arg(counts.peer, quoted(counts.lastError))
               .arg(counts.reconnects)
               .arg(counts.foreignDropped)
               .arg(counts.lastForeign)
               .arg(captureDropped) +
           QStringLiteral("radio_lost=%1 radio_duplicated=%2 radio_queue_dropped=%3 "
                          "radio_delayed=%4")
               .arg(counts.radioLost)
               .arg(counts.radioDuplicated)
               .arg(counts.radioQueueDropped)
               .arg(counts.radioDelayed);
}
