#include "socatrelays.h"

#include "procstats.h"
#include "udppeer.h"

#include <QStandardPaths>
#include <QThread>

namespace bench {

bool SocatRelays::start(const std::vector<std::uint16_t> &destinations)
{
    for (std::uint16_t dest : destinations) {
        const std::uint16_t port = freeLoopbackPort();
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral("socat"),
                       {QStringLiteral("-u"),
                        QStringLiteral("UDP4-RECV:%1,bind=127.0.0.1,rcvbuf=4194304").arg(port),
                        QStringLiteral("UDP4-SENDTO:127.0.0.1:%1").arg(dest)});
        if (!process->waitForStarted(3000))
            return false;
        processes.push_back(std::move(process));
        ports.push_back(port);
    }
    QThread::msleep(300); // let every socat bind before traffic starts
    return true;
}

unsigned long long SocatRelays::cpuNs() const
{
    unsigned long long total = 0;
    for (const auto &p : processes)
        total += processCpuNsOf(long(p->processId()));
    return total;
}

SocatRelays::~SocatRelays()
{
    for (auto &p : processes) {
        p->kill();
        p->waitForFinished(3000);
    }
}

bool haveSocat()
{
    return !QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty();
}

} // namespace bench
