// The fit of ports with faults no catalogue switch names, written apart from it (the faulty
// port): the walk and the default vector set, each differing group fitted, what it says held to
// what the port did, and every structure it names rendered again over the group's bytes.
#include "fit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "check.h"
#include "compare.h"
#include "faulty_port.h"
#include "fit_parts.h"
#include "leads.h"
#include "manifest.h"
#include "picture.h"
#include "vector_set.h"

namespace {

bitmap_picture random_picture() {
  picture_options options;
  options.content = picture_content::random;
  options.seed = 17;
  return make_bitmap_picture(options);
}

// make_vectors' default set, made once.
const check_set& default_set() {
  static const check_set set = [] {
    char pattern[] = "/tmp/blockwalk_fit_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("no scratch directory");
    const std::string dir = pattern;
    std::string summary, error;
    check_set made;
    if (!make_vector_set(dir, {}, &summary, &error) || !read_manifest(dir, &made, &error)) {
      throw std::runtime_error(error);
    }
    std::system(("rm -rf '" + dir + "'").c_str());
    return made;
  }();
  return set;
}

const check_set& walk() {
  static const check_set set = walk_set("picture.bmp", random_picture());
  return set;
}

// A port's blocks checked against ours and grouped; each differing group fitted.
struct fitted_check {
  comparison compared;
  std::vector<group_report> groups;
  std::vector<group_fit> fits;  // per group; empty for a group that does not differ
};

// The port's blocks of the set, in set order.
std::vector<uint8_t> port_blocks(const check_set& set, const std::vector<std::string>& port) {
  const port_faults faults = injected_port(port);
  std::vector<uint8_t> blocks(set.cases.size() * block_bytes);
  for (size_t n = 0; n < set.cases.size(); ++n) {
    const check_case& c = set.cases[n];
    const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
    faulty_interpolate(c.call.stride, &blocks[n * block_bytes], plane.data(), plane.size(),
                       c.call.height, c.call.x, c.call.y, c.call.mvx, c.call.mvy, faults.switches,
                       faults.own, faults.arithmetic);
  }
  return blocks;
}

fitted_check fit_port(const check_set& set, const std::vector<std::string>& port,
                      bool fitted = true) {
  fitted_check check;
  check.compared = compare_stream(set, port_blocks(set, port));
  check.groups = group_blocks(set, check.compared);
  for (const group_report& g : check.groups) {
    check.fits.push_back(g.differing_bytes && fitted ? fit_group(set, check.compared, g)
                                                     : group_fit{});
  }
  return check;
}

std::string words(const std::vector<std::string>& port) {
  std::string all;
  for (const std::string& w : port) all += (all.empty() ? "" : " ") + w;
  return all;
}

std::string lines(const group_fit& fit, const group_key& key) {
  std::string all;
  for (const std::string& l : fit_lines(fit, key)) all += l + "\n";
  return all;
}

// Each structure the fit names gives every byte of the group: its source read here from the
// plane at the taps' offsets, every block's own source byte where the routine places it.
void expect_structures_give_the_bytes(const check_set& set, const fitted_check& check,
                                      const group_report& g, const group_fit& fit) {
  const tap_layout taps = applied_taps(fit, g.key);
  for (const structure& s : fit.structures) {
    size_t told = 0;
    for (const size_t i : g.cases) {
      const check_case& c = set.cases[i];
      const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
      const placement where = place(c.call);
      const int64_t row_bytes = int64_t{c.call.stride} * 3;
      const std::vector<uint8_t>& found = check.compared.outcomes[i].found;
      for (size_t b = 0; b < block_bytes; ++b) {
        const int64_t own = (where.source(axis_v) + static_cast<int64_t>(b / 48)) * row_bytes +
                            3 * where.source(axis_h) + static_cast<int64_t>(b % 48);
        neighbourhood n;
        bool inside = true;
        for (int j = 0; j < 4; ++j) {
          for (int k = 0; k < 4; ++k) {
            const int64_t at = own + taps.offsets[axis_v][j] * row_bytes + taps.offsets[axis_h][k];
            inside &= at >= 0 && at < static_cast<int64_t>(plane.size());
            n.source[j][k] = inside ? plane[static_cast<size_t>(at)] : 0;
          }
        }
        if (!inside) continue;
        ++told;
        ASSERT_EQ(structure_value(s, taps, n), found[b])
            << structure_text(s) << ", " << set.cases[i].file << " byte " << b;
      }
    }
    EXPECT_GT(told, 0u);
  }
}

// Ports whose arithmetic is a point of the grammar: in every group where their blocks differ,
// the fit names that point (as canonical on the group's path), and every point it names gives
// the group's bytes.
TEST(fit, names_the_point_a_port_computes_and_every_point_it_names_gives_the_bytes) {
  const auto two_d = [](int first, int s1, pass_rounding r1, pass_rounding r2, value_storage kept) {
    return structure{true, first, {s1, 14 - s1}, {r1, r2}, kept};
  };
  const auto one_pass = [](pass_rounding r, value_storage kept) {
    structure s = our_one_pass(axis_h);
    s.rounding[0] = r;
    s.kept = kept;
    return s;
  };
  const pass_rounding up = pass_rounding::half_up, none = pass_rounding::none;
  const struct {
    std::vector<std::string> port;   // as faulty_walk takes it
    std::optional<structure> point;  // its raw point; from the catalogue's switches where none
  } cases[] = {
      {{"vertical_first"}, two_d(axis_v, 1, up, up, value_storage::exact)},
      {{"uint16_intermediate"}, two_d(axis_h, 1, up, up, value_storage::uint16)},
      {{"split", "2"}, two_d(axis_h, 2, up, up, value_storage::exact)},
      // Its fraction kept: the half of a float is exact, the sum in half precision, halved.
      {{"fp16_intermediate"}, two_d(axis_h, 0, none, up, value_storage::fp16)},
      {{"wrapping_sums"}, one_pass(up, value_storage::int16_wrap)},
      // The offset added to the wrapped sum in int: rounding it, with no offset kept, half away
      // from zero is the same, below 0 too once clamped.
      {{"int16_sum"}, one_pass(pass_rounding::half_away, value_storage::int16_wrap)},
      {{"exact_intermediate", "half_even"}, std::nullopt},
      {{"narrow_intermediate", "8", "v"}, std::nullopt},
      {{"narrow_intermediate", "16"}, std::nullopt},
      {{"division", "1"}, std::nullopt},
      {{"rounding_mode", "both", "half_even"}, std::nullopt},
      {{"two_pass_1d"}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(words(c.port));
    const fault_switches switches = injected_port(c.port).switches;
    const fitted_check check = fit_port(default_set(), c.port);
    size_t differing = 0;
    for (size_t k = 0; k < check.groups.size(); ++k) {
      const group_report& g = check.groups[k];
      if (!g.differing_bytes) continue;
      ++differing;
      SCOPED_TRACE(path_and_phases(g.key));
      const group_fit& fit = check.fits[k];
      // The one-pass point of a port stands for the filtered axis it runs on.
      std::optional<structure> raw = c.point ? c.point : structure_of(switches, g.key.path);
      ASSERT_TRUE(raw);
      if (!raw->two_d) raw->first = g.key.path == block_path::vertical ? axis_v : axis_h;
      const tap_layout taps = our_layout(g.key.phase[0], g.key.phase[1]);
      const std::optional<structure> point = canonical(*raw, g.key.path, taps);
      ASSERT_TRUE(point);
      EXPECT_FALSE(fit.fitted_taps);
      EXPECT_NE(std::find(fit.structures.begin(), fit.structures.end(), *point),
                fit.structures.end())
          << structure_text(*point) << " not among " << lines(fit, g.key);
      // The port's one point, counted over the groups, however each path writes it.
      EXPECT_TRUE(reproduces_group(fit, g.key, *raw)) << structure_text(*raw);
      // The catalogue's faults are named from the point.
      if (!c.point) {
        diagnosed_fault injected;
        std::string error;
        ASSERT_TRUE(parse_fault(c.port, &injected, &error)) << error;
        std::string names;
        for (const diagnosed_fault& f : catalogue_names(*point, g.key))
          names += fault_text(f) + "; ";
        EXPECT_NE(names.find(fault_text(injected)), std::string::npos) << names;
      }
      expect_structures_give_the_bytes(default_set(), check, g, fit);
    }
    EXPECT_GT(differing, 0u);
  }
}

// Ports whose taps are not ours: the weights fitted along the row say where they lie and what
// they are (a byte apart, another phase's, a pixel off), and with them as taps our arithmetic
// gives every byte.
TEST(fit, finds_the_taps_a_port_applies) {
  const char* const phases[] = {"0", "1/4", "1/2", "3/4"};
  const struct {
    std::vector<std::string> port;
    std::function<bool(const group_key&)> fitted;  // the groups whose weights it fits
    int phase;                                     // of the taps it applies; -1: the group's
    int32_t step, shift;                           // where they lie, in bytes
    std::function<std::string(const group_key&)> finding;
  } cases[] = {
      {{"byte_taps"},
       [](const group_key& k) { return k.phase[0] != 0; },
       -1,
       1,
       0,
       [](const group_key&) { return "the taps step by bytes, not pixels"; }},
      {{"taps", "0", "3"},
       [](const group_key& k) { return k.phase[0] != 0 && k.phase[0] != 3; },
       3,
       3,
       0,
       [&](const group_key& k) {
         return std::string("the taps of phase 3/4, not ") + phases[k.phase[0]];
       }},
      {{"source_offset", "-1", "0"},
       [](const group_key& k) { return k.phase[0] != 0; },
       -1,
       3,
       -3,
       [](const group_key&) { return "displaced by -1 pixel"; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(words(c.port));
    // The walk's groups are large: it is fitted for one port.
    for (const check_set* set : {&default_set(), &walk()}) {
      if (set == &walk() && c.port[0] != "byte_taps") continue;
      const fitted_check check = fit_port(*set, c.port);
      size_t fitted = 0;
      for (size_t k = 0; k < check.groups.size(); ++k) {
        const group_report& g = check.groups[k];
        if (!g.differing_bytes || !c.fitted(g.key)) continue;
        ++fitted;
        SCOPED_TRACE(path_and_phases(g.key) + " " + clamp_name(g.key.clamp[0]) + "/" +
                     clamp_name(g.key.clamp[1]));
        const group_fit& fit = check.fits[k];
        ASSERT_TRUE(fit.fitted);
        ASSERT_EQ(fit.weights.size(), g.key.path == block_path::two_d ? 2u : 1u)
            << lines(fit, g.key);
        const axis_weights& h = fit.weights[0];
        const int32_t* t = filter_taps[c.phase < 0 ? g.key.phase[0] : c.phase];
        EXPECT_EQ(h.axis, axis_h);
        EXPECT_EQ(h.finding, c.finding(g.key));
        std::vector<std::pair<int32_t, int64_t>> taps;
        for (int32_t j = 0; j < 4; ++j) taps.push_back({(j - 1) * c.step + c.shift, t[j]});
        EXPECT_EQ(h.weights, taps);
        if (fit.weights.size() == 2) {
          EXPECT_TRUE(fit.weights[1].ours) << lines(fit, g.key);
        }
        ASSERT_TRUE(fit.fitted_taps) << lines(fit, g.key);
        EXPECT_NE(std::find(fit.structures.begin(), fit.structures.end(),
                            *canonical(ours_for(g.key.path), g.key.path, applied_taps(fit, g.key))),
                  fit.structures.end());
        EXPECT_NE(lines(fit, g.key).find(": " + c.finding(g.key) + "\n"), std::string::npos)
            << lines(fit, g.key);
        expect_structures_give_the_bytes(*set, check, g, fit);
      }
      EXPECT_GT(fitted, 0u);
    }
  }
}

// Ports whose values give out where no point of the grammar goes: the stage and the range, and
// the register it suggests. Where a point does reproduce a group after all (phase 1/2 divides
// exactly), it gives the group's bytes.
TEST(fit, says_where_values_give_out) {
  const struct {
    std::vector<std::string> port;
    fit_stage stage;
    bool low, high;     // which bounds the range has
    std::string words;  // what they say
  } cases[] = {
      {{"logical_shift"},
       fit_stage::first_pass,
       true,
       false,
       "every differing byte has an intermediate value below 0; none of the equal ones does: is "
       "the intermediate stored unsigned?"},
      {{"first_pass_lanes"},
       fit_stage::first_pass,
       false,
       true,
       "every differing byte has an intermediate value above 16383; none of the equal ones does: "
       "is the intermediate kept in 15 bits, or its sums in 16 bits before the halving?"},
      {{"second_pass_lanes"},
       fit_stage::second_pass,
       true,
       true,
       "are the second pass's sums kept in 16 bits?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(words(c.port));
    const fitted_check check = fit_port(walk(), c.port);
    size_t ranges = 0;
    for (size_t k = 0; k < check.groups.size(); ++k) {
      const group_report& g = check.groups[k];
      if (!g.differing_bytes) continue;
      SCOPED_TRACE(path_and_phases(g.key));
      const group_fit& fit = check.fits[k];
      if (!fit.structures.empty()) {
        expect_structures_give_the_bytes(walk(), check, g, fit);
        continue;
      }
      ASSERT_TRUE(fit.range) << lines(fit, g.key);
      ++ranges;
      EXPECT_EQ(fit.range->stage, c.stage);
      EXPECT_EQ(bool(fit.range->low), c.low);
      EXPECT_EQ(bool(fit.range->high), c.high);
      EXPECT_NE(fit.range->words.find(c.words), std::string::npos) << fit.range->words;
      EXPECT_NE(
          lines(fit, g.key)
              .find("fit: no point of the arithmetic reproduces these: " + fit.range->words + "\n"),
          std::string::npos)
          << lines(fit, g.key);
    }
    EXPECT_GT(ranges, 0u);
  }
}

// The widest range of a one-dimensional sum, as the formula gives it, that sets apart bytes a
// port got otherwise, on each side or both, or nothing where no range does: the bytes made here,
// each as ours but where its sum says otherwise.
TEST(fit, finds_the_widest_range_of_sums_that_sets_the_bytes_apart) {
  check_set set = walk();
  set.cases.clear();
  const int32_t stride = set.pictures[0].bitmap.width, height = set.pictures[0].bitmap.height;
  for (int32_t n = 0; n < 120; ++n) {
    set.cases.push_back({"block " + std::to_string(n),
                         0,
                         {stride, height, 20 + n * 37 % 500, 20 + n * 53 % 500, 1, 0}});
  }
  const std::vector<uint8_t>& plane = set.pictures[0].bitmap.plane;
  const auto sum_of = [&](const block_call& call, size_t b) {
    const placement where = place(call);
    const int64_t row = where.source(axis_v) + static_cast<int64_t>(b / 48);
    const int64_t column = where.source(axis_h) + static_cast<int64_t>(b % 48 / 3);
    int64_t sum = 0;
    for (int k = 0; k < 4; ++k) {
      sum += filter_taps[1][k] *
             plane[static_cast<size_t>(3 * (row * stride + column - 1 + k)) + b % 3];
    }
    return sum;
  };
  const struct {
    const char* what;
    std::function<int(int64_t sum, int expected, size_t b)> found;
    bool low, high;
    std::string words;  // empty: no range
  } cases[] = {
      {"sums wrapping at 16 bits with their offset",
       [](int64_t sum, int expected, size_t) { return sum + 64 > 32767 ? 0 : expected; }, false,
       true,
       "every differing byte has a sum above 32703 (with our rounding's 64, above 32767); none "
       "of the equal ones does: do the sums wrap at 16 bits?"},
      {"sums kept unsigned",
       [](int64_t sum, int expected, size_t) { return sum < 0 ? 255 : expected; }, true, false,
       "every differing byte has a sum below 0; none of the equal ones does: are the sums kept "
       "unsigned?"},
      {"sums beyond no register, on both sides",
       [](int64_t sum, int expected, size_t) {
         return sum < -1000 || sum > 30000 ? expected ^ 1 : expected;
       },
       true, true, "every differing byte has a sum outside "},
      {"bytes one off here and there",
       [](int64_t, int expected, size_t b) { return b % 97 == 5 ? expected ^ 1 : expected; }, false,
       false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    comparison compared;
    compared.pixels_only = true;
    for (const check_case& k : set.cases) {
      case_outcome o;
      o.state = file_state::read;
      o.expected.resize(block_bytes);
      interpolate_block(stride, o.expected.data(), plane.data(), height, k.call.x, k.call.y,
                        k.call.mvx, k.call.mvy);
      o.found = o.expected;
      for (size_t b = 0; b < block_bytes; ++b) {
        o.found[b] = static_cast<uint8_t>(c.found(sum_of(k.call, b), o.expected[b], b));
      }
      o.differs = o.found != o.expected;
      compared.differing += o.differs;
      compared.outcomes.push_back(std::move(o));
    }
    compared.checked = set.cases.size();
    const std::vector<group_report> groups = group_blocks(set, compared);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_GT(groups[0].differing_bytes, 0u);
    const std::optional<value_range> range =
        find_range(block_views(set, compared, groups[0]), groups[0].key);
    if (c.words.empty()) {
      EXPECT_FALSE(range) << range->words;
      continue;
    }
    ASSERT_TRUE(range);
    EXPECT_EQ(range->stage, fit_stage::sum);
    EXPECT_EQ(bool(range->low), c.low);
    EXPECT_EQ(bool(range->high), c.high);
    EXPECT_NE(range->words.find(c.words), std::string::npos) << range->words;
    // Every differing byte has its sum outside the range, every equal one the clamp leaves
    // alone inside it.
    for (size_t i = 0; i < set.cases.size(); ++i) {
      const case_outcome& o = compared.outcomes[i];
      for (size_t b = 0; b < block_bytes; ++b) {
        const int64_t sum = sum_of(set.cases[i].call, b);
        const bool inside =
            (!range->low || sum >= *range->low) && (!range->high || sum <= *range->high);
        if (o.found[b] != o.expected[b]) {
          ASSERT_FALSE(inside) << sum;
        } else if (o.found[b] != 0 && o.found[b] != 255) {
          ASSERT_TRUE(inside) << sum;
        }
      }
    }
  }
}

// A loop that stops short: the rows the differences keep to, and what they suggest; a port that
// rounds otherwise tells no such story.
TEST(fit, tells_the_rows_a_loop_leaves) {
  const struct {
    std::vector<std::string> port;
    std::string rows;  // in every differing group
  } cases[] = {
      {{"rows_written", "15"},
       "row 15 only: the block's last row is not written (found 0 throughout)"},
      {{"intermediate_rows", "16"},
       "rows 13 ... 15 only: the only rows that need intermediate rows 16 and beyond: is the "
       "intermediate kept for 16 rows, not 19?"},
      {{"exact_intermediate", "half_even"}, ""},
      {{"vertical_first"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(words(c.port));
    for (const check_set* set : {&default_set(), &walk()}) {
      if (set == &walk() && c.rows.empty()) continue;  // its large groups, where it counts
      const fitted_check check = fit_port(*set, c.port);
      for (size_t k = 0; k < check.groups.size(); ++k) {
        const group_report& g = check.groups[k];
        if (!g.differing_bytes) continue;
        EXPECT_EQ(check.fits[k].rows, c.rows) << path_and_phases(g.key);
        if (!c.rows.empty()) {
          EXPECT_NE(lines(check.fits[k], g.key).find("fit: " + c.rows + "\n"), std::string::npos);
        }
      }
    }
  }
}

TEST(fit, writes_what_it_found_as_json) {
  const fitted_check vertical = fit_port(walk(), {"vertical_first"});
  ASSERT_EQ(path_and_phases(vertical.groups[1].key), "two_d (1/4, 1/4)");
  EXPECT_EQ(
      json_text(fit_json(vertical.fits[1])),
      "{\"weights\": {\"h\": {\"-3\": -7, \"0\": 105, \"3\": 35, \"6\": -5},\n"
      "    \"v\": {\"-1\": -7, \"0\": 105, \"1\": 35, \"2\": -5}}, \"weights_fitted\": false,\n"
      "  \"structures\": [{\"first\": \"v\", \"shifts\": [1, 13], \"rounding\": [\"half_up\", "
      "\"half_up\"],\n"
      "      \"intermediate\": \"exact\"}], \"taps\": \"ours\", \"range\": null, \"rows\": "
      "null}\n");
  const fitted_check unsigned_ = fit_port(walk(), {"logical_shift"});
  const group_fit& fit = unsigned_.fits[1];
  ASSERT_TRUE(fit.range);
  EXPECT_NE(
      json_text(fit_json(fit))
          .find("\"structures\": [], \"taps\": \"ours\", \"range\": {\"stage\": \"first_pass\", "
                "\"low\": " +
                std::to_string(*fit.range->low) + ", \"high\": null}"),
      std::string::npos)
      << json_text(fit_json(fit));
}

// The whole check: the fit's lead explains every differing group, the faults of the catalogue
// that do too stand in for it, and a group whose blocks were located elsewhere is not fitted.
// A point that leads gives every byte of every group it claims.
TEST(fit, leads_the_check_where_it_explains_every_group) {
  enum class leading { point, finding, fault, relation };
  const struct {
    std::vector<std::string> port;
    leading first;
    std::string words;  // of the finding, or the fault's name
  } cases[] = {
      {{"uint16_intermediate"}, leading::point, ""},
      {{"vertical_first"}, leading::point, ""},
      {{"byte_taps"}, leading::finding, "the taps step by bytes, not pixels"},
      {{"rows_written", "15"}, leading::finding, "row 15 only"},
      {{"rounding_mode", "1", "half_even"}, leading::fault, "rounding_mode"},
      {{"no_origin"}, leading::relation, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(words(c.port));
    const check_set& set = default_set();
    const check_report report = check_stream(set, port_blocks(set, c.port));
    std::vector<size_t> differing;
    for (size_t k = 0; k < report.groups.size(); ++k) {
      if (report.groups[k].differing_bytes) differing.push_back(k);
      // Fitted exactly where the blocks lie as ours.
      const group_location& where = report.located.groups[k];
      const bool unknowable =
          std::any_of(where.unknowable.begin(), where.unknowable.end(), [&](const std::string& r) {
            return std::any_of(report.located.groups.begin(), report.located.groups.end(),
                               [&](const group_location& o) { return o.relation == r; });
          });
      EXPECT_EQ(report.fits[k].has_value(),
                report.groups[k].differing_bytes && !where.relation && !unknowable);
    }
    const std::vector<lead> leads = ranked_leads(report);
    ASSERT_FALSE(leads.empty());
    const lead& l = leads.front();
    if (c.first == leading::relation) {
      EXPECT_EQ(l.groups.size() + l.unknowable, differing.size());
    } else {
      EXPECT_EQ(l.groups, differing);
    }
    switch (c.first) {
      case leading::point: {
        ASSERT_TRUE(l.point);
        fitted_check check;
        check.compared = report.compared;
        for (const size_t k : l.groups) {
          const group_report& g = report.groups[k];
          group_fit claimed;
          claimed.structures = {
              *canonical(*l.point, g.key.path, applied_taps(*report.fits[k], g.key))};
          expect_structures_give_the_bytes(set, check, g, claimed);
        }
        break;
      }
      case leading::finding:
        ASSERT_TRUE(l.finding);
        EXPECT_EQ(l.finding->rfind(c.words, 0), 0u) << *l.finding;
        break;
      case leading::fault:
        ASSERT_TRUE(l.fault);
        EXPECT_STREQ(l.fault->fault->name, c.words.c_str());
        // The fit's points say no more than the fault.
        for (const lead& other : leads) EXPECT_FALSE(other.point || other.finding);
        break;
      case leading::relation:
        EXPECT_TRUE(l.relation);
        for (const std::optional<group_fit>& fit : report.fits) EXPECT_FALSE(fit);
        break;
    }
  }
}

// Groups fitted on two threads at once, as a check may share them out, fit as they do one by one;
// the threads first, while the grammar's points are still to be made (in a process of its own).
TEST(fit, fits_groups_on_two_threads_as_on_one) {
  const fitted_check check = fit_port(default_set(), {"split", "2"}, false);
  std::vector<group_fit> fits(check.groups.size());
  const auto fit_every_other = [&](size_t from) {
    for (size_t k = from; k < check.groups.size(); k += 2) {
      if (check.groups[k].differing_bytes) {
        fits[k] = fit_group(default_set(), check.compared, check.groups[k]);
      }
    }
  };
  std::thread other(fit_every_other, 1);
  fit_every_other(0);
  other.join();
  size_t differing = 0;
  for (size_t k = 0; k < check.groups.size(); ++k) {
    const group_report& g = check.groups[k];
    if (!g.differing_bytes) continue;
    ++differing;
    EXPECT_EQ(json_text(fit_json(fits[k])),
              json_text(fit_json(fit_group(default_set(), check.compared, g))))
        << path_and_phases(g.key);
  }
  EXPECT_GT(differing, 0u);
}

}  // namespace
