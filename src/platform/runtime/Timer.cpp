#include "platform/runtime/Timer.h"

Timer::Timer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTimer)
            onTimer();
    });
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    Apply();
}

void Timer::SetInterval(int milliseconds) {
    interval_ = milliseconds < 0 ? 0 : milliseconds;
    Apply();
}

void Timer::Apply() {
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}
