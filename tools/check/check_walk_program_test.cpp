// check_walk end to end: run as a process on walks that blockwalk, a faulty port and the test
// itself wrote; what it prints, writes and exits with.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "bitmap.h"
#include "picture.h"
#include "scratch_dir.h"

namespace {

class check_walk_program : public scratch_dir {
 protected:
  void SetUp() override {
    scratch_dir::SetUp();
    picture_.content = picture_content::random;
    write_file(path("picture.bmp"), make_picture_file(picture_));
  }
  int blockwalk() { return run_here(BLOCKWALK_EMULATOR " '" BLOCKWALK_EXE "'"); }
  int faulty_walk(const std::string& fault) {
    return run_here(BLOCKWALK_EMULATOR " '" FAULTY_WALK_EXE "' . " + fault);
  }
  // Runs check_walk with `args`: its standard output in printed_, its standard error in error_.
  int check(const std::string& args) {
    const int status = run_here("(" BLOCKWALK_EMULATOR " '" CHECK_WALK_EXE "' " + args + " 2> '" +
                                path("stderr.txt") + "')");
    const std::vector<uint8_t> error = read_file(path("stderr.txt"));
    error_.assign(error.begin(), error.end());
    std::remove(path("stderr.txt").c_str());
    return status;
  }
  std::set<std::string> entries() const {
    std::set<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (const dirent* e = d ? readdir(d) : nullptr) names.insert(e->d_name);
    if (d) closedir(d);
    return names;
  }
  bool printed(const std::string& text) const { return printed_.find(text) != std::string::npos; }

  picture_options picture_;
  std::string error_;
};

TEST_F(check_walk_program, exits_0_on_blockwalks_walk_and_1_on_a_faulty_one) {
  ASSERT_EQ(blockwalk(), 0);
  const std::set<std::string> before = entries();
  EXPECT_EQ(check("."), 0) << error_;
  EXPECT_EQ(printed_.substr(0, printed_.find('\n')),
            "identical: all 1900 blocks are as blockwalk writes them");
  EXPECT_TRUE(printed("coverage: the walk ran "));
  EXPECT_TRUE(
      printed("  It never ran the horizontal and vertical paths; the other 12 phase pairs; the "
              "clamp at any edge of the picture; a negative vector.\n"));
  EXPECT_EQ(error_, "");
  EXPECT_EQ(entries(), before) << "nothing written into the directory";

  ASSERT_EQ(faulty_walk("rounding 2 0"), 0) << printed_;
  std::rename(path("picture.bmp").c_str(), path("elsewhere.bmp").c_str());
  EXPECT_EQ(check(". --picture '" + path("elsewhere.bmp") + "'"), 1);
  EXPECT_EQ(printed_.substr(0, printed_.find('\n')),
            "different: 1425 of 1900 blocks differ; 0 missing, 0 unreadable");
  EXPECT_TRUE(printed("  two_d (1/4, 1/4): 475 blocks, 475 differ;"));
  EXPECT_TRUE(printed("    diagnosis: rounding (pass 2, offset_min 0, offset_max 0)\n"));
  // The groups' offsets overlap in 0 ... 0: one fault, which reproduces all three, ranked first.
  EXPECT_TRUE(
      printed("  in all: 3 of 4 groups differ, every one on the two_d path; rounding (pass "
              "2, offset_min 0, offset_max 0) reproduces 3 of them; rounding_mode (pass both, "
              "mode toward_zero) reproduces 1 of them (partial: 1 of 3 groups); "
              "exact_intermediate (mode toward_zero) reproduces 1 of them (partial: 1 of 3 "
              "groups)\n"))
      << printed_;
  EXPECT_FALSE(printed("copy (0, 0)"));
}

TEST_F(check_walk_program, exits_2_with_one_line_on_trouble) {
  ASSERT_EQ(blockwalk(), 0);
  picture_options small = picture_;
  small.width = 532;
  write_file(path("small.bmp"), make_picture_file(small));
  write_file(path("text.bmp"), {'h', 'e', 'l', 'l', 'o'});
  const std::vector<uint8_t> whole = make_picture_file(picture_);
  write_file(path("cut.bmp"), {whole.begin(), whole.end() - 100});
  const struct {
    std::string args, message;
  } cases[] = {
      {". --frobnicate", "check_walk: --frobnicate: no such option; --help tells the usage\n"},
      {". --json", "check_walk: --json: FILE missing after it; --help tells the usage\n"},
      {". --json a --json b", "check_walk: --json: given twice; --help tells the usage\n"},
      {". other", "check_walk: 'other': a second DIR, after '.'; --help tells the usage\n"},
      {". --explain block0100.bmp 16 0 0", "check_walk: --explain: ROW must be 0 ... 15, got 16\n"},
      {". --explain block0100.bmp 0 x 0", "check_walk: --explain: PIXEL must be 0 ... 15, got x\n"},
      {". --explain block0100.bmp 0 0 3",
       "check_walk: --explain: CHANNEL must be 0 ... 2, got 3\n"},
      {". --explain block0100.bmp 0 0", "check_walk: --explain: CHANNEL missing after it; "},
      {"no_such_dir", "check_walk: no_such_dir: not a directory\n"},
      {"picture.bmp", "check_walk: picture.bmp: not a directory\n"},
      {". --picture none.bmp", "check_walk: none.bmp: error -1! (cannot be opened)\n"},
      {". --picture text.bmp",
       "check_walk: text.bmp: error -2! (not a bitmap, or malformed: no \"BM\" signature, or a "
       "file header cut short)\n"},
      // Said on standard error alone: the reader prints nothing of its own.
      {". --picture cut.bmp",
       "check_walk: cut.bmp: error -2! (error reading the bits: the pixel array is shorter than "
       "the header promises)\n"},
      {". --picture small.bmp",
       "check_walk: small.bmp: error -3! (a bitmap the walk cannot use: not 24 bits per pixel, "
       "compressed, or smaller than 533 x 533)\n"},
      {". --explain block0099.bmp 0 0 0", "check_walk: block0099.bmp: no block file of the walk\n"},
      {". --explain block0100.bmp 0 0 0 --json -",
       "check_walk: --explain and --json - exclude each other: both write standard output; give "
       "--json a FILE; --help tells the usage\n"},
      {". --sheet /no/such/dir/s.bmp", "check_walk: cannot write /no/such/dir/s.bmp: "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(check(c.args), 2) << c.args;
    EXPECT_EQ(error_.substr(0, c.message.size()), c.message) << c.args;
    EXPECT_EQ(std::count(error_.begin(), error_.end(), '\n'), 1) << c.args;
    EXPECT_EQ(printed_, "") << c.args;
  }
  EXPECT_EQ(check("--help"), 0);
  EXPECT_TRUE(printed("row 0 is the first row of its pixel array"));
  EXPECT_TRUE(printed("channel 0 is blue, 1 green,\n2 red"));
}

TEST_F(check_walk_program, writes_the_report_as_json) {
  ASSERT_EQ(faulty_walk("taps 0 3"), 0);
  std::remove(path("block0100.bmp").c_str());
  std::vector<uint8_t> file = read_file(path("block0105.bmp"));
  file.pop_back();
  write_file(path("block0105.bmp"), file);
  file = read_file(path("block0106.bmp"));
  store_le32(&file[2], 0);
  write_file(path("block0106.bmp"), file);

  EXPECT_EQ(check(". --json -"), 1);
  // As a script reads it, whatever the lines it is laid out in.
  const auto squeezed = [](const std::string& text) {
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
      if (text[k] != '\n') {
        out += text[k];
        continue;
      }
      while (k + 1 < text.size() && text[k + 1] == ' ') ++k;
      if (out.back() == ',') out += ' ';
    }
    return out;
  };
  const std::string json = squeezed(printed_);
  const std::string want[] = {
      "{\"identical\": false, \"pixels_only\": false, \"blocks\": 1900, \"blocks_checked\": 1898, ",
      "\"blocks_differing\": 949, \"missing\": [\"block0100.bmp\"], ",
      "\"unreadable\": [{\"file\": \"block0105.bmp\", \"reason\": \"too short\"}], ",
      "\"header_differences\": [{\"field\": \"file_size\", \"files\": 1, \"first\": "
      "{\"file\": \"block0106.bmp\", \"at\": 2, \"expected\": 822, \"found\": 0}}], ",
      "\"groups\": [{\"path\": \"copy\", \"phases\": [0, 0], ",
      "\"blocks\": 474, \"differing_blocks\": 0, ",
      "\"first\": null, \"diagnosis\": [], ",
      "\"located\": 0, \"relation\": null, \"fit\": null}, {\"path\": \"two_d\", \"phases\": [1, "
      "1], ",
      "\"blocks\": 474, \"differing_blocks\": 474, ",
      "\"first\": {\"file\": \"block0101.bmp\", \"row\": 0, \"pixel\": 0, \"channel\": 0, ",
      "\"diagnosis\": [{\"fault\": \"taps\", \"axis\": \"h\", \"phase\": 3}], ",
      "\"located\": 474, \"relation\": \"found where ours lies, at a horizontal phase of 3/4\", "
      "\"fit\": null}, "
      "{\"path\": \"two_d\", \"phases\": [2, 2], ",
      "{\"path\": \"two_d\", \"phases\": [3, 3], ",
      "\"differing_blocks\": 0, \"differing_bytes\": 0, \"max_abs_difference\": 0, ",
      "\"diagnosis\": [], ",
      "\"located\": 0, \"relation\": null, \"fit\": null}], \"differences\": [{\"block\": "
      "\"block0101.bmp\", "
      "\"place\": 1, \"group\": 1, \"bytes\": 763, \"located\": {\"view\": \"stored\", "
      "\"written\": \"as_written\", \"sx\": 41, \"sy\": 41, \"hx\": 3, \"vy\": 1}}, ",
      "\"facets\": {\"pictures\": {}, \"paths\": {\"two_d\": 949}, \"clamps\": {\"none\": 949}}, ",
      "\"summary\": [{\"groups\": 2, \"partial\": false, \"unknowable\": 0, \"located\": \"found "
      "where ours lies, at a horizontal phase of 3/4\"}, {\"groups\": 2, \"partial\": false, "
      "\"diagnosis\": {\"fault\": \"taps\", \"axis\": \"h\", \"phase\": 3}}], "
      "\"shifted_files\": null, ",
      "\"coverage\": {\"paths\": [\"copy\", \"two_d\"], \"paths_never\": [\"horizontal\", "
      "\"vertical\"], \"phase_pairs\": [[0, 0], [1, 1], [2, 2], [3, 3]], "
      "\"phase_pairs_never\": [[0, 1], [0, 2], [0, 3], [1, 0], [1, 2], [1, 3], [2, 0], [2, 1], "
      "[2, 3], [3, 0], [3, 1], [3, 2]], \"clamps\": [], \"clamps_never\": [\"h low\", "
      "\"h high\", \"v low\", \"v high\"], \"negative_vectors\": false}}",
  };
  size_t at = 0;
  for (const std::string& part : want) {
    const size_t found = json.find(part, at);
    ASSERT_NE(found, std::string::npos) << "after offset " << at << ": " << part << "\nin\n"
                                        << json;
    at = found + part.size();
  }
  EXPECT_EQ(at, json.size());

  // To a file, beside the text report.
  EXPECT_EQ(check(". --json '" + path("report.json") + "'"), 1);
  EXPECT_TRUE(printed("different: 949 of 1900 blocks differ; 1 missing, 1 unreadable\n"));
  const std::vector<uint8_t> file_json = read_file(path("report.json"));
  EXPECT_EQ(std::string(file_json.begin(), file_json.begin() + 14), "{\"identical\": ");
}

// The lines of a report that say what differs and why, whatever the blocks were read from.
std::vector<std::string> findings(const std::string& report) {
  std::vector<std::string> lines;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("different:", 0) == 0 || line.rfind("  two_d", 0) == 0 ||
        line.rfind("  copy", 0) == 0 || line.rfind("    diagnosis:", 0) == 0 ||
        line.rfind("  in all:", 0) == 0) {
      lines.push_back(line);
    }
  }
  return lines;
}

TEST_F(check_walk_program, checks_the_same_blocks_from_every_kind_of_stream) {
  ASSERT_EQ(faulty_walk("taps 0 3"), 0);
  const int status = check(".");
  const std::vector<std::string> from_files = findings(printed_);
  ASSERT_EQ(status, 1);
  ASSERT_GT(from_files.size(), 4u);

  // The walk's pixels, block after block, written here as each format's writers would.
  std::vector<uint8_t> pixels;
  for (int n = 100; n <= 1999; ++n) {
    const std::vector<uint8_t> file = read_file(path(block_name(n)));
    pixels.insert(pixels.end(), file.begin() + 54, file.begin() + 54 + 768);
  }
  write_file(path("blocks.bin"), pixels);
  std::string header = "{'descr': '|u1', 'fortran_order': False, 'shape': (1900, 16, 48), }";
  header.append(117 - header.size(), ' ');
  header += '\n';
  std::vector<uint8_t> npy = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0, 118, 0};
  npy.insert(npy.end(), header.begin(), header.end());
  npy.insert(npy.end(), pixels.begin(), pixels.end());
  write_file(path("blocks.npy"), npy);
  for (const size_t word : {size_t{1}, size_t{48}}) {
    std::string text = "// blocks as $writememh writes them\n";
    char digits[3];
    for (size_t w = 0; w < pixels.size(); w += word) {
      for (size_t b = word; b-- > 0;) {
        std::snprintf(digits, sizeof digits, "%02X", pixels[w + b]);
        text += digits;
      }
      text += '\n';
    }
    write_file(path(word == 1 ? "bytes.memh" : "rows.hex"), {text.begin(), text.end()});
  }
  for (const char* stream : {"blocks.bin", "blocks.npy", "bytes.memh", "rows.hex"}) {
    EXPECT_EQ(check(std::string(". --blocks ") + stream), status) << stream;
    EXPECT_EQ(findings(printed_), from_files) << stream;
    EXPECT_TRUE(printed("pixels only: the blocks came from a stream")) << stream;
  }
  EXPECT_EQ(check(". --blocks blocks.npy --explain 1 0 0 0"), 1);
  EXPECT_TRUE(
      printed("block 1 (block0101.bmp), row 0 (0 is the first row the file stores), pixel 0"))
      << printed_;
  EXPECT_TRUE(printed("explained by taps (axis h, phase 3)")) << printed_;

  // Fewer blocks leave the rest missing; a stream that contradicts its format is refused.
  pixels.resize(1000 * 768);
  write_file(path("part.bin"), pixels);
  EXPECT_EQ(check(". --blocks part.bin"), 1);
  EXPECT_TRUE(printed("different: 500 of 1900 blocks differ; 900 missing, 0 unreadable\n"));
  npy[10 + header.find("48") + 1] = '2';  // the shape (1900, 16, 42)
  write_file(path("bad.npy"), npy);
  write_file(path("bad.memh"), {'0', '1', ' ', '0', 'x', '\n'});
  write_file(path("long.bin"), std::vector<uint8_t>(1901 * 768));
  const struct {
    std::string args, message;
  } refused[] = {
      {". --blocks bad.npy", "check_walk: bad.npy: shape (1900, 16, 42), not (N, 16, 16, 3),"},
      {". --blocks bad.memh", "check_walk: bad.memh: line 1: '0x' is no hexadecimal word\n"},
      {". --blocks long.bin",
       "check_walk: long.bin: 1901 blocks, more than the 1900 of the check\n"},
      {". --blocks blocks.txt", "check_walk: blocks.txt: no stream's extension"},
      {". --blocks none.bin", "check_walk: none.bin: missing\n"},
      {". --blocks blocks.npy --explain 1900 0 0 0", "check_walk: 1900: no block of the walk"},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(check(c.args), 2) << c.args;
    EXPECT_EQ(error_.substr(0, c.message.size()), c.message) << c.args;
  }
}

TEST_F(check_walk_program, explains_a_byte_step_by_step) {
  // A single 255 on 0: block 102 (phases 1/2, whole part 25, so its top-left source pixel is
  // plane (41, 41)) takes it into pixel (3, 3) through the third tap of both passes.
  std::vector<uint8_t> rows(600 * 600 * 3, 0);
  rows[(45 * 600 + 45) * 3 + 1] = 255;
  write_file(path("picture.bmp"), encode_bitmap(600, 600, rows.data(), {}));
  ASSERT_EQ(blockwalk(), 0);
  std::vector<uint8_t> file = read_file(path("block0102.bmp"));
  const size_t at = 54 + 3 * 48 + 3 * 3 + 1;
  ASSERT_EQ(file[at], 81);
  file[at] = 82;
  write_file(path("block0102.bmp"), file);

  EXPECT_EQ(check(". --explain block0102.bmp 3 3 1"), 1);
  const std::string want[] = {
      "block0102.bmp, row 3 (0 is the first row the file stores), pixel 3, channel 1 (green)\n",
      "position: interpolate_block(stride 600, height 600, x 25, y 25, mvx 2, mvy 2)\n",
      "  x 25 + whole part 0 of mvx 2 (phase 1/2) = 25; bounds -15 ... 598: not clamped\n",
      "path: two_d (1/2, 1/2); the block's top-left source pixel is plane (41, 41)\n",
      "  (43, 46): 0  (44, 46): 0  (45, 46): 0  (46, 46): 0\n",
      "taps: horizontal (phase 1/2) -8 72 72 -8, vertical (phase 1/2) -8 72 72 -8\n",
      "pass 1, source row 2: -8*0 + 72*0 + 72*255 - 8*0 = 18360; (18360 + 1) >> 1 = 9180\n",
      "pass 2: -8*0 + 72*0 + 72*9180 - 8*0 = 660960; (660960 + 4096) >> 13 = 81\n",
      "clamped to 0 ... 255: 81\n",
      "expected 81, found 82: +1\n",
      "no known fault reproduces this block's group\n",
      "weak hints, faults that give this byte alone but not its whole group: none\n",
  };
  size_t from = 0;
  for (const std::string& line : want) {
    const size_t found = printed_.find(line, from);
    ASSERT_NE(found, std::string::npos) << line << "\nin\n" << printed_;
    from = found + line.size();
  }
  // With a JSON file beside it, both are written.
  EXPECT_EQ(check(". --explain block0102.bmp 3 4 1 --json '" + path("r.json") + "'"), 1);
  EXPECT_TRUE(printed("expected 81, found 81: equal\n")) << printed_;
  const std::vector<uint8_t> json = read_file(path("r.json"));
  EXPECT_NE(std::string(json.begin(), json.end()).find("\"blocks_differing\": 1,"),
            std::string::npos);

  // Rounding down in the second pass: the fit's point, as phase 1/2 writes it (its first pass
  // divides exactly, as if the sum were kept whole), derives the byte found.
  ASSERT_EQ(faulty_walk("rounding 2 0"), 0);
  EXPECT_EQ(check(". --explain '" + path("block0102.bmp") + "' 3 3 1"), 1);
  EXPECT_TRUE(
      printed("expected 81, found 80: -1\nthe fit's arithmetic, which gives every byte of the "
              "group: {h, [0, 14], [none, floor], exact} (the second pass rounding down (a shift "
              "without its offset))\n  first pass along rows -1, 0, 1, 2: sums 0, 0, 18360, 0; "
              "kept 0, 0, 18360, 0\n  gives 80, as found\nexplained by rounding (pass 2, "
              "offset_min 0, offset_max 31), which reproduces every byte of the group\n"))
      << printed_;
  // The group's own faults first, then what gives this byte alone.
  EXPECT_TRUE(printed("weak hints, faults that give this byte alone but not its whole group:\n"))
      << printed_;

  // A port that keeps T in 16 unsigned bits: pixel (2, 3) reads the 255 through the last tap
  // along its row and the third down its column. Row 2's first pass -8 * 255 = -2040 halves
  // exactly (at phase 1/2 nothing is left to round) to -1020, kept as 65536 - 1020 = 64516;
  // 72 * 64516 passes 255, where ours, 72 * -1020, gives 0.
  ASSERT_EQ(faulty_walk("uint16_intermediate"), 0);
  EXPECT_EQ(check(". --explain block0102.bmp 3 2 1"), 1);
  EXPECT_TRUE(
      printed("expected 0, found 255: +255\nthe fit's arithmetic, which gives every byte "
              "of the group: {h, [1, 13], [none, half_up], uint16} (the intermediate "
              "kept in 16 unsigned bits (uint16_t), where negatives wrap)\n  first pass "
              "along rows -1, 0, 1, 2: sums 0, 0, -2040, 0; kept 0, 0, 64516, 0\n  gives "
              "255, as found\nno known fault reproduces this block's group\n"))
      << printed_;
}

// The difference sheet's layout, checked by hand: a margin of 8, two lines of title 22 high, row
// numbers of four digits 12 wide each; then the grid of 33-pixel cells (32 and a gutter).
constexpr int grid_x = 8 + 4 * 12 + 8, grid_y = 8 + 2 * 22 + 8;

// The pixels of block n's cell in the sheet, top row first.
std::vector<const uint8_t*> sheet_cell(const bitmap_picture& sheet, int n) {
  std::vector<const uint8_t*> pixels;
  const int k = n - 100, x = grid_x + 1 + 33 * (k % 50), y = grid_y + 1 + 33 * (k / 50);
  for (int dy = 0; dy < 32; ++dy) {
    for (int dx = 0; dx < 32; ++dx) {
      const size_t row = static_cast<size_t>(sheet.height - 1 - (y + dy));  // stored bottom-up
      pixels.push_back(&sheet.plane[3 * (row * sheet.width + x + dx)]);
    }
  }
  return pixels;
}

TEST_F(check_walk_program, pictures_the_differences) {
  // Wrong taps show in two phase pairs only; one file is missing.
  ASSERT_EQ(faulty_walk("taps 0 3"), 0);
  std::remove(path("block0150.bmp").c_str());
  EXPECT_EQ(check(". --sheet s.bmp"), 1);
  bitmap_picture sheet;
  ASSERT_EQ(read_bitmap_file(path("s.bmp").c_str(), &sheet), bitmap_status::ok);
  EXPECT_EQ(sheet.width, grid_x + 50 * 33 + 1 + 8);
  EXPECT_EQ(sheet.height, grid_y + 38 * 33 + 1 + 8 + 5 * 22 + 8) << "and a legend of five lines";
  // A dimmed pixel is grey, at most 103; a signal one is not.
  const auto signalled = [&](int n) {
    size_t count = 0;
    for (const uint8_t* p : sheet_cell(sheet, n)) count += p[0] > 111 || p[1] > 111 || p[2] > 111;
    return count;
  };
  for (const int n : {100, 104, 103, 1999}) EXPECT_EQ(signalled(n), 0u) << "identical block " << n;
  for (const int n : {101, 102, 1001}) EXPECT_GT(signalled(n), 900u) << "differing block " << n;
  const std::vector<const uint8_t*> crossed = sheet_cell(sheet, 150);
  EXPECT_EQ(crossed[0][2], 0xE0) << "the missing block's cross, red, in its corner";
  EXPECT_EQ(crossed[16][2], 0x18) << "on dark";

  // Each row of cells is numbered at its left, and the title and legend are written: light
  // text on the dark ground, level with the first row of cells and above and below the grid.
  const auto inked = [&](int x0, int x1, int y0, int y1) {
    size_t count = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const uint8_t* p = &sheet.plane[3 * ((sheet.height - 1 - y) * size_t{1} * sheet.width + x)];
        count += p[0] == 0xD8 && p[1] == 0xD8 && p[2] == 0xD8;
      }
    }
    return count;
  };
  EXPECT_GT(inked(0, grid_x, grid_y, grid_y + 33), 50u) << "the number 100";
  EXPECT_GT(inked(0, 800, 0, grid_y), 1000u) << "the title";
  EXPECT_GT(inked(0, 800, sheet.height - 5 * 22 - 8, sheet.height), 1000u) << "the legend";
}

TEST_F(check_walk_program, shows_a_difference_of_one_on_a_random_picture) {
  // The blocks as blockwalk writes them, and as a port that truncates the last rounding does:
  // most of its bytes are 1 too low, on a picture of noise.
  ASSERT_EQ(mkdir(path("right").c_str(), 0755), 0);
  write_file(path("right/picture.bmp"), make_picture_file(picture_));
  ASSERT_EQ(run_here("cd right && " BLOCKWALK_EMULATOR " '" BLOCKWALK_EXE "'"), 0);
  // Rounding down in the second pass: the fit's point, as phase 1/2 writes it (its first pass
  // divides exactly, as if the sum were kept whole), derives the byte found.
  ASSERT_EQ(faulty_walk("rounding 2 0"), 0);
  EXPECT_EQ(check(". --sheet s.bmp"), 1);
  bitmap_picture sheet;
  ASSERT_EQ(read_bitmap_file(path("s.bmp").c_str(), &sheet), bitmap_status::ok);

  for (const int n : {101, 1002, 1996}) {
    const std::vector<uint8_t> want = read_file(path("right/" + block_name(n)));
    const std::vector<uint8_t> got = read_file(path(block_name(n)));
    const std::vector<const uint8_t*> cell = sheet_cell(sheet, n);
    size_t differing = 0;
    for (int r = 0; r < 16; ++r) {
      for (int i = 0; i < 16; ++i) {
        // The picture is bottom-up: the cell shows the file's first row at the bottom.
        const size_t at = 54 + 48 * static_cast<size_t>(15 - r) + 3 * i;
        const bool differs = !std::equal(&want[at], &want[at] + 3, &got[at]);
        differing += differs;
        for (int d = 0; d < 4; ++d) {
          const uint8_t* p = cell[(2 * r + d / 2) * 32 + 2 * i + d % 2];
          if (differs) {
            // Light blue, whatever the block's colours were.
            EXPECT_EQ(std::vector<int>(p, p + 3), (std::vector<int>{255, 170, 140})) << n;
          } else {
            EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << n << ": grey where equal";
          }
        }
      }
    }
    if (n != 1996) {
      EXPECT_GT(differing, 100u) << n;
    } else {
      EXPECT_EQ(differing, 0u) << "a copy is right";
    }
  }
}

}  // namespace
