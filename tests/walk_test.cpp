// The program end to end: a picture in a fresh directory, blockwalk run there as a process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bitmap.h"
#include "interpolate.h"
#include "levels.h"
#include "picture.h"
#include "scratch_dir.h"

namespace {

class walk : public scratch_dir {
 protected:
  void put_picture(const std::vector<uint8_t>& file) { write_file(path("picture.bmp"), file); }
  int run(const std::string& environment = "") {
    return run_here(environment + " " BLOCKWALK_EMULATOR " '" BLOCKWALK_EXE "'");
  }

  int count_block_files() const {
    int found = 0;
    for (int n = 0; n < 10000; ++n) found += exists(block_name(n));
    return found;
  }
};

// The block files of a picture, checked against an interpolation made here: whole-pixel
// positions against the plane itself, the others against the scalar rendering.
void expect_walk_files(const std::string& dir, const picture_options& options) {
  const std::vector<uint8_t> picture = make_picture_file(options);
  const std::vector<uint8_t> plane = file_order(make_picture_rows(options), options);
  std::vector<uint8_t> info(picture.begin() + 14, picture.begin() + load_le32(&picture[10]));
  const auto header = make_block_header(info);
  // A profile after the picture's pixels follows each block's pixels.
  const colour_profile& profile = options.layout.profile;
  const std::vector<uint8_t> after =
      profile.type && !options.layout.profile_first ? profile.data : std::vector<uint8_t>();
  const ptrdiff_t row = ptrdiff_t{options.width} * 3;
  for (int n = 100; n <= 1999; ++n) {
    const std::vector<uint8_t> file = read_file(dir + "/" + block_name(n));
    ASSERT_EQ(file.size(), 14 + info.size() + 768 + after.size()) << block_name(n);
    ASSERT_TRUE(std::equal(header.begin(), header.end(), file.begin())) << block_name(n);
    ASSERT_TRUE(std::equal(info.begin(), info.end(), file.begin() + 14)) << block_name(n);
    ASSERT_TRUE(std::equal(after.begin(), after.end(), file.end() - after.size())) << block_name(n);

    const int whole = n / 4 + block_margin, phase = n % 4;
    const uint8_t* origin = plane.data() + whole * row + whole * 3;
    std::vector<uint8_t> want(block_bytes);
    for (int r = 0; r < block_size; ++r) {
      if (phase == 0) std::copy_n(origin + r * row, 48, want.begin() + r * 48);
    }
    if (phase != 0) two_d_scalar(want.data(), origin, row, phase, phase);
    ASSERT_TRUE(std::equal(want.begin(), want.end(), file.begin() + 14 + info.size()))
        << block_name(n);
  }
}

TEST_F(walk, writes_1900_block_files_of_the_picture) {
  picture_options options;  // 600 x 600, 40-byte info block, bottom-up
  put_picture(make_picture_file(options));
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(printed_, "");
  EXPECT_EQ(count_block_files(), 1900);
  const std::vector<uint8_t> first = read_file(path("block0100.bmp"));
  ASSERT_EQ(first.size(), 822u);
  EXPECT_EQ(load_le32(&first[2]), 822u);
  EXPECT_EQ(load_le32(&first[10]), 54u);
  EXPECT_EQ(load_le32(&first[18]), 16u);
  EXPECT_EQ(load_le32(&first[22]), 16u);
  EXPECT_EQ(load_le32(&first[34]), 768u);
  expect_walk_files(dir_, options);
}

TEST_F(walk, keeps_the_layout_of_other_pictures) {
  struct layout_case {
    int32_t width, height;
    bitmap_layout layout;
  };
  // Extended info block; top-down; the smallest picture the walk fits, whose rows need
  // alignment and whose last pixel the last block reads.
  const layout_case cases[] = {
      {600, 560, {124, false, 0, {}, false}}, {541, 600, {40, true, 0, {}, false}}, {533, 533, {}}};
  for (const layout_case& c : cases) {
    picture_options options;
    options.width = c.width;
    options.height = c.height;
    options.layout = c.layout;
    options.content = picture_content::random;
    put_picture(make_picture_file(options));
    ASSERT_EQ(run(), 0) << c.width << " x " << c.height;
    expect_walk_files(dir_, options);
    const std::vector<uint8_t> block = read_file(path("block0999.bmp"));
    EXPECT_EQ(static_cast<int32_t>(load_le32(&block[22])), c.layout.top_down ? -16 : 16);
  }
}

TEST_F(walk, gives_a_uniform_picture_uniform_blocks_whatever_its_row_alignment) {
  const uint8_t colour[3] = {0x20, 0x90, 0xE0};
  for (const int32_t width : {536, 537, 538, 539}) {
    const std::vector<uint8_t> rows = [&] {
      std::vector<uint8_t> r(size_t{3} * width * 540);
      for (size_t i = 0; i < r.size(); ++i) r[i] = colour[i % 3];
      return r;
    }();
    put_picture(encode_bitmap(width, 540, rows.data(), {}));
    ASSERT_EQ(run(), 0);
    for (int n = 100; n <= 1999; ++n) {
      const std::vector<uint8_t> file = read_file(path(block_name(n)));
      for (size_t i = 54; i < file.size(); ++i) {
        ASSERT_EQ(file[i], colour[(i - 54) % 3]) << "width " << width << ", " << block_name(n);
      }
    }
  }
}

TEST_F(walk, writes_the_same_files_at_every_level) {
  picture_options options;
  options.content = picture_content::random;
  put_picture(make_picture_file(options));
  for (const filter_impl& impl : filter_impls()) {
    ASSERT_EQ(run(std::string("BLOCKWALK_ISA=") + impl.name), 0) << impl.name;
    EXPECT_EQ(printed_, "") << impl.name;
    expect_walk_files(dir_, options);
  }
  // A name that is no level: said on standard error, and the scalar rendering is used.
  ASSERT_EQ(run("BLOCKWALK_ISA=avx9"), 0);
  EXPECT_NE(printed_.find("blockwalk: BLOCKWALK_ISA=avx9 is none of scalar"), std::string::npos)
      << printed_;
  EXPECT_NE(printed_.find("; using scalar\n"), std::string::npos) << printed_;
  expect_walk_files(dir_, options);
}

TEST_F(walk, carries_a_colour_profile_into_every_block_file) {
  // Stand-ins for a profile: any bytes will do, an odd count among them.
  std::vector<uint8_t> icc(613);
  for (size_t i = 0; i < icc.size(); ++i) icc[i] = static_cast<uint8_t>(i * 29 + 7);
  const std::string name = "C:\\profiles\\wide.icm";
  struct profile_case {
    const char* what;
    uint32_t type;
    std::vector<uint8_t> data;
    bool first;
    uint32_t file_size, profile_at;  // of a block file, worked out by hand
  };
  const profile_case cases[] = {
      // 14 + 124 + 768 + 613; the profile right after the block's 768 pixel bytes.
      {"embedded after the pixels", profile_embedded, icc, false, 1519, 892},
      {"linked, its name after the pixels",
       profile_linked,
       {name.begin(), name.end()},
       false,
       906 + static_cast<uint32_t>(name.size()),
       892},
      // Inside the info block, which is then 124 + 613 bytes long; the reference stays.
      {"embedded before the pixels", profile_embedded, icc, true, 1519, 124},
  };
  for (const profile_case& c : cases) {
    SCOPED_TRACE(c.what);
    picture_options options;
    options.width = 540;
    options.height = 536;
    options.content = picture_content::random;
    options.layout.info_size = 124;
    options.layout.profile = {c.type, 4, c.data};
    options.layout.profile_first = c.first;
    const std::vector<uint8_t> picture = make_picture_file(options);
    put_picture(picture);
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(printed_, "");

    const std::vector<uint8_t> block = read_file(path("block0101.bmp"));
    ASSERT_EQ(block.size(), c.file_size);
    EXPECT_EQ(load_le32(&block[2]), c.file_size) << "bfSize";
    EXPECT_EQ(load_le32(&block[10]), load_le32(&picture[10])) << "bfOffBits";
    EXPECT_EQ(load_le32(&block[14 + 56]), c.type) << "colour space type";
    EXPECT_EQ(load_le32(&block[14 + 112]), c.profile_at) << "profile data offset";
    EXPECT_EQ(load_le32(&block[14 + 116]), c.data.size()) << "profile size";
    EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), block.begin() + 14 + c.profile_at));
    // Every other byte of the info block is the picture's.
    for (size_t i = 14; i < load_le32(&picture[10]); ++i) {
      const size_t at = i - 14;
      if ((at >= 4 && at < 12) || (at >= 20 && at < 24) || (!c.first && at >= 112 && at < 116)) {
        continue;
      }
      ASSERT_EQ(block[i], picture[i]) << "info byte " << at;
    }
    expect_walk_files(dir_, options);
  }
}

// Hostile and unusual headers: what the program says and does for each.
TEST_F(walk, answers_every_header_with_its_status_and_message) {
  picture_options options;  // 600 x 600: the walk fits
  const std::vector<uint8_t> good = make_picture_file(options);
  const auto patched = [&](std::vector<std::pair<size_t, uint32_t>> fields, size_t extra = 0) {
    std::vector<uint8_t> f = good;
    for (const auto& [at, value] : fields) {
      // bfType and biBitCount are 16-bit fields; the others 32-bit.
      if (at == 0 || at == 28) {
        store_le16(&f[at], static_cast<uint16_t>(value));
      } else {
        store_le32(&f[at], value);
      }
    }
    f.resize(f.size() + extra);
    return f;
  };
  const auto first = [&](size_t bytes) {
    return std::vector<uint8_t>(good.begin(), good.begin() + bytes);
  };
  picture_options padded = options;
  padded.width = 601;  // one alignment byte per row
  picture_options narrow = options;
  narrow.width = 532;
  picture_options low = options;
  low.height = 532;
  picture_options table = options;
  table.layout.table_size = 1024;
  const uint32_t width_at = 18, height_at = 22, bits_at = 28, compression_at = 30;
  // A profile whose last byte would be the first past the file's end; and an absurd size.
  picture_options with_profile = options;
  with_profile.layout.info_size = 124;
  with_profile.layout.profile = {profile_embedded, 4, std::vector<uint8_t>(100, 7)};
  std::vector<uint8_t> beyond_end = make_picture_file(with_profile);
  beyond_end.pop_back();
  std::vector<uint8_t> absurd_size = make_picture_file(with_profile);
  store_le32(&absurd_size[14 + 116], 0xFFFFFFFF);

  const std::string e1 = "error -1!\n", e2 = "error -2!\n", e3 = "error -3!\n";
  const std::string short_pixels = "error reading the bits!\n" + e2;
  const struct {
    const char* what;
    std::vector<uint8_t> file;
    std::string printed;
    const picture_options* walked;  // the picture of a successful run
  } cases[] = {
      {"empty file", {}, e2, nullptr},
      {"13 bytes", first(13), e2, nullptr},
      {"file header only", first(14), e2, nullptr},
      {"signature PK", patched({{0, 'P' | 'K' << 8}}), e2, nullptr},
      {"bfOffBits 0", patched({{10, 0}}), e2, nullptr},
      {"bfOffBits 13", patched({{10, 13}}), e2, nullptr},
      {"bfOffBits 37", patched({{10, 37}}), e2, nullptr},
      {"bfOffBits 0xFFFFFFFF", patched({{10, 0xFFFFFFFF}}), e2, nullptr},
      {"info block longer than the file", first(40), e2, nullptr},
      {"width 0", patched({{width_at, 0}}), e3, nullptr},
      {"width -600", patched({{width_at, static_cast<uint32_t>(-600)}}), e2, nullptr},
      {"width 2^31 - 1", patched({{width_at, 0x7FFFFFFF}}), short_pixels, nullptr},
      {"height 0", patched({{height_at, 0}}), e3, nullptr},
      {"height -2^31", patched({{height_at, 0x80000000}}), e2, nullptr},
      {"0 bits per pixel", patched({{bits_at, 0}}), e2, nullptr},
      {"1 bit per pixel", patched({{bits_at, 1}}), e3, nullptr},
      {"8 bits per pixel", patched({{bits_at, 8}}), e3, nullptr},
      {"16 bits per pixel", patched({{bits_at, 16}}), e3, nullptr},
      {"32 bits per pixel", patched({{bits_at, 32}}, 600 * 600), e3, nullptr},
      {"65535 bits per pixel", patched({{bits_at, 0xFFFF}}), e2, nullptr},
      {"compressed", patched({{compression_at, 1}}), e3, nullptr},
      {"compressed, 40000 x 40000",
       patched({{compression_at, 1}, {width_at, 40000}, {height_at, 40000}}), e3, nullptr},
      {"532 pixels wide", make_picture_file(narrow), e3, nullptr},
      {"532 pixels high", make_picture_file(low), e3, nullptr},
      {"40000 x 40000 x 3 bytes, beyond 32 bits", patched({{width_at, 40000}, {height_at, 40000}}),
       short_pixels, nullptr},
      {"(2^31 - 1)^2 x 3 bytes, near 2^64",
       patched({{width_at, 0x7FFFFFFF}, {height_at, 0x7FFFFFFF}}), short_pixels, nullptr},
      {"(2^31 - 1)^2 x 65535 bits, beyond 64 bits",
       patched({{width_at, 0x7FFFFFFF}, {height_at, 0x7FFFFFFF}, {bits_at, 0xFFFF}}), e2, nullptr},
      {"pixel array one byte short", first(good.size() - 1), short_pixels, nullptr},
      {"only the last row's alignment missing",
       [&] {
         std::vector<uint8_t> f = make_picture_file(padded);
         f.pop_back();
         return f;
       }(),
       "", &padded},
      {"bfSize 0", patched({{2, 0}}), "", &options},
      {"colour table before the pixels", make_picture_file(table), "", &table},
      {"profile beyond the file's end", beyond_end, e2, nullptr},
      {"profile of 4 GB", absurd_size, e2, nullptr},
  };
  for (const auto& c : cases) {
    put_picture(c.file);
    EXPECT_EQ(run(), c.walked ? 0 : 1) << c.what;
    EXPECT_EQ(printed_, c.printed) << c.what;
    EXPECT_EQ(count_block_files(), c.walked ? 1900 : 0) << c.what;
    if (c.walked) expect_walk_files(dir_, *c.walked);
    std::system(("rm -f '" + dir_ + "'/block*.bmp").c_str());
  }
  std::remove(path("picture.bmp").c_str());
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed_, e1);
  EXPECT_EQ(count_block_files(), 0);
}

TEST_F(walk, reports_each_file_it_cannot_write_and_writes_the_others) {
  picture_options options;
  put_picture(make_picture_file(options));
  write_file(path("block0100.bmp"), std::vector<uint8_t>(5000, 1));   // replaced
  ASSERT_EQ(mkdir(path("block0123.bmp").c_str(), 0755), 0);           // cannot be opened
  ASSERT_EQ(symlink("/dev/full", path("block0124.bmp").c_str()), 0);  // cannot be written

  EXPECT_EQ(run(), 1);
  EXPECT_EQ(printed_, "error writing block0123.bmp!\nerror writing block0124.bmp!\n");
  struct stat st {};
  EXPECT_EQ(stat(path("block0123.bmp").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode)) << "the directory in the way is left alone";
  EXPECT_NE(lstat(path("block0124.bmp").c_str(), &st), 0) << "the incomplete file is removed";
  EXPECT_EQ(count_block_files(), 1899);  // the directory counts, the removed link does not
  EXPECT_EQ(read_file(path("block0100.bmp")).size(), 822u);
  EXPECT_EQ(read_file(path("block1999.bmp")).size(), 822u);
}

}  // namespace
