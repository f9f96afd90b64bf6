#include "coverage.h"

#include <map>
#include <set>
#include <string>
#include <tuple>

namespace {

constexpr clamp_state states[] = {clamp_state::none, clamp_state::low, clamp_state::high};

struct counts {
  size_t non_negative = 0, negative = 0;
};

std::string cell(const counts& c) {
  return std::to_string(c.non_negative) + "+" + std::to_string(c.negative);
}

}  // namespace

coverage_summary summarize_coverage(const check_set& set) {
  std::set<std::pair<int, int>> pairs;
  std::set<block_path> paths;
  std::set<std::string> clamps;
  coverage_summary c;
  for (const check_case& k : set.cases) {
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

void write_coverage_counts(const check_set& set, std::FILE* to) {
  std::map<std::tuple<block_path, int, int, clamp_state, clamp_state>, counts> cells;
  size_t at_bound[4][4] = {};  // [path][h low, h high, v low, v high]
  size_t negative_phase[2][4] = {}, far = 0, extreme = 0;
  std::map<std::pair<bool, bool>, size_t> corners;  // a copy at the (low, high) end of each axis
  for (const check_case& c : set.cases) {
    const group_key k = group_of(c.call);
    counts& n = cells[{k.path, k.phase[0], k.phase[1], k.clamp[0], k.clamp[1]}];
    ++(k.negative ? n.negative : n.non_negative);
    const placement where = place(c.call);
    const int32_t mv[2] = {c.call.mvx, c.call.mvy};
    const int64_t size[2] = {c.call.stride, c.call.height};
    for (int a = 0; a < 2; ++a) {
      if (mv[a] < 0 && mv[a] >= -3) ++negative_phase[a][-mv[a]];
      far += mv[a] / 4 > (1 << 20) || mv[a] / 4 < -(1 << 20);
      extreme += mv[a] == INT32_MIN || mv[a] == INT32_MAX;
      if (k.path == block_path::copy) continue;
      at_bound[static_cast<int>(k.path)][2 * a] +=
          where.whole[a] == -15 && k.clamp[a] == clamp_state::none;
      at_bound[static_cast<int>(k.path)][2 * a + 1] +=
          where.whole[a] == size[a] - 2 && k.clamp[a] == clamp_state::none;
    }
    if (k.path != block_path::copy) continue;
    // The plane's rows, as many as the picture has: a copy may read columns and rows -16 ...
    // size - 32 from its origin.
    const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
    const int64_t rows = static_cast<int64_t>(plane.size() / 3) / c.call.stride;
    const int64_t ends[2] = {c.call.stride - 32, rows - 32};
    for (const bool right : {false, true}) {
      for (const bool bottom : {false, true}) {
        corners[{right, bottom}] +=
            where.whole[0] == (right ? ends[0] : -16) && where.whole[1] == (bottom ? ends[1] : -16);
      }
    }
  }

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
  for (const block_path p :
       {block_path::copy, block_path::horizontal, block_path::vertical, block_path::two_d}) {
    for (int hx = 0; hx < 4; ++hx) {
      for (int vy = 0; vy < 4; ++vy) {
        const bool h = hx != 0, v = vy != 0;
        const block_path natural = h ? (v ? block_path::two_d : block_path::horizontal)
                                     : (v ? block_path::vertical : block_path::copy);
        if (natural != p) continue;
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
            std::fprintf(to, " %10s", possible ? cell(cells[{p, hx, vy, cx, cy}]).c_str() : "-");
          }
        }
        std::fprintf(to, "\n");
      }
    }
  }
  std::fprintf(to, "exactly at a bound, not clamped: h -15, h stride - 2, v -15, v height - 2\n");
  for (const block_path p : {block_path::horizontal, block_path::vertical, block_path::two_d}) {
    const size_t* n = at_bound[static_cast<int>(p)];
    std::fprintf(to, "  %-10s %zu, %zu, %zu, %zu\n", path_name(p), n[0], n[1], n[2], n[3]);
  }
  std::fprintf(to, "negative vectors -1, -2, -3: mvx %zu, %zu, %zu; mvy %zu, %zu, %zu\n",
               negative_phase[0][1], negative_phase[0][2], negative_phase[0][3],
               negative_phase[1][1], negative_phase[1][2], negative_phase[1][3]);
  std::fprintf(to, "whole parts beyond 2^20 pixels: %zu; components at a 32-bit extreme: %zu\n",
               far, extreme);
  std::fprintf(to,
               "copies at the corners of the area a copy may read, (-16, -16), (stride - 32, "
               "-16), (-16, rows - 32), (stride - 32, rows - 32): %zu, %zu, %zu, %zu\n",
               corners[{false, false}], corners[{true, false}], corners[{false, true}],
               corners[{true, true}]);
}
