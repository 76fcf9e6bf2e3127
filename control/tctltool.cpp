#include "control/tctltool.h"

#include "config/trunoptions.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <cstdio>

namespace {
void print(std::FILE *to, const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), to);
    std::fflush(to);
}

// A value typed on the command line as JSON would carry it: whole numbers
// and true/false as such, anything else as text.
QJsonValue typed(const QString &text)
{
    bool number = false;
    const qint64 value = text.toLongLong(&number);
    if (number)
        return double(value);
    if (text == QLatin1String("true") || text == QLatin1String("false"))
        return text == QLatin1String("true");
    return text;
}

int failed(const QString &line, int code)
{
    print(stderr, QStringLiteral("uav-sim-relay ctl: ") + line);
    if (code == TRunOptions::usageExitCode)
        print(stderr, TCtlTool::usage());
    return code;
}
} // namespace

QString TCtlTool::usage()
{
    return QStringLiteral(
        "Usage: uav-sim-relay ctl [--control PATH] COMMAND [KEY=VALUE ...]\n"
        "Commands: list, add, remove, open, close, set, reset, capture, radio, watch.\n"
        "  ctl add LocalPort=7010 RemotePort=9010    ctl open link=uav3    ctl open link=all\n"
        "  ctl set link=uav3 RemotePort=9100    ctl reset link=all    ctl watch every=5\n"
        "  ctl radio file=radio.json    ctl radio    (off)\n"
        "  ctl radio from=uav1 to='*' profile='delay 50ms loss 2%'    (one rule, and seed=N)\n"
        "PATH defaults to ./relay.sock.");
}

int TCtlTool::run(const QStringList &arguments)
{
    QString path = QStringLiteral("./relay.sock");
    QJsonObject request;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            print(stdout, usage());
            return 0;
        }
        if (a == QLatin1String("--control")) {
            if (++i == arguments.size())
                return failed(QStringLiteral("--control needs a PATH"), TRunOptions::usageExitCode);
            path = arguments.at(i);
        } else if (a.startsWith(QLatin1String("--control="))) {
            path = a.mid(10);
        } else if (!request.contains(QStringLiteral("cmd"))) {
            if (a.startsWith(QLatin1Char('-')) || a.contains(QLatin1Char('=')))
                return failed(QStringLiteral("'%1' is no command").arg(a),
                              TRunOptions::usageExitCode);
            request.insert(QStringLiteral("cmd"), a);
        } else {
            const int equals = a.indexOf(QLatin1Char('='));
            if (equals <= 0)
                return failed(QStringLiteral("'%1' is not KEY=VALUE").arg(a),
                              TRunOptions::usageExitCode);
            request.insert(a.left(equals), typed(a.mid(equals + 1)));
        }
    }
    if (!request.contains(QStringLiteral("cmd")))
        return failed(QStringLiteral("no command given"), TRunOptions::usageExitCode);

    QLocalSocket socket;
    socket.connectToServer(QFileInfo(path).absoluteFilePath());
    if (!socket.waitForConnected(3000))
        return failed(QStringLiteral("no relay at %1: %2").arg(path, socket.errorString()), 1);
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    const bool watch = request.value(QStringLiteral("cmd")).toString() == QLatin1String("watch");
    int code = -1;
    while (true) {
        while (!socket.canReadLine()) {
            if (socket.state() != QLocalSocket::ConnectedState || !socket.waitForReadyRead(-1)) {
                if (code < 0)
                    return failed(QStringLiteral("the relay at %1 went away").arg(path), 1);
                return code;
            }
        }
        const QByteArray line = socket.readLine().trimmed();
        print(stdout, QString::fromUtf8(line));
        if (code < 0)
            code =
                QJsonDocument::fromJson(line).object().value(QStringLiteral("ok")).toBool() ? 0 : 1;
        if (!watch || code != 0)
            return code;
    }
}
