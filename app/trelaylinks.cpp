#include "app/trelaylinks.h"

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
    TLinkManager::instance()->addLink(linkId, link);
    TLinkManager::instance()->addUav(link);
    return link;
}

void TRelayLinks::removeLastVehicle(int count)
{
    TLinkManager::instance()->removeLink(count + TLinkNames::firstUavLinkId - 1);
    TLinkManager::instance()->removeLastUav();
}
