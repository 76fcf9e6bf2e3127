#pragma once

#include "link/iohandler.h"

#include <QAtomicPointer>

// The ground-station link: everything it receives goes, unchanged, to every
// vehicle link.
class TGcsPtl : public IOHandler
{
    Q_OBJECT
public:
    TGcsPtl(int id, bool ownThread, QObject *parent = nullptr);
    // The registered link gives its place up: vehicle frames must never
    // reach a link that is gone, and a window built later registers its own.
    ~TGcsPtl() override;

    static TGcsPtl *instance();

private slots:
    void onRecBuff(QByteArray b, QVariant device = QVariant(0));

private:
    // Read by vehicle link threads, so atomic even though it is set once.
    static QAtomicPointer<TGcsPtl> registered;
};
