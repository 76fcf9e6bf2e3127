// What a vehicle row of the real window costs: resident memory and the time
// to build the window, for 1 and for 1 + N vehicle rows, each in a process
// of its own so that neither inherits the other's heap.
//
//   relay-window [rows=200]

#include "benchclock.h"
#include "procstats.h"
#include "relayharness.h"

#include "link/tlinkmanager.h"
#include "session/tapp.h"
#include "ui/tmainwidget.h"
#include "ui/trowlist.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace bench;

namespace {

// In the child: builds and shows a window of `rows` vehicles in an empty
// directory and prints "<build ms> <resident KiB>".
int measure(int rows)
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QDir().mkpath(QStringLiteral("cfg"));
    {
        QSettings file(QStringLiteral("cfg/app.ini"), QSettings::IniFormat);
        file.setValue(QStringLiteral("Window/Vehicles"), rows);
    }
    QThread *worker = TApp::startWorkerThread();
    const std::uint64_t start = monotonicNs();
    {
        TMainWidget window;
        window.show();
        QApplication::processEvents();
        const double ms = double(monotonicNs() - start) / 1e6;
        QThread::msleep(300);
        QApplication::processEvents();
        const long kib = rssKiB();
        // Scrolling: the rows' list a page at a time from top to bottom,
        // each page painted before the next.
        QScrollBar *bar = window.vehicleRowList()->verticalScrollBar();
        int pages = 0;
        const std::uint64_t scrollStart = monotonicNs();
        for (int at = 0; at <= bar->maximum(); at += qMax(1, bar->pageStep()), ++pages) {
            bar->setValue(at);
            window.vehicleRowList()->viewport()->repaint();
        }
        const double pageMs = double(monotonicNs() - scrollStart) / 1e6 / qMax(1, pages);
        std::printf("%.0f %ld %.2f\n", ms, kib, pageMs);
        std::fflush(stdout);
        TLinkManager::instance()->shutdownAll();
    }
    TApp::stopWorkerThread(worker);
    return 0;
}

bool child(const char *self, int rows, double &ms, long &kib, double &pageMs)
{
    QProcess process;
    process.start(QString::fromLocal8Bit(self), {QStringLiteral("--child"), QString::number(rows)});
    if (!process.waitForFinished(120000))
        return false;
    return std::sscanf(process.readAllStandardOutput().constData(), "%lf %ld %lf", &ms, &kib,
                       &pageMs) == 3;
}

} // namespace

int main(int argc, char *argv[])
{
    RelayHarness::prepareProcess();
    QApplication app(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0)
        return measure(std::atoi(argv[2]));
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200;
    double ms1 = 0, msN = 0, page1 = 0, pageN = 0;
    long kib1 = 0, kibN = 0;
    if (!child(argv[0], 1, ms1, kib1, page1) || !child(argv[0], 1 + rows, msN, kibN, pageN)) {
        std::printf("a measuring process failed\n");
        return 1;
    }
    std::printf("| window | 1 row | %d rows | per row |\n|---|---|---|---|\n", 1 + rows);
    std::printf("| built and shown | %.0f ms | %.0f ms | %.2f ms |\n", ms1, msN,
                (msN - ms1) / rows);
    std::printf("| resident | %ld KiB | %ld KiB | %.0f KiB |\n", kib1, kibN,
                double(kibN - kib1) / rows);
    std::printf("| a page scrolled and painted | %.2f ms | %.2f ms | |\n", page1, pageN);
    return 0;
}
