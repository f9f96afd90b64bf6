// The model of an interpolate_block call: how it splits the vector, which path its phases choose,
// where the clamp puts the block, and which bytes of the plane it reads. interpolate_block places
// every block through place(); the dispatch, the checks, the tools and the Python module speak
// of calls in these terms, so that what they check is what the routine does.
//
// For this project's sources, not the C interface; no level's source includes it, so that none
// holds a copy of these functions built for its instruction set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "interpolate.h"
#include "paths.h"

// The path the phases (0 ... 3 each) choose.
constexpr block_path path_of(int hx, int vy) {
  return hx ? (vy ? block_path::two_d : block_path::horizontal)
            : (vy ? block_path::vertical : block_path::copy);
}

// "copy", "horizontal", "vertical", "two_d"
const char* path_name(block_path path);

// The axes a path filters along: horizontally, vertically.
constexpr bool filters_h(block_path path) {
  return path == block_path::horizontal || path == block_path::two_d;
}
constexpr bool filters_v(block_path path) {
  return path == block_path::vertical || path == block_path::two_d;
}

// An interpolate_block call without its buffers.
struct block_call {
  int32_t stride = 0, height = 0, x = 0, y = 0, mvx = 0, mvy = 0;
};

// Axis 0 is horizontal (x, mvx, columns, stride), axis 1 vertical (y, mvy, rows, height).
inline constexpr int axis_h = 0, axis_v = 1;

enum class clamp_state { none, low, high };

// Where a call's block comes from: its path and phases, and its whole-pixel position after the
// vector's whole part and the clamp. Its top-left source pixel lies block_margin further on.
struct placement {
  block_path path = block_path::copy;
  int phase[2] = {0, 0};
  int64_t whole[2] = {0, 0};
  clamp_state clamp[2] = {clamp_state::none, clamp_state::none};
  int64_t source(int axis) const { return whole[axis] + block_margin; }  // sx, sy
};

// The vector split: whole parts mv >> 2 (an arithmetic shift, floor(mv / 4)) added to the position
// in 64 bits, phases mv & 3, the path they choose; nothing clamped.
inline placement split(const block_call& call) {
  placement p;
  p.phase[axis_h] = call.mvx & 3;
  p.phase[axis_v] = call.mvy & 3;
  p.whole[axis_h] = int64_t{call.x} + (call.mvx >> 2);
  p.whole[axis_v] = int64_t{call.y} + (call.mvy >> 2);
  p.path = path_of(p.phase[axis_h], p.phase[axis_v]);
  return p;
}

// The clamp's bounds on one axis: -15 ... stride - 2 or height - 2.
inline int64_t clamp_low(const block_call&, int) {
  return -15;
}
inline int64_t clamp_high(const block_call& call, int axis) {
  return int64_t{axis == axis_h ? call.stride : call.height} - 2;
}

// Clamps one axis of `p` into low ... high: the low bound first, then the high one, which wins
// where they cross.
inline void clamp_axis(placement* p, int axis, int64_t low, int64_t high) {
  if (p->whole[axis] < low) p->whole[axis] = low, p->clamp[axis] = clamp_state::low;
  if (p->whole[axis] > high) p->whole[axis] = high, p->clamp[axis] = clamp_state::high;
}

// The call as the routine places it: split, then, for a fractional vector, both axes clamped.
// A copy is never clamped: it reads where its vector points.
inline placement place(const block_call& call) {
  placement p = split(call);
  if (p.path == block_path::copy) return p;
  for (const int axis : {axis_h, axis_v}) {
    clamp_axis(&p, axis, clamp_low(call, axis), clamp_high(call, axis));
  }
  return p;
}

// The pixels a placed block reads, in the plane's addressing (columns past stride - 1 run on into
// the next row): a filtered axis reaches one pixel before the block and two after it.
struct pixel_area {
  int64_t first[2], last[2];  // [axis]: column, row
};
pixel_area footprint(const placement& where);
inline pixel_area footprint(const block_call& call) {
  return footprint(place(call));
}

// The offsets of the first and the last byte a call reads in its plane (rows of 3 * stride
// bytes, back to back): every byte it reads lies between them. False where one lies before the
// plane's start or beyond what 64 bits hold, or the stride is not positive.
bool footprint_bytes(const block_call& call, uint64_t* first, uint64_t* last);

// Whether a plane of `plane_size` bytes holds every byte the call reads.
bool footprint_fits(const block_call& call, size_t plane_size);

// Whether `paths` has a kernel for `path`.
inline bool has_path(const filter_paths& paths, block_path path) {
  switch (path) {
    case block_path::copy:
      return paths.copy;
    case block_path::horizontal:
      return paths.horizontal;
    case block_path::vertical:
      return paths.vertical;
    case block_path::two_d:
      return paths.two_d;
  }
  return false;
}

// Calls the kernel of `paths` for `path`, which it has, (whose fractional phases hx, vy it takes)
// on the block whose top-left source pixel is `src`.
inline void call_path(const filter_paths& paths, block_path path, int hx, int vy, uint8_t* dst,
                      const uint8_t* src, ptrdiff_t row) {
  switch (path) {
    case block_path::copy:
      return paths.copy(dst, src, row);
    case block_path::horizontal:
      return paths.horizontal(dst, src, row, hx);
    case block_path::vertical:
      return paths.vertical(dst, src, row, vy);
    case block_path::two_d:
      return paths.two_d(dst, src, row, hx, vy);
  }
}

// The same where `paths` may have none for it: false then.
inline bool run_path(const filter_paths& paths, block_path path, int hx, int vy, uint8_t* dst,
                     const uint8_t* src, ptrdiff_t row) {
  return has_path(paths, path) && (call_path(paths, path, hx, vy, dst, src, row), true);
}

// The same for the path the phases choose.
inline bool run_filter_path(const filter_paths& paths, uint8_t* dst, const uint8_t* src,
                            ptrdiff_t row, int hx, int vy) {
  return run_path(paths, path_of(hx, vy), hx, vy, dst, src, row);
}
