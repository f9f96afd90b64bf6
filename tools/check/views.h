// The ways a port may have read a plane, and the ways it may have written its block: the views
// in which the location of a differing block searches our renderings. A source of a block is a
// rendering of ours in one view, at one placement, taken as written or rearranged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model.h"

enum class source_view {
  stored,             // the plane as the contract reads it
  rows_reversed,      // view row r is plane row R - 1 - r
  channels_reversed,  // blue and red exchanged in every pixel
  edge_clamped,       // a pixel outside the plane reads its nearest, axis by axis; no run-on
  signed_bytes,       // each byte b read as b - 256 where b >= 128
};
inline constexpr source_view every_view[] = {source_view::stored, source_view::rows_reversed,
                                             source_view::channels_reversed,
                                             source_view::edge_clamped, source_view::signed_bytes};
const char* view_name(source_view view);  // "stored", ..., "edge_clamped", "signed"

enum class written_form { as_written, rows_reversed, channels_reversed };
inline constexpr written_form every_written[] = {
    written_form::as_written, written_form::rows_reversed, written_form::channels_reversed};
const char* written_name(written_form written);

// A rendering of ours: the view, the placement in the view's coordinates (its path, phases and
// whole-pixel position; its top-left source pixel block_margin further on), and how the port's
// block holds it.
struct block_source {
  source_view view = source_view::stored;
  written_form written = written_form::as_written;
  placement where;
};
bool same_source(const block_source& a, const block_source& b);

// Rearranges a block as `written` says (each form is its own inverse).
void rearrange(written_form written, uint8_t* block);

// A picture's plane as one view reads it: rows of `row_pixels` pixels of 3 bytes, back to back.
// The edge-clamped view has a margin of edge_margin pixels on every side, filled from the
// nearest pixel of the plane, and no run-on: its blocks must lie in its rows.
struct view_plane {
  source_view view = source_view::stored;
  std::vector<uint8_t> bytes;
  int64_t row_pixels = 0, rows = 0;
  int64_t margin = 0;  // view pixel (c, r) is pixel (c + margin, r + margin) of `bytes`
};
inline constexpr int64_t edge_margin = 40;

// The plane of `stride` x `rows` pixels as `view` reads it.
view_plane make_view_plane(const std::vector<uint8_t>& plane, int64_t stride, int64_t rows,
                           source_view view);

// The byte offset in `bytes` of pixel (c, r) of the view, channel 0.
int64_t view_offset(const view_plane& plane, int64_t c, int64_t r);

// Whether every pixel a block at `where` reads lies in the view's plane (within its rows, for
// a view that does not run on).
bool source_fits(const view_plane& plane, const placement& where);

// The block of `where` in the view, as the library's kernels make it (the signed view, which
// no kernel reads, as its scalar rendering of signed bytes); false, the block untouched, where
// its footprint leaves the view's plane.
bool render_source(const view_plane& plane, const placement& where, uint8_t* block);
