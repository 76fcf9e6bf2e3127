#include "headless/tstatslines.h"

#include "link/tlinknames.h"

QString TStatsLines::line(int id, const QString &state, const TLinkCounters::Snapshot &counts)
{
    return QStringLiteral("stats link=%1 state=%2 rx_blocks=%3 rx_bytes=%4 tx_blocks=%5 "
                          "tx_bytes=%6")
        .arg(TLinkNames::shortName(id), state)
        .arg(counts.rxBlocks)
        .arg(counts.rxBytes)
        .arg(counts.txBlocks)
        .arg(counts.txBytes);
}
