// The check of a walk, in process: faults injected by a port written apart from the checking
// tools' rendering, and files spoiled by hand, each found, counted and diagnosed exactly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "check.h"
#include "faulty_port.h"
#include "picture.h"
#include "report.h"
#include "scratch_dir.h"

namespace {

bitmap_picture random_picture(const bitmap_layout& layout = {}) {
  picture_options options;
  options.content = picture_content::random;
  options.seed = 17;
  options.layout = layout;
  return make_bitmap_picture(options);
}

class run_check_walk : public scratch_dir {
 protected:
  check_report check() { return run_check(walk_set("picture.bmp", picture_), dir_); }
  void write_walk(const fault_switches& fault = {}) {
    ASSERT_TRUE(write_faulty_files(dir_, walk_set("picture.bmp", picture_), fault));
  }
  // Byte `at` of block n's file, changed to `value`.
  void poke(int n, size_t at, uint8_t value) {
    std::vector<uint8_t> file = read_file(path(block_name(n)));
    file.at(at) = value;
    write_file(path(block_name(n)), file);
  }

  bitmap_picture picture_ = random_picture();
};

TEST_F(run_check_walk, finds_a_correct_walk_identical) {
  write_walk();
  const check_report report = check();
  EXPECT_TRUE(report.identical());
  EXPECT_EQ(report.compared.checked, 1900u);
  ASSERT_EQ(report.groups.size(), 4u);
  for (const group_report& g : report.groups) {
    EXPECT_EQ(g.cases.size(), 475u);
    EXPECT_EQ(g.differing_bytes, 0u);
    EXPECT_FALSE(g.first);
  }
}

// The walk's groups in their order: the copy, then the two-dimensional filter at (1/4, 1/4),
// (1/2, 1/2) and (3/4, 3/4); block n lies in group n % 4.
TEST_F(run_check_walk, counts_and_diagnoses_each_injected_fault) {
  const std::string pass2_0 = "rounding (pass 2, offset_min 0, offset_max 0)";
  const std::string pass2_8192 = "rounding (pass 2, offset_min 8192, offset_max 8192)";
  const std::string pass1_0 = "rounding (pass 1, offset_min 0, offset_max 0)";
  struct fault_case {
    std::string fault;  // as faulty_walk names it
    std::vector<int> values;
    std::vector<std::string> diagnosis[4];  // per group; groups without differences have none
  };
  const fault_case cases[] = {
      // Phase 1/2 has taps of multiples of 8 and a first pass of multiples of 4, so its sums
      // are multiples of 32: offsets 0 ... 31 truncate alike. Its first-pass sums are even, so
      // a port that truncates every pass, or keeps the first pass whole and truncates once,
      // gives these bytes too.
      {"rounding",
       {2, 0},
       {{},
        {pass2_0},
        {"rounding (pass 2, offset_min 0, offset_max 31)",
         "rounding_mode (pass both, mode toward_zero)", "exact_intermediate (mode toward_zero)"},
        {pass2_0}}},
      {"rounding", {2, 8192}, {{}, {pass2_8192}, {pass2_8192}, {pass2_8192}}},
      // Phase 1/2's first-pass sums are even: truncating them changes nothing.
      {"rounding", {1, 0}, {{}, {pass1_0}, {}, {pass1_0}}},
      {"no_clamp", {}, {{}, {"no_clamp"}, {"no_clamp"}, {"no_clamp"}}},
      {"taps", {0, 3}, {{}, {"taps (axis h, phase 3)"}, {"taps (axis h, phase 3)"}, {}}},
      {"taps", {1, 1}, {{}, {}, {"taps (axis v, phase 1)"}, {"taps (axis v, phase 1)"}}},
      {"source_offset",
       {1, 0},
       {{"source_offset (dx 1, dy 0)"},
        {"source_offset (dx 1, dy 0)"},
        {"source_offset (dx 1, dy 0)"},
        {"source_offset (dx 1, dy 0)"}}},
      {"source_offset",
       {0, -2},
       {{"source_offset (dx 0, dy -2)"},
        {"source_offset (dx 0, dy -2)"},
        {"source_offset (dx 0, dy -2)"},
        {"source_offset (dx 0, dy -2)"}}},
      {"row_order", {}, {{"row_order"}, {"row_order"}, {"row_order"}, {"row_order"}}},
      {"channel_order",
       {},
       {{"channel_order"}, {"channel_order"}, {"channel_order"}, {"channel_order"}}},
  };
  for (const fault_case& c : cases) {
    std::string trace = c.fault;
    for (const int v : c.values) trace += " " + std::to_string(v);
    SCOPED_TRACE(trace);
    const fault_switches fault = injected(c.fault, c.values);
    write_walk(fault);
    const check_report report = check();

    // What the report must say, worked out here from the port alone.
    group_report want[4];
    size_t differing = 0;
    for (int n = 100; n <= 1999; ++n) {
      uint8_t right[block_bytes], wrong[block_bytes];
      const int32_t w = picture_.width, h = picture_.height;
      faulty_interpolate(w, right, picture_.plane.data(), picture_.plane.size(), h, n / 4, n / 4,
                         n % 4, n % 4, {});
      faulty_interpolate(w, wrong, picture_.plane.data(), picture_.plane.size(), h, n / 4, n / 4,
                         n % 4, n % 4, fault);
      group_report& g = want[n % 4];
      bool block_differs = false;
      for (int b = 0; b < int{block_bytes}; ++b) {
        const int d = wrong[b] - right[b];
        if (!d) continue;
        block_differs = true;
        ++g.differing_bytes;
        g.max_difference = std::max(g.max_difference, std::abs(d));
        ++(d == 1 ? g.plus_one : d == -1 ? g.minus_one : g.larger);
        if (!g.first) {
          g.first = pixel_difference{
              static_cast<size_t>(n - 100), b / 48, b % 48 / 3, b % 3, right[b], wrong[b]};
        }
      }
      g.differing_blocks += block_differs;
      differing += block_differs;
    }

    EXPECT_EQ(report.compared.differing, differing);
    EXPECT_EQ(report.compared.checked, 1900u);
    ASSERT_EQ(report.groups.size(), 4u);
    for (int k = 0; k < 4; ++k) {
      const group_report& got = report.groups[k];
      SCOPED_TRACE("group " + std::to_string(k));
      EXPECT_EQ(got.key.path, k ? block_path::two_d : block_path::copy);
      EXPECT_EQ(got.key.phase[0], k);
      EXPECT_EQ(got.key.phase[1], k);
      EXPECT_EQ(got.cases.size(), 475u);
      EXPECT_EQ(got.differing_blocks, want[k].differing_blocks);
      EXPECT_EQ(got.differing_bytes, want[k].differing_bytes);
      EXPECT_EQ(got.max_difference, want[k].max_difference);
      EXPECT_EQ(got.plus_one, want[k].plus_one);
      EXPECT_EQ(got.minus_one, want[k].minus_one);
      EXPECT_EQ(got.larger, want[k].larger);
      ASSERT_EQ(bool(got.first), bool(want[k].first));
      if (got.first) {
        const pixel_difference &g = *got.first, &w = *want[k].first;
        EXPECT_EQ(g.case_index, w.case_index);
        EXPECT_EQ(std::make_tuple(g.row, g.pixel, g.channel, g.expected, g.found),
                  std::make_tuple(w.row, w.pixel, w.channel, w.expected, w.found));
      }
      std::vector<std::string> diagnosis;
      for (const diagnosed_fault& f : got.diagnosis) diagnosis.push_back(fault_text(f));
      EXPECT_EQ(diagnosis, c.diagnosis[k]);
    }
  }
}

// What float, hardware and C ports get wrong, alone and in pairs: named in every group where the
// port's blocks differ, and no group left without a name.
TEST_F(run_check_walk, names_what_float_and_hardware_ports_do) {
  const struct {
    std::vector<std::string> port;   // as faulty_walk takes it
    std::vector<std::string> named;  // what the name of one diagnosed fault holds
  } cases[] = {
      {{"division", "1"}, {"division (pass 1)"}},
      {{"rounding_mode", "1", "half_even"}, {"rounding_mode (pass 1, mode half_even)"}},
      {{"rounding_mode", "2", "half_even"}, {"rounding_mode (pass 2, mode half_even)"}},
      {{"rounding_mode", "both", "half_even"}, {"rounding_mode (pass both, mode half_even)"}},
      {{"rounding_mode", "1", "half_away_from_zero"},
       {"rounding_mode (pass 1, mode half_away_from_zero)"}},
      {{"rounding_mode", "1", "toward_zero"}, {"rounding_mode (pass 1, mode toward_zero)"}},
      {{"exact_intermediate", "half_up"}, {"exact_intermediate (mode half_up)"}},
      {{"exact_intermediate", "half_even"}, {"exact_intermediate (mode half_even)"}},
      {{"exact_intermediate", "toward_zero"}, {"exact_intermediate (mode toward_zero)"}},
      {{"narrow_intermediate", "8", "h"}, {"narrow_intermediate (bits 8, first h)"}},
      {{"narrow_intermediate", "8", "v"}, {"narrow_intermediate (bits 8, first v)"}},
      {{"narrow_intermediate", "16"}, {"narrow_intermediate (bits 16)"}},
      {{"row_stride", "-3"}, {"row_stride (rows -3)"}},
      {{"row_stride", "3"}, {"row_stride (rows 3)"}},
      {{"exact_intermediate", "half_even", "+", "channel_order"},
       {"exact_intermediate (mode half_even)", " + ", "channel_order"}},
      {{"rounding_mode", "both", "half_even", "+", "row_order"},
       {"rounding_mode (pass both, mode half_even)", " + ", "row_order"}},
      {{"exact_intermediate", "toward_zero", "+", "no_clamp"},
       {"exact_intermediate (mode toward_zero)", " + ", "no_clamp"}},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const std::string& w : c.port) trace += w + " ";
    SCOPED_TRACE(trace);
    int shift = 0;
    write_walk(injected_words(c.port, &shift));
    const check_report report = check();
    EXPECT_FALSE(report.identical());
    EXPECT_FALSE(report.shifted_by);
    for (const group_report& g : report.groups) {
      if (!g.differing_bytes) continue;
      // A copy shows only the second fault of a pair: the first is in the filters' arithmetic.
      const bool pair = c.named.size() == 3;
      EXPECT_TRUE(g.key.path == block_path::copy && pair ? named(g.diagnosis, {c.named[2]})
                                                         : named(g.diagnosis, c.named))
          << path_and_phases(g.key);
    }
  }

  // A port that numbered its files one on: found for the whole check, every group explained.
  std::remove(path(block_name(100)).c_str());
  ASSERT_TRUE(write_faulty_files(dir_, walk_set("picture.bmp", picture_), {}, 1));
  const check_report report = check();
  EXPECT_EQ(report.shifted_by, 1);
  EXPECT_EQ(report.compared.missing, std::vector<size_t>{0}) << "block0100.bmp was never written";
  char* text = nullptr;
  size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  write_text_report(walk_set("picture.bmp", picture_), report, memory, ".");
  std::fclose(memory);
  const std::string printed(text, size);
  std::free(text);
  EXPECT_NE(printed.find("shifted_files (by 1): every file compared holds the block of the file 1 "
                         "before it in walk order\n"),
            std::string::npos)
      << printed;
  EXPECT_EQ(printed.find("no known fault"), std::string::npos) << printed;
}

// A port with one of the faults that ports commonly have is named for it, not for what float and
// hardware ports do. (A truncating rounding can give the bytes of a float port that truncates,
// and is left out.)
TEST_F(run_check_walk, names_no_float_or_hardware_fault_for_another) {
  const std::vector<std::vector<std::string>> ports = {
      {"no_clamp"},  {"taps", "0", "3"}, {"taps", "1", "1"},          {"source_offset", "1", "0"},
      {"row_order"}, {"channel_order"},  {"source_offset", "0", "-2"}};
  for (const auto& port : ports) {
    SCOPED_TRACE(port[0]);
    int shift = 0;
    write_walk(injected_words(port, &shift));
    const check_report report = check();
    EXPECT_FALSE(report.shifted_by);
    for (const group_report& g : report.groups) {
      for (const char* other : {"division", "rounding_mode", "exact_intermediate",
                                "narrow_intermediate", "row_stride", " + "}) {
        EXPECT_FALSE(named(g.diagnosis, {other})) << path_and_phases(g.key) << ": " << other;
      }
    }
  }
}

TEST_F(run_check_walk, says_when_no_known_fault_reproduces_the_bytes) {
  write_walk();
  // One byte of one block 3 too high: no fault of the list does just that.
  const size_t pixels = 14 + 40;
  poke(1001, pixels + 100,
       static_cast<uint8_t>(read_file(path("block1001.bmp"))[pixels + 100] + 3));
  const check_report report = check();
  const group_report& g = report.groups[1];
  EXPECT_EQ(g.differing_blocks, 1u);
  EXPECT_EQ(g.differing_bytes, 1u);
  EXPECT_EQ(g.larger, 1u);
  EXPECT_TRUE(g.diagnosis.empty());
}

TEST_F(run_check_walk, names_every_header_field_that_differs) {
  // With a profile after the pixels, so that its reference and its bytes are fields too.
  bitmap_layout layout;
  layout.info_size = 124;
  layout.profile = {profile_embedded, 4, std::vector<uint8_t>(300, 0x5A)};
  picture_ = random_picture(layout);
  write_walk();
  const uint32_t size = 14 + 124 + 768 + 300;
  struct field_case {
    const char* field;
    int block;
    size_t at;
    uint8_t value;        // written at `at`
    int64_t want, found;  // the field's values
  };
  const field_case cases[] = {
      {"file_size", 100, 2, 0, size, size & ~0xFFu},
      {"reserved", 101, 8, 1, 0, 0x10000},  // both reserved 16-bit fields as one
      {"pixel_offset", 102, 10, 54, 138, 54},
      {"width", 103, 18, 17, 16, 17},
      {"height", 104, 25, 0xFF, 16, static_cast<int32_t>(0xFF000010)},  // signed
      {"image_size", 105, 35, 0, 768, 0},
      {"profile_offset", 106, 14 + 112, 0, 124 + 768, 768},
      {"info_block", 107, 14 + 24, 0, 0x13, 0},  // the first byte of 2835 pixels per metre
      {"profile", 108, 14 + 124 + 768 + 299, 0, 0x5A, 0},
  };
  for (const field_case& c : cases) poke(c.block, c.at, c.value);
  const check_report report = check();
  ASSERT_EQ(report.compared.headers.size(), std::size(cases));
  for (size_t k = 0; k < std::size(cases); ++k) {
    const field_case& c = cases[k];
    const header_report& h = report.compared.headers[k];
    EXPECT_STREQ(h.field, c.field);
    EXPECT_EQ(h.files, 1u) << c.field;
    EXPECT_EQ(h.first_case, static_cast<size_t>(c.block - 100)) << c.field;
    EXPECT_EQ(h.first.expected, c.want) << c.field;
    EXPECT_EQ(h.first.found, c.found) << c.field;
  }
  // Pixels are compared where blockwalk puts them, whatever the file's header says.
  EXPECT_EQ(report.compared.differing, std::size(cases));
  for (const group_report& g : report.groups) EXPECT_EQ(g.differing_bytes, 0u);
}

TEST_F(run_check_walk, lists_every_kind_of_file_it_cannot_compare) {
  write_walk();
  const auto file = [&](int n) { return path(block_name(n)); };
  std::remove(file(200).c_str());
  truncate(file(201).c_str(), 821);  // too short by one byte
  std::vector<uint8_t> longer = read_file(file(202));
  longer.push_back(0);
  write_file(file(202), longer);
  truncate(file(203).c_str(), 4LL << 30);  // 4 GB, sparse: read no further than 823 bytes
  poke(204, 0, 'P');
  std::remove(file(205).c_str());
  mkdir(file(205).c_str(), 0755);
  std::remove(file(206).c_str());
  ASSERT_EQ(symlink("nowhere.bmp", file(206).c_str()), 0);
  std::remove(file(207).c_str());
  ASSERT_EQ(mkfifo(file(207).c_str(), 0644), 0);  // a pipe nobody writes: never waited on
  // A link to a good file is followed and compared.
  ASSERT_EQ(rename(file(208).c_str(), path("elsewhere.bmp").c_str()), 0);
  ASSERT_EQ(symlink("elsewhere.bmp", file(208).c_str()), 0);

  const check_report report = check();
  ASSERT_EQ(report.compared.missing, std::vector<size_t>{100});
  std::vector<std::pair<std::string, std::string>> unreadable;
  for (const size_t i : report.compared.unreadable) {
    unreadable.push_back(
        {block_name(static_cast<int>(i) + 100), report.compared.outcomes[i].reason});
  }
  const std::vector<std::pair<std::string, std::string>> want = {
      {"block0201.bmp", "too short"},          {"block0202.bmp", "too long"},
      {"block0203.bmp", "too long"},           {"block0204.bmp", "not a bitmap"},
      {"block0205.bmp", "a directory"},        {"block0206.bmp", "a dangling symbolic link"},
      {"block0207.bmp", "a named pipe (FIFO)"}};
  EXPECT_EQ(unreadable, want);
  EXPECT_EQ(report.compared.checked, 1900u - 8);
  EXPECT_FALSE(report.identical());
  EXPECT_EQ(report.compared.differing, 0u) << "a file in missing or unreadable counts there only";
  EXPECT_EQ(report.groups[0].cases.size(), 475u - 2) << "200 and 204; 208 was compared";
  EXPECT_LE(report.compared.outcomes[103].size, 823u);
}

TEST_F(run_check_walk, lists_a_file_it_may_not_read) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root, whom no permission stops";
  write_walk();
  chmod(path(block_name(209)).c_str(), 0);
  const check_report report = check();
  ASSERT_EQ(report.compared.unreadable, std::vector<size_t>{109});
  EXPECT_EQ(report.compared.outcomes[109].reason, "no permission");
}

}  // namespace
