// A one-shot timer of nanosecond resolution for the paced line: Qt's timers count whole
// milliseconds, which at 57600 baud is almost six character times late at every wait.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

class QSocketNotifier;

class TPreciseTimer : public QObject
{
public:
    explicit TPreciseTimer(std::function<void()> onTimeout, QObject *parent = nullptr);
    ~TPreciseTimer() override;
    // Fires once after delayNs (at once for 0 or less); a new start replaces a pending one.
    void Start(int64_t delayNs);
    bool IsActive() const { return Active; }

private:
    void Fire();

    std::function<void()> OnTimeout;
    int Fd = -1; // a timerfd where the system has one, else the millisecond timer below
    QSocketNotifier *Notifier = nullptr;
    QTimer Fallback;
    bool Active = false;
};
