#pragma once

#include "link/tlinkcounters.h"

#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QVector>

// One link's figures as scripts read them, in the order of the stats line:
// the same keys and values whether they become a logfmt line, a JSON
// object, an answer on the control socket or a metrics page.
class TLinkFigures
{
public:
    struct Field
    {
        enum class Kind
        {
            // A count that only grows (until a reset or a new link).
            Counter,
            // A number that goes up and down: the connections of a TCP link.
            Gauge,
            // A word or address, never with blanks in it.
            Word,
            // Any text: quoted in a logfmt line.
            Text
        };
        QString key;
        QVariant value;
        Kind kind;
    };
    using Fields = QVector<Field>;

    // `captureDropped`: blocks the recording could not keep, for every link.
    static Fields of(int id, const QString &state, const TLinkCounters::Snapshot &counts,
                     quint64 captureDropped);
    // Counts as numbers, the rest as strings.
    static QJsonObject json(const Fields &fields);
};
