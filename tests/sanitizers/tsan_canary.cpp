// Proves that the ThreadSanitizer settings of scripts/sanitize.sh still see
// our own races: with Qt left uninstrumented and its own memory operations
// ignored, a counter that a slot bumps in another thread while the main
// thread reads it must still be reported ("race"), and the same counter
// under a std::mutex must not be ("locked").

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {
int counter = 0;
std::mutex counterMutex;
bool locked = false;

void bump()
{
    if (locked) {
        const std::lock_guard<std::mutex> guard(counterMutex);
        ++counter;
    } else {
        ++counter;
    }
}

int read()
{
    if (!locked)
        return counter;
    const std::lock_guard<std::mutex> guard(counterMutex);
    return counter;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2 || (std::strcmp(argv[1], "race") != 0 && std::strcmp(argv[1], "locked") != 0)) {
        std::fprintf(stderr, "usage: %s race|locked\n", argv[0]);
        return 2;
    }
    locked = std::strcmp(argv[1], "locked") == 0;

    // A timer in a thread of its own, as a link polls in its thread.
    QThread worker;
    auto *timer = new QTimer;
    timer->setInterval(1);
    timer->moveToThread(&worker);
    QObject::connect(timer, &QTimer::timeout, timer, &bump);
    QObject::connect(&worker, &QThread::started, timer, [timer] { timer->start(); });
    QObject::connect(&worker, &QThread::finished, timer, &QObject::deleteLater);
    worker.start();
    int seen = 0;
    for (int i = 0; i < 100 && seen < 5; ++i) {
        QThread::msleep(2);
        seen = read();
    }
    worker.quit();
    worker.wait();
    std::printf("slot ran %d times\n", read());
    return seen > 0 ? 0 : 1;
}
