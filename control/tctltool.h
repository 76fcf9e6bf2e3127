#pragma once

#include <QStringList>

// `uav-sim-relay ctl [--control PATH] COMMAND [KEY=VALUE ...]`: one request
// to a running relay's control socket, its answer printed. Exits 0 for an
// ok answer, 1 for an error answer or no relay there, 2 for a usage error;
// `watch` prints what follows until interrupted or the relay ends.
class TCtlTool
{
public:
    // `arguments`: what follows "ctl".
    static int run(const QStringList &arguments);
    static QString usage();
};
