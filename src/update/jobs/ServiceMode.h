// What the server's switch said of the service, asked once a run.
#pragma once

#include <cstdint>

// serviceMode values.
inline constexpr std::uint8_t serviceNotChecked = 0;
inline constexpr std::uint8_t serviceOff = 1;
inline constexpr std::uint8_t serviceOn = 255;
