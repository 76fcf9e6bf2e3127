#include "ui/tlinkrow.h"

#include "link/tlinknames.h"
#include "ui/kit/tlabel.h"
#include "ui/kit/tuidefine.h"
#include "ui/tioform.h"

#include <QAction>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

namespace {
QString colourOf(TLinkRow::Look look)
{
    switch (look) {
    case TLinkRow::Look::Open:
        return QStringLiteral("#7fc97f");
    case TLinkRow::Look::Quiet:
        return QStringLiteral("#e0b050");
    case TLinkRow::Look::Failed:
        return QStringLiteral("#e06c6c");
    default:
        return QStringLiteral("#8c8c8c");
    }
}
} // namespace

TLinkRow::TLinkRow(int linkId, TIoForm *form, QWidget *parent)
    : QWidget(parent), ioForm(form), id(linkId)
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

    status = new QLabel;
    // Named, so that its colour stays off its tooltip.
    status->setObjectName(QStringLiteral("linkStatus"));
    status->setFont(TUiDefine::instance()->widgetFont);
    // Room for busy figures, so that the line does not make the row jump.
    status->setFixedWidth(QFontMetrics(status->font())
                              .horizontalAdvance(QStringLiteral("quiet  in 9999/s  out 9999/s  "
                                                                "999.9k / 999.9k")));
    status->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *reset = new QAction(tr("Reset counters"), status);
    auto *resetAll = new QAction(tr("Reset all counters"), status);
    status->addActions({reset, resetAll});
    connect(reset, &QAction::triggered, this, [this] { emit resetRequested(id); });
    connect(resetAll, &QAction::triggered, this, &TLinkRow::resetAllRequested);
    layout->addWidget(status, 0, Qt::AlignVCenter);
    showStatus(tr("closed"), QString(), Look::Closed);
    status->setStyleSheet(QStringLiteral("#linkStatus { color: %1; }").arg(colourOf(Look::Closed)));
}

void TLinkRow::showStatus(const QString &line, const QString &tooltip, Look look)
{
    if (line != shownLine) {
        shownLine = line;
        status->setText(
            QFontMetrics(status->font()).elidedText(line, Qt::ElideRight, status->width()));
    }
    if (tooltip != status->toolTip())
        status->setToolTip(tooltip);
    if (look != shownLook) {
        shownLook = look;
        status->setStyleSheet(QStringLiteral("#linkStatus { color: %1; }").arg(colourOf(look)));
    }
}
