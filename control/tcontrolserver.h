#pragma once

#include "control/tcontrolcommands.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QVariant>

class QLocalServer;
class TControlClient;
class TRelaySession;

// The control socket: a Unix socket only its owner may use (whoever can
// write it can redirect every link), with one TControlClient per
// connection. Watching clients get every link event and every change to
// the session's rows, whoever made it.
class TControlServer : public QObject
{
    Q_OBJECT
public:
    TControlServer(TRelaySession &session, const QString &configPath, QObject *parent = nullptr);
    // Closing removes the socket file.
    ~TControlServer() override;

    // False with the reason: another relay answers at `path`, or no socket
    // can be made there. A socket nobody answers on is replaced.
    bool listen(const QString &path, QString &error);
    QString path() const;
    int clientCount() const { return clients.size(); }

private:
    void onNewConnection();
    void onLinkEvent(int event, int id, const QVariant &var);
    void onRow(const QString &event, int id);
    void broadcast(const QJsonObject &object);

    TRelaySession &session;
    TControlCommands commands;
    QLocalServer *server;
    QList<TControlClient *> clients;
};
