#include "ui/tlinkrow.h"

#include "link/tlinknames.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tuidefine.h"
#include "ui/tioform.h"

#include <QFontMetrics>
#include <QHBoxLayout>

TLinkRow::TLinkRow(int linkId, TIoForm *form, QWidget *parent) : QWidget(parent), ioForm(form)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    name = new TLabel(TLinkNames::rowName(linkId));
    name->setFont(TUiDefine::instance()->widgetFont);
    name->setToolTip(tr("link id %1").arg(linkId));
    // One width for every row, so that the forms line up in a column.
    name->setFixedWidth(QFontMetrics(name->font()).horizontalAdvance(QStringLiteral("Uav 000")));
    layout->addWidget(name, 0, Qt::AlignVCenter);
    layout->addWidget(form);
}
