// The shape of every sequence of fetches: started once, ended once with its
// outcome, or let go silently. A job moves on in the transfer engine's ends
// and never waits itself; a window that must block waits until it has ended.
#pragma once

#include "update/net/CallOnce.h"

#include <functional>
#include <utility>

template <typename Outcome> class Job {
public:
    using EndHandler = std::function<void(const Outcome& outcome)>;

    virtual ~Job() = default;

    bool Running() const { return running_; }
    // Lets a job go that has not ended, silently.
    void Cancel() {
        if (!running_)
            return;
        running_ = false;
        onEnd_ = nullptr;
        Stopped();
    }

protected:
    Job() = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    void Begin(EndHandler onEnd) {
        onEnd_ = std::move(onEnd);
        running_ = true;
    }
    // The handler may start the next job, even this one again.
    void End(const Outcome& outcome) {
        running_ = false;
        CallOnce(onEnd_, outcome);
    }
    // What a cancelled job lets go of: its fetch, its files.
    virtual void Stopped() = 0;

private:
    EndHandler onEnd_;
    bool running_ = false;
};
