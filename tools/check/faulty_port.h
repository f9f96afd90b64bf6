// For the tests: a port of interpolate_block with one deliberate fault, the kind the checking
// tools must recognise. Written apart from their rendering, from the formulas alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "check.h"
#include "interpolate.h"

struct injected_fault {
  std::string name;  // as the diagnosis names it; empty for none
  int a = 0, b = 0, c = 0;
  // rounding: a the pass (1 or 2 of the two-dimensional filter, 0 the one-dimensional ones),
  //   b the offset; taps: a the axis (0 h, 1 v), b the phase; source_offset: a dx, b dy;
  // vector_split: a the axis; clamp_bounds: a the axis, b 0 low or 1 high, c the delta;
  // copy_clamp, two_pass_1d, phases_swapped, no_position_clamp and the rest: none.
};

// Fills `dst` as interpolate_block would with the fault; false where the fault makes it read
// outside the `size` bytes of `src`.
inline bool faulty_interpolate(int32_t stride, uint8_t* dst, const uint8_t* src, size_t size,
                               int32_t height, int32_t x, int32_t y, int32_t mvx, int32_t mvy,
                               const injected_fault& f) {
  const auto is = [&](const char* name) { return f.name == name; };
  const auto floor_div = [](int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
  const auto whole = [&](int32_t mv, int axis) {
    return is("vector_split") && f.a == axis ? mv / 4 : floor_div(mv, 4);
  };
  int hx = mvx & 3, vy = mvy & 3;
  if (is("phases_swapped")) std::swap(hx, vy);
  int64_t px = int64_t{x} + whole(mvx, 0), py = int64_t{y} + whole(mvy, 1);
  if ((hx || vy || is("copy_clamp")) && !is("no_position_clamp")) {
    const auto delta = [&](int axis, int bound) {
      return is("clamp_bounds") && f.a == axis && f.b == bound ? f.c : 0;
    };
    px = std::min<int64_t>(std::max<int64_t>(px, -15 + delta(0, 0)), stride - 2 + delta(0, 1));
    py = std::min<int64_t>(std::max<int64_t>(py, -15 + delta(1, 0)), height - 2 + delta(1, 1));
  }
  if (is("source_offset")) px += f.a, py += f.b;
  const int h_phase = is("taps") && f.a == 0 ? f.b : hx;
  const int v_phase = is("taps") && f.a == 1 ? f.b : vy;
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
  const bool wrap = is("no_clamp"), rows_reversed = is("row_order");
  const bool red_blue = is("channel_order"), rounding = is("rounding");
  const bool two_pass_1d = is("two_pass_1d");
  const auto finish = [&](int64_t v) -> uint8_t {
    if (wrap) return static_cast<uint8_t>(v & 255);
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  };
  const auto offset = [&](int pass, int64_t right) {
    return rounding && f.a == pass ? f.b : right;
  };
  for (int r = 0; r < block_size; ++r) {
    for (int i = 0; i < block_size; ++i) {
      for (int ch = 0; ch < 3; ++ch) {
        const int64_t c = px + i, rr = py + r;
        int64_t v = 0;
        if (!hx && !vy) {
          v = pixel(c, rr, ch);
        } else if ((!vy || !hx) && !two_pass_1d) {
          int64_t sum = 0;
          for (int k = -1; k <= 2; ++k) {
            sum += !vy ? filter_taps[h_phase][k + 1] * pixel(c + k, rr, ch)
                       : filter_taps[v_phase][k + 1] * pixel(c, rr + k, ch);
          }
          v = finish(floor_div(sum + offset(0, 64), 128));
        } else {
          int64_t sum = 0;
          for (int j = -1; j <= 2; ++j) {
            int64_t first = 0;
            for (int k = -1; k <= 2; ++k)
              first += filter_taps[h_phase][k + 1] * pixel(c + k, rr + j, ch);
            sum += filter_taps[v_phase][j + 1] * floor_div(first + offset(1, 1), 2);
          }
          v = finish(floor_div(sum + offset(2, 4096), 8192));
        }
        const int out_row = rows_reversed ? block_size - 1 - r : r;
        const int out_ch = red_blue ? 2 - ch : ch;
        dst[out_row * block_row_bytes + 3 * i + out_ch] = static_cast<uint8_t>(v);
      }
    }
  }
  return inside;
}

// Writes the block files of `set` into `dir` as the port with `fault` would: the headers right,
// the pixels as the fault makes them. False if a file cannot be written.
inline bool write_faulty_files(const std::string& dir, const check_set& set,
                               const injected_fault& fault) {
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
