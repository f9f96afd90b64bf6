// The arithmetic a port may apply, as points of a small grammar rather than a list of faults.
//
// The two-dimensional filter: which axis its first pass filters; where the 2^14 is split, shifts
// [s1, s2] with s1 + s2 = 14 (ours [1, 13]); how each pass rounds its quotient; how the
// intermediate T is kept. A one-dimensional filter: how its one pass rounds, at 2^7, and how its
// sum is kept; or the two-dimensional filter's structure run with phase 0 on the other axis.
//
// A point is written as a function of one output byte's source neighbourhood, so that any
// rendering can apply it. Points that give the same bytes for every source are one point, in the
// canonical form canonical() gives; the grammar lists only those.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "faults.h"
#include "json.h"

// How a pass takes its quotient v / 2^shift: `none` where the shift is 0 or divides every sum
// the pass can give; `c_division` is (v + 2^(shift-1)) / 2^shift with C's truncating division.
enum class pass_rounding { none, floor, half_up, half_even, half_away, toward_zero, c_division };
// How a value is held: as computed, in 16 bits wrapping or saturating, in 16 unsigned bits
// (negatives wrap), clamped to a byte, or rounded to a half- or single-precision float.
enum class value_storage { exact, int16_wrap, int16_saturate, uint16, uint8_clamp, fp16, fp32 };

const char* rounding_name(pass_rounding r);  // "half_up"
const char* storage_name(value_storage s);   // "uint16"

struct structure {
  bool two_d = true;                     // the two-dimensional filter's form; else one pass
  int first = axis_h;                    // the axis of the first pass (one pass: the filtered one)
  std::array<int32_t, 2> shifts{1, 13};  // one pass: {7, 0}
  std::array<pass_rounding, 2> rounding{pass_rounding::half_up, pass_rounding::half_up};
  value_storage kept = value_storage::exact;  // the intermediate; one pass: its sum

  // In the order the search shares work in: points that differ only in the last rounding last.
  auto tie() const {
    return std::make_tuple(!two_d, first, shifts[0], rounding[0], kept, rounding[1], shifts[1]);
  }
  bool operator==(const structure& o) const { return tie() == o.tie(); }
  bool operator!=(const structure& o) const { return !(*this == o); }
  bool operator<(const structure& o) const { return tie() < o.tie(); }
};

// The routine's own: {h, [1, 13], [half_up, half_up], exact}, and one pass {half_up, exact}
// along `axis`.
structure our_two_d();
structure our_one_pass(int axis);
// Ours, on a group of this path.
structure ours_for(block_path path);

// The taps a port applies, and where: per axis four taps at four offsets from the output byte's
// own source byte, in bytes along the row and in rows down the column. An axis the path does not
// filter has phase 0's taps, 0, 128, 0, 0, all at offset 0.
struct tap_layout {
  int32_t taps[2][4] = {};
  int32_t offsets[2][4] = {};
};
// Ours for the phases: the taps at -3, 0, 3, 6 bytes (a pixel apart) and -1 ... 2 rows.
tap_layout our_layout(int hx, int vy);

// One output byte's source: source[j][k] lies offsets[1][j] rows and offsets[0][k] bytes from its
// own source byte (row j, column k of the 4 x 4 a two-dimensional output reads; a one-dimensional
// one reads a row of them, or a column, all rows or columns alike).
struct neighbourhood {
  int32_t source[4][4] = {};
};

// The byte `s` gives for this neighbourhood under these taps.
int structure_value(const structure& s, const tap_layout& taps, const neighbourhood& n);

// The same in two steps, for a search that tries many points on one byte: the first pass's sums
// along each axis (sums[h][j] along row j, sums[v][k] down column k), then a point's byte.
struct pass_sums {
  int64_t sums[2][4];
};
pass_sums first_pass_sums(const tap_layout& taps, const neighbourhood& n);
int value_of_sums(const structure& s, const tap_layout& taps, const pass_sums& sums);
// The values a point's first pass keeps, T for each row (first pass h) or column of the source;
// one pass: its sum as kept, alone, first.
std::array<int64_t, 4> first_pass_values(const structure& s, const pass_sums& sums);
// Keeps of `points` (in order) those that give found[k] for sums[k], every k below `count` (a
// byte found as -1 is not held against them); points next to each other that agree on their
// first pass share its values.
void drop_disagreeing(std::vector<structure>* points, const tap_layout& taps, const pass_sums* sums,
                      const int16_t* found, size_t count);

// v / 2^shift rounded as `r` says.
int64_t round_shift(int64_t v, int32_t shift, pass_rounding r);
// What an integer port adds before it shifts by `shift`: 2^(shift-1) for half_up and
// c_division, else 0 (a float port rounds the quotient itself).
int64_t integer_offset(int32_t shift, pass_rounding r);
// v held as `s` holds it.
int64_t keep_value(int64_t v, value_storage s);

// The canonical form of `s` on a path with these taps:
// - a rounding that changes nothing (a shift of 0, or one that divides every sum, but for C's
//   division, whose offset lifts an exact negative quotient by 1) is `none`;
// - the last rounding's toward_zero is floor, its half_away and c_division half_up: they differ
//   only below 0, which the final clamp makes 0;
// - a storage that holds every value the pass can give is `exact` (fp32 always does), and so is
//   one that saturates or rounds only values the rest of the arithmetic makes 0 or 255 anyway;
// - a first pass that rounds nothing and keeps a float is the same unsplit, s1 = 0: a float
//   scales by 2 exactly;
// - a first pass that neither rounds nor loses anything is the exact sum, rounded once: on the
//   two-dimensional path {h, [0, 14], [none, r2], exact}, on a one-dimensional path its one pass;
// - on a one-dimensional path, the two-dimensional filter's first pass along the filtered axis
//   is followed by phase 0's 128 T alone, so its rounding is a last rounding too (unless T wraps
//   in uint16), and it is the one pass where that rounds nothing more (s1 = 7) or rounds with a
//   floor that the second rounding's integer offset passes through.
// Nothing where `s` rounds `none` where a rounding is needed, or is no point of this path.
std::optional<structure> canonical(const structure& s, block_path path, const tap_layout& taps);

// Every canonical point of the grammar on a path with these taps, in order (ours among them).
std::vector<structure> grammar_points(block_path path, const tap_layout& taps);

// The point that a port with these switches of the catalogue's arithmetic computes on a path
// (rounding_mode, exact_intermediate, narrow_intermediate, division, two_pass_1d and the offsets
// of rounding that are floor or ours), not yet canonical; nothing where the switches do anything
// else.
std::optional<structure> structure_of(const fault_switches& faults, block_path path);

// The catalogue's arithmetic faults, in the forms diagnose() tries on this key, that are the
// point `s` (canonical on the key's path with our taps): the names the diagnosis gives it.
std::vector<diagnosed_fault> catalogue_names(const structure& s, const group_key& key);

// "{h, [1, 13], [half_up, half_up], exact}"; one pass "{half_up, exact}"
std::string structure_text(const structure& s);
// What `s` does otherwise than ours on the path with these taps, in words: "the vertical pass
// first; the intermediate kept in uint16_t, where negatives wrap"; empty for ours.
std::string structure_gloss(const structure& s, block_path path, const tap_layout& taps);
// {"first": "h", "shifts": [1, 13], "rounding": ["half_up", "half_up"], "intermediate": "exact"};
// one pass {"rounding": "half_up", "sum": "exact"}
json_value structure_json(const structure& s);
