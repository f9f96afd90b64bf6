#include "call.h"

#include <tuple>

namespace {

auto tied(const group_key& k) {
  return std::make_tuple(k.path, k.phase[0], k.phase[1], k.clamp[0], k.clamp[1], k.negative);
}

}  // namespace

bool group_key::operator<(const group_key& other) const {
  return tied(*this) < tied(other);
}

group_key group_of(const block_call& call) {
  const placement where = place(call);
  group_key key;
  key.path = where.path;
  for (int a = 0; a < 2; ++a) {
    key.phase[a] = where.phase[a];
    key.clamp[a] = where.clamp[a];
  }
  key.negative = call.mvx < 0 || call.mvy < 0;
  return key;
}

int64_t plane_byte(size_t plane_size, int64_t row_bytes, int64_t c, int64_t r, int channel) {
  int64_t at = 0;
  if (__builtin_mul_overflow(r, row_bytes, &at) ||
      __builtin_add_overflow(at, 3 * c + channel, &at)) {
    return -1;
  }
  return at >= 0 && static_cast<uint64_t>(at) < plane_size ? at : -1;
}

const char* clamp_name(clamp_state state) {
  static const char* const names[] = {"none", "low", "high"};
  return names[static_cast<int>(state)];
}

const char* phase_text(int phase) {
  static const char* const names[] = {"0", "1/4", "1/2", "3/4"};
  return names[phase];
}

std::string phases_text(const int phase[2]) {
  return std::string("(") + phase_text(phase[0]) + ", " + phase_text(phase[1]) + ")";
}

std::string path_and_phases(const group_key& key) {
  return std::string(path_name(key.path)) + " " + phases_text(key.phase);
}
