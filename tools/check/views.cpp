#include "views.h"

#include <algorithm>
#include <utility>

#include "interpolate.h"
#include "levels.h"

const char* view_name(source_view view) {
  static const char* const names[] = {"stored", "rows_reversed", "channels_reversed",
                                      "edge_clamped", "signed"};
  return names[static_cast<int>(view)];
}

const char* written_name(written_form written) {
  static const char* const names[] = {"as_written", "rows_reversed", "channels_reversed"};
  return names[static_cast<int>(written)];
}

bool same_source(const block_source& a, const block_source& b) {
  return a.view == b.view && a.written == b.written && a.where.path == b.where.path &&
         a.where.phase[0] == b.where.phase[0] && a.where.phase[1] == b.where.phase[1] &&
         a.where.whole[0] == b.where.whole[0] && a.where.whole[1] == b.where.whole[1];
}

void rearrange(written_form written, uint8_t* block) {
  if (written == written_form::rows_reversed) {
    for (int r = 0; r < block_size / 2; ++r) {
      std::swap_ranges(block + r * block_row_bytes, block + (r + 1) * block_row_bytes,
                       block + (block_size - 1 - r) * block_row_bytes);
    }
  } else if (written == written_form::channels_reversed) {
    for (size_t b = 0; b < block_bytes; b += 3) std::swap(block[b], block[b + 2]);
  }
}

view_plane make_view_plane(const std::vector<uint8_t>& plane, int64_t stride, int64_t rows,
                           source_view view) {
  view_plane v;
  v.view = view;
  v.row_pixels = stride;
  v.rows = rows;
  const size_t row_bytes = static_cast<size_t>(3 * stride);
  switch (view) {
    case source_view::stored:
    case source_view::signed_bytes:
      v.bytes = plane;
      break;
    case source_view::rows_reversed:
      v.bytes.resize(plane.size());
      for (int64_t r = 0; r < rows; ++r) {
        std::copy_n(plane.begin() + static_cast<ptrdiff_t>(r * row_bytes), row_bytes,
                    v.bytes.begin() + static_cast<ptrdiff_t>((rows - 1 - r) * row_bytes));
      }
      break;
    case source_view::channels_reversed:
      v.bytes = plane;
      for (size_t b = 0; b + 2 < v.bytes.size(); b += 3) std::swap(v.bytes[b], v.bytes[b + 2]);
      break;
    case source_view::edge_clamped: {
      v.margin = edge_margin;
      v.row_pixels = stride + 2 * edge_margin;
      v.rows = rows + 2 * edge_margin;
      v.bytes.resize(static_cast<size_t>(3 * v.row_pixels * v.rows));
      for (int64_t r = 0; r < v.rows; ++r) {
        const int64_t from_r = std::clamp<int64_t>(r - edge_margin, 0, rows - 1);
        for (int64_t c = 0; c < v.row_pixels; ++c) {
          const int64_t from_c = std::clamp<int64_t>(c - edge_margin, 0, stride - 1);
          std::copy_n(plane.begin() + static_cast<ptrdiff_t>(3 * (from_r * stride + from_c)), 3,
                      v.bytes.begin() + static_cast<ptrdiff_t>(3 * (r * v.row_pixels + c)));
        }
      }
      break;
    }
  }
  return v;
}

int64_t view_offset(const view_plane& plane, int64_t c, int64_t r) {
  return 3 * ((r + plane.margin) * plane.row_pixels + c + plane.margin);
}

bool source_fits(const view_plane& plane, const placement& where) {
  const pixel_area area = footprint(where);
  const int64_t first_column = area.first[axis_h] + plane.margin;
  const int64_t last_column = area.last[axis_h] + plane.margin;
  // Positions come from anywhere in 64 bits: bound them before any product.
  const int64_t far = int64_t{1} << 40;
  if (first_column < -far || last_column > far || area.first[axis_v] < -far ||
      area.last[axis_v] > far) {
    return false;
  }
  if (plane.view == source_view::edge_clamped &&
      (first_column < 0 || last_column >= plane.row_pixels)) {
    return false;
  }
  const int64_t first = view_offset(plane, area.first[axis_h], area.first[axis_v]);
  const int64_t last = view_offset(plane, area.last[axis_h], area.last[axis_v]) + 2;
  return first >= 0 && last < static_cast<int64_t>(plane.bytes.size());
}

bool render_source(const view_plane& plane, const placement& where, uint8_t* block) {
  if (!source_fits(plane, where)) return false;
  const uint8_t* origin =
      plane.bytes.data() + view_offset(plane, where.source(axis_h), where.source(axis_v));
  const filter_paths& paths =
      plane.view == source_view::signed_bytes ? signed_scalar_paths : active_paths();
  return run_path(paths, where.path, where.phase[axis_h], where.phase[axis_v], block, origin,
                  3 * plane.row_pixels);
}
