#include "sheet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "bitmap.h"
#include "picture.h"
#include "scratch_dir.h"

namespace {

std::string block_path(const std::string& dir, int n) {
  return dir + "/" + block_name(n);
}

// Block n's pixel (column c, stored row r), a value that tells every block and pixel apart.
uint8_t block_byte(int n, int c, int r, int ch) {
  return static_cast<uint8_t>(ch == 0 ? n : ch == 1 ? n >> 8 : 16 * r + c);
}

// A directory of 1900 block files (bottom-up, as blockwalk writes them for a bottom-up picture)
// and a random 600 x 600 picture.
class sheet : public scratch_dir {
 protected:
  void SetUp() override {
    scratch_dir::SetUp();
    populate();
  }

  void populate() {
    for (int n = 100; n <= 1999; ++n) {
      std::vector<uint8_t> rows(16 * 48);
      for (size_t i = 0; i < rows.size(); ++i) {
        rows[i] = block_byte(n, static_cast<int>(i % 48 / 3), static_cast<int>(i / 48),
                             static_cast<int>(i % 3));
      }
      write_file(block_path(dir_, n), encode_bitmap(16, 16, rows.data(), {}));
    }
    picture_.content = picture_content::random;
    write_file(dir_ + "/picture.bmp", make_picture_file(picture_));
  }

  int run(const std::string& args) {
    return run_here(BLOCKWALK_EMULATOR " '" CONTACT_SHEET_EXE "' " + args);
  }

  picture_options picture_;
};

TEST_F(sheet, lays_out_every_block_magnified_in_walk_order_beside_the_region) {
  sheet_options options;
  options.dir = dir_;
  options.picture = dir_ + "/picture.bmp";
  options.scale = 3;
  options.columns = 37;
  sheet_picture got;
  std::string error;
  ASSERT_TRUE(make_contact_sheet(options, &got, &error)) << error;
  const auto at = [&](int32_t x, int32_t y, int ch) {
    return got.rows[3 * (static_cast<size_t>(y) * got.width + x) + ch];
  };

  for (const int n : {100, 101, 136, 137, 1000, 1999}) {
    int32_t x, y;
    block_cell(options, n, &x, &y);
    const int k = n - 100;
    EXPECT_EQ(x, 1 + k % 37 * 49) << n;
    EXPECT_EQ(y, 1 + k / 37 * 49) << n;
    for (int32_t dy = 0; dy < 48; ++dy) {
      for (int32_t dx = 0; dx < 48; ++dx) {
        // The file is bottom-up: displayed row dy / 3 is stored row 15 - dy / 3.
        for (int ch = 0; ch < 3; ++ch) {
          ASSERT_EQ(at(x + dx, y + dy, ch), block_byte(n, dx / 3, 15 - dy / 3, ch))
              << "block " << n << " at " << dx << ", " << dy;
        }
      }
    }
    EXPECT_EQ(at(x - 1, y, 0), 0x50) << "gutter left of block " << n;
    EXPECT_EQ(at(x + 48, y + 47, 0), 0x50) << "gutter right of block " << n;
  }

  // The region shows the picture's pixels 41 ... 530 of the plane, rows counted in file order.
  int32_t rx, ry, first, last;
  region_place(options, &rx, &ry, &first, &last);
  EXPECT_EQ(first, 41);
  EXPECT_EQ(last, 530);
  const std::vector<uint8_t> plane = file_order(make_picture_rows(picture_), picture_);
  for (const auto& [c, r] : {std::pair{41, 41}, {530, 530}, {41, 530}, {300, 77}}) {
    // Plane row r is displayed at 599 - r; the region's top row shows plane row 530.
    const int32_t sx = rx + (c - first) * 3 + 2, sy = ry + (last - r) * 3 + 1;
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_EQ(at(sx, sy, ch), plane[3 * (static_cast<size_t>(r) * 600 + c) + ch])
          << "picture pixel " << c << ", " << r;
    }
  }
  EXPECT_EQ(got.width, rx + 490 * 3 + 1);
}

TEST_F(sheet, carries_the_colour_profile_of_the_picture) {
  const std::vector<uint8_t> icc = {'i', 'c', 'c', 0, 9, 8, 7};
  struct profile_case {
    uint32_t type;
    bool first;
  };
  for (const profile_case c :
       {profile_case{profile_embedded, false}, profile_case{profile_linked, false},
        profile_case{profile_embedded, true}, profile_case{0, false}}) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << (c.first ? ", first" : ""));
    picture_.layout.info_size = 124;
    picture_.layout.profile = {c.type, 2, c.type ? icc : std::vector<uint8_t>()};
    picture_.layout.profile_first = c.first;
    write_file(dir_ + "/picture.bmp", make_picture_file(picture_));
    ASSERT_EQ(run("'" + dir_ + "'"), 0) << printed_;

    std::FILE* f = std::fopen((dir_ + "/contact_sheet.bmp").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int32_t w = 0, h = 0, b = 0;
    std::vector<uint8_t> info, profile;
    EXPECT_EQ(read_bitmap_stream(f, &h, &b, &w, nullptr, 0, &info, &profile), bitmap_status::ok);
    std::fclose(f);
    if (!c.type) {
      EXPECT_EQ(info.size(), 40u) << "no profile, no extended info block";
      continue;
    }
    ASSERT_EQ(info.size(), 124u);
    EXPECT_EQ(load_le32(&info[56]), c.type);
    EXPECT_EQ(load_le32(&info[108]), 2u) << "rendering intent";
    EXPECT_EQ(profile, icc);
  }
}

TEST_F(sheet, writes_the_sheet_or_nothing) {
  ASSERT_EQ(run("'" + dir_ + "'"), 0) << printed_;
  {
    std::FILE* f = std::fopen((dir_ + "/contact_sheet.bmp").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int32_t w = 0, h = 0, b = 0;
    std::vector<uint8_t> info;
    EXPECT_EQ(read_bitmap_stream(f, &h, &b, &w, nullptr, 0, &info), bitmap_status::ok);
    std::fclose(f);
    EXPECT_EQ(b, 24);
    EXPECT_EQ(w, 50 * 33 + 1 + 8 + 490 * 2 + 1);
    EXPECT_EQ(h, 38 * 33 + 1);
  }
  std::remove((dir_ + "/contact_sheet.bmp").c_str());

  struct failure {
    const char* what;
    std::string args;
    std::function<void()> spoil;
    int status;
    std::string names;  // what the message must name
  };
  const std::string d = "'" + dir_ + "'";
  const failure cases[] = {
      {"missing block", d, [&] { std::remove(block_path(dir_, 777).c_str()); }, 1, "block0777.bmp"},
      {"cut block", d, [&] { truncate(block_path(dir_, 1500).c_str(), 100); }, 1, "block1500.bmp"},
      {"block of 17 x 16", d,
       [&] {
         std::vector<uint8_t> rows(17 * 16 * 3);
         write_file(block_path(dir_, 1999), encode_bitmap(17, 16, rows.data(), {}));
       },
       1, "block1999.bmp"},
      {"block of 16 x 0", d,
       [&] { write_file(block_path(dir_, 100), encode_bitmap(16, 0, nullptr, {})); }, 1,
       "block0100.bmp"},
      {"missing picture", d, [&] { std::remove((dir_ + "/picture.bmp").c_str()); }, 1,
       "picture.bmp"},
      {"unwritable output", d + " --no-picture --output " + d, [] {}, 1, dir_},
      {"bad scale", d + " --scale 9", [] {}, 2, "--scale"},
      {"both picture options", d + " --picture x --no-picture", [] {}, 2, "--no-picture"},
  };
  for (const failure& c : cases) {
    populate();
    c.spoil();
    EXPECT_EQ(run(c.args), c.status) << c.what;
    EXPECT_NE(printed_.find(c.names), std::string::npos) << c.what << ": " << printed_;
    EXPECT_FALSE(exists("contact_sheet.bmp")) << c.what;
    EXPECT_FALSE(exists("contact_sheet.bmp.part")) << c.what;
  }
  EXPECT_EQ(run("--help"), 0);
}

}  // namespace
