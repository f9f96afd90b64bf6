// For the tests: a port of interpolate_block with deliberate faults, the kinds the checking tools
// must recognise, switched as the rendering's are. Written apart from that rendering, from the
// formulas alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "check_set.h"
#include "faults.h"
#include "interpolate.h"

// The switches of a fault named `kind` with its values as faulty_walk's command line gives them:
// rounding PASS OFFSET (pass 1 is the only pass of a one-dimensional filter and the first of the
// two-dimensional one, pass 2 its second), taps AXIS PHASE, source_offset DX DY, vector_split
// AXIS, clamp_bounds AXIS BOUND DELTA (bound 0 low, 1 high), the others none. Axes: 0 h, 1 v.
inline fault_switches switches_for(fault_kind kind, const std::vector<int>& values) {
  const auto v = [&](size_t k) { return k < values.size() ? values[k] : 0; };
  fault_switches s;
  switch (kind) {
    case fault_kind::rounding:
      if (v(0) == 2) {
        s.rounding_pass2 = v(1);
      } else {
        s.rounding_1d = s.rounding_pass1 = v(1);
      }
      break;
    case fault_kind::no_clamp:
      s.no_clamp = true;
      break;
    case fault_kind::taps:
      s.taps[v(0)] = v(1);
      break;
    case fault_kind::source_offset:
      s.source_offset[0] = v(0), s.source_offset[1] = v(1);
      break;
    case fault_kind::row_order:
      s.row_order = true;
      break;
    case fault_kind::channel_order:
      s.channel_order = true;
      break;
    case fault_kind::vector_split:
      s.vector_split[v(0)] = true;
      break;
    case fault_kind::phases_swapped:
      s.phases_swapped = true;
      break;
    case fault_kind::no_position_clamp:
      s.no_position_clamp = true;
      break;
    case fault_kind::clamp_bounds:
      s.clamp_bounds[v(0)][v(1)] = v(2);
      break;
    case fault_kind::copy_clamp:
      s.copy_clamp = true;
      break;
    case fault_kind::two_pass_1d:
      s.two_pass_1d = true;
      break;
  }
  return s;
}

// The switches of the fault a test names, as faulty_walk's command line would: "rounding", {2, 0}.
inline fault_switches injected(const std::string& name, const std::vector<int>& values = {}) {
  fault_kind kind{};
  if (!fault_named(name, &kind)) throw std::invalid_argument("no such fault: " + name);
  return switches_for(kind, values);
}

// Fills `dst` as interpolate_block would with the fault; false where the fault makes it read
// outside the `size` bytes of `src`.
inline bool faulty_interpolate(int32_t stride, uint8_t* dst, const uint8_t* src, size_t size,
                               int32_t height, int32_t x, int32_t y, int32_t mvx, int32_t mvy,
                               const fault_switches& f) {
  const auto floor_div = [](int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
  const auto whole = [&](int32_t mv, int axis) {
    return f.vector_split[axis] ? mv / 4 : floor_div(mv, 4);
  };
  int hx = mvx & 3, vy = mvy & 3;
  if (f.phases_swapped) std::swap(hx, vy);
  int64_t px = int64_t{x} + whole(mvx, 0), py = int64_t{y} + whole(mvy, 1);
  if ((hx || vy || f.copy_clamp) && !f.no_position_clamp) {
    const auto& delta = f.clamp_bounds;
    px = std::min<int64_t>(std::max<int64_t>(px, -15 + delta[0][0]), stride - 2 + delta[0][1]);
    py = std::min<int64_t>(std::max<int64_t>(py, -15 + delta[1][0]), height - 2 + delta[1][1]);
  }
  px += f.source_offset[0], py += f.source_offset[1];
  const int h_phase = f.taps[0] >= 0 ? f.taps[0] : hx;
  const int v_phase = f.taps[1] >= 0 ? f.taps[1] : vy;
  const int64_t row = int64_t{stride} * 3;
  bool inside = true;
  const auto pixel = [&](int64_t c, int64_t r, int ch) -> int64_t {
    const int64_t at = (r + block_margin) * row + (c + block_margin) * 3 + ch;
    if (at < 0 || static_cast<uint64_t>(at) >= size) {
      inside = false;
      return 0;
    }
    return src[at];
  };
  const auto finish = [&](int64_t v) -> uint8_t {
    if (f.no_clamp) return static_cast<uint8_t>(v & 255);
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  };
  for (int r = 0; r < block_size; ++r) {
    for (int i = 0; i < block_size; ++i) {
      for (int ch = 0; ch < 3; ++ch) {
        const int64_t c = px + i, rr = py + r;
        int64_t v = 0;
        if (!hx && !vy) {
          v = pixel(c, rr, ch);
        } else if ((!vy || !hx) && !f.two_pass_1d) {
          int64_t sum = 0;
          for (int k = -1; k <= 2; ++k) {
            sum += !vy ? filter_taps[h_phase][k + 1] * pixel(c + k, rr, ch)
                       : filter_taps[v_phase][k + 1] * pixel(c, rr + k, ch);
          }
          v = finish(floor_div(sum + f.rounding_1d, 128));
        } else {
          int64_t sum = 0;
          for (int j = -1; j <= 2; ++j) {
            int64_t first = 0;
            for (int k = -1; k <= 2; ++k)
              first += filter_taps[h_phase][k + 1] * pixel(c + k, rr + j, ch);
            sum += filter_taps[v_phase][j + 1] * floor_div(first + f.rounding_pass1, 2);
          }
          v = finish(floor_div(sum + f.rounding_pass2, 8192));
        }
        const int out_row = f.row_order ? block_size - 1 - r : r;
        const int out_ch = f.channel_order ? 2 - ch : ch;
        dst[out_row * block_row_bytes + 3 * i + out_ch] = static_cast<uint8_t>(v);
      }
    }
  }
  return inside;
}

// Writes the block files of `set` into `dir` as the port with `fault` would: the headers right,
// the pixels as the fault makes them. False if a file cannot be written.
inline bool write_faulty_files(const std::string& dir, const check_set& set,
                               const fault_switches& fault) {
  for (const check_case& c : set.cases) {
    const check_picture& picture = set.pictures[c.picture];
    const block_layout& layout = picture.layout;
    std::vector<uint8_t> file = layout.prefix;
    file.resize(file.size() + block_bytes);
    const std::vector<uint8_t>& plane = picture.bitmap.plane;
    faulty_interpolate(c.call.stride, file.data() + layout.prefix.size(), plane.data(),
                       plane.size(), c.call.height, c.call.x, c.call.y, c.call.mvx, c.call.mvy,
                       fault);
    file.insert(file.end(), layout.profile.begin(), layout.profile.end());
    std::FILE* out = std::fopen((dir + "/" + c.file).c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) return false;
  }
  return true;
}
