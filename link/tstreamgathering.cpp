#include "link/tstreamgathering.h"

std::atomic<int> TStreamGathering::datagramVehicles{0};

void TStreamGathering::note(Sends sends)
{
    if (sends == noted)
        return;
    noted = sends;
    datagramVehicles.fetch_add(sends == Sends::Datagrams ? 1 : -1, std::memory_order_relaxed);
}
