// SIGINT and SIGTERM reach the event loop instead of killing at once.
#include "console/StopSignals.h"

#include "platform/runtime/Events.h"

#include <QDeadlineTimer>
#include <csignal>
#include <gtest/gtest.h>

TEST(StopSignalsTest, EachStoppingSignalReachesTheLoop) {
    for (const int signal : {SIGINT, SIGTERM}) {
        int seen = 0;
        const StopSignals stop([&seen](int caught) { seen = caught; });
        ASSERT_EQ(std::raise(signal), 0);
        const QDeadlineTimer deadline(5000);
        WaitUntil([&] { return seen != 0 || deadline.hasExpired(); });
        EXPECT_EQ(seen, signal);
    }
}
