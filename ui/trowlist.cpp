#include "ui/trowlist.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QScrollBar>
#include <QVBoxLayout>

TRowList::TRowList(QWidget *parent) : QScrollArea(parent)
{
    auto *content = new QWidget;
    rows = new QVBoxLayout(content);
    rows->setContentsMargins(0, 0, 0, 0);
    // Rows keep their height and gather at the top when there are few.
    rows->addStretch(1);
    setWidget(content);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Dark behind the rows like the rest of the window.
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &TRowList::bringPendingIntoView);
    content->installEventFilter(this);
}

bool TRowList::eventFilter(QObject *watched, QEvent *event)
{
    // A row added or removed changes what the rows need, but that news
    // reaches the list only through its viewport, which does not resize
    // the rows: without this they would be squeezed into the old height.
    if (watched == widget() && event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        QCoreApplication::postEvent(this, new QEvent(QEvent::LayoutRequest));
    }
    return QScrollArea::eventFilter(watched, event);
}

QSize TRowList::chrome() const
{
    const int frame = 2 * frameWidth();
    return {frame + verticalScrollBar()->sizeHint().width(), frame};
}

QSize TRowList::sizeHint() const
{
    return widget()->sizeHint() + chrome();
}

QSize TRowList::minimumSizeHint() const
{
    // Never narrower than a row (nothing scrolls sideways), and at least
    // one row high.
    const QSize content = widget()->minimumSizeHint();
    int rowHeight = 0;
    if (rows->count() > 1)
        rowHeight = rows->itemAt(0)->sizeHint().height();
    return QSize(content.width(), rowHeight) + chrome();
}

void TRowList::showRow(QWidget *row)
{
    // Lay the rows out now rather than at some later turn of the event
    // loop, so that the row has its place when it is scrolled to. A widget
    // added to a shown layout would itself be shown only later.
    row->show();
    rows->activate();
    updateGeometry();
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(this, &request);
    pending = row;
    bringPendingIntoView();
}

void TRowList::bringPendingIntoView()
{
    if (!pending)
        return;
    ensureWidgetVisible(pending, 0, 0);
    const QRect where(pending->mapTo(viewport(), QPoint(0, 0)), pending->size());
    if (viewport()->rect().contains(where))
        pending = nullptr;
}
