// The location of differing blocks: for each block that differs, a rendering of ours equal to
// it byte for byte, found elsewhere (another placement, other phases, another view of the plane,
// the block rearranged, or another call's block), and for each group the relation between where
// its blocks were found and where ours lie.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "groups.h"
#include "relations.h"

// Where one differing block came from.
struct block_location {
  size_t case_index = 0;
  std::optional<block_source> source;  // a rendering of ours equal to the port's block
  std::optional<size_t> other_case;    // or the block of another call, whose case this is
  int relation = -1;                   // its group's story, where it holds for this block
};

// A group's story: the relation that holds for the most of its located blocks.
struct group_location {
  size_t located = 0;                   // differing blocks located
  std::optional<std::string> relation;  // the words of the one relation that covers them all
  // The ways to say it, of every story that covers as many; the check says the one most groups
  // share.
  std::vector<std::string> relation_choices;
  // The relations that can tell nothing of the group: every source they give lies outside the
  // plane.
  std::vector<std::string> unknowable;
  size_t covered = 0;         // blocks the story covers
  std::vector<size_t> facts;  // where none covers them: a few located blocks (indices into
                              // the locations) to tell of
};

struct location_report {
  std::vector<block_location> blocks;  // one per differing block, in set order
  std::vector<group_location> groups;  // one per group of the report, in its order
};

// Locates every differing block of the comparison, the groups as group_blocks made them.
location_report locate_blocks(const check_set& set, const comparison& compared,
                              const std::vector<group_report>& groups);

// Whether `source` renders, in its picture's view, to the port's block of case `i`.
bool source_gives(const check_set& set, const comparison& compared, size_t i,
                  const block_source& source);
