#include "link/tlinkevents.h"

TLinkEvents *TLinkEvents::instance()
{
    // Made on first use, also from the application object's constructor,
    // which runs before main(); it outlives every link.
    static TLinkEvents *events = new TLinkEvents;
    return events;
}
