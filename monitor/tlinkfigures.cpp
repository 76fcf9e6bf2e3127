#include "monitor/tlinkfigures.h"

#include "link/tlinknames.h"

TLinkFigures::Fields TLinkFigures::of(int id, const QString &state,
                                      const TLinkCounters::Snapshot &counts, quint64 captureDropped)
{
    using K = Field::Kind;
    const auto count = [](const char *key, quint64 value) {
        return Field{QString::fromLatin1(key), QVariant::fromValue<quint64>(value), K::Counter};
    };
    const auto word = [](const char *key, const QString &value) {
        return Field{QString::fromLatin1(key), value, K::Word};
    };
    // The keys and their order stay as they are; new figures go at the end.
    return {word("link", TLinkNames::shortName(id)),
            word("state", state),
            count("rx_blocks", counts.rxBlocks),
            count("rx_bytes", counts.rxBytes),
            count("tx_blocks", counts.txBlocks),
            count("tx_bytes", counts.txBytes),
            count("gcs_frames", counts.gcsFrames),
            count("uav_frames", counts.uavFrames),
            count("discarded_bytes", counts.discardedBytes),
            count("send_errors", counts.sendErrors),
            count("dropped", counts.dropped),
            word("peer", counts.peer),
            Field{QStringLiteral("last_error"), counts.lastError, K::Text},
            count("reconnects", counts.reconnects),
            count("foreign_dropped", counts.foreignDropped),
            word("last_foreign", counts.lastForeign),
            count("capture_dropped", captureDropped),
            count("radio_lost", counts.radioLost),
            count("radio_duplicated", counts.radioDuplicated),
            count("radio_queue_dropped", counts.radioQueueDropped),
            count("radio_delayed", counts.radioDelayed),
            Field{QStringLiteral("connections"),
                  QVariant::fromValue<quint64>(quint64(qMax<qint64>(0, counts.connections))),
                  K::Gauge}};
}

QJsonObject TLinkFigures::json(const Fields &fields)
{
    QJsonObject object;
    // A double holds every count exactly up to 2^53, far beyond any run.
    for (const Field &f : fields)
        object.insert(f.key, f.kind == Field::Kind::Counter || f.kind == Field::Kind::Gauge
                                 ? QJsonValue(double(f.value.toULongLong()))
                                 : QJsonValue(f.value.toString()));
    return object;
}
