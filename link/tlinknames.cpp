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

int TLinkNames::idOf(const QString &name)
{
    if (name == QLatin1String("gcs"))
        return gcsLinkId;
    if (!name.startsWith(QLatin1String("uav")))
        return -1;
    bool ok = false;
    const int n = name.midRef(3).toInt(&ok);
    // "uav01" would name uav1 twice over.
    if (!ok || n < 1 || name.at(3) == QLatin1Char('0'))
        return -1;
    return firstUavLinkId + n - 1;
}
