#pragma once

#include <functional>

class TMainWidget;

// The whole program as main() runs it: the command line, then either the
// relay without a window, or the display check, QApplication, the
// application object's worker thread, the main window, the event loop and
// an orderly shutdown. A separate class so that tests can run the very same
// path in a child process.
class TProgram
{
public:
    // Called once the window is shown, before the event loop runs; main()
    // passes none. Tests use it to drive the real window.
    using ShownHook = std::function<void(TMainWidget *window)>;

    // Returns the process exit code: 2 for a usage error or, for the
    // window, without a display; else exec()'s.
    static int run(int &argc, char **argv, const ShownHook &onShown = ShownHook());

    // For the relay without a window: stop signals are caught from here
    // on. Safe before any static object exists.
    static void catchStopsEarly(int argc, char **argv);

    // True when some Qt platform can be reached (QT_QPA_PLATFORM, DISPLAY or
    // WAYLAND_DISPLAY set and not empty).
    static bool displayAvailable();
};
