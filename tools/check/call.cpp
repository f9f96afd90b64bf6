#include "call.h"

#include <tuple>
#include <utility>

#include "interpolate.h"

namespace {

auto tied(const group_key& k) {
  return std::make_tuple(k.path, k.phase[0], k.phase[1], k.clamp[0], k.clamp[1], k.negative);
}

}  // namespace

bool group_key::operator<(const group_key& other) const {
  return tied(*this) < tied(other);
}

group_key group_of(const block_call& call) {
  const placement where = place_block(call);
  group_key key;
  key.path = where.path;
  for (int a = 0; a < 2; ++a) {
    key.phase[a] = where.phase[a];
    key.clamp[a] = where.clamp[a];
  }
  key.negative = call.mvx < 0 || call.mvy < 0;
  return key;
}

placement place_block(const block_call& call, const fault_switches& faults) {
  placement p;
  const int32_t position[2] = {call.x, call.y}, mv[2] = {call.mvx, call.mvy};
  for (int a = 0; a < 2; ++a) {
    p.phase[a] = mv[a] & 3;
    p.whole[a] = int64_t{position[a]} + (faults.vector_split[a] ? mv[a] / 4 : mv[a] >> 2);
  }
  if (faults.phases_swapped) std::swap(p.phase[0], p.phase[1]);
  const bool h = p.phase[0] != 0, v = p.phase[1] != 0;
  p.path = h ? (v ? block_path::two_d : block_path::horizontal)
             : (v ? block_path::vertical : block_path::copy);
  if (faults.two_pass_1d && p.path != block_path::copy) p.path = block_path::two_d;
  if ((p.path == block_path::copy && !faults.copy_clamp) || faults.no_position_clamp) return p;
  const int64_t size[2] = {call.stride, call.height};
  for (int a = 0; a < 2; ++a) {
    const int64_t low = -15 + faults.clamp_bounds[a][0];
    const int64_t high = size[a] - 2 + faults.clamp_bounds[a][1];
    if (p.whole[a] < low) p.whole[a] = low, p.clamp[a] = clamp_state::low;
    if (p.whole[a] > high) p.whole[a] = high, p.clamp[a] = clamp_state::high;
  }
  return p;
}

int64_t plane_byte(size_t plane_size, int64_t row_bytes, int64_t c, int64_t r, int channel) {
  int64_t at = 0;
  if (__builtin_mul_overflow(r, row_bytes, &at) ||
      __builtin_add_overflow(at, 3 * c + channel, &at)) {
    return -1;
  }
  return at >= 0 && static_cast<uint64_t>(at) < plane_size ? at : -1;
}

placement place_block(const block_call& call) {
  // Made once: the check places every block, and the Python module every call it is given.
  static const fault_switches none;
  return place_block(call, none);
}

bool footprint_fits(const block_call& call, size_t plane_size) {
  const placement where = place_block(call);
  const bool two_d = where.path == block_path::two_d;
  const bool h = two_d || where.path == block_path::horizontal;
  const bool v = two_d || where.path == block_path::vertical;
  // Rows lie one after another in the plane: the footprint's first and last bytes bound it.
  const int64_t row_bytes = int64_t{call.stride} * 3;
  const int64_t sx = where.whole[0] + block_margin, sy = where.whole[1] + block_margin;
  return plane_byte(plane_size, row_bytes, sx - h, sy - v, 0) >= 0 &&
         plane_byte(plane_size, row_bytes, sx + block_size - 1 + 2 * h, sy + block_size - 1 + 2 * v,
                    2) >= 0;
}

const char* path_name(block_path path) {
  static const char* const names[] = {"copy", "horizontal", "vertical", "two_d"};
  return names[static_cast<int>(path)];
}

const char* clamp_name(clamp_state state) {
  static const char* const names[] = {"none", "low", "high"};
  return names[static_cast<int>(state)];
}

const char* phase_text(int phase) {
  static const char* const names[] = {"0", "1/4", "1/2", "3/4"};
  return names[phase];
}

std::string phases_text(const int phase[2]) {
  return std::string("(") + phase_text(phase[0]) + ", " + phase_text(phase[1]) + ")";
}

std::string path_and_phases(const group_key& key) {
  return std::string(path_name(key.path)) + " " + phases_text(key.phase);
}
