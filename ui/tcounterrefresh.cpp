#include "ui/tcounterrefresh.h"

#include "link/iohandler.h"
#include "link/tlinknames.h"
#include "monitor/tcountertext.h"
#include "radio/tradio.h"
#include "session/trelaysession.h"
#include "ui/tlinkrow.h"

namespace {
TLinkRow::Look lookOf(const TLinkMonitor::Sample &s)
{
    switch (s.state) {
    case TLinkStates::State::Open:
        return s.quiet ? TLinkRow::Look::Quiet : TLinkRow::Look::Open;
    case TLinkStates::State::Failed:
        return TLinkRow::Look::Failed;
    case TLinkStates::State::Waiting:
        return TLinkRow::Look::Quiet;
    default:
        return TLinkRow::Look::Closed;
    }
}
} // namespace

TCounterRefresh::TCounterRefresh(Rows rows, TRelaySession &session, QObject *parent)
    : QObject(parent), rows(std::move(rows)), session(session)
{
    clock.start();
    connect(&timer, &QTimer::timeout, this, &TCounterRefresh::refresh);
    timer.start(intervalMs);
}

void TCounterRefresh::watch(TLinkRow *row)
{
    connect(row, &TLinkRow::resetRequested, this, [this](int id) {
        session.resetCounters(id);
        refresh();
    });
    connect(row, &TLinkRow::resetAllRequested, this, [this] {
        session.resetAllCounters();
        refresh();
    });
}

void TCounterRefresh::refresh()
{
    const qint64 now = clock.elapsed();
    const TRadio *radio = TRadio::active();
    const TRadioRules *rules = radio ? radio->rules() : nullptr;
    for (TLinkRow *row : rows()) {
        row->showRadioMark(rules && rules->names(row->linkId()));
        TLinkMonitor::Sample s;
        if (!session.sample(row->linkId(), now, s))
            continue;
        row->showStatus(TCounterText::line(s),
                        TCounterText::tooltip(s, TLinkNames::isVehicle(row->linkId())), lookOf(s));
    }
}
