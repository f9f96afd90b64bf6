#include "render.h"

#include "interpolate.h"

namespace {

int clamp_byte(int64_t v) {
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

}  // namespace

bool derive_byte(const plane_view& plane, const block_call& call, const placement& where,
                 const fault_switches& faults, int row, int pixel, int channel,
                 byte_derivation* d) {
  // Only what this path uses is set: this runs for every byte of every block a fault is tried on.
  if (faults.row_order) row = block_size - 1 - row;
  if (faults.channel_order) channel = 2 - channel;
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
  const int64_t sx = where.whole[0] + block_margin + faults.source_offset[0] + pixel;
  const int64_t sy = where.whole[1] + block_margin + faults.source_offset[1] + row;
  for (int j = 0; j < d->rows; ++j) {
    for (int k = 0; k < d->columns; ++k) {
      const int64_t at =
          plane_byte(plane.size, row_bytes, sx + (h ? k - 1 : 0), sy + (v ? j - 1 : 0), channel);
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
      d->offset = faults.rounding_1d;
      d->shift = 7;
      break;
    case block_path::two_d:
      for (int j = 0; j < 4; ++j) {
        d->pass1_sum[j] = 0;
        for (int k = 0; k < 4; ++k) d->pass1_sum[j] += d->h_taps[k] * d->source[j][k];
        d->pass1[j] = (d->pass1_sum[j] + faults.rounding_pass1) >> 1;
        d->sum += d->v_taps[j] * d->pass1[j];
      }
      d->offset = faults.rounding_pass2;
      d->shift = 13;
      break;
  }
  const int64_t rounded = (int64_t{d->sum} + d->offset) >> d->shift;
  d->rounded = static_cast<int32_t>(rounded);
  d->value = where.path == block_path::copy ? d->sum
             : faults.no_clamp              ? static_cast<int>(rounded & 255)
                                            : clamp_byte(rounded);
  return true;
}
