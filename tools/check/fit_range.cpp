// Where a port's values give out: a range of one stage's values, as our formulas give them,
// that every differing byte leaves somewhere and every equal one keeps to.
#include <algorithm>
#include <climits>
#include <tuple>

#include "fit_parts.h"

namespace {

constexpr int64_t below_all = INT64_MIN, above_all = INT64_MAX;

// The values of one stage at one byte, the least and the greatest.
struct extent {
  int64_t low = above_all, high = below_all;
  void add(int64_t v) { low = std::min(low, v), high = std::max(high, v); }
};

struct stage_values {
  fit_stage stage;
  extent span;                    // what the stage can give
  extent equal;                   // over the equal bytes the clamp leaves alone
  std::vector<extent> differing;  // per differing byte
  int64_t rounding_offset = 0;    // what our rounding adds before it shifts
};

struct candidate {
  int64_t low = below_all, high = above_all;  // the range; below_all, above_all: open
  double share = -1;                          // of the stage's span that it covers
};

// The widest range low ... high (within what the stage can give) such that each differing byte
// has a value outside it and the equal ones have none. The differing bytes whose greatest value
// is at most `high` must leave it below `low`: sweep `high` over their greatest values.
candidate widest(stage_values& s) {
  candidate best;
  std::vector<extent>& d = s.differing;
  std::sort(d.begin(), d.end(), [](const extent& a, const extent& b) { return a.high < b.high; });
  int64_t lowest_needed = below_all;  // the greatest least value of the bytes left of `high`
  for (size_t i = 0; i <= d.size(); ++i) {
    if (i > 0) lowest_needed = std::max(lowest_needed, d[i - 1].low);
    if (i > 0 && i < d.size() && d[i].high == d[i - 1].high) continue;
    const int64_t high = i < d.size() ? d[i].high - 1 : above_all;
    const int64_t low = i > 0 ? lowest_needed + 1 : below_all;
    if (high < s.equal.high || low > s.equal.low) continue;
    const int64_t from = std::max(low, s.span.low), to = std::min(high, s.span.high);
    const double share =
        static_cast<double>(to - from) / static_cast<double>(s.span.high - s.span.low);
    if (share > best.share) best = {low, high, share};
  }
  return best;
}

// A register whose limits would set the bytes apart so: values low ... high, less the rounding's
// offset where the offset is added in it, each bound where the range has one lying between the
// equal bytes' values and the range's own bound.
struct register_limits {
  int bits = 0;
  bool is_signed = true;
  int64_t less = 0;  // the rounding's offset, added before the register holds the sum
  int64_t low = 0, high = 0;
};

// Registers ports have: a byte, 16 bits either way, 32 bits.
constexpr std::pair<int, bool> likely_registers[] = {
    {8, false}, {16, true}, {16, false}, {32, true}};

bool likely(const register_limits& r, fit_stage stage) {
  for (const auto& [bits, is_signed] : likely_registers) {
    // The intermediate is half the first pass's sum.
    if (is_signed == r.is_signed &&
        (bits == r.bits || (stage == fit_stage::first_pass && bits == r.bits + 1))) {
      return true;
    }
  }
  return false;
}

// The register that fits: a likely one before others, then one that holds the value itself
// before one that holds it with our rounding's offset, then the one whose limits lie nearest the
// range's own bounds (the widest).
std::optional<register_limits> register_of(const stage_values& s, const candidate& c) {
  const bool has_low = c.low != below_all, has_high = c.high != above_all;
  std::optional<register_limits> best;
  std::tuple<bool, bool, double> best_score{false, false, 0};
  for (const int64_t less : {int64_t{0}, s.rounding_offset}) {
    for (const bool is_signed : {true, false}) {
      for (int bits = 8; bits <= 31; ++bits) {
        const int64_t low = (is_signed ? -(int64_t{1} << (bits - 1)) : 0) - less;
        const int64_t high =
            (is_signed ? (int64_t{1} << (bits - 1)) : int64_t{1} << bits) - 1 - less;
        if (has_low && (low < c.low || low > s.equal.low)) continue;
        if (has_high && (high > c.high || high < s.equal.high)) continue;
        const register_limits r{bits, is_signed, less, low, high};
        const double distance = (has_low ? static_cast<double>(low - c.low) : 0) +
                                (has_high ? static_cast<double>(c.high - high) : 0);
        const std::tuple<bool, bool, double> score{likely(r, s.stage), less == 0, -distance};
        if (!best || score > best_score) best = r, best_score = score;
      }
    }
  }
  return best;
}

const char* noun(fit_stage stage) {
  switch (stage) {
    case fit_stage::sum:
      return "a sum";
    case fit_stage::first_pass:
      return "an intermediate value";
    case fit_stage::second_pass:
      return "a second-pass sum";
  }
  return "";
}

// The register, as a question.
std::string question(fit_stage stage, const register_limits& r, bool low_only) {
  const std::string what = stage == fit_stage::sum          ? "are the sums"
                           : stage == fit_stage::first_pass ? "is the intermediate"
                                                            : "are the second pass's sums";
  if (!r.is_signed && low_only) {
    return what + (stage == fit_stage::first_pass ? " stored" : " kept") + " unsigned?";
  }
  const std::string width = std::to_string(r.bits) + (r.is_signed ? " bits" : " unsigned bits");
  if (!r.is_signed && r.bits == 8) return what + " kept in a byte?";
  if (stage == fit_stage::sum) return "do the sums wrap at " + width + "?";
  if (stage == fit_stage::first_pass) {
    return what + " kept in " + width + ", or its sums in " + std::to_string(r.bits + 1) +
           (r.is_signed ? " bits" : " unsigned bits") + " before the halving?";
  }
  return what + " kept in " + width + "?";
}

std::string range_words(const stage_values& s, const candidate& c) {
  const bool has_low = c.low != below_all, has_high = c.high != above_all;
  const std::optional<register_limits> r = register_of(s, c);
  const int64_t low = r ? r->low : c.low, high = r ? r->high : c.high;
  std::string words = "every differing byte has " + std::string(noun(s.stage));
  if (has_low && has_high) {
    words += " outside " + std::to_string(low) + " ... " + std::to_string(high);
  } else {
    words += has_high ? " above " + std::to_string(high) : " below " + std::to_string(low);
  }
  if (r && r->less) {
    words += " (with our rounding's " + std::to_string(r->less) + ", " +
             (has_low && has_high ? "outside " + std::to_string(r->low + r->less) + " ... " +
                                        std::to_string(r->high + r->less)
              : has_high ? "above " + std::to_string(r->high + r->less)
                         : "below " + std::to_string(r->low + r->less)) +
             ")";
  }
  words += "; none of the equal ones does";
  if (r) words += ": " + question(s.stage, *r, has_low && !has_high);
  return words;
}

}  // namespace

std::optional<value_range> find_range(const std::vector<block_view>& blocks, const group_key& key) {
  const block_path path = key.path;
  const tap_layout taps = our_layout(key.phase[axis_h], key.phase[axis_v]);
  std::vector<stage_values> stages;
  if (path == block_path::two_d) {
    stages = {{fit_stage::first_pass, {}, {}, {}, 1}, {fit_stage::second_pass, {}, {}, {}, 4096}};
  } else {
    stages = {{fit_stage::sum, {}, {}, {}, 64}};
  }
  // What each stage can give, from the extremes of the source bytes.
  const int axis = path == block_path::vertical ? axis_v : axis_h;
  const int32_t* v = taps.taps[axis_v];
  extent sum{0, 0};
  for (const int32_t c : taps.taps[axis]) (c < 0 ? sum.low : sum.high) += 255 * int64_t{c};
  if (path == block_path::two_d) {
    const extent t{(sum.low + 1) >> 1, (sum.high + 1) >> 1};
    stages[0].span = t;
    stages[1].span = {0, 0};
    for (int k = 0; k < 4; ++k) {
      stages[1].span.low += std::min(v[k] * t.low, v[k] * t.high);
      stages[1].span.high += std::max(v[k] * t.low, v[k] * t.high);
    }
  } else {
    stages[0].span = sum;
  }

  neighbourhood n;
  for (const block_view& block : blocks) {
    for (size_t b = 0; b < block_bytes; ++b) {
      const int found = block.found[b], expected = block.expected[b];
      const bool differs = found != expected;
      if (!differs && (found == 0 || found == 255)) continue;  // the clamp may hide a difference
      if (!gather(block, b, taps, false, &n)) continue;
      const pass_sums p = first_pass_sums(taps, n);
      extent values[2];
      if (path == block_path::two_d) {
        int64_t second = 0;
        for (int j = 0; j < 4; ++j) {
          const int64_t first = (p.sums[axis_h][j] + 1) >> 1;
          values[0].add(first);
          second += v[j] * first;
        }
        values[1].add(second);
      } else {
        values[0].add(p.sums[axis][1]);
      }
      for (size_t s = 0; s < stages.size(); ++s) {
        if (differs) {
          stages[s].differing.push_back(values[s]);
        } else {
          stages[s].equal.add(values[s].low);
          stages[s].equal.add(values[s].high);
        }
      }
    }
  }
  // The stage whose range a likely register explains, then the one it covers most of.
  std::optional<value_range> found;
  std::pair<bool, double> best{false, -1};
  for (stage_values& s : stages) {
    if (s.differing.empty()) continue;
    const candidate c = widest(s);
    if (c.share < 0) continue;
    const std::optional<register_limits> held = register_of(s, c);
    const std::pair<bool, double> score{held && likely(*held, s.stage), c.share};
    if (score <= best) continue;
    best = score;
    value_range r;
    r.stage = s.stage;
    if (c.low != below_all) r.low = c.low;
    if (c.high != above_all) r.high = c.high;
    r.words = range_words(s, c);
    found = r;
  }
  return found;
}
