#include "monitor/tlinkstates.h"

#include "link/iohandler.h"
#include "link/tlinkerrors.h"
#include "link/tlinkevents.h"

TLinkStates::TLinkStates(QObject *parent) : QObject(parent)
{
    connect(TLinkEvents::instance(), &TLinkEvents::linkEvent, this, &TLinkStates::onEvent);
}

QString TLinkStates::name(State state)
{
    switch (state) {
    case State::Opening:
        return QStringLiteral("opening");
    case State::Open:
        return QStringLiteral("open");
    case State::Failed:
        return QStringLiteral("failed");
    case State::Waiting:
        return QStringLiteral("waiting");
    default:
        return QStringLiteral("closed");
    }
}

void TLinkStates::onEvent(int event, int id, const QVariant &var)
{
    Link &link = states[id];
    switch (event) {
    case IOHandler::LinkError:
        link.lastError = var.toString();
        break;
    case IOHandler::LinkOpened:
        link.state = State::Open;
        link.failure.clear();
        break;
    case IOHandler::LinkOpenFailed:
        // Its reason came with the error just before.
        link.state = State::Failed;
        link.failure = TLinkErrors::reasonOf(link.lastError);
        break;
    case IOHandler::LinkClosed:
        link.state = State::Closed;
        break;
    case IOHandler::LinkWaiting:
        link.state = State::Waiting;
        link.awaits = IOHandler::deviceFromVariant(var).conType == IOHandler::TcpClient
                          ? Awaits::Peer
                          : Awaits::Port;
        break;
    default:
        break;
    }
}
