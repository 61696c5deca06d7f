// The runtime's Timer control: a tick event every Interval milliseconds while
// Enabled. Ticks are delivered by the event loop, so they also arrive inside
// DoEvents and the waits built on it.
#pragma once

#include <QTimer>
#include <functional>

class Timer {
public:
    Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    bool Enabled() const { return enabled_; }
    // Enabling a running timer leaves its countdown alone; disabling drops a pending tick.
    void SetEnabled(bool enabled);

    int Interval() const { return interval_; }
    // A new interval starts the countdown afresh; 0 stops the ticks but keeps Enabled.
    void SetInterval(int milliseconds);

    // The tick event.
    std::function<void()> onTimer;

private:
    void Apply();

    QTimer timer_;
    bool enabled_ = false;
    int interval_ = 0;
};
