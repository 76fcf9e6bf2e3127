#include "protocol/tgcsptl.h"

#include "link/tlinkmanager.h"
#include "link/tsendhistory.h"

QAtomicPointer<TGcsPtl> TGcsPtl::registered = nullptr;

TGcsPtl::TGcsPtl(int id, bool ownThread, QObject *parent)
    : IOHandler(id, ownThread, parent, StartLater)
{
    // A second ground-station link receives but relays nothing.
    if (registered.testAndSetOrdered(nullptr, this))
        connect(this, &IOHandler::recIoBuff, this, &TGcsPtl::onRecBuff, Qt::AutoConnection);
    start();
}

TGcsPtl::~TGcsPtl()
{
    registered.testAndSetOrdered(this, nullptr);
}

TGcsPtl *TGcsPtl::instance()
{
    return registered.loadAcquire();
}

void TGcsPtl::onRecBuff(QByteArray b, QVariant device)
{
    Q_UNUSED(device)
    // Once for the whole fan-out: what a loop would bring back.
    TSendHistory::record(b);
    const auto vehicles = TLinkManager::instance()->vehicleLinksById();
    for (const auto &vehicle : vehicles) {
        if (vehicle)
            emit vehicle->sendBuffSignal(b, QVariant(0));
    }
}
