#include "link/tlinknames.h"

QString TLinkNames::rowName(int id)
{
    if (id == gcsLinkId)
        return QStringLiteral("Gcs");
    if (id >= firstUavLinkId)
        return QStringLiteral("Uav %1").arg(id - firstUavLinkId + 1);
    // Ids the window never hands out (tests, tools): still say which link.
    return QStringLiteral("Link %1").arg(id);
}

QString TLinkNames::shortName(int id)
{
    if (id == gcsLinkId)
        return QStringLiteral("gcs");
    if (id >= firstUavLinkId)
        return QStringLiteral("uav%1").arg(id - firstUavLinkId + 1);
    return QStringLiteral("link%1").arg(id);
}
