#include "session/trelaylinks.h"

#include "link/tlinkmanager.h"
#include "link/tlinknames.h"
#include "protocol/tgcsptl.h"
#include "protocol/tuavptl.h"

IOHandler *TRelayLinks::addGroundStation()
{
    auto *gcs = new TGcsPtl(TLinkNames::gcsLinkId, true, nullptr);
    TLinkManager::instance()->addLink(TLinkNames::gcsLinkId, gcs);
    return gcs;
}

IOHandler *TRelayLinks::addVehicle(int n)
{
    const int linkId = n + TLinkNames::firstUavLinkId;
    auto *link = new TUavPtl(linkId, true, nullptr);
    TLinkManager::instance()->addVehicle(linkId, link);
    return link;
}

void TRelayLinks::removeLastVehicle()
{
    TLinkManager::instance()->removeLastVehicle();
}
