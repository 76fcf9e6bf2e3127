#include "headless/tlinklines.h"

#include "app/tapp.h"
#include "headless/tconsole.h"
#include "link/iohandler.h"
#include "link/tendpointtext.h"
#include "link/tlinkerrors.h"
#include "link/tlinknames.h"

TLinkLines::TLinkLines(const TLinkStates &states, QObject *parent) : QObject(parent), states(states)
{
    connect(TApp::instance(), &TApp::TAppEvent, this, &TLinkLines::onEvent);
    TMsgManager::instance()->setLineWriter(
        [this](int id, MsgLevel level, const QString &msg) { onMessage(id, level, msg); });
}

TLinkLines::~TLinkLines()
{
    TMsgManager::instance()->setLineWriter(nullptr);
}

void TLinkLines::onEvent(int event, int id, const QVariant &var)
{
    const QString name = TLinkNames::shortName(id);
    switch (event) {
    case IOHandler::LinkOpened:
        TConsole::errorLine(name + QStringLiteral(" open ") +
                            TEndpointText::of(IOHandler::deviceFromVariant(var)));
        break;
    case IOHandler::LinkWaiting:
        TConsole::errorLine(name + QStringLiteral(" waiting for port"));
        break;
    case IOHandler::LinkClosed:
        TConsole::errorLine(name + QStringLiteral(" closed"));
        break;
    default:
        break;
    }
}

void TLinkLines::onMessage(int id, MsgLevel level, const QString &msg)
{
    Q_UNUSED(level)
    if (!states.knows(id)) {
        TConsole::errorLine(QStringLiteral("error: ") + msg);
        return;
    }
    // The box would name the row; the line names the link instead.
    const QString row = TLinkErrors::forRow(id, QString());
    const QString text = msg.startsWith(row) ? msg.mid(row.size()) : msg;
    const QString name = TLinkNames::shortName(id);
    // A failed open's reason comes as the link's message, just before its
    // failed event.
    if (states.stateOf(id) == TLinkStates::State::Opening)
        TConsole::errorLine(name + QStringLiteral(" failed: ") + TLinkErrors::reasonOf(text));
    else
        TConsole::errorLine(name + QStringLiteral(" error: ") + text);
}
