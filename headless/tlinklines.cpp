#include "headless/tlinklines.h"

#include "headless/tconsole.h"
#include "link/iohandler.h"
#include "link/tendpointtext.h"
#include "link/tlinkerrors.h"
#include "link/tlinkevents.h"
#include "link/tlinknames.h"

#include <QTimer>

TLinkLines::TLinkLines(const TLinkStates &states, QObject *parent) : QObject(parent), states(states)
{
    connect(TLinkEvents::instance(), &TLinkEvents::linkEvent, this, &TLinkLines::onEvent);
    TMsgManager::instance()->setLineWriter(
        [this](int id, MsgLevel level, const QString &msg) { onMessage(id, level, msg); });
}

TLinkLines::~TLinkLines()
{
    TMsgManager::instance()->setLineWriter(nullptr);
    release();
}

void TLinkLines::inOrder(const QVector<int> &ids)
{
    order = ids;
    pending = QSet<int>(ids.begin(), ids.end());
    // A serial port can take a while to answer; the lines are not held for it.
    QTimer::singleShot(3000, this, &TLinkLines::release);
}

void TLinkLines::write(int id, const QString &line)
{
    if (pending.isEmpty() || !order.contains(id))
        TConsole::errorLine(line);
    else
        held[id].append(line);
}

void TLinkLines::reported(int id)
{
    if (pending.remove(id) && pending.isEmpty())
        release();
}

void TLinkLines::release()
{
    pending.clear();
    for (int id : qAsConst(order))
        for (const QString &line : held.value(id))
            TConsole::errorLine(line);
    held.clear();
    order.clear();
}

void TLinkLines::onEvent(int event, int id, const QVariant &var)
{
    const QString name = TLinkNames::shortName(id);
    switch (event) {
    case IOHandler::LinkOpened:
        write(id, name + QStringLiteral(" open ") +
                      TEndpointText::of(IOHandler::deviceFromVariant(var)));
        break;
    case IOHandler::LinkWaiting:
        write(id, name + (IOHandler::deviceFromVariant(var).conType == IOHandler::TcpClient
                              ? QStringLiteral(" waiting for peer")
                              : QStringLiteral(" waiting for port")));
        break;
    case IOHandler::LinkClosed:
        write(id, name + QStringLiteral(" closed"));
        break;
    default:
        break;
    }
    if (event == IOHandler::LinkOpened || event == IOHandler::LinkOpenFailed ||
        event == IOHandler::LinkWaiting)
        reported(id);
}

void TLinkLines::onMessage(int id, MsgLevel level, const QString &msg)
{
    Q_UNUSED(level)
    if (!states.knows(id)) {
        write(id, QStringLiteral("error: ") + msg);
        return;
    }
    // The box would name the row; the line names the link instead.
    const QString row = TLinkErrors::forRow(id, QString());
    const QString text = msg.startsWith(row) ? msg.mid(row.size()) : msg;
    const QString name = TLinkNames::shortName(id);
    // A failed open's reason comes as the link's message, just before its
    // failed event.
    if (states.stateOf(id) == TLinkStates::State::Opening)
        write(id, name + QStringLiteral(" failed: ") + TLinkErrors::reasonOf(text));
    else
        write(id, name + QStringLiteral(" error: ") + text);
}
