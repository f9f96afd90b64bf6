#include "coverage.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>

namespace {

constexpr clamp_state states[] = {clamp_state::none, clamp_state::low, clamp_state::high};

struct counts {
  size_t non_negative = 0, negative = 0;
};

std::string cell_text(const counts& c) {
  return std::to_string(c.non_negative) + "+" + std::to_string(c.negative);
}

}  // namespace

bool partly_checked(const check_set& set, const comparison& compared) {
  return compared.checked > 0 && compared.checked < set.cases.size();
}

coverage_summary summarize_coverage(const check_set& set, const comparison* compared) {
  std::set<std::pair<int, int>> pairs;
  std::set<block_path> paths;
  std::set<std::string> clamps;
  coverage_summary c;
  const bool only_read = compared && partly_checked(set, *compared);
  for (size_t i = 0; i < set.cases.size(); ++i) {
    if (only_read && compared->outcomes[i].state != file_state::read) continue;
    const check_case& k = set.cases[i];
    const group_key key = group_of(k.call);
    pairs.insert({key.phase[0], key.phase[1]});
    paths.insert(key.path);
    for (int a = 0; a < 2; ++a) {
      if (key.clamp[a] == clamp_state::none) continue;
      clamps.insert(std::string(a == axis_h ? "h " : "v ") + clamp_name(key.clamp[a]));
    }
    c.negative |= key.negative;
  }
  for (const block_path p :
       {block_path::copy, block_path::horizontal, block_path::vertical, block_path::two_d}) {
    (paths.count(p) ? c.paths : c.paths_never).push_back(p);
  }
  for (int h = 0; h < 4; ++h) {
    for (int v = 0; v < 4; ++v)
      (pairs.count({h, v}) ? c.phase_pairs : c.phase_pairs_never).push_back({h, v});
  }
  for (const char* clamp : {"h low", "h high", "v low", "v high"}) {
    (clamps.count(clamp) ? c.clamps : c.clamps_never).push_back(clamp);
  }
  return c;
}

namespace {

// How often a set's calls meet each thing the coverage table lists.
struct coverage_counts {
  std::map<std::tuple<block_path, int, int, clamp_state, clamp_state>, counts> cells;
  size_t at_bound[path_count][4] = {};  // [path][h low, h high, v low, v high]
  size_t negative_phase[2][4] = {};     // [axis][-mv] for mv = -1, -2, -3
  size_t far = 0, extreme = 0;
  size_t overflowing[2] = {};  // [axis]: positions whose 4 x + mv leaves 32 bits
  size_t apart = 0;            // vectors whose components' whole parts differ
  size_t vectors = 0;
  std::map<std::pair<bool, bool>, size_t> corners;  // a copy at the (low, high) end of each axis
};

// A copy at a corner of the area it may read: columns and rows -16 ... size - 32 from its origin,
// the rows as many as the plane has.
void count_corners(const check_set& set, const check_case& c, const placement& where,
                   coverage_counts* n) {
  const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
  const int64_t rows = static_cast<int64_t>(plane.size() / 3) / c.call.stride;
  const int64_t ends[2] = {c.call.stride - 32, rows - 32};
  for (const bool right : {false, true}) {
    for (const bool bottom : {false, true}) {
      n->corners[{right, bottom}] += where.whole[axis_h] == (right ? ends[axis_h] : -16) &&
                                     where.whole[axis_v] == (bottom ? ends[axis_v] : -16);
    }
  }
}

coverage_counts count_coverage(const check_set& set) {
  coverage_counts n;
  for (const check_case& c : set.cases) {
    const group_key k = group_of(c.call);
    counts& cell = n.cells[{k.path, k.phase[0], k.phase[1], k.clamp[0], k.clamp[1]}];
    ++(k.negative ? cell.negative : cell.non_negative);
    const placement where = place(c.call);
    if (k.path == block_path::copy) count_corners(set, c, where, &n);
    const int32_t mv[2] = {c.call.mvx, c.call.mvy};
    const int32_t position[2] = {c.call.x, c.call.y};
    ++n.vectors;
    n.apart += (mv[axis_h] >> 2) != (mv[axis_v] >> 2);
    for (const int a : {axis_h, axis_v}) {
      const int64_t quarters = 4 * int64_t{position[a]} + mv[a];
      n.overflowing[a] += quarters < INT32_MIN || quarters > INT32_MAX;
      if (mv[a] < 0 && mv[a] >= -3) ++n.negative_phase[a][-mv[a]];
      n.far += mv[a] / 4 > (1 << 20) || mv[a] / 4 < -(1 << 20);
      n.extreme += mv[a] == INT32_MIN || mv[a] == INT32_MAX;
      if (k.path == block_path::copy || k.clamp[a] != clamp_state::none) continue;
      size_t* at = n.at_bound[static_cast<int>(k.path)];
      at[2 * a] += where.whole[a] == clamp_low(c.call, a);
      at[2 * a + 1] += where.whole[a] == clamp_high(c.call, a);
    }
  }
  return n;
}

// For each path and phase pair, the vectors in each pair of clamp states.
void write_cells(const coverage_counts& n, std::FILE* to) {
  std::fprintf(to,
               "vectors per path, phase pair and clamp state (horizontal/vertical), as "
               "non-negative + negative vectors:\n%-23s",
               "path and phases");
  for (const clamp_state h : states) {
    for (const clamp_state v : states) {
      std::fprintf(to, " %10s", (std::string(clamp_name(h)) + "/" + clamp_name(v)).c_str());
    }
  }
  std::fprintf(to, "\n");
  for (const block_path p : every_path) {
    for (int hx = 0; hx < 4; ++hx) {
      for (int vy = 0; vy < 4; ++vy) {
        if (path_of(hx, vy) != p) continue;
        group_key key;
        key.path = p;
        key.phase[0] = hx;
        key.phase[1] = vy;
        std::fprintf(to, "%-23s", path_and_phases(key).c_str());
        for (const clamp_state cx : states) {
          for (const clamp_state cy : states) {
            // A copy is never clamped.
            const bool possible =
                p != block_path::copy || (cx == clamp_state::none && cy == clamp_state::none);
            const auto cell = n.cells.find({p, hx, vy, cx, cy});
            const counts c = cell == n.cells.end() ? counts{} : cell->second;
            std::fprintf(to, " %10s", possible ? cell_text(c).c_str() : "-");
          }
        }
        std::fprintf(to, "\n");
      }
    }
  }
}

// The positions at the clamp's bounds and beyond the picture, and the vectors at the edges of
// what the routine's arithmetic meets.
void write_edges(const coverage_counts& n, std::FILE* to) {
  std::fprintf(to, "exactly at a bound, not clamped: h -15, h stride - 2, v -15, v height - 2\n");
  for (const block_path p : {block_path::horizontal, block_path::vertical, block_path::two_d}) {
    const size_t* at = n.at_bound[static_cast<int>(p)];
    std::fprintf(to, "  %-10s %zu, %zu, %zu, %zu\n", path_name(p), at[0], at[1], at[2], at[3]);
  }
  const auto& neg = n.negative_phase;
  std::fprintf(to, "negative vectors -1, -2, -3: mvx %zu, %zu, %zu; mvy %zu, %zu, %zu\n", neg[0][1],
               neg[0][2], neg[0][3], neg[1][1], neg[1][2], neg[1][3]);
  std::fprintf(to, "whole parts beyond 2^20 pixels: %zu; components at a 32-bit extreme: %zu\n",
               n.far, n.extreme);
  std::fprintf(to,
               "positions whose quarter pixels, 4 x + mv, overflow 32 bits: x %zu, y %zu; vectors "
               "whose components' whole parts differ: %zu of %zu\n",
               n.overflowing[axis_h], n.overflowing[axis_v], n.apart, n.vectors);
  const auto corner = [&](bool right, bool bottom) {
    const auto found = n.corners.find({right, bottom});
    return found == n.corners.end() ? size_t{0} : found->second;
  };
  std::fprintf(to,
               "copies at the corners of the area a copy may read, (-16, -16), (stride - 32, "
               "-16), (-16, rows - 32), (stride - 32, rows - 32): %zu, %zu, %zu, %zu\n",
               corner(false, false), corner(true, false), corner(false, true), corner(true, true));
}

}  // namespace

void write_coverage_counts(const check_set& set, std::FILE* to) {
  const coverage_counts n = count_coverage(set);
  write_cells(n, to);
  write_edges(n, to);
}
