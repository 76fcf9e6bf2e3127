#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

class QLocalSocket;
class QTimer;
class TControlCommands;

// One connection to the control socket: its requests line by line, its
// answers, and once it watches, the events and counters. A line longer
// than maxLine is answered with an error and skipped; a client that stops
// reading is dropped once maxPending bytes wait for it, never waited for.
class TControlClient : public QObject
{
    Q_OBJECT
public:
    TControlClient(QLocalSocket *socket, TControlCommands &commands, QObject *parent = nullptr);

    static constexpr int maxLine = 64 * 1024;
    static constexpr qint64 maxPending = 4 * 1024 * 1024;

    bool watching() const { return watch == Watch::On; }
    // One line to the client; drops it when it has fallen too far behind.
    void send(const QJsonObject &object);

signals:
    // The connection is over; the client deletes itself later.
    void gone(TControlClient *client);

private:
    void onReadyRead();
    void handle(const QByteArray &line);
    void drop();
    void sendCounters();
    // One line, `text` without its newline.
    void sendText(const QByteArray &text);

    enum class Input
    {
        Lines,
        // Within a line too long: everything up to its end is skipped.
        SkippingLine
    };
    enum class Watch
    {
        Off,
        On
    };
    QLocalSocket *socket;
    TControlCommands &commands;
    QByteArray buffer;
    Input input = Input::Lines;
    Watch watch = Watch::Off;
    QTimer *counters = nullptr;
};
