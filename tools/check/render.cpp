#include "render.h"

#include <utility>

#include "interpolate.h"

namespace {

// The offset of byte `channel` of pixel (column c, row r) in the plane's addressing, or -1 where
// it lies outside the plane (however far: positions need not have been clamped).
int64_t byte_at(const plane_view& plane, int64_t row_bytes, int64_t c, int64_t r, int channel) {
  int64_t at = 0;
  if (__builtin_mul_overflow(r, row_bytes, &at) ||
      __builtin_add_overflow(at, 3 * c + channel, &at)) {
    return -1;
  }
  return at >= 0 && static_cast<uint64_t>(at) < plane.size ? at : -1;
}

int clamp_byte(int64_t v) {
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

}  // namespace

placement place_block(const block_call& call, const fault_switches& faults) {
  placement p;
  const int32_t position[2] = {call.x, call.y}, mv[2] = {call.mvx, call.mvy};
  for (int a = 0; a < 2; ++a) {
    p.phase[a] = mv[a] & 3;
    p.whole[a] = int64_t{position[a]} + (faults.truncating_split[a] ? mv[a] / 4 : mv[a] >> 2);
  }
  if (faults.phases_swapped) std::swap(p.phase[0], p.phase[1]);
  const bool h = p.phase[0] != 0, v = p.phase[1] != 0;
  p.path = h ? (v ? block_path::two_d : block_path::horizontal)
             : (v ? block_path::vertical : block_path::copy);
  if (faults.two_pass_1d && p.path != block_path::copy) p.path = block_path::two_d;
  if ((p.path == block_path::copy && !faults.copy_clamped) || faults.no_position_clamp) return p;
  const int64_t size[2] = {call.stride, call.height};
  for (int a = 0; a < 2; ++a) {
    const int64_t low = -15 + faults.bound_delta[a][0];
    const int64_t high = size[a] - 2 + faults.bound_delta[a][1];
    if (p.whole[a] < low) p.whole[a] = low, p.clamp[a] = clamp_state::low;
    if (p.whole[a] > high) p.whole[a] = high, p.clamp[a] = clamp_state::high;
  }
  return p;
}

bool derive_byte(const plane_view& plane, const block_call& call, const placement& where,
                 const fault_switches& faults, int row, int pixel, int channel,
                 byte_derivation* d) {
  // Only what this path uses is set: this runs for every byte of every block a fault is tried on.
  if (faults.rows_reversed) row = block_size - 1 - row;
  if (faults.red_blue_swapped) channel = 2 - channel;
  // The two-dimensional filter takes four pixels along both axes, whatever its phases.
  const bool two_d = where.path == block_path::two_d;
  const bool h = two_d || where.path == block_path::horizontal;
  const bool v = two_d || where.path == block_path::vertical;
  d->columns = h ? 4 : 1;
  d->rows = v ? 4 : 1;
  const int h_phase = faults.taps[0] >= 0 ? faults.taps[0] : where.phase[0];
  const int v_phase = faults.taps[1] >= 0 ? faults.taps[1] : where.phase[1];
  for (int k = 0; k < 4; ++k) {
    d->h_taps[k] = filter_taps[h_phase][k];
    d->v_taps[k] = filter_taps[v_phase][k];
  }

  // The taps lie at -1, 0, +1 and +2 pixels from the output pixel's source pixel.
  const int64_t row_bytes = int64_t{call.stride} * 3;
  const int64_t sx = where.whole[0] + block_margin + faults.displace[0] + pixel;
  const int64_t sy = where.whole[1] + block_margin + faults.displace[1] + row;
  for (int j = 0; j < d->rows; ++j) {
    for (int k = 0; k < d->columns; ++k) {
      const int64_t at =
          byte_at(plane, row_bytes, sx + (h ? k - 1 : 0), sy + (v ? j - 1 : 0), channel);
      if (at < 0) return false;
      d->index[j][k] = at;
      d->source[j][k] = plane.data[at];
    }
  }

  d->sum = 0;
  d->offset = d->shift = 0;
  switch (where.path) {
    case block_path::copy:
      d->sum = d->source[0][0];
      break;
    case block_path::horizontal:
    case block_path::vertical:
      for (int k = 0; k < 4; ++k) {
        d->sum += h ? d->h_taps[k] * d->source[0][k] : d->v_taps[k] * d->source[k][0];
      }
      d->offset = faults.round_1d;
      d->shift = 7;
      break;
    case block_path::two_d:
      for (int j = 0; j < 4; ++j) {
        d->pass1_sum[j] = 0;
        for (int k = 0; k < 4; ++k) d->pass1_sum[j] += d->h_taps[k] * d->source[j][k];
        d->pass1[j] = (d->pass1_sum[j] + faults.round_pass1) >> 1;
        d->sum += d->v_taps[j] * d->pass1[j];
      }
      d->offset = faults.round_pass2;
      d->shift = 13;
      break;
  }
  const int64_t rounded = (int64_t{d->sum} + d->offset) >> d->shift;
  d->rounded = static_cast<int32_t>(rounded);
  d->value = where.path == block_path::copy ? d->sum
             : faults.wrap                  ? static_cast<int>(rounded & 255)
                                            : clamp_byte(rounded);
  return true;
}

bool footprint_fits(const block_call& call, size_t plane_size) {
  const placement where = place_block(call);
  const bool two_d = where.path == block_path::two_d;
  const bool h = two_d || where.path == block_path::horizontal;
  const bool v = two_d || where.path == block_path::vertical;
  // Rows lie one after another in the plane: the footprint's first and last bytes bound it.
  const int64_t sx = where.whole[0] + block_margin, sy = where.whole[1] + block_margin;
  const plane_view plane{nullptr, plane_size};
  const int64_t row_bytes = int64_t{call.stride} * 3;
  return byte_at(plane, row_bytes, sx - h, sy - v, 0) >= 0 &&
         byte_at(plane, row_bytes, sx + block_size - 1 + 2 * h, sy + block_size - 1 + 2 * v, 2) >=
             0;
}

bool render_block(const plane_view& plane, const block_call& call, const fault_switches& faults,
                  uint8_t* block) {
  const placement where = place_block(call, faults);
  byte_derivation d;
  for (int r = 0; r < block_size; ++r) {
    for (int i = 0; i < block_size; ++i) {
      for (int ch = 0; ch < 3; ++ch) {
        if (!derive_byte(plane, call, where, faults, r, i, ch, &d)) return false;
        block[r * block_row_bytes + 3 * i + ch] = static_cast<uint8_t>(d.value);
      }
    }
  }
  return true;
}

const char* path_name(block_path path) {
  static const char* const names[] = {"copy", "horizontal", "vertical", "two_d"};
  return names[static_cast<int>(path)];
}

const char* clamp_name(clamp_state state) {
  static const char* const names[] = {"none", "low", "high"};
  return names[static_cast<int>(state)];
}
