// The parts of a group's fit (fit.h), over the group's bytes as they read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fit.h"

// One compared block of the group: its plane, where its bytes' own source bytes lie, and its
// bytes found and expected.
struct block_view {
  const uint8_t* plane = nullptr;
  size_t plane_size = 0;
  int64_t row_bytes = 0;
  int64_t origin = 0;  // the own source byte of block byte 0 (row 0, pixel 0, channel 0)
  const uint8_t* found = nullptr;
  const uint8_t* expected = nullptr;

  // The own source byte of block byte b: its row's, its pixel's, its channel's.
  int64_t own(size_t b) const {
    return origin + static_cast<int64_t>(b / block_row_bytes) * row_bytes +
           static_cast<int64_t>(b % block_row_bytes);
  }
  // Whether every byte from `low` to `high` bytes of every block byte's own source byte lies in
  // the plane.
  bool reaches(int64_t low, int64_t high) const {
    return origin + low >= 0 && own(block_bytes - 1) + high < static_cast<int64_t>(plane_size);
  }
};

// A step through `total` bytes of a group's blocks that takes about `wanted` of them, prime to a
// block row's 48 bytes, so that every row, pixel and channel has its share.
size_t spread_step(size_t total, size_t wanted);

// The block of case i, placed as ours.
block_view block_view_of(const check_set& set, const comparison& compared, size_t i);
std::vector<block_view> block_views(const check_set& set, const comparison& compared,
                                    const group_report& group);

// The source of block byte b under `taps`; false where some of it lies outside the plane.
// `inside` where the caller knows that all of it does.
bool gather(const block_view& v, size_t b, const tap_layout& taps, bool inside, neighbourhood* n);
// The bytes the layout reaches from an own source byte: lowest and highest offset.
void layout_reach(const tap_layout& taps, int64_t row_bytes, int64_t* low, int64_t* high);

// The weights of the port's bytes, fitted along each axis the path filters; none where the
// bytes do not tell them. `residual` is the fit's root mean square error.
std::vector<axis_weights> fit_weights(const std::vector<block_view>& blocks, const group_key& key,
                                      double* residual);
// Our taps as weights, each filtered axis.
std::vector<axis_weights> our_weights(const group_key& key);
// The fitted weights as taps, where each axis has at most four that are not 0, and they are not
// all ours.
std::optional<tap_layout> fitted_layout(const std::vector<axis_weights>& weights,
                                        const group_key& key);

// The widest range of a stage's values, as our formulas give them, that sets the differing bytes
// apart from the equal ones the final clamp leaves alone; nothing where no stage has one.
std::optional<value_range> find_range(const std::vector<block_view>& blocks, const group_key& key);

// The rows, pixels or channels the group's differences keep to, in words, where they tell a
// loop's story; empty otherwise.
std::string rows_story(const std::vector<block_view>& blocks, const group_key& key);
