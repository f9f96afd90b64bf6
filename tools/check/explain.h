// --explain: how one byte of one block comes about, step by step.
#pragma once

#include <cstdio>

#include "check.h"

// Prints the derivation of byte (row, pixel, channel) of case `index`: the position and its
// clamp, the source bytes, the taps, each pass's sum and rounding, the expected byte and what
// the file holds, and, where those differ, which faults explain it.
void write_explanation(const check_set& set, const check_report& report, size_t index, int row,
                       int pixel, int channel, std::FILE* to);
