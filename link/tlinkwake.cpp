#include "link/tlinkwake.h"

#include <QDebug>
#include <QSocketNotifier>

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

TLinkWake::TLinkWake() : fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (fd < 0)
        qWarning() << "link wake: no eventfd:" << qt_error_string(errno);
}

TLinkWake::~TLinkWake()
{
    notifier.reset();
    if (fd >= 0)
        ::close(fd);
}

void TLinkWake::attach(QObject *owner, std::function<void()> h)
{
    if (notifier || fd < 0)
        return;
    handler = std::move(h);
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read, owner);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, owner, [this] { onWoken(); });
}

void TLinkWake::wake()
{
    const std::uint64_t one = 1;
    // Only a full counter (2^64 - 2 wakes unread) refuses a write, and a
    // wake is already pending then.
    if (::write(fd, &one, sizeof one) < 0 && errno != EAGAIN)
        qDebug() << "link wake: write failed:" << qt_error_string(errno);
}

void TLinkWake::onWoken()
{
    std::uint64_t count = 0;
    if (::read(fd, &count, sizeof count) < 0)
        return;
    handler();
}
