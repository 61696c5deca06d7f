// Timer: ticks only while enabled with an interval, and stops when disabled.
#include "platform/runtime/Timer.h"

#include "platform/runtime/Events.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

// Delivers events until `done` or a generous bound; the bound only keeps a
// broken timer from hanging the run.
bool PumpUntil(const std::function<bool()>& done) {
    QElapsedTimer bound;
    bound.start();
    QTimer guard;
    guard.start(20);
    WaitUntil([&] { return done() || bound.hasExpired(10000); });
    return done();
}

// Lets a few more ticks' worth of events through.
void PumpFor(int milliseconds) {
    bool over = false;
    QTimer::singleShot(milliseconds, [&] { over = true; });
    WaitUntil([&] { return over; });
}

} // namespace

TEST(TimerTest, TicksWhileEnabledAndStopsWhenDisabled) {
    Timer timer;
    int ticks = 0;
    timer.onTimer = [&] {
        if (++ticks == 3)
            timer.SetEnabled(false); // a handler may stop its own timer
    };
    timer.SetInterval(5);
    EXPECT_FALSE(timer.Enabled());
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    PumpFor(40);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer.Enabled());
}

TEST(TimerTest, DisabledOrZeroIntervalNeverTicks) {
    Timer disabled;
    Timer zero;
    int ticks = 0;
    disabled.onTimer = zero.onTimer = [&] { ++ticks; };
    disabled.SetInterval(5);
    zero.SetEnabled(true);
    PumpFor(40);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(zero.Enabled());
    EXPECT_EQ(disabled.Interval(), 5);
}
