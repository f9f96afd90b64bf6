// The grammar's arithmetic, and its words.
#include "structure.h"

#include <cstdlib>

#include "interpolate.h"

namespace {

int clamp_byte(int64_t v) {
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

int64_t clamp_to(int64_t v, int64_t low, int64_t high) {
  return v < low ? low : v > high ? high : v;
}

// Inline here, for the search's inner loops; round_shift and keep_value for everyone else.
inline int64_t rounded(int64_t v, int32_t shift, pass_rounding r) {
  if (shift == 0) return v;
  const int64_t unit = int64_t{1} << shift, half = unit >> 1;
  const int64_t down = v >> shift, rest = v - down * unit;  // 0 ... unit - 1
  switch (r) {
    case pass_rounding::none:
    case pass_rounding::floor:
      return down;
    case pass_rounding::half_up:
      return down + (rest >= half);
    case pass_rounding::half_even:
      return down + (rest > half || (rest == half && (down & 1)));
    case pass_rounding::half_away:
      return down + (rest > half || (rest == half && v >= 0));
    case pass_rounding::toward_zero:
      return down + (rest != 0 && v < 0);
    case pass_rounding::c_division:
      return (v + half) / unit;
  }
  return down;
}

// v rounded to `mantissa` bits after its leading one, ties to even, as a float holds an
// integer; beyond `largest` it saturates (no value of this routine comes near).
int64_t float_kept(int64_t v, int mantissa, int64_t largest) {
  const uint64_t magnitude = static_cast<uint64_t>(v < 0 ? -v : v);
  if (magnitude < (uint64_t{2} << mantissa)) return v;
  const int shift = 63 - __builtin_clzll(magnitude) - mantissa;
  return clamp_to(rounded(v, shift, pass_rounding::half_even) * (int64_t{1} << shift), -largest,
                  largest);
}

inline int64_t kept_as(int64_t v, value_storage s) {
  switch (s) {
    case value_storage::exact:
      return v;
    case value_storage::int16_wrap:
      return static_cast<int64_t>(static_cast<uint64_t>(v + 32768) & 0xFFFF) - 32768;
    case value_storage::int16_saturate:
      return clamp_to(v, -32768, 32767);
    case value_storage::uint16:
      return static_cast<int64_t>(static_cast<uint64_t>(v) & 0xFFFF);
    case value_storage::uint8_clamp:
      return clamp_to(v, 0, 255);
    case value_storage::fp16:
      return float_kept(v, 10, 65504);
    case value_storage::fp32:
      return float_kept(v, 23, int64_t{1} << 40);
  }
  return v;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
  return out;
}

const char* rounding_words(pass_rounding r) {
  switch (r) {
    case pass_rounding::none:
      return "not at all";
    case pass_rounding::floor:
      return "down (a shift without its offset)";
    case pass_rounding::half_up:
      return "half up";
    case pass_rounding::half_even:
      return "half to even";
    case pass_rounding::half_away:
      return "half away from zero";
    case pass_rounding::toward_zero:
      return "toward zero";
    case pass_rounding::c_division:
      return "with C's truncating division";
  }
  return "";
}

const char* storage_words(value_storage s) {
  switch (s) {
    case value_storage::exact:
      return "exactly";
    case value_storage::int16_wrap:
      return "in 16 bits that wrap";
    case value_storage::int16_saturate:
      return "in 16 bits that saturate";
    case value_storage::uint16:
      return "in 16 unsigned bits (uint16_t), where negatives wrap";
    case value_storage::uint8_clamp:
      return "in a byte, clamped to 0 ... 255";
    case value_storage::fp16:
      return "in half precision";
    case value_storage::fp32:
      return "in single precision";
  }
  return "";
}

int filtered_axis(block_path path) {
  return path == block_path::vertical ? axis_v : axis_h;
}

}  // namespace

const char* rounding_name(pass_rounding r) {
  static const char* const names[] = {"none",      "floor",       "half_up",   "half_even",
                                      "half_away", "toward_zero", "c_division"};
  return names[static_cast<int>(r)];
}

const char* storage_name(value_storage s) {
  static const char* const names[] = {
      "exact", "int16_wrap", "int16_saturate", "uint16", "uint8_clamp", "fp16", "fp32"};
  return names[static_cast<int>(s)];
}

structure our_two_d() {
  return {};
}

structure our_one_pass(int axis) {
  structure s;
  s.two_d = false;
  s.first = axis;
  s.shifts = {7, 0};
  s.rounding = {pass_rounding::half_up, pass_rounding::none};
  return s;
}

structure ours_for(block_path path) {
  return path == block_path::two_d ? our_two_d() : our_one_pass(filtered_axis(path));
}

tap_layout our_layout(int hx, int vy) {
  tap_layout t;
  const int phase[2] = {hx, vy};
  for (int axis = 0; axis < 2; ++axis) {
    for (int k = 0; k < 4; ++k) {
      t.taps[axis][k] = filter_taps[phase[axis]][k];
      t.offsets[axis][k] = phase[axis] ? (k - 1) * (axis == axis_h ? 3 : 1) : 0;
    }
  }
  return t;
}

int64_t round_shift(int64_t v, int32_t shift, pass_rounding r) {
  return rounded(v, shift, r);
}

int64_t keep_value(int64_t v, value_storage s) {
  return kept_as(v, s);
}

int64_t integer_offset(int32_t shift, pass_rounding r) {
  const bool offset = r == pass_rounding::half_up || r == pass_rounding::c_division;
  return offset && shift > 0 ? int64_t{1} << (shift - 1) : 0;
}

pass_sums first_pass_sums(const tap_layout& taps, const neighbourhood& n) {
  pass_sums p;
  for (int i = 0; i < 4; ++i) {
    int64_t along_row = 0, down_column = 0;
    for (int k = 0; k < 4; ++k) {
      along_row += int64_t{taps.taps[axis_h][k]} * n.source[i][k];
      down_column += int64_t{taps.taps[axis_v][k]} * n.source[k][i];
    }
    p.sums[axis_h][i] = along_row;
    p.sums[axis_v][i] = down_column;
  }
  return p;
}

namespace {

// A point's byte in its two steps, for points that agree on the first (same_first_pass): the
// values its first pass keeps (one pass: its sum as kept), then the byte.
struct kept_values {
  int64_t values[4];
};

// Into `out` directly: a search fills many of them in a row.
inline void keep_first_pass(const structure& s, const pass_sums& p, int64_t* out) {
  const int64_t* first = p.sums[s.first];
  if (!s.two_d) {
    // The offset is added where the sum is kept, as lanes that hold both do.
    const int64_t offset = integer_offset(s.shifts[0], s.rounding[0]);
    out[0] = kept_as(first[1] + offset, s.kept) - offset;
    return;
  }
  for (int i = 0; i < 4; ++i) {
    out[i] = kept_as(rounded(first[i], s.shifts[0], s.rounding[0]), s.kept);
  }
}

inline int final_value(const structure& s, const tap_layout& taps, const kept_values& k) {
  if (!s.two_d) return clamp_byte(rounded(k.values[0], s.shifts[0], s.rounding[0]));
  const int32_t* second = taps.taps[1 - s.first];
  int64_t sum = 0;
  for (int i = 0; i < 4; ++i) sum += second[i] * k.values[i];
  return clamp_byte(rounded(sum, s.shifts[1], s.rounding[1]));
}

bool same_first_pass(const structure& a, const structure& b) {
  return a.two_d == b.two_d && a.first == b.first && a.shifts[0] == b.shifts[0] &&
         a.rounding[0] == b.rounding[0] && a.kept == b.kept;
}

}  // namespace

std::array<int64_t, 4> first_pass_values(const structure& s, const pass_sums& sums) {
  kept_values k{};
  keep_first_pass(s, sums, k.values);
  return {k.values[0], k.values[1], k.values[2], k.values[3]};
}

int value_of_sums(const structure& s, const tap_layout& taps, const pass_sums& p) {
  kept_values k{};
  keep_first_pass(s, p, k.values);
  return final_value(s, taps, k);
}

int structure_value(const structure& s, const tap_layout& taps, const neighbourhood& n) {
  return value_of_sums(s, taps, first_pass_sums(taps, n));
}

void drop_disagreeing(std::vector<structure>* points, const tap_layout& taps, const pass_sums* sums,
                      const int16_t* found, size_t count) {
  // Each run of points that share a first pass takes its values once, as far as its points get;
  // each point goes over the bytes until one disagrees, its branches the same way each time.
  std::vector<kept_values> kept(count);
  size_t alive = 0;
  for (size_t from = 0, to = 0; from < points->size(); from = to) {
    const structure first = (*points)[from];
    for (to = from + 1; to < points->size() && same_first_pass(first, (*points)[to]);) ++to;
    size_t made = 0;
    for (size_t p = from; p < to; ++p) {
      const structure s = (*points)[p];
      size_t k = 0;
      for (; k < count; ++k) {
        if (found[k] < 0) continue;
        if (k >= made) {
          for (; made <= k; ++made) keep_first_pass(first, sums[made], kept[made].values);
        }
        if (final_value(s, taps, kept[k]) != found[k]) break;
      }
      if (k == count) (*points)[alive++] = s;
    }
  }
  points->resize(alive);
}

std::string structure_text(const structure& s) {
  if (!s.two_d) {
    return std::string("{") + rounding_name(s.rounding[0]) + ", " + storage_name(s.kept) + "}";
  }
  return std::string("{") + (s.first == axis_h ? "h" : "v") + ", [" + std::to_string(s.shifts[0]) +
         ", " + std::to_string(s.shifts[1]) + "], [" + rounding_name(s.rounding[0]) + ", " +
         rounding_name(s.rounding[1]) + "], " + storage_name(s.kept) + "}";
}

std::string structure_gloss(const structure& s, block_path path, const tap_layout& taps) {
  std::vector<std::string> words;
  if (!s.two_d) {
    if (s.rounding[0] != pass_rounding::half_up) {
      words.push_back(std::string("rounding ") + rounding_words(s.rounding[0]));
    }
    if (s.kept != value_storage::exact) {
      words.push_back(std::string("the sum, with its rounding offset, kept ") +
                      storage_words(s.kept));
    }
    return joined(words);
  }
  const structure ours = our_two_d();
  // What ours is as canonical with these taps counts as ours too: at phase 1/2 its first pass
  // rounds nothing and may as well keep the sum whole.
  const std::optional<structure> canonical_ours = canonical(ours, path, taps);
  const structure same = canonical_ours && canonical_ours->two_d ? *canonical_ours : ours;
  if (path != block_path::two_d) {
    words.push_back(std::string("the two-dimensional filter, phase 0 ") +
                    (path == block_path::horizontal ? "vertically" : "horizontally"));
  }
  if (path == block_path::two_d && s.first != ours.first) {
    words.push_back("the vertical pass first");
  } else if (path != block_path::two_d && s.first != filtered_axis(path)) {
    words.push_back("the axis it does not filter first");
  }
  if (s.shifts[0] == 0 && s.shifts != same.shifts) {
    words.push_back("the first pass kept whole, the 2^14 taken at the end");
  } else if (s.shifts != ours.shifts && s.shifts != same.shifts) {
    words.push_back("the 2^14 split as >> " + std::to_string(s.shifts[0]) + " then >> " +
                    std::to_string(s.shifts[1]));
  }
  const char* const pass[] = {"the first pass rounding ", "the second pass rounding "};
  for (int k = 0; k < 2; ++k) {
    // A rounding of none is a division the taps make exact, not a choice.
    if (s.rounding[k] != ours.rounding[k] && s.rounding[k] != same.rounding[k] &&
        s.rounding[k] != pass_rounding::none) {
      words.push_back(pass[k] + std::string(rounding_words(s.rounding[k])));
    }
  }
  if (s.kept != ours.kept && s.kept != same.kept) {
    words.push_back(std::string("the intermediate kept ") + storage_words(s.kept));
  }
  return joined(words);
}

json_value structure_json(const structure& s) {
  if (!s.two_d) {
    return json_object{{"rounding", rounding_name(s.rounding[0])}, {"sum", storage_name(s.kept)}};
  }
  return json_object{
      {"first", s.first == axis_h ? "h" : "v"},
      {"shifts", json_array{s.shifts[0], s.shifts[1]}},
      {"rounding", json_array{rounding_name(s.rounding[0]), rounding_name(s.rounding[1])}},
      {"intermediate", storage_name(s.kept)}};
}
