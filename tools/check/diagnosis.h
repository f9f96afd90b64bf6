// Which of the faults that ports of the routine commonly have reproduce a group's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "groups.h"

// Every named fault that gives every byte of every compared block of `group` exactly, the equal
// bytes as well as the differing ones; but for bytes that a port with the fault would read from
// outside the plane, which could be anything. Most faults are tried by rendering, each stopping
// at its first disagreement; the offsets of the last rounding are worked out from the sums.
// Where no single fault does, every pair of faults that set different switches is tried, if
// `pairs`.
std::vector<diagnosed_fault> diagnose(const check_set& set, const comparison& compared,
                                      const group_report& group, bool pairs = true);

// By how many places the files are shifted, if every file compared holds the block of the case
// that many before it in the set (1 <= |by| <= 8), and that explains some difference: a port
// that numbered its files one off.
std::optional<int> shifted_files(const check_set& set, const comparison& compared);

// Narrows [*low, *high] to the offsets o for which clamp((sum + o) >> shift) is `found`.
void narrow_rounding(int64_t sum, int shift, int found, int64_t* low, int64_t* high);

// The faults diagnose() tries by rendering on a group of this key.
std::vector<diagnosed_fault> rendered_faults(const group_key& key);
