#include "render.h"

#include <utility>

#include "interpolate.h"

namespace {

int clamp_byte(int64_t v) {
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

// A value of the two-dimensional filter's first pass, from its exact sum.
int32_t first_pass(int32_t sum, const fault_switches& faults) {
  if (faults.exact_intermediate != round_mode::ours) return sum;
  if (faults.narrow_intermediate == 16) return sum < -32768 ? -32768 : sum > 32767 ? 32767 : sum;
  if (faults.division) return (sum + faults.rounding_pass1) / 2;
  if (faults.rounding_mode[1] != round_mode::ours) {
    return static_cast<int32_t>(round_quotient(sum, 1, faults.rounding_mode[1]));
  }
  return (sum + faults.rounding_pass1) >> 1;
}

// The two-dimensional filter as the one-dimensional one twice, each pass rounded at 1/128 and
// clamped to a byte, along axis `first` first.
int64_t two_byte_passes(const byte_derivation& d, int first) {
  const auto pass = [](const int32_t* taps, const auto& value) {
    int64_t sum = 64;
    for (int k = 0; k < 4; ++k) sum += taps[k] * value(k);
    return clamp_byte(sum >> 7);
  };
  return pass(first == 0 ? d.v_taps : d.h_taps, [&](int outer) {
    return pass(first == 0 ? d.h_taps : d.v_taps, [&](int inner) {
      return first == 0 ? d.source[outer][inner] : d.source[inner][outer];
    });
  });
}

// The distance of the plane's rows as a port with `faults` takes it.
int64_t faulty_row_bytes(const block_call& call, const fault_switches& faults) {
  const int64_t tight = int64_t{call.stride} * 3;
  return faults.row_stride_padded ? (tight + 3) & ~int64_t{3} : tight + faults.row_stride;
}

}  // namespace

bool reads_nothing(const plane_view& plane, const block_call& call, const placement& where,
                   const fault_switches& faults) {
  // The first and the last byte any tap of the block reaches: every other lies between them.
  const int64_t row_bytes = faulty_row_bytes(call, faults);
  const int64_t sx = where.whole[0] + block_margin + faults.source_offset[0];
  const int64_t sy = where.whole[1] + block_margin + faults.source_offset[1];
  const int64_t far = int64_t{1} << 40;  // beyond any plane, and nothing below overflows
  if (sx < -far || sx > far || sy < -far || sy > far || row_bytes < 0 || row_bytes > far) {
    return true;
  }
  const int64_t first = (sy - 1) * row_bytes + 3 * (sx - 1);
  const int64_t last = (sy + block_size + 1) * row_bytes + 3 * (sx + block_size + 1) + 2;
  return last < 0 || first >= static_cast<int64_t>(plane.size);
}

placement faulty_place(const block_call& call, const fault_switches& faults) {
  const fault_switches none;
  if (faults.vector_split == none.vector_split && !faults.phases_swapped && !faults.two_pass_1d &&
      !faults.no_position_clamp && !faults.copy_clamp && faults.clamp_bounds == none.clamp_bounds) {
    return place(call);
  }
  // mv / 4 truncates: a negative vector with a phase lands one whole pixel on.
  block_call split_as = call;
  int32_t* mv[2] = {&split_as.mvx, &split_as.mvy};
  for (const int axis : {axis_h, axis_v}) {
    if (faults.vector_split[axis] && *mv[axis] < 0 && (*mv[axis] & 3)) *mv[axis] += 4;
  }
  placement p = split(split_as);
  if (faults.phases_swapped) {
    std::swap(p.phase[axis_h], p.phase[axis_v]);
    p.path = path_of(p.phase[axis_h], p.phase[axis_v]);
  }
  if (faults.two_pass_1d && p.path != block_path::copy) p.path = block_path::two_d;
  if (faults.no_position_clamp || (p.path == block_path::copy && !faults.copy_clamp)) return p;
  for (const int axis : {axis_h, axis_v}) {
    const auto& moved = faults.clamp_bounds[axis];
    clamp_axis(&p, axis, clamp_low(call, axis) + moved[0], clamp_high(call, axis) + moved[1]);
  }
  return p;
}

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
  const int64_t row_bytes = faulty_row_bytes(call, faults);
  const int64_t sx = where.whole[0] + block_margin + faults.source_offset[0] + pixel;
  const int64_t sy = where.whole[1] + block_margin + faults.source_offset[1] + row;
  for (int j = 0; j < d->rows; ++j) {
    for (int k = 0; k < d->columns; ++k) {
      const int64_t at =
          plane_byte(plane.size, row_bytes, sx + (h ? k - 1 : 0), sy + (v ? j - 1 : 0), channel);
      if (at < 0) return false;
      d->index[j][k] = at;
      d->source[j][k] = faults.signed_bytes ? static_cast<int8_t>(plane.data[at]) : plane.data[at];
    }
  }

  d->sum = 0;
  d->offset = d->shift = 0;
  int64_t rounded = 0;
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
      rounded = faults.rounding_mode[0] == round_mode::ours
                    ? (int64_t{d->sum} + d->offset) >> d->shift
                    : round_quotient(d->sum, d->shift, faults.rounding_mode[0]);
      break;
    case block_path::two_d:
      if (faults.narrow_intermediate == 8) {
        rounded = two_byte_passes(*d, faults.narrow_first);
        break;
      }
      for (int j = 0; j < 4; ++j) {
        d->pass1_sum[j] = 0;
        for (int k = 0; k < 4; ++k) d->pass1_sum[j] += d->h_taps[k] * d->source[j][k];
        d->pass1[j] = first_pass(d->pass1_sum[j], faults);
        d->sum += d->v_taps[j] * d->pass1[j];
      }
      d->offset = faults.rounding_pass2;
      d->shift = 13;
      if (faults.exact_intermediate != round_mode::ours || faults.narrow_intermediate == 16) {
        // The intermediate at 128 times the pixel's scale: the whole 2^14 comes off at the end.
        const round_mode mode =
            faults.narrow_intermediate == 16 ? round_mode::half_up : faults.exact_intermediate;
        rounded = round_quotient(d->sum, 14, mode);
      } else if (faults.rounding_mode[2] != round_mode::ours) {
        rounded = round_quotient(d->sum, 13, faults.rounding_mode[2]);
      } else {
        rounded = (int64_t{d->sum} + d->offset) >> d->shift;
      }
      break;
  }
  d->rounded = static_cast<int32_t>(rounded);
  d->value = where.path == block_path::copy ? d->sum & 255
             : faults.no_clamp              ? static_cast<int>(rounded & 255)
                                            : clamp_byte(rounded);
  return true;
}
