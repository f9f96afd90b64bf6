// The search of a view of a plane for blocks: every placement its plane holds, at every phase
// pair, rendered once as a whole picture (away from the clamp every filter is shift-invariant),
// its windows' first rows hashed as they roll by and the few that hash as a target's compared
// whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "views.h"

// A block to look for: the bytes a rendering of ours must hold, and the placement of ours it
// stands for, by which matches are ranked (nearest first).
struct scan_target {
  const uint8_t* bytes;  // block_bytes
  placement ours;
};

struct scan_match {
  size_t target;
  block_source source;  // written as_written: a target rearranged is a target of its own
};

// The matches of each target in `plane`, at most `most` per target, the nearest to its `ours`
// kept (whole-pixel distance, other phases farther than any).
std::vector<scan_match> scan_view(const view_plane& plane, const std::vector<scan_target>& targets,
                                  size_t most);
