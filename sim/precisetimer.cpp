// The paced line's timer (see precisetimer.h): a timerfd watched by the event loop on Linux.
#include "precisetimer.h"

#include <QSocketNotifier>
#include <algorithm>
#include <unistd.h>
#ifdef __linux__
#include <sys/timerfd.h>
#endif

TPreciseTimer::TPreciseTimer(std::function<void()> onTimeout, QObject *parent)
    : QObject(parent), OnTimeout(std::move(onTimeout))
{
#ifdef __linux__
    Fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (Fd >= 0) {
        Notifier = new QSocketNotifier(Fd, QSocketNotifier::Read, this);
        connect(Notifier, &QSocketNotifier::activated, this, [this] {
            uint64_t expirations = 0;
            if (::read(Fd, &expirations, sizeof expirations) == sizeof expirations)
                Fire();
        });
        return;
    }
#endif
    Fallback.setSingleShot(true);
    Fallback.setTimerType(Qt::PreciseTimer);
    connect(&Fallback, &QTimer::timeout, this, &TPreciseTimer::Fire);
}

TPreciseTimer::~TPreciseTimer()
{
    if (Fd >= 0) {
        Notifier->setEnabled(false);
        ::close(Fd);
    }
}

void TPreciseTimer::Start(int64_t delayNs)
{
    Active = true;
#ifdef __linux__
    if (Fd >= 0) {
        // A zero time would disarm the timer instead of firing it.
        const int64_t ns = std::max<int64_t>(delayNs, 1);
        itimerspec due{};
        due.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        due.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
        ::timerfd_settime(Fd, 0, &due, nullptr);
        return;
    }
#endif
    // Whole milliseconds, rounded up: never early.
    Fallback.start(static_cast<int>(delayNs <= 0 ? 0 : (delayNs + 999999) / 1000000));
}

void TPreciseTimer::Fire()
{
    Active = false;
    if (OnTimeout)
        OnTimeout();
}
