#include "app/tapp.h"
#include "app/version.h"
#include "link/tlinkmanager.h"

#include <QApplication>
#include <QThread>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {
// Qt's own message for a missing display is cryptic; say what to do instead.
bool displayAvailable()
{
    const auto set = [](const char *name) {
        const char *v = std::getenv(name);
        return v && *v;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}
} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "uav-sim-relay: no display found (DISPLAY is not set).\n"
                     "Run it on a desktop, or without one under a virtual display:\n"
                     "  xvfb-run -a uav-sim-relay\n"
                     "  QT_QPA_PLATFORM=offscreen uav-sim-relay\n");
        return 2;
    }

    QApplication app(argc, argv);
    QThread *worker = TApp::startWorkerThread();

    int result = 0;
    {
        QWidget window;
        window.setWindowTitle(versionTitle());
        window.show();
        result = app.exec();
        // Nothing may run in another thread once main() returns.
        TLinkManager::instance()->shutdownAll();
    }
    TApp::stopWorkerThread(worker);
    return result;
}
