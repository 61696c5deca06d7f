// SIGINT and SIGTERM as events of the event loop: the handler only writes the
// signal's number into a socket pair, which the loop reads, so that a command
// under way can end as closing the main window ends it. A second signal of
// the kind kills at once.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

class StopSignals {
public:
    explicit StopSignals(std::function<void(int signal)> onSignal);
    // The signals' default actions come back.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
