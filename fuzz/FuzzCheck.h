// What a fuzz target asserts: a broken promise ends the run as a finding.
#pragma once

#include <cstdlib>

inline void Check(bool condition) {
    if (!condition)
        std::abort();
}
