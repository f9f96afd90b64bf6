// The catalogue of faults: how a port's words name a form of one, which faults combine, and the
// README's rows of them.
#include "faults.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

diagnosed_fault parsed(const std::vector<std::string>& words) {
  diagnosed_fault fault;
  std::string error;
  EXPECT_TRUE(parse_fault(words, &fault, &error)) << error;
  return fault;
}

TEST(fault_catalogue, parses_a_ports_words_into_typed_fields) {
  const struct {
    std::vector<std::string> words;
    std::string text;
  } cases[] = {
      {{"taps", "0", "3"}, "taps (axis h, phase 3)"},
      {{"taps", "v", "1"}, "taps (axis v, phase 1)"},
      {{"clamp_bounds", "1", "0", "-1"}, "clamp_bounds (axis v, bound low, delta -1)"},
      {{"clamp_bounds", "h", "high", "1"}, "clamp_bounds (axis h, bound high, delta 1)"},
      {{"rounding_mode", "both", "half_even"}, "rounding_mode (pass both, mode half_even)"},
      {{"rounding", "2", "0"}, "rounding (pass 2, offset_min 0)"},
      {{"narrow_intermediate", "16"}, "narrow_intermediate (bits 16)"},
      {{"row_stride", "padded"}, "row_stride (rows padded)"},
      {{"row_stride", "-3"}, "row_stride (rows -3)"},
      {{"no_clamp"}, "no_clamp"},
  };
  for (const auto& c : cases) EXPECT_EQ(fault_text(parsed(c.words)), c.text);
  EXPECT_EQ(parsed({"taps", "h", "2"}).switches.taps[0], 2);
  EXPECT_EQ(parsed({"rounding", "1", "63"}).switches.rounding_1d, 63);
  EXPECT_EQ(parsed({"rounding", "2", "0"}).switches.rounding_pass2, 0);

  const struct {
    std::vector<std::string> words;
    std::string error;
  } bad[] = {
      {{"rounding_offset"}, "no such fault: rounding_offset"},
      {{"taps", "h"}, "taps takes 2 values, got 1"},
      {{"taps", "x", "1"}, "taps: axis cannot be x"},
      {{"taps", "2", "1"}, "taps: axis cannot be 2"},
      {{"taps", "h", "4"}, "taps: phase cannot be 4"},
      {{"rounding_mode", "1", "half_down"}, "rounding_mode: mode cannot be half_down"},
      {{"no_clamp", "1"}, "no_clamp takes 0 values, got 1"},
  };
  for (const auto& c : bad) {
    diagnosed_fault fault;
    std::string error;
    EXPECT_FALSE(parse_fault(c.words, &fault, &error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

TEST(fault_catalogue, combines_faults_that_set_different_switches) {
  const struct {
    std::vector<std::string> a, b;
    bool combine;
  } cases[] = {
      {{"vector_split", "h"}, {"vector_split", "v"}, true},
      {{"taps", "h", "1"}, {"taps", "v", "2"}, true},
      {{"taps", "h", "1"}, {"taps", "h", "2"}, false},
      {{"rounding_mode", "1", "half_even"}, {"rounding_mode", "2", "half_even"}, true},
      {{"rounding_mode", "both", "half_even"}, {"rounding_mode", "2", "toward_zero"}, false},
      {{"clamp_bounds", "h", "low", "1"}, {"clamp_bounds", "h", "high", "-1"}, true},
      {{"clamp_bounds", "h", "low", "1"}, {"clamp_bounds", "h", "low", "-1"}, false},
      {{"row_stride", "padded"}, {"row_stride", "3"}, true},
      {{"row_stride", "3"}, {"row_stride", "-3"}, false},
      {{"exact_intermediate", "half_even"}, {"channel_order"}, true},
      {{"narrow_intermediate", "8", "v"}, {"narrow_intermediate", "16"}, false},
  };
  for (const auto& c : cases) {
    const diagnosed_fault a = parsed(c.a), b = parsed(c.b);
    fault_switches both;
    EXPECT_EQ(combine_switches(a.switches, b.switches, &both), c.combine)
        << fault_text(a) << " + " << fault_text(b);
    if (!c.combine) continue;
    // Each fault's switches undo the other's: what is left is the fault alone.
    fault_switches again;
    EXPECT_FALSE(combine_switches(both, a.switches, &again)) << fault_text(a);
    EXPECT_FALSE(combine_switches(both, b.switches, &again)) << fault_text(b);
    EXPECT_FALSE(both == a.switches);
    EXPECT_FALSE(both == b.switches);
  }
}

TEST(fault_catalogue, has_its_rows_in_the_readme_and_no_others) {
  std::ifstream file(README_PATH);
  ASSERT_TRUE(file) << README_PATH;
  std::stringstream text;
  text << file.rdbuf();
  const std::string readme = text.str();
  const std::string header =
      "| fault | what the port did | fields | tried on |\n|---|---|---|---|\n";
  const size_t table = readme.find(header);
  ASSERT_NE(table, std::string::npos);
  std::istringstream rows(readme.substr(table + header.size()));
  size_t count = 0;
  for (std::string row; std::getline(rows, row) && !row.empty(); ++count) {
    const size_t name = row.find('`') + 1;
    const fault_descriptor* f = find_fault(row.substr(name, row.find('`', name) - name));
    ASSERT_NE(f, nullptr) << row;
    EXPECT_EQ(row, f->readme_row);
  }
  EXPECT_EQ(count, fault_catalogue().size());
}

}  // namespace
