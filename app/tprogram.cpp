#include "app/tprogram.h"

#include "app/tapp.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "ui/tmainwidget.h"

#include <QApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

bool TProgram::displayAvailable()
{
    const auto set = [](const char *name) {
        const char *v = std::getenv(name);
        return v && *v;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

int TProgram::run(int &argc, char **argv, const ShownHook &onShown)
{
    // Qt's own message for a missing display is cryptic; say what to do instead.
    if (!displayAvailable()) {
        std::fprintf(stderr, "uav-sim-relay: no display found (DISPLAY is not set).\n"
                             "Run it on a desktop, or without one under a virtual display:\n"
                             "  xvfb-run -a uav-sim-relay\n"
                             "  QT_QPA_PLATFORM=offscreen uav-sim-relay\n");
        return 2;
    }

    QApplication app(argc, argv);
    // After the GUI thread has its dispatcher, before any link thread.
    IOHandler::preferPlainEventLoops();
    QThread *worker = TApp::startWorkerThread();

    int result = 0;
    {
        TMainWidget window;
        window.show();
        if (onShown)
            onShown(&window);
        result = app.exec();
        // Nothing may run in another thread once main() returns: every link
        // is stopped (timer, device, thread) while the window still exists.
        TLinkManager::instance()->shutdownAll();
    }
    TApp::stopWorkerThread(worker);
    return result;
}
