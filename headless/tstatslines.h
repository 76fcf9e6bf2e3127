#pragma once

#include "link/tlinkcounters.h"

#include <QString>

// One link's figures as a logfmt line for scripts:
// "stats link=uav1 state=open rx_blocks=12 rx_bytes=432 tx_blocks=3 tx_bytes=90
// gcs_frames=0 uav_frames=12 discarded_bytes=0 send_errors=0 dropped=0
// peer=127.0.0.1:9001 last_error=\"\" reconnects=0 foreign_dropped=0 last_foreign=" (one line),
// or as a JSON line with the same keys and values, counts as numbers.
class TStatsLines
{
public:
    // `captureDropped`: blocks the recording could not keep, for every link.
    static QString line(int id, const QString &state, const TLinkCounters::Snapshot &counts,
                        quint64 captureDropped);
    static QString json(int id, const QString &state, const TLinkCounters::Snapshot &counts,
                        quint64 captureDropped);
};
