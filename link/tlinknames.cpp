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
