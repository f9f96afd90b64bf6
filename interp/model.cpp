#include "model.h"

const char* path_name(block_path path) {
  static const char* const names[] = {"copy", "horizontal", "vertical", "two_d"};
  return names[static_cast<int>(path)];
}

pixel_area footprint(const placement& where) {
  const bool reaches[2] = {filters_h(where.path), filters_v(where.path)};
  pixel_area area{};
  for (const int axis : {axis_h, axis_v}) {
    area.first[axis] = where.source(axis) - reaches[axis];
    area.last[axis] = where.source(axis) + block_size - 1 + 2 * reaches[axis];
  }
  return area;
}

bool footprint_bytes(const block_call& call, uint64_t* first, uint64_t* last) {
  if (call.stride <= 0) return false;
  const pixel_area area = footprint(call);
  const int64_t row_bytes = int64_t{call.stride} * 3;
  // Positions come from 32-bit arguments, but their products with a stride need not fit.
  const auto offset = [&](int axis_end, int channel, int64_t* at) {
    const int64_t c = axis_end ? area.last[axis_h] : area.first[axis_h];
    const int64_t r = axis_end ? area.last[axis_v] : area.first[axis_v];
    return !__builtin_mul_overflow(r, row_bytes, at) &&
           !__builtin_add_overflow(*at, 3 * c + channel, at) && *at >= 0;
  };
  int64_t start = 0, end = 0;
  if (!offset(0, 0, &start) || !offset(1, 2, &end)) return false;
  *first = static_cast<uint64_t>(start);
  *last = static_cast<uint64_t>(end);
  return true;
}

int blockwalk_footprint(int32_t stride, int32_t height, int32_t x, int32_t y, int32_t mvx,
                        int32_t mvy, uint64_t* first, uint64_t* last) {
  return footprint_bytes({stride, height, x, y, mvx, mvy}, first, last) ? 1 : 0;
}

bool footprint_fits(const block_call& call, size_t plane_size) {
  uint64_t first = 0, last = 0;
  return footprint_bytes(call, &first, &last) && last < plane_size;
}
