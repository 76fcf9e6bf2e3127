#include "protocol/tgcsptl.h"

#include "protocol/trouter.h"

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
    TRouter::fromGroundStation(b);
}
