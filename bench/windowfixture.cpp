#include "windowfixture.h"

#include "config/tlinksettings.h"
#include "config/tlinksettingsfile.h"
#include "link/iohandler.h"
#include "link/tlinkmanager.h"
#include "link/tlinkthread.h"
#include "session/tapp.h"
#include "ui/kit/tpushbutton.h"
#include "ui/tformsettings.h"
#include "ui/tmainwidget.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <thread>

namespace bench {

namespace {
TLinkSettings unicast(std::uint16_t local, std::uint16_t peer)
{
    TLinkSettings v = TLinkSettings::defaults();
    v.conType = TLinkSettings::kindWord(IOHandler::UdpUnicast);
    v.localIp = v.remoteIp = QStringLiteral("127.0.0.1");
    v.localPort = QString::number(local);
    v.remotePort = QString::number(peer);
    return v;
}
} // namespace

WindowFixture::WindowFixture()
{
    TLinkThread::preferPlainEventLoops();
    worker = TApp::startWorkerThread();
}

WindowFixture::~WindowFixture()
{
    TLinkManager::instance()->shutdownAll();
    window.reset();
    TApp::stopWorkerThread(worker);
}

bool WindowFixture::setUp(int n)
{
    const QString path = dir.filePath(QStringLiteral("app.ini"));
    {
        // The peers first, then the links' ports, all held at once: ports
        // chosen one by one and let go may come back twice, or as a peer's.
        for (int i = 0; i < n; ++i)
            vehicles.push_back(std::make_unique<UdpPeer>());
        std::vector<std::unique_ptr<UdpPeer>> held;
        for (int i = 0; i <= n; ++i)
            held.push_back(std::make_unique<UdpPeer>());
        gcsLocalPort = held[0]->port();
        for (int i = 0; i < n; ++i)
            vehicleLocalPorts.push_back(held[std::size_t(i) + 1]->port());
        held.clear();
        QSettings file(path, QSettings::IniFormat);
        TLinkSettingsFile::write(file, QStringLiteral("Connect"),
                                 unicast(gcsLocalPort, gcsPeer.port()));
        for (int i = 0; i < n; ++i)
            TLinkSettingsFile::write(
                file, QStringLiteral("Con%1").arg(i),
                unicast(vehicleLocalPorts[std::size_t(i)], vehicles[std::size_t(i)]->port()));
        file.setValue(QStringLiteral("Window/Vehicles"), n);
    }
    TFormSettings::setPath(path);
    window = std::make_unique<TMainWidget>();
    window->show();
    emit window->connectAllButton()->released();
    QElapsedTimer waited;
    waited.start();
    const auto allOpen = [this] {
        for (int id : window->relay().linkIds())
            if (window->relay().states().stateOf(id) != TLinkStates::State::Open)
                return false;
        return true;
    };
    while (!allOpen() && waited.elapsed() < 10000) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    for (int id : window->relay().linkIds())
        if (window->relay().states().stateOf(id) != TLinkStates::State::Open) {
            std::fprintf(stderr, "window: link %d is %s: %s\n", id,
                         qPrintable(TLinkStates::name(window->relay().states().stateOf(id))),
                         qPrintable(window->relay().figures(id).lastError));
            return false;
        }
    return true;
}

TrafficResult WindowFixture::run(TrafficRun &traffic, double rate, double seconds, int payload)
{
    TrafficResult result;
    serve([&] { result = traffic.run(rate, seconds, payload); });
    return result;
}

void WindowFixture::serve(const std::function<void()> &work)
{
    std::atomic<bool> done{false};
    std::thread runner([&] {
        work();
        done = true;
    });
    // The window's thread sleeps in its event loop as in the program.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    runner.join();
}

} // namespace bench
