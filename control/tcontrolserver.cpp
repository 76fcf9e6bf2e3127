#include "control/tcontrolserver.h"

#include "control/tcontrolclient.h"
#include "link/iohandler.h"
#include "link/tendpointtext.h"
#include "link/tlinkevents.h"
#include "link/tlinknames.h"
#include "session/trelaysession.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/stat.h>

TControlServer::TControlServer(TRelaySession &session, const QString &configPath, QObject *parent)
    : QObject(parent), session(session), commands(session, configPath),
      server(new QLocalServer(this))
{
    connect(server, &QLocalServer::newConnection, this, &TControlServer::onNewConnection);
    connect(TLinkEvents::instance(), &TLinkEvents::linkEvent, this, &TControlServer::onLinkEvent);
    connect(&session, &TRelaySession::vehicleAdded, this,
            [this](int id) { onRow(QStringLiteral("added"), id); });
    connect(&session, &TRelaySession::vehicleRemoved, this,
            [this](int id) { onRow(QStringLiteral("removed"), id); });
    connect(&session, &TRelaySession::settingsChanged, this,
            [this](int id) { onRow(QStringLiteral("settings"), id); });
}

TControlServer::~TControlServer()
{
    server->close();
}

QString TControlServer::path() const
{
    return server->fullServerName();
}

bool TControlServer::listen(const QString &name, QString &error)
{
    // A relative name would land in the temporary folder.
    const QString path = QFileInfo(name).absoluteFilePath();
    const QFileInfo existing(path);
    if (existing.exists() || existing.isSymLink()) {
        struct stat info = {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
            error =
                QStringLiteral("control socket %1: a file that is no socket is there").arg(name);
            return false;
        }
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(1000)) {
            error = QStringLiteral("control socket %1: another relay runs there").arg(name);
            return false;
        }
        QLocalServer::removeServer(path);
    }
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        error = QStringLiteral("control socket %1: %2").arg(name, server->errorString());
        return false;
    }
    // Made in a folder of its own first; read and write for the owner only.
    ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR);
    return true;
}

void TControlServer::onNewConnection()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        auto *client = new TControlClient(socket, commands, this);
        clients.append(client);
        connect(client, &TControlClient::gone, this,
                [this](TControlClient *c) { clients.removeOne(c); });
    }
}

void TControlServer::onLinkEvent(int event, int id, const QVariant &var)
{
    QJsonObject object{{QStringLiteral("link"), TLinkNames::shortName(id)}};
    switch (event) {
    case IOHandler::LinkOpened:
        object.insert(QStringLiteral("event"), QStringLiteral("open"));
        object.insert(QStringLiteral("endpoint"),
                      TEndpointText::of(IOHandler::deviceFromVariant(var)));
        break;
    case IOHandler::LinkOpenFailed:
        object.insert(QStringLiteral("event"), QStringLiteral("failed"));
        object.insert(QStringLiteral("reason"), session.states().failureOf(id));
        break;
    case IOHandler::LinkClosed:
        object.insert(QStringLiteral("event"), QStringLiteral("closed"));
        break;
    case IOHandler::LinkWaiting:
        object.insert(QStringLiteral("event"), QStringLiteral("waiting"));
        break;
    case IOHandler::LinkError:
        object.insert(QStringLiteral("event"), QStringLiteral("error"));
        object.insert(QStringLiteral("error"), var.toString());
        break;
    default:
        return;
    }
    broadcast(object);
}

void TControlServer::onRow(const QString &event, int id)
{
    broadcast(
        {{QStringLiteral("event"), event}, {QStringLiteral("link"), TLinkNames::shortName(id)}});
}

void TControlServer::broadcast(const QJsonObject &object)
{
    const QList<TControlClient *> now = clients;
    for (TControlClient *client : now)
        if (client->watching())
            client->send(object);
}
