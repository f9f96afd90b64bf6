// The taps of the four phases as constants, for the sources that build tables of them at compile
// time; filter_taps, the interface's table, holds the same numbers.
#pragma once

#include <cstdint>

inline constexpr int32_t tap_values[4][4] = {
    {0, 128, 0, 0},
    {-7, 105, 35, -5},
    {-8, 72, 72, -8},
    {-5, 35, 105, -7},
};
