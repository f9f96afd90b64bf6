// Which points of the grammar give the same bytes for every source, and the one that names them.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include "structure.h"

namespace {

constexpr pass_rounding all_roundings[] = {pass_rounding::none,      pass_rounding::floor,
                                           pass_rounding::half_up,   pass_rounding::half_even,
                                           pass_rounding::half_away, pass_rounding::toward_zero,
                                           pass_rounding::c_division};
// The last rounding's, which fold into these (last_rounding).
constexpr pass_rounding last_roundings[] = {pass_rounding::none, pass_rounding::floor,
                                            pass_rounding::half_up, pass_rounding::half_even};
constexpr value_storage all_storages[] = {
    value_storage::exact,  value_storage::int16_wrap,  value_storage::int16_saturate,
    value_storage::uint16, value_storage::uint8_clamp, value_storage::fp16,
    value_storage::fp32};

int filtered_axis(block_path path) {
  return path == block_path::vertical ? axis_v : axis_h;
}

// The range of a pass's sums over values 0 ... 255, and the power of two (its exponent) that
// divides every one of them.
struct sum_range {
  int64_t low = 0, high = 0;
  int exponent = 30;
};

sum_range range_of(const int32_t taps[4]) {
  sum_range r;
  for (int k = 0; k < 4; ++k) {
    (taps[k] < 0 ? r.low : r.high) += 255 * int64_t{taps[k]};
    if (taps[k]) r.exponent = std::min(r.exponent, __builtin_ctz(static_cast<uint32_t>(taps[k])));
  }
  return r;
}

// The values `s` holds exactly: low ... high, in steps of 2^exponent for a float.
void held_range(value_storage s, int exponent, int64_t* low, int64_t* high) {
  const int64_t step = int64_t{1} << std::min(exponent, 30);
  switch (s) {
    case value_storage::exact:
      *low = INT64_MIN, *high = INT64_MAX;
      return;
    case value_storage::int16_wrap:
    case value_storage::int16_saturate:
      *low = -32768, *high = 32767;
      return;
    case value_storage::uint16:
      *low = 0, *high = 65535;
      return;
    case value_storage::uint8_clamp:
      *low = 0, *high = 255;
      return;
    case value_storage::fp16:
      *high = std::min<int64_t>(2048 * step, 65504), *low = -*high;
      return;
    case value_storage::fp32:
      *high = (int64_t{1} << 24) * step, *low = -*high;
      return;
  }
}

// The rest of the arithmetic after a value is kept, where it depends on that value alone:
// clamp(round(v - minus, shift, rounding)), which grows with v. Nothing else in a
// two-dimensional filter, whose second pass mixes four values.
struct rest_of {
  int64_t minus = 0;
  int32_t shift = 0;
  pass_rounding rounding = pass_rounding::none;
  int64_t byte(int64_t v) const {
    const int64_t r = round_shift(v - minus, shift, rounding);
    return r < 0 ? 0 : r > 255 ? 255 : r;
  }
};

// Whether keeping the values low ... high (of 2^exponent) as `s` changes no byte: each value it
// does not hold lies beyond a side where it saturates or rounds to a value that the rest makes 0
// or 255 already, as it does the exact one. Wrapping changes what lies beyond.
bool harmless(value_storage s, int64_t low, int64_t high, int exponent,
              const std::optional<rest_of>& rest) {
  int64_t held_low = 0, held_high = 0;
  held_range(s, exponent, &held_low, &held_high);
  if (low >= held_low && high <= held_high) return true;
  if (!rest || s == value_storage::int16_wrap || s == value_storage::uint16) return false;
  return (high <= held_high || rest->byte(held_high) == 255) &&
         (low >= held_low || rest->byte(held_low) == 0);
}

// The last rounding before the clamp, where what differs below 0 becomes 0 either way.
pass_rounding last_rounding(pass_rounding r) {
  if (r == pass_rounding::toward_zero) return pass_rounding::floor;
  if (r == pass_rounding::half_away || r == pass_rounding::c_division) {
    return pass_rounding::half_up;
  }
  return r;
}

// A pass's rounding: none where its shift divides every sum (of 2^exponent), and only there; but
// C's division, whose offset lifts an exact negative quotient by 1, still rounds.
std::optional<pass_rounding> needed(pass_rounding r, int32_t shift, int exponent) {
  if (shift == 0 || (exponent >= shift && r != pass_rounding::c_division)) {
    return pass_rounding::none;
  }
  if (r == pass_rounding::none) return std::nullopt;
  return r;
}

std::optional<structure> canonical_one_pass(pass_rounding rounding, value_storage kept,
                                            block_path path, const tap_layout& taps) {
  if (path != block_path::horizontal && path != block_path::vertical) return std::nullopt;
  const int axis = filtered_axis(path);
  const sum_range sums = range_of(taps.taps[axis]);
  std::optional<pass_rounding> r = needed(rounding, 7, sums.exponent);
  if (!r) return std::nullopt;
  // The sum is kept with the offset of its rounding.
  const int64_t offset = integer_offset(7, *r);
  const int exponent = offset
                           ? std::min(sums.exponent, __builtin_ctzll(static_cast<uint64_t>(offset)))
                           : sums.exponent;
  if (harmless(kept, sums.low + offset, sums.high + offset, exponent, rest_of{offset, 7, *r})) {
    kept = value_storage::exact;
  }
  structure s = our_one_pass(axis);
  s.kept = kept;
  // Which offset the sum is kept with matters where it is not kept exactly.
  const pass_rounding last = last_rounding(*r);
  s.rounding[0] = kept == value_storage::exact || integer_offset(7, last) == offset ? last : *r;
  return s;
}

// Canonical points of a path and tap layout, made once: the search asks for them per group.
using grammar_key = std::pair<block_path, std::vector<int32_t>>;

grammar_key key_of(block_path path, const tap_layout& taps) {
  std::vector<int32_t> numbers;
  for (int axis = 0; axis < 2; ++axis) {
    numbers.insert(numbers.end(), taps.taps[axis], taps.taps[axis] + 4);
    numbers.insert(numbers.end(), taps.offsets[axis], taps.offsets[axis] + 4);
  }
  return {path, numbers};
}

std::vector<structure> make_grammar(block_path path, const tap_layout& taps) {
  std::vector<structure> points;
  const auto add = [&](const structure& raw) {
    if (const std::optional<structure> c = canonical(raw, path, taps)) points.push_back(*c);
  };
  for (const int first : {axis_h, axis_v}) {
    for (int32_t s1 = 0; s1 <= 14; ++s1) {
      for (const pass_rounding r1 : all_roundings) {
        for (const value_storage kept : all_storages) {
          for (const pass_rounding r2 : last_roundings) {
            add({true, first, {s1, 14 - s1}, {r1, r2}, kept});
          }
        }
      }
    }
  }
  for (const pass_rounding r : all_roundings) {
    for (const value_storage kept : all_storages) {
      structure one = our_one_pass(filtered_axis(path));
      one.rounding[0] = r;
      one.kept = kept;
      add(one);
    }
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

}  // namespace

std::optional<structure> canonical(const structure& s, block_path path, const tap_layout& taps) {
  if (path == block_path::copy) return std::nullopt;
  if (!s.two_d) return canonical_one_pass(s.rounding[0], s.kept, path, taps);
  const int32_t s1 = s.shifts[0], s2 = s.shifts[1];
  if (s1 < 0 || s2 < 0 || s1 + s2 != 14 || (s.first != axis_h && s.first != axis_v)) {
    return std::nullopt;
  }
  const sum_range first = range_of(taps.taps[s.first]);
  const sum_range second = range_of(taps.taps[1 - s.first]);
  // On a one-dimensional path, a first pass along the filtered axis is followed by phase 0's
  // 128 T alone: the rest depends on T only, and takes T / 2^(7 - s1); a T below 0 gives 0 at the
  // end, whatever rounded it (unless it wraps).
  const bool along = path != block_path::two_d && s.first == filtered_axis(path) && s1 <= 7;
  const bool wraps = s.kept == value_storage::uint16;
  const std::optional<pass_rounding> r1 =
      needed(along && !wraps ? last_rounding(s.rounding[0]) : s.rounding[0], s1, first.exponent);
  if (!r1) return std::nullopt;
  const bool exact = *r1 == pass_rounding::none;
  value_storage kept = s.kept;
  const int t_exponent = exact ? first.exponent - s1 : 0;
  const bool lossy = kept == value_storage::uint8_clamp || kept == value_storage::int16_saturate;
  const std::optional<pass_rounding> r2 =
      needed(last_rounding(s.rounding[1]), s2, second.exponent + (lossy ? 0 : t_exponent));
  if (!r2) return std::nullopt;
  std::optional<rest_of> rest;
  if (along) rest = rest_of{0, 7 - s1, *r2};
  if (harmless(kept, round_shift(first.low, s1, *r1), round_shift(first.high, s1, *r1), t_exponent,
               rest)) {
    kept = value_storage::exact;
  }
  if (exact && s1 != 0 && (kept == value_storage::fp16 || kept == value_storage::fp32)) {
    // A float scales by 2 exactly: an exact quotient kept as one is the sum kept as one, scaled.
    structure whole = s;
    whole.shifts = {0, 14};
    whole.rounding[0] = pass_rounding::none;
    whole.kept = kept;
    return canonical(whole, path, taps);
  }
  if (exact && kept == value_storage::exact) {
    // Nothing lost before the second pass: the exact sum, rounded once at 2^14 (on a
    // one-dimensional path, the one pass: the sum scaled by phase 0's 128).
    if (path != block_path::two_d) {
      return canonical_one_pass(s.rounding[1], value_storage::exact, path, taps);
    }
    structure whole = our_two_d();
    whole.shifts = {0, 14};
    const std::optional<pass_rounding> r =
        needed(last_rounding(s.rounding[1]), 14, first.exponent + second.exponent);
    if (!r) return std::nullopt;
    whole.rounding = {pass_rounding::none, *r};
    return whole;
  }
  if (along && kept == value_storage::exact) {
    // One rounding at 2^7 after all; or a floor, which the second rounding's integer offset
    // passes through: floor((floor(S / 2^s1) + c) / 2^(7 - s1)) = floor((S + c 2^s1) / 2^7).
    if (s1 == 7) return canonical_one_pass(*r1, value_storage::exact, path, taps);
    if (*r1 == pass_rounding::floor &&
        (*r2 == pass_rounding::floor || *r2 == pass_rounding::half_up)) {
      return canonical_one_pass(*r2, value_storage::exact, path, taps);
    }
  }
  structure c = s;
  c.rounding = {*r1, *r2};
  c.kept = kept;
  return c;
}

std::vector<structure> grammar_points(block_path path, const tap_layout& taps) {
  if (path == block_path::copy) return {};
  static std::mutex guard;
  static std::map<grammar_key, std::vector<structure>> made;
  const std::lock_guard<std::mutex> lock(guard);
  const grammar_key key = key_of(path, taps);
  auto known = made.find(key);
  if (known == made.end()) known = made.emplace(key, make_grammar(path, taps)).first;
  return known->second;
}
