// Vector sets: make_vectors' manifest and files held against a second computation, its coverage,
// each fault only vectors reveal diagnosed where it shows, and bad manifests refused.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "check.h"
#include "faulty_port.h"
#include "interpolate.h"
#include "manifest.h"
#include "picture.h"
#include "report.h"
#include "scratch_dir.h"

namespace {

// What a vector is, worked out here from the call alone.
struct vector_class {
  std::string path;
  int hx = 0, vy = 0;
  std::string clamp_x, clamp_y;
  bool negative = false;
  int64_t px = 0, py = 0;  // the whole-pixel position after the clamp
  auto key() const { return std::make_tuple(path, hx, vy, clamp_x, clamp_y, negative); }
};

vector_class classify(int64_t stride, int64_t height, int64_t x, int64_t y, int64_t mvx,
                      int64_t mvy) {
  vector_class v;
  const auto whole = [](int64_t mv) { return static_cast<int64_t>(std::floor(mv / 4.0)); };
  v.hx = static_cast<int>(mvx - 4 * whole(mvx));
  v.vy = static_cast<int>(mvy - 4 * whole(mvy));
  v.path = v.hx ? (v.vy ? "two_d" : "horizontal") : (v.vy ? "vertical" : "copy");
  v.negative = mvx < 0 || mvy < 0;
  v.px = x + whole(mvx);
  v.py = y + whole(mvy);
  const auto clamp = [&](int64_t* p, int64_t size) -> std::string {
    if (v.path == "copy") return "none";
    if (*p < -15) return *p = -15, "low";
    if (*p > size - 2) return *p = size - 2, "high";
    return "none";
  };
  v.clamp_x = clamp(&v.px, stride);
  v.clamp_y = clamp(&v.py, height);
  return v;
}

struct manifest_line {
  std::map<std::string, std::string> field;
  int64_t number(const std::string& name) const { return std::stoll(field.at(name)); }
};

std::vector<manifest_line> parse_csv(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names;
  for (std::istringstream h(line); std::getline(h, line, ',');) names.push_back(line);
  std::vector<manifest_line> lines;
  while (std::getline(in, line)) {
    manifest_line m;
    std::istringstream f(line);
    for (const std::string& name : names) std::getline(f, m.field[name], ',');
    lines.push_back(m);
  }
  return lines;
}

class vector_set : public scratch_dir {
 protected:
  int make(const std::string& args) {
    return run_here(BLOCKWALK_EMULATOR " '" MAKE_VECTORS_EXE "' " + args);
  }
  int check(const std::string& args) {
    return run_here(BLOCKWALK_EMULATOR " '" CHECK_WALK_EXE "' " + args);
  }
  std::string text(const std::string& name) const {
    const std::vector<uint8_t> bytes = read_file(path(name));
    return {bytes.begin(), bytes.end()};
  }
  // What a port that is exactly right writes: the expected blocks, in the set's directory.
  void copy_expected(const std::string& set) {
    ASSERT_EQ(std::system(("cp '" + path(set) + "'/expected/* '" + path(set) + "'").c_str()), 0);
  }
};

TEST_F(vector_set, agrees_with_the_library_on_every_vector) {
  ASSERT_EQ(make("set"), 0) << printed_;
  const std::vector<manifest_line> lines = parse_csv(text("set/vectors.csv"));
  ASSERT_GT(lines.size(), 1000u);
  EXPECT_LE(lines.size(), 3000u) << "small enough to read and to ship";
  std::map<std::string, bitmap_picture> pictures;
  for (const manifest_line& m : lines) {
    const std::string& file = m.field.at("file");
    SCOPED_TRACE(file);
    const vector_class v = classify(m.number("stride"), m.number("height"), m.number("x"),
                                    m.number("y"), m.number("mvx"), m.number("mvy"));
    EXPECT_EQ(m.field.at("path"), v.path);
    EXPECT_EQ(m.number("hx"), v.hx);
    EXPECT_EQ(m.number("vy"), v.vy);
    EXPECT_EQ(m.field.at("clamp_x"), v.clamp_x);
    EXPECT_EQ(m.field.at("clamp_y"), v.clamp_y);

    bitmap_picture& picture = pictures[m.field.at("picture")];
    if (picture.plane.empty()) {
      ASSERT_EQ(read_bitmap_file(path("set/" + m.field.at("picture")).c_str(), &picture),
                bitmap_status::ok);
    }
    // The footprint lies in the plane: its first and last bytes, rows being contiguous.
    const bool h = v.path == "horizontal" || v.path == "two_d";
    const bool vert = v.path == "vertical" || v.path == "two_d";
    const int64_t stride = m.number("stride"), sx = v.px + 16, sy = v.py + 16;
    const int64_t first = 3 * ((sy - vert) * stride + sx - h);
    const int64_t last = 3 * ((sy + 15 + 2 * vert) * stride + sx + 15 + 2 * h) + 2;
    EXPECT_GE(first, 0);
    EXPECT_LT(last, static_cast<int64_t>(picture.plane.size()));

    // The file: the picture's block header, and the library's block.
    std::vector<uint8_t> want(block_bytes);
    interpolate_block(static_cast<int32_t>(stride), want.data(), picture.plane.data(),
                      static_cast<int32_t>(m.number("height")), static_cast<int32_t>(m.number("x")),
                      static_cast<int32_t>(m.number("y")), static_cast<int32_t>(m.number("mvx")),
                      static_cast<int32_t>(m.number("mvy")));
    std::vector<uint8_t> info = picture.info;
    const auto header = make_block_header(info);
    const std::vector<uint8_t> got = read_file(path("set/expected/" + file));
    ASSERT_EQ(got.size(), 14 + info.size() + block_bytes);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), got.begin()));
    EXPECT_TRUE(std::equal(info.begin(), info.end(), got.begin() + 14));
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin() + 14 + info.size()));
  }
  EXPECT_EQ(pictures.size(), 2u) << "a random picture and the sign-matched extremes";

  // Before a port has written anything, nothing passes: the expected blocks lie apart.
  EXPECT_EQ(check("set"), 1) << printed_;
  EXPECT_EQ(printed_.substr(0, printed_.find('\n')),
            "nothing checked: 1559 of 1559 missing, 0 unreadable; has the implementation run, "
            "and written its files into set?");
  EXPECT_EQ(check("set --json -"), 1);
  EXPECT_NE(
      printed_.find(
          "\"identical\": false, \"pixels_only\": false, \"blocks\": 1559, \"blocks_checked\": 0"),
      std::string::npos);
  // A CI job can tell from the JSON alone that the set leaves no hole.
  EXPECT_NE(printed_.find("\"paths_never\": [],"), std::string::npos) << printed_;
  EXPECT_NE(printed_.find("\"phase_pairs_never\": [],"), std::string::npos);
  EXPECT_NE(printed_.find("\"clamps_never\": [], \"negative_vectors\": true}}\n"),
            std::string::npos);
  copy_expected("set");
  EXPECT_EQ(check("set"), 0) << printed_;

  // A set made anew over an earlier run's blocks is refused, and writes nothing.
  const std::vector<uint8_t> manifest = read_file(path("set/vectors.csv"));
  std::remove(path("set/random.bmp").c_str());
  EXPECT_EQ(make("--seed 2 set"), 2);
  EXPECT_EQ(printed_,
            "make_vectors: set holds vector0001.bmp and 1558 more of an earlier run, which a check "
            "would take for the new ones; remove them, or choose another OUTDIR\n");
  EXPECT_EQ(read_file(path("set/vectors.csv")), manifest);
  EXPECT_FALSE(exists("set/random.bmp"));
}

TEST_F(vector_set, covers_every_cell) {
  ASSERT_EQ(make("set"), 0) << printed_;
  const std::vector<manifest_line> lines = parse_csv(text("set/vectors.csv"));
  std::set<std::tuple<std::string, int, int, std::string, std::string, bool>> cells;
  std::set<std::string> seen;  // everything else the set must hold, by name
  std::map<std::string, std::set<std::string>> corners;  // of each picture's copies
  for (const manifest_line& m : lines) {
    const int64_t stride = m.number("stride"), height = m.number("height");
    const int64_t mvx = m.number("mvx"), mvy = m.number("mvy");
    const vector_class v = classify(stride, height, m.number("x"), m.number("y"), mvx, mvy);
    cells.insert(v.key());
    for (const auto& [axis, mv, p, size, clamp] :
         {std::make_tuple("h", mvx, v.px, stride, v.clamp_x),
          std::make_tuple("v", mvy, v.py, height, v.clamp_y)}) {
      if (mv >= -3 && mv < 0) seen.insert(std::string(axis) + " mv " + std::to_string(mv));
      if (std::abs(mv / 4) > (1 << 20)) seen.insert(std::string(axis) + " far");
      if (mv == INT32_MIN || mv == INT32_MAX)
        seen.insert(std::string(axis) + " " + std::to_string(mv));
      if (v.path == "copy" || clamp != "none") continue;
      if (p == -15) seen.insert(v.path + " " + axis + " at low bound");
      if (p == size - 2) seen.insert(v.path + " " + axis + " at high bound");
    }
    if (v.path == "copy") {
      // The plane's rows: the picture is random.bmp, 203 x 150, or extremes.bmp, 160 x 120.
      const int64_t rows = stride == 203 ? 150 : 120;
      const std::string corner = std::string(v.px == -16           ? "left"
                                             : v.px == stride - 32 ? "right"
                                                                   : "") +
                                 (v.py == -16         ? " top"
                                  : v.py == rows - 32 ? " bottom"
                                                      : "");
      corners[m.field.at("picture")].insert(corner);
    }
  }
  const char* const states[] = {"none", "low", "high"};
  for (const bool negative : {false, true}) {
    EXPECT_TRUE(cells.count({"copy", 0, 0, "none", "none", negative})) << "copy " << negative;
    for (int hx = 0; hx < 4; ++hx) {
      for (int vy = 0; vy < 4; ++vy) {
        if (!hx && !vy) continue;
        const std::string p = hx ? (vy ? "two_d" : "horizontal") : "vertical";
        for (const char* cx : states) {
          for (const char* cy : states) {
            EXPECT_TRUE(cells.count({p, hx, vy, cx, cy, negative}))
                << p << " (" << hx << ", " << vy << ") " << cx << "/" << cy << " " << negative;
          }
        }
      }
    }
  }
  for (const std::string axis : {"h", "v"}) {
    for (const std::string what :
         {" mv -1", " mv -2", " mv -3", " far", " -2147483648", " 2147483647"}) {
      EXPECT_TRUE(seen.count(axis + what)) << axis + what;
    }
    for (const std::string p : {"horizontal ", "vertical ", "two_d "}) {
      for (const std::string bound : {" at low bound", " at high bound"}) {
        EXPECT_TRUE(seen.count(p + axis + bound)) << p + axis + bound;
      }
    }
  }
  for (const std::string picture : {"random.bmp", "extremes.bmp"}) {
    for (const std::string corner : {"left top", "right top", "left bottom", "right bottom"}) {
      EXPECT_TRUE(corners[picture].count(corner)) << picture << " " << corner;
    }
  }

  EXPECT_EQ(make("--coverage set --seed 3"), 2);
  EXPECT_NE(printed_.find("--coverage and --seed exclude each other"), std::string::npos)
      << printed_;
  // The table make_vectors prints has no empty cell either.
  ASSERT_EQ(make("--coverage set"), 0) << printed_;
  std::istringstream table(printed_);
  size_t rows = 0;
  for (std::string line; std::getline(table, line);) {
    std::istringstream words(line);
    for (std::string word; words >> word;) {
      const size_t plus = word.find('+');
      if (plus == std::string::npos || !std::isdigit(static_cast<unsigned char>(word[0]))) continue;
      EXPECT_NE(word.substr(0, plus), "0") << line;
      EXPECT_NE(word.substr(plus + 1), "0") << line;
      ++rows;
    }
  }
  EXPECT_EQ(rows, 1 + 15 * 9u) << "a cell for the copy, nine for every other phase pair";
}

// Every fault only vectors reveal, injected by the port: named in each group where it shows,
// and the groups where it shows are those the port says.
TEST_F(vector_set, diagnoses_each_fault_where_it_shows) {
  ASSERT_EQ(make("set"), 0) << printed_;
  check_set set;
  std::string error;
  ASSERT_TRUE(read_manifest(path("set"), &set, &error)) << error;
  struct fault_case {
    std::string name;  // as faulty_walk names it
    std::vector<int> values;
    std::string named;  // as the diagnosis names it
  };
  const fault_case cases[] = {
      {"vector_split", {0}, "vector_split (axis h)"},
      {"vector_split", {1}, "vector_split (axis v)"},
      {"phases_swapped", {}, "phases_swapped"},
      {"no_position_clamp", {}, "no_position_clamp"},
      {"clamp_bounds", {0, 0, 1}, "clamp_bounds (axis h, bound low, delta 1)"},
      {"clamp_bounds", {1, 1, -1}, "clamp_bounds (axis v, bound high, delta -1)"},
      // The first pass of every filter truncating: the only pass of a one-dimensional filter
      // and the first of the two-dimensional one, named alike.
      {"rounding", {1, 0}, "rounding (pass 1, offset_min 0, offset_max "},
      {"copy_clamp", {}, "copy_clamp"},
      {"two_pass_1d", {}, "two_pass_1d"},
  };
  for (const fault_case& c : cases) {
    SCOPED_TRACE(c.named);
    const fault_switches fault = injected(c.name, c.values);
    ASSERT_TRUE(write_faulty_files(path("set"), set, fault));
    const check_report report = run_check(set, path("set"));

    // Where the port's blocks differ from its right ones; and where every byte it wrote came
    // from inside the plane, so that the fault can be told.
    std::set<decltype(vector_class().key())> shows, told;
    std::map<decltype(vector_class().key()), bool> inside;
    for (const check_case& k : set.cases) {
      const std::vector<uint8_t>& plane = set.pictures[k.picture].bitmap.plane;
      const block_call& v = k.call;
      uint8_t right[block_bytes], wrong[block_bytes];
      faulty_interpolate(v.stride, right, plane.data(), plane.size(), v.height, v.x, v.y, v.mvx,
                         v.mvy, {});
      const bool in = faulty_interpolate(v.stride, wrong, plane.data(), plane.size(), v.height, v.x,
                                         v.y, v.mvx, v.mvy, fault);
      const auto key = classify(v.stride, v.height, v.x, v.y, v.mvx, v.mvy).key();
      if (!std::equal(right, right + block_bytes, wrong)) shows.insert(key);
      inside.insert({key, true}).first->second &= in;
    }
    for (const auto& key : shows) {
      if (inside[key]) told.insert(key);
    }
    ASSERT_FALSE(told.empty());
    if (c.name == "vector_split") {
      // All wrong where the vector is negative, and the report says so.
      char* text = nullptr;
      size_t size = 0;
      std::FILE* memory = open_memstream(&text, &size);
      write_text_report(set, report, memory, "set");
      std::fclose(memory);
      const std::string report_text(text, size);
      EXPECT_NE(report_text.find("groups differ, every one with negative vectors; "),
                std::string::npos);
      EXPECT_NE(report_text.find(c.named + " reproduces 36 of them"), std::string::npos);
      std::free(text);
    }

    for (const group_report& g : report.groups) {
      const auto key = std::make_tuple(std::string(path_name(g.key.path)), g.key.phase[0],
                                       g.key.phase[1], std::string(clamp_name(g.key.clamp[0])),
                                       std::string(clamp_name(g.key.clamp[1])), g.key.negative);
      EXPECT_EQ(g.differing_bytes > 0, shows.count(key) > 0) << group_label(set, g.key);
      if (!told.count(key)) continue;
      std::string names;
      for (const diagnosed_fault& f : g.diagnosis) names += fault_text(f) + "; ";
      EXPECT_NE(names.find(c.named), std::string::npos) << group_label(set, g.key) << ": " << names;
    }
    // Nor is such a port named for what float and hardware ports do.
    for (const group_report& g : report.groups) {
      for (const char* other : {"division", "rounding_mode", "exact_intermediate",
                                "narrow_intermediate", "row_stride", " + "}) {
        if (c.name == "rounding") break;  // a truncating pass is a truncating float port's too
        EXPECT_FALSE(named(g.diagnosis, {other})) << group_label(set, g.key) << ": " << other;
      }
    }
  }
}

// Float, hardware and C ports, and pairs of faults, on every kind of vector: named in every group
// where their blocks differ (a pair by itself, or by the one of its faults that a group shows
// alone), and no group left without a name.
TEST_F(vector_set, names_what_float_and_hardware_ports_do_wherever_it_shows) {
  ASSERT_EQ(make("set"), 0) << printed_;
  check_set set;
  std::string error;
  ASSERT_TRUE(read_manifest(path("set"), &set, &error)) << error;
  const struct {
    std::vector<std::string> port;                // as faulty_walk takes it
    std::vector<std::vector<std::string>> named;  // what one diagnosed fault holds: any of these
  } cases[] = {
      {{"row_stride", "padded"}, {{"row_stride (rows padded)"}}},
      {{"rounding_mode", "both", "half_even"}, {{"rounding_mode (pass both, mode half_even)"}}},
      {{"narrow_intermediate", "8", "v"}, {{"narrow_intermediate (bits 8, first v)"}}},
      {{"exact_intermediate", "half_even"}, {{"exact_intermediate (mode half_even)"}}},
      {{"division", "1"}, {{"division (pass 1)"}}},
      {{"vector_split", "0", "+", "vector_split", "1"},
       {{"vector_split (axis h) + vector_split (axis v)"},
        {"vector_split (axis h)"},
        {"vector_split (axis v)"}}},
      {{"shifted_files", "-2"}, {}},  // found for the whole check
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const std::string& w : c.port) trace += w + " ";
    SCOPED_TRACE(trace);
    int shift = 0;
    const fault_switches fault = injected_words(c.port, &shift);
    ASSERT_TRUE(write_faulty_files(path("set"), set, fault, shift));
    const check_report report = run_check(set, path("set"));
    EXPECT_FALSE(report.identical());
    EXPECT_EQ(report.shifted_by.value_or(0), shift);
    for (const group_report& g : report.groups) {
      if (!g.differing_bytes || report.shifted_by) continue;
      EXPECT_TRUE(std::any_of(c.named.begin(), c.named.end(), [&](const auto& parts) {
        return named(g.diagnosis, parts);
      })) << group_label(set, g.key);
    }
    char* text = nullptr;
    size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    write_text_report(set, report, memory, "set");
    std::fclose(memory);
    EXPECT_EQ(std::string(text, size).find("no known fault"), std::string::npos);
    std::free(text);
  }
}

// Stimulus and expected results for test benches: each plane as the calls read it, and every
// expected block in one stream, in each format, named in the manifest.
TEST_F(vector_set, writes_planes_and_expected_streams_in_each_format) {
  ASSERT_EQ(make("--formats npy,memh,bin set"), 0) << printed_;
  EXPECT_FALSE(exists("set/expected/vector0001.bmp")) << "no bmp asked for";
  const std::vector<manifest_line> lines = parse_csv(text("set/vectors.csv"));
  ASSERT_EQ(lines.size(), 1559u);
  for (const manifest_line& m : lines) {
    const std::string stem = m.field.at("picture").substr(0, m.field.at("picture").find('.'));
    EXPECT_EQ(m.field.at("plane_bin"), stem + ".plane.bin");
    EXPECT_EQ(m.field.at("plane_npy"), stem + ".plane.npy");
    EXPECT_EQ(m.field.at("plane_memh"), stem + ".plane.memh");
  }
  for (const std::string picture : {"random", "extremes"}) {
    bitmap_picture bitmap;
    ASSERT_EQ(read_bitmap_file(path("set/" + picture + ".bmp").c_str(), &bitmap),
              bitmap_status::ok);
    EXPECT_EQ(read_file(path("set/" + picture + ".plane.bin")), bitmap.plane) << picture;
    const std::string npy = text("set/" + picture + ".plane.npy");
    EXPECT_NE(npy.find("'shape': (" + std::to_string(bitmap.height) + ", " +
                       std::to_string(bitmap.width) + ", 3)"),
              std::string::npos);
    EXPECT_EQ(npy.substr(npy.size() - bitmap.plane.size()),
              std::string(bitmap.plane.begin(), bitmap.plane.end()));
    // A byte a word, least significant first: byte 1 of the plane on the second line.
    std::istringstream memh(text("set/" + picture + ".plane.memh"));
    std::string first, second;
    memh >> first >> second;
    EXPECT_EQ(std::stoi(second, nullptr, 16), bitmap.plane[1]);
  }
  // Each stream holds the expected blocks; a port's stream of them is identical.
  for (const std::string stream : {"blocks.bin", "blocks.npy", "blocks.memh"}) {
    EXPECT_EQ(check("set --blocks set/expected/" + stream), 0) << stream << printed_;
    EXPECT_NE(printed_.find("identical: all 1559 blocks' pixels are as blockwalk makes them"),
              std::string::npos);
  }
  // A stream cut short vouches for what its blocks exercised: the set's first ten, vertical
  // filters at phase 1/4, each with a negative vector or not.
  const std::vector<uint8_t> blocks = read_file(path("set/expected/blocks.bin"));
  write_file(path("short.bin"), {blocks.begin(), blocks.begin() + 10 * 768});
  EXPECT_EQ(check("set --blocks short.bin"), 1);
  EXPECT_NE(printed_.find("coverage: the 10 blocks checked of the set ran the vertical path; 1 of "
                          "the 16 phase pairs ((0, 1/4)); "),
            std::string::npos)
      << printed_;
  // The default writes block files alone; a format of no such name is refused.
  ASSERT_EQ(make("other"), 0) << printed_;
  EXPECT_TRUE(exists("other/expected/vector1559.bmp"));
  EXPECT_FALSE(exists("other/expected/blocks.npy"));
  EXPECT_EQ(make("--formats bmp,gif third"), 2);
  EXPECT_NE(printed_.find("--formats: LIST is bmp, bin, npy and memh"), std::string::npos);
}

// The words of $readmemh text, its comments passed over.
std::vector<uint64_t> memh_words(const std::string& text) {
  std::vector<uint64_t> words;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("//", 0) != 0) words.push_back(std::stoull(line, nullptr, 16));
  }
  return words;
}

// Little-endian 32-bit words, as signed numbers.
std::vector<int64_t> le32_words(const std::vector<uint8_t>& bytes) {
  std::vector<int64_t> words;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    words.push_back(static_cast<int32_t>(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 |
                                         uint32_t{bytes[i + 3]} << 24));
  }
  return words;
}

// Stimulus for a bench that parses no text: every call a record of 32-bit words in manifest
// order, each plane's number, rows and place among the planes back to back, in each format.
TEST_F(vector_set, writes_every_call_as_stimulus_in_each_format) {
  ASSERT_EQ(make("--formats npy,memh,bin set"), 0) << printed_;
  const std::vector<manifest_line> lines = parse_csv(text("set/vectors.csv"));
  const std::vector<manifest_line> planes = parse_csv(text("set/planes.csv"));
  ASSERT_EQ(planes.size(), 2u);
  std::vector<uint8_t> all;  // the planes back to back, from the pictures
  for (size_t k = 0; k < planes.size(); ++k) {
    const manifest_line& p = planes[k];
    bitmap_picture bitmap;
    ASSERT_EQ(read_bitmap_file(path("set/" + p.field.at("picture")).c_str(), &bitmap),
              bitmap_status::ok);
    EXPECT_EQ(p.number("plane"), static_cast<int64_t>(k));
    EXPECT_EQ(p.number("stride"), bitmap.width);
    EXPECT_EQ(p.number("rows"), bitmap.height);
    EXPECT_EQ(p.number("base"), static_cast<int64_t>(all.size()));
    EXPECT_EQ(p.number("bytes"), static_cast<int64_t>(bitmap.plane.size()));
    EXPECT_EQ(read_file(path("set/" + p.field.at("plane_bin"))), bitmap.plane);
    all.insert(all.end(), bitmap.plane.begin(), bitmap.plane.end());
  }
  EXPECT_EQ(read_file(path("set/planes.bin")), all);
  const std::string npy = text("set/planes.npy");
  EXPECT_NE(npy.find("{'descr': '|u1', 'fortran_order': False, 'shape': (148950,), }"),
            std::string::npos);
  EXPECT_EQ(npy.substr(npy.size() - all.size()), std::string(all.begin(), all.end()));
  EXPECT_EQ(memh_words(text("set/planes.memh")), std::vector<uint64_t>(all.begin(), all.end()));

  // The calls: the manifest's, with their planes' numbers, rows and bases.
  std::vector<int64_t> want;
  for (const manifest_line& m : lines) {
    const manifest_line& p = planes.at(static_cast<size_t>(m.number("plane")));
    EXPECT_EQ(p.field.at("picture"), m.field.at("picture"));
    EXPECT_EQ(m.number("plane_rows"), p.number("rows"));
    want.push_back(m.number("plane"));
    for (const char* k : {"stride", "height", "x", "y", "mvx", "mvy"}) want.push_back(m.number(k));
    want.push_back(p.number("rows"));
    want.push_back(p.number("base"));
  }
  const std::vector<uint8_t> bin = read_file(path("set/calls.bin"));
  EXPECT_EQ(le32_words(bin), want);
  const std::string calls_npy = text("set/calls.npy");
  EXPECT_NE(calls_npy.find("{'descr': '<i4', 'fortran_order': False, 'shape': (1559, 9), }"),
            std::string::npos);
  EXPECT_EQ(calls_npy.substr(calls_npy.size() - bin.size()), std::string(bin.begin(), bin.end()));
  std::vector<int64_t> memh;
  for (const uint64_t w : memh_words(text("set/calls.memh"))) {
    memh.push_back(static_cast<int32_t>(w));
  }
  EXPECT_EQ(memh, want);
  const std::string head =
      "// a call a record of 9 words: plane, stride, height, x, y, mvx, mvy, rows, base\n"
      "// vector0001.bmp\n00000000\n000000cb\n";
  EXPECT_EQ(text("set/calls.memh").substr(0, head.size()), head);
  // Without a stream format there are no streams, and the manifest still numbers the planes.
  ASSERT_EQ(make("other"), 0) << printed_;
  EXPECT_FALSE(exists("other/calls.bin") || exists("other/planes.npy"));
  EXPECT_EQ(parse_csv(text("other/vectors.csv")).back().field.at("plane"), "1");
  EXPECT_EQ(text("other/planes.csv"),
            "plane,picture,stride,rows,base,bytes\n0,random.bmp,203,150,0,91350\n"
            "1,extremes.bmp,160,120,91350,57600\n");
}

// The walk written as a set is, for a bench to run both alike; refused as blockwalk refuses its
// picture, and where a check would take other files for the bench's.
TEST_F(vector_set, writes_the_walk_as_a_set) {
  picture_options options;
  options.width = 540;
  options.height = 533;
  options.content = picture_content::random;
  options.layout.top_down = true;
  write_file(path("mine.bmp"), make_picture_file(options));
  ASSERT_EQ(make("--walk mine.bmp --formats bin,memh,bmp walk"), 0) << printed_;
  EXPECT_EQ(
      printed_,
      "1900 calls of the walk over walk/picture.bmp, their expected blocks in walk/expected/.\n"
      "The calls as stimulus: walk/calls.bin, walk/calls.memh; the planes: walk/planes.bin, "
      "walk/planes.memh, listed in walk/planes.csv.\n"
      "The implementation under test writes its blocks into walk; then: check_walk walk\n"
      "(or, its blocks in one stream: check_walk walk --blocks STREAM)\n");
  EXPECT_EQ(read_file(path("walk/picture.bmp")), read_file(path("mine.bmp")));
  EXPECT_FALSE(exists("walk/vectors.csv"));
  EXPECT_EQ(text("walk/planes.csv"),
            "plane,picture,stride,rows,base,bytes,plane_bin,plane_memh\n"
            "0,picture.bmp,540,533,0,863460,picture.plane.bin,picture.plane.memh\n");
  bitmap_picture picture;
  ASSERT_EQ(read_bitmap_file(path("mine.bmp").c_str(), &picture), bitmap_status::ok);
  EXPECT_EQ(read_file(path("walk/planes.bin")), picture.plane);
  // The walk's calls, and the library's blocks for them.
  const std::vector<int64_t> calls = le32_words(read_file(path("walk/calls.bin")));
  ASSERT_EQ(calls.size(), 1900u * 9);
  const std::vector<uint8_t> blocks = read_file(path("walk/expected/blocks.bin"));
  ASSERT_EQ(blocks.size(), 1900u * block_bytes);
  for (int n = 100; n < 2000; ++n) {
    const int64_t* c = &calls[9 * (n - 100)];
    const std::vector<int64_t> want = {0, 540, 533, n / 4, n / 4, n % 4, n % 4, 533, 0};
    ASSERT_EQ(std::vector<int64_t>(c, c + 9), want) << n;
    uint8_t block[block_bytes];
    interpolate_block(540, block, picture.plane.data(), 533, n / 4, n / 4, n % 4, n % 4);
    ASSERT_TRUE(std::equal(block, block + block_bytes, &blocks[(n - 100) * block_bytes])) << n;
  }
  EXPECT_EQ(check("walk --blocks walk/expected/blocks.memh"), 0) << printed_;
  EXPECT_NE(printed_.find("identical: all 1900 blocks' pixels"), std::string::npos);
  // The block files are blockwalk's: copied where the implementation writes, they pass whole.
  EXPECT_TRUE(exists("walk/expected/block0100.bmp") && exists("walk/expected/block1999.bmp"));
  copy_expected("walk");
  EXPECT_EQ(check("walk"), 0) << printed_;

  // Refused, and nothing written: an earlier run's block files where the implementation writes,
  // a set's manifest (a check would check the set), a picture blockwalk refuses.
  const std::vector<uint8_t> before = read_file(path("walk/calls.bin"));
  EXPECT_EQ(make("--walk mine.bmp --formats bin walk"), 2);
  EXPECT_EQ(printed_,
            "make_vectors: walk holds block0100.bmp and 1899 more of an earlier run, which a check "
            "would take for the new ones; remove them, or choose another OUTDIR\n");
  ASSERT_EQ(make("set"), 0) << printed_;
  EXPECT_EQ(make("--walk mine.bmp set"), 2);
  EXPECT_EQ(printed_,
            "make_vectors: set holds a vector set's vectors.csv, and check_walk would check that "
            "set instead of the walk; choose another OUTDIR\n");
  EXPECT_FALSE(exists("set/picture.bmp"));
  options.width = 532;
  write_file(path("narrow.bmp"), make_picture_file(options));
  EXPECT_EQ(make("--walk narrow.bmp fresh"), 2);
  EXPECT_EQ(printed_.substr(0, 37), "make_vectors: narrow.bmp: error -3! (") << printed_;
  EXPECT_FALSE(exists("fresh"));
  EXPECT_EQ(make("--walk mine.bmp --seed 2 fresh"), 2);
  EXPECT_EQ(printed_,
            "make_vectors: --walk and --seed exclude each other: --walk walks its own PICTURE; "
            "--help tells the usage\n");
  EXPECT_EQ(read_file(path("walk/calls.bin")), before);
}

// A Verilog test bench, run by Icarus Verilog where it is installed: it loads a plane and the
// expected blocks with $readmemh and writes the blocks back with $writememh, as a hardware
// model's bench would; check_walk reads what the simulator wrote.
TEST_F(vector_set, takes_a_verilog_benchs_writememh) {
  if (std::system("command -v iverilog > /dev/null && command -v vvp > /dev/null") != 0) {
    GTEST_SKIP() << "iverilog is not installed (Debian's iverilog)";
  }
  ASSERT_EQ(make("--formats memh set"), 0) << printed_;
  const std::string bench =
      "module bench;\n"
      "  reg [7:0] plane [0:203*150*3-1];\n"
      "  reg [383:0] rows [0:1559*16-1];\n"
      "  initial begin\n"
      "    $readmemh(\"set/random.plane.memh\", plane);\n"
      "    $readmemh(\"set/expected/blocks.memh\", rows);\n"
      "    $display(\"%h %h\", plane[0], plane[1]);\n"
      "    $writememh(\"bench.memh\", rows);\n"
      "    $finish;\n"
      "  end\n"
      "endmodule\n";
  write_file(path("bench.v"), {bench.begin(), bench.end()});
  ASSERT_EQ(run_here("iverilog -o bench.vvp bench.v && vvp -n bench.vvp"), 0) << printed_;
  bitmap_picture random;
  ASSERT_EQ(read_bitmap_file(path("set/random.bmp").c_str(), &random), bitmap_status::ok);
  char first[8];
  std::snprintf(first, sizeof first, "%02x %02x", random.plane[0], random.plane[1]);
  EXPECT_EQ(printed_.substr(0, 5), first) << "the plane's first bytes, as the bench loaded them";
  EXPECT_EQ(check("set --blocks bench.memh"), 0) << printed_;
}

TEST_F(vector_set, refuses_bad_manifests_and_hostile_names) {
  ASSERT_EQ(make("set"), 0) << printed_;
  const std::string good = text("set/vectors.csv");
  const std::string header = good.substr(0, good.find('\n') + 1);
  const std::string line2 =
      good.substr(header.size(), good.find('\n', header.size()) + 1 - header.size());
  // Line 2 is vector0001.bmp,random.bmp,203,117,X,Y,MVX,MVY,vertical,0,1,none,none,0,150.
  const auto line2_with = [&](std::vector<std::pair<size_t, std::string>> changes) {
    std::vector<std::string> f;
    std::istringstream in(line2.substr(0, line2.size() - 1));
    for (std::string s; std::getline(in, s, ',');) f.push_back(s);
    for (const auto& [k, value] : changes) f.at(k) = value;
    std::string l;
    for (size_t i = 0; i < f.size(); ++i) l += (i ? "," : "") + f[i];
    return header + l + "\n";
  };
  std::string without_mvy = header;
  without_mvy.erase(without_mvy.find(",mvy"), 4);
  const std::string beyond = "vectors.csv line 2: the block reads beyond the plane of random.bmp";
  const struct {
    std::string manifest, message;
  } cases[] = {
      {"", "vectors.csv line 1: no column 'file'"},
      {without_mvy + line2, "vectors.csv line 1: no column 'mvy'"},
      {header, "vectors.csv: no vectors"},
      {line2_with({{4, "1.5"}}), "vectors.csv line 2: x '1.5' is not a whole number of 32 bits"},
      {line2_with({{6, "2147483648"}}), "vectors.csv line 2: mvx '2147483648' is not a whole"},
      {line2_with({{2, "0"}}), "vectors.csv line 2: stride and height must be at least 1"},
      {header + line2.substr(0, line2.rfind(',')) + "\n",
       "vectors.csv line 2: 14 fields where the header names 15"},
      {line2_with({{0, "../vector0001.bmp"}}),
       "vectors.csv line 2: file '../vector0001.bmp' is not a plain name in the directory"},
      {line2_with({{0, "sub/x.bmp"}}), "vectors.csv line 2: file 'sub/x.bmp' is not a plain name"},
      {line2_with({{0, ".."}}), "vectors.csv line 2: file '..' is not a plain name"},
      {line2_with({{1, "/etc/passwd"}}),
       "vectors.csv line 2: picture '/etc/passwd' is not a plain"},
      {line2_with({{1, "none.bmp"}}), "vectors.csv line 2: picture none.bmp: cannot be opened"},
      {line2_with({{1, "vectors.csv"}}),
       "vectors.csv line 2: picture vectors.csv: not a bitmap, or malformed"},
      {line2_with({{0, "vectors.csv"}}), "vectors.csv line 2: file vectors.csv is the manifest"},
      {line2_with({{0, "random.bmp"}}),
       "vectors.csv line 2: file random.bmp is a picture of the set"},
      {good + line2, "vectors.csv line 1561: file vector0001.bmp is named on line 2 already"},
      {line2_with({{8, "two_d"}}),
       "vectors.csv line 2: path is 'two_d', but the vector gives 'vertical'"},
      {line2_with({{12, "low"}}),
       "vectors.csv line 2: clamp_y is 'low', but the vector gives 'none'"},
      // A copy reads where it points: here 64 rows before the plane.
      {line2_with({{4, "0"}, {5, "-80"}, {6, "0"}, {7, "0"}, {8, "copy"}, {9, "0"}, {10, "0"}}),
       beyond},
      // Clamped at the bottom of a height the picture does not have below it.
      {line2_with({{3, "150"}, {5, "1000"}, {12, "high"}}), beyond},
  };
  for (const auto& c : cases) {
    write_file(path("set/vectors.csv"), {c.manifest.begin(), c.manifest.end()});
    EXPECT_EQ(check("set"), 2) << c.message;
    EXPECT_EQ(printed_.substr(0, 16 + c.message.size()), "check_walk: set/" + c.message);
    EXPECT_EQ(std::count(printed_.begin(), printed_.end(), '\n'), 1) << printed_;
  }
}

// Manifests as users write them: a spreadsheet's byte-order mark and line ends, their own calls
// without the derived columns, and the limits named when they are passed.
TEST_F(vector_set, reads_manifests_as_users_write_them) {
  ASSERT_EQ(make("set"), 0) << printed_;
  copy_expected("set");
  const std::vector<manifest_line> lines = parse_csv(text("set/vectors.csv"));
  const auto write = [&](const std::string& manifest) {
    write_file(path("set/vectors.csv"), {manifest.begin(), manifest.end()});
  };
  // The call's columns in another order, the derived ones left out or some kept.
  const auto calls = [&](const std::vector<std::string>& names, const std::string& end) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ",") + n;
    text += end;
    for (const manifest_line& m : lines) {
      std::string line;
      for (const std::string& n : names) line += (line.empty() ? "" : ",") + m.field.at(n);
      text += line + end;
    }
    return text;
  };
  const std::vector<std::string> call = {"mvy",    "mvx",    "y",       "x",
                                         "height", "stride", "picture", "file"};
  std::vector<std::string> with_path = call;
  with_path.push_back("path");
  const struct {
    const char* what;
    std::string manifest;
  } accepted[] = {
      {"a byte-order mark and CRLF line ends", "\xEF\xBB\xBF" + calls(call, "\r\n")},
      {"the call's columns alone", calls(call, "\n")},
      {"one derived column", calls(with_path, "\n")},
  };
  for (const auto& c : accepted) {
    write(c.manifest);
    EXPECT_EQ(check("set"), 0) << c.what << ": " << printed_;
    EXPECT_NE(printed_.find("identical: all 1559 blocks"), std::string::npos) << c.what;
  }

  // A derived column present is still held to the vector.
  std::string wrong = calls(with_path, "\n");
  const size_t at = wrong.find(",vertical\n");
  ASSERT_NE(at, std::string::npos);
  wrong.replace(at, 10, ",two_d\n");
  const size_t line = std::count(wrong.begin(), wrong.begin() + at, '\n') + 1;
  write(wrong);
  EXPECT_EQ(check("set"), 2);
  EXPECT_EQ(printed_, "check_walk: set/vectors.csv line " + std::to_string(line) +
                          ": path is 'two_d', but the vector gives 'vertical'\n");

  // The limits: the size before anything is read (a sparse file of 2 GB), and the count.
  write("");
  ASSERT_EQ(truncate(path("set/vectors.csv").c_str(), 2LL << 30), 0);
  EXPECT_EQ(check("set"), 2);
  EXPECT_EQ(printed_, "check_walk: set/vectors.csv: larger than 64 MB, the limit\n");
  std::string many = "file,picture,stride,height,x,y,mvx,mvy\n";
  for (int n = 1; n <= 100001; ++n) {
    many += "v" + std::to_string(n) + ".bmp,random.bmp,203,117,0,0,0,0\n";
  }
  write(many);
  EXPECT_EQ(check("set"), 2);
  EXPECT_EQ(printed_,
            "check_walk: set/vectors.csv line 100002: more than 100000 vectors, the limit\n");
}

TEST_F(vector_set, is_written_into_its_directory_alone_and_checked_like_the_walk) {
  // A picture of the user's, at a path that is not a plain name.
  ASSERT_EQ(mkdir(path("pictures").c_str(), 0755), 0);
  picture_options options;
  options.width = 64;
  options.height = 70;
  options.content = picture_content::random;
  write_file(path("pictures/mine.bmp"), make_picture_file(options));
  ASSERT_EQ(make("--picture ../" + dir_.substr(dir_.rfind('/') + 1) + "/pictures/mine.bmp out"), 0)
      << printed_;
  EXPECT_EQ(read_file(path("out/picture.bmp")), read_file(path("pictures/mine.bmp")));
  const std::vector<manifest_line> lines = parse_csv(text("out/vectors.csv"));
  for (const manifest_line& m : lines) ASSERT_EQ(m.field.at("picture"), "picture.bmp");
  std::set<std::string> names;
  DIR* d = opendir(dir_.c_str());
  while (const dirent* e = readdir(d)) names.insert(e->d_name);
  closedir(d);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "out", "pictures"}));

  options.width = 63;
  write_file(path("small.bmp"), make_picture_file(options));
  EXPECT_EQ(make("--picture small.bmp out2"), 2);
  EXPECT_NE(printed_.find("make_vectors: small.bmp: not an uncompressed 24-bit bitmap of at "
                          "least 64 x 64 pixels"),
            std::string::npos)
      << printed_;
  EXPECT_EQ(make("small.bmp"), 2) << "OUTDIR is a file";

  // Files the manifest names that are missing or unreadable are listed as the walk's are.
  copy_expected("out");
  std::remove(path("out/vector0005.bmp").c_str());
  std::remove(path("out/vector0006.bmp").c_str());
  ASSERT_EQ(mkdir(path("out/vector0006.bmp").c_str(), 0755), 0);
  EXPECT_EQ(check("out"), 1);
  EXPECT_NE(printed_.find("  missing: 1 (vector0005.bmp)\n  a directory: 1 (vector0006.bmp)\n"),
            std::string::npos)
      << printed_;
  EXPECT_EQ(check("out --json -"), 1);
  EXPECT_NE(printed_.find("\"clamp_x\": \"low\", \"clamp_y\": \"high\", \"negative\": true,"),
            std::string::npos);

  // --explain works on any file of a set.
  const manifest_line& m = *std::find_if(lines.begin(), lines.end(), [](const manifest_line& l) {
    return l.field.at("clamp_x") == "low";
  });
  EXPECT_EQ(check("out --explain " + m.field.at("file") + " 0 0 0"), 1);
  EXPECT_NE(printed_.find("clamped to the low bound, -15\n"), std::string::npos) << printed_;
}

}  // namespace
