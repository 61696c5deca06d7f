// What a job leaves the Download menu offering: each offer it decided, and
// none it left alone.
#pragma once

#include <optional>

struct Offers {
    std::optional<bool> vanto;
    std::optional<bool> helpLinks;

    // Takes each offer that `later` decided.
    void Take(const Offers& later) {
        if (later.vanto)
            vanto = later.vanto;
        if (later.helpLinks)
            helpLinks = later.helpLinks;
    }
    // Nothing is offered on words that cannot be vouched for.
    void WithoutVerdict() {
        vanto = false;
        helpLinks = false;
    }
};
