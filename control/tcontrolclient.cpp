#include "control/tcontrolclient.h"

#include "control/tcontrolcommands.h"

#include <QDebug>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTimer>

TControlClient::TControlClient(QLocalSocket *socket, TControlCommands &commands, QObject *parent)
    : QObject(parent), socket(socket), commands(commands)
{
    socket->setParent(this);
    connect(socket, &QLocalSocket::readyRead, this, &TControlClient::onReadyRead);
    connect(socket, &QLocalSocket::disconnected, this, &TControlClient::drop);
}

void TControlClient::onReadyRead()
{
    while (socket && socket->bytesAvailable() > 0) {
        buffer += socket->read(maxLine);
        int end = -1;
        while (socket && (end = buffer.indexOf('\n')) >= 0) {
            const QByteArray line = buffer.left(end);
            buffer.remove(0, end + 1);
            if (input == Input::SkippingLine)
                input = Input::Lines;
            else
                handle(line);
        }
        if (buffer.size() > maxLine) {
            if (input == Input::Lines)
                send(TControlCommands::error(
                    QStringLiteral("a line is at most %1 bytes; this one is skipped")
                        .arg(maxLine)));
            input = Input::SkippingLine;
            buffer.clear();
        }
    }
}

void TControlClient::handle(const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    const TControlCommands::Answer answer = commands.answerLine(line);
    sendText(answer.text);
    const int every = answer.watchSeconds;
    if (every < 0)
        return;
    watch = Watch::On;
    delete counters;
    counters = nullptr;
    if (every == 0)
        return;
    counters = new QTimer(this);
    connect(counters, &QTimer::timeout, this, &TControlClient::sendCounters);
    counters->start(every * 1000);
}

void TControlClient::sendCounters()
{
    sendText("{\"event\":\"stats\",\"links\":" + commands.linksText() + '}');
}

void TControlClient::send(const QJsonObject &object)
{
    sendText(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void TControlClient::sendText(const QByteArray &text)
{
    if (!socket)
        return;
    socket->write(text + '\n');
    // Now, not on the loop's next pass: under a swarm that pass may come
    // only after the link threads have had the CPU.
    socket->flush();
    // A peer gone meanwhile has dropped this client already.
    if (socket && socket->bytesToWrite() > maxPending) {
        qDebug() << "control: a client that reads nothing is dropped";
        drop();
    }
}

void TControlClient::drop()
{
    if (!socket)
        return;
    QLocalSocket *gone = socket;
    socket = nullptr;
    gone->abort();
    emit this->gone(this);
    deleteLater();
}
