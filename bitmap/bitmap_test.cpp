#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bitmap.h"
#include "picture.h"

namespace {

struct read_result {
  bitmap_status status = bitmap_status::changed;
  int32_t width = -7, height = -7, bits_per_pixel = -7;
  std::vector<uint8_t> info;
  std::vector<uint8_t> plane;
  std::string printed;
};

// Parses `file` from memory; with `plane_bytes` set, reads the pixels into a buffer of that size.
read_result parse(std::vector<uint8_t> file, const size_t* plane_bytes = nullptr) {
  read_result r;
  if (plane_bytes) r.plane.assign(*plane_bytes, 0xEE);
  if (file.empty()) file.reserve(1);  // fmemopen wants a buffer even for an empty stream
  std::FILE* stream = fmemopen(file.data(), file.size(), "rb");
  if (!stream) ADD_FAILURE() << "fmemopen failed";
  if (!stream) return r;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  r.status = read_bitmap_stream(stream, &r.height, &r.bits_per_pixel, &r.width,
                                plane_bytes ? r.plane.data() : nullptr, r.plane.size(), &r.info);
  r.printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  std::fclose(stream);
  return r;
}

read_result parse_with_pixels(const std::vector<uint8_t>& file, size_t plane_bytes) {
  return parse(file, &plane_bytes);
}

TEST(read_bitmap, delivers_dimensions_info_block_and_unpadded_rows) {
  struct layout_case {
    int32_t width, height;
    bitmap_layout layout;
  };
  const layout_case cases[] = {
      {4, 3, {}},  // rows need no alignment
      {5, 3, {}},  // 1, 2 and 3 alignment bytes per row
      {6, 2, {}},
      {7, 4, {}},
      {5, 3, {40, true, 0, {}, false}},      // top-down
      {7, 2, {124, false, 0, {}, false}},    // extended info block
      {3, 3, {40, false, 1024, {}, false}},  // colour table before the pixels
      {1, 1, {}},
  };
  for (const layout_case& c : cases) {
    picture_options options;
    options.width = c.width;
    options.height = c.height;
    options.content = picture_content::random;
    options.layout = c.layout;
    const std::vector<uint8_t> file = make_picture_file(options);
    const std::vector<uint8_t> plane = file_order(make_picture_rows(options), options);
    SCOPED_TRACE(testing::Message()
                 << c.width << " x " << c.height << ", info " << c.layout.info_size
                 << (c.layout.top_down ? ", top-down" : ""));

    const read_result r = parse_with_pixels(file, plane.size());
    EXPECT_EQ(r.status, bitmap_status::ok);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.bits_per_pixel, 24);
    EXPECT_EQ(r.info,
              std::vector<uint8_t>(file.begin() + 14,
                                   file.begin() + 14 + c.layout.info_size + c.layout.table_size));
    EXPECT_EQ(r.plane, plane);
    EXPECT_EQ(r.printed, "");
  }
}

TEST(read_bitmap, accepts_what_writers_commonly_leave_out) {
  picture_options options;
  options.width = 5;  // 1 alignment byte per row
  options.height = 4;
  options.content = picture_content::random;
  const std::vector<uint8_t> plane = file_order(make_picture_rows(options), options);
  std::vector<uint8_t> file = make_picture_file(options);

  std::vector<uint8_t> no_size = file;
  store_le32(no_size.data() + 2, 0);
  EXPECT_EQ(parse_with_pixels(no_size, plane.size()).plane, plane) << "bfSize 0";
  store_le32(no_size.data() + 2, 3);
  EXPECT_EQ(parse_with_pixels(no_size, plane.size()).plane, plane) << "bfSize below 14";

  file.pop_back();  // the last row's alignment byte
  const read_result r = parse_with_pixels(file, plane.size());
  EXPECT_EQ(r.status, bitmap_status::ok);
  EXPECT_EQ(r.plane, plane);
}

TEST(read_bitmap, refuses_malformed_and_short_files) {
  picture_options options;
  options.width = 6;
  options.height = 5;
  const std::vector<uint8_t> good = make_picture_file(options);
  const auto with_le32 = [&](size_t at, uint32_t v) {
    std::vector<uint8_t> f = good;
    store_le32(f.data() + at, v);
    return f;
  };
  const auto with_le16 = [&](size_t at, uint16_t v) {
    std::vector<uint8_t> f = good;
    store_le16(f.data() + at, v);
    return f;
  };
  using s = bitmap_status;
  struct bad_case {
    const char* what;
    std::vector<uint8_t> file;
    bitmap_status status;
  };
  const bad_case cases[] = {
      {"empty", {}, s::not_a_bitmap},
      {"13 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 13), s::not_a_bitmap},
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 14), s::bad_info_block},
      {"signature", with_le32(0, 0x00364142), s::not_a_bitmap},
      {"bfOffBits 0", with_le32(10, 0), s::bad_info_block},
      {"bfOffBits 13", with_le32(10, 13), s::bad_info_block},
      {"bfOffBits 37: info block too short", with_le32(10, 37), s::bad_info_block},
      {"info block beyond the file", with_le32(10, static_cast<uint32_t>(good.size() + 1)),
       s::bad_info_block},
      {"bfOffBits 0xFFFFFFFF", with_le32(10, 0xFFFFFFFF), s::bad_info_block},
      {"negative width", with_le32(18, static_cast<uint32_t>(-6)), s::bad_dimensions},
      {"height -2^31", with_le32(22, 0x80000000), s::bad_dimensions},
      {"pixel array one byte short", std::vector<uint8_t>(good.begin(), good.end() - 3),
       s::short_pixels},
      {"width 2^31 - 1", with_le32(18, 0x7FFFFFFF), s::short_pixels},
      {"height 2^31 - 1", with_le32(22, 0x7FFFFFFF), s::short_pixels},
      {"0 bits per pixel", with_le16(28, 0), s::bad_bit_count},
      {"65535 bits per pixel", with_le16(28, 0xFFFF), s::bad_bit_count},
      {"12 bits per pixel", with_le16(28, 12), s::bad_bit_count},
  };
  for (const bad_case& c : cases) {
    const read_result r = parse_with_pixels(c.file, 6 * 5 * 3);
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(status_code(r.status), -2) << c.what;
    EXPECT_EQ(r.printed, "") << c.what << ": the reader prints nothing";
  }
  // The largest pixel array a header can describe, 2^64 - 2^34 bytes, is still measured right.
  std::vector<uint8_t> huge = with_le32(18, 0x7FFFFFFF);
  store_le32(huge.data() + 22, 0x7FFFFFFF);
  store_le16(huge.data() + 28, 32);
  const read_result r = parse(huge);
  EXPECT_EQ(r.status, bitmap_status::short_pixels);
  EXPECT_EQ(r.width, 0x7FFFFFFF) << "dimensions are delivered before the pixel array is checked";
}

TEST(read_bitmap, delivers_profile_data_that_lies_beyond_the_info_block) {
  picture_options options;
  options.width = 5;
  options.height = 3;
  options.layout.info_size = 124;
  const std::vector<uint8_t> icc = {'a', 'c', 's', 'p', 0, 1, 2, 255};
  const auto file_with = [&](uint32_t type, bool first) {
    picture_options o = options;
    o.layout.profile = {type, 4, icc};
    o.layout.profile_first = first;
    return make_picture_file(o);
  };
  const auto patched = [](std::vector<uint8_t> f, size_t at, uint32_t v) {
    store_le32(&f[at], v);
    return f;
  };
  const std::vector<uint8_t> after = file_with(profile_embedded, false);
  // 14 + 124 + 3 rows of 16 bytes: the profile follows the pixels at 186.
  ASSERT_EQ(after.size(), 194u);
  ASSERT_EQ(load_le32(&after[14 + 112]), 172u);
  std::vector<uint8_t> cut = after;
  cut.pop_back();
  // Inside, the profile ends the 132-byte info block; one byte further on it leaves it.
  const std::vector<uint8_t> one_past =
      patched(file_with(profile_embedded, true), 14 + 112, 124 + 1);
  // A 40-byte info block followed by 84 bytes that would read as a reference in a larger one.
  picture_options small = options;
  small.layout = {40, false, 84, {}, false};
  const std::vector<uint8_t> not_v5 =
      patched(patched(make_picture_file(small), 14 + 56, profile_embedded), 14 + 112, 0xFFFFFF00);

  struct profile_case {
    const char* what;
    std::vector<uint8_t> file;
    bitmap_status status;
    std::vector<uint8_t> profile;  // delivered
  };
  const profile_case cases[] = {
      {"embedded after the pixels", after, bitmap_status::ok, icc},
      {"linked after the pixels", file_with(profile_linked, false), bitmap_status::ok, icc},
      {"embedded before the pixels: it travels with the info block",
       file_with(profile_embedded, true),
       bitmap_status::ok,
       {}},
      {"reaching one byte past the info block, into the pixels",
       one_past,
       bitmap_status::ok,
       {'c', 's', 'p', 0, 1, 2, 255, one_past[14 + 132]}},
      {"colour space sRGB: no reference",
       patched(after, 14 + 56, 0x73524742),
       bitmap_status::ok,
       {}},
      {"size field 108: no reference", patched(after, 14, 108), bitmap_status::ok, {}},
      {"shorter info block: no reference", not_v5, bitmap_status::ok, {}},
      {"empty profile at the file's end", patched(after, 14 + 116, 0), bitmap_status::ok, {}},
      {"last byte beyond the file's end", cut, bitmap_status::profile_beyond_end, {}},
      {"offset beyond the file's end",
       patched(after, 14 + 112, 0xFFFFFFF0),
       bitmap_status::profile_beyond_end,
       {}},
      {"4 GB", patched(after, 14 + 116, 0xFFFFFFFF), bitmap_status::profile_beyond_end, {}},
  };
  for (const profile_case& c : cases) {
    read_result r;
    std::vector<uint8_t> bytes = c.file;
    std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
    ASSERT_NE(stream, nullptr);
    std::vector<uint8_t> profile = {'x'};
    r.plane.resize(5 * 3 * 3);
    r.status = read_bitmap_stream(stream, &r.height, &r.bits_per_pixel, &r.width, r.plane.data(),
                                  r.plane.size(), &r.info, &profile);
    std::fclose(stream);
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(profile, c.profile) << c.what;
    if (c.status == bitmap_status::ok) {
      EXPECT_EQ(r.plane, file_order(make_picture_rows(options), options))
          << c.what << ": the pixels after reading the profile";
    }
  }
}

TEST(read_bitmap, reads_nothing_into_a_plane_of_other_size) {
  picture_options options;
  options.width = 4;
  options.height = 4;
  const std::vector<uint8_t> file = make_picture_file(options);
  for (size_t size : {4 * 4 * 3 - 1, 4 * 4 * 3 + 1, 4 * 4 * 4}) {
    const read_result r = parse_with_pixels(file, size);
    EXPECT_EQ(r.status, bitmap_status::no_plane) << size;
    EXPECT_EQ(r.plane, std::vector<uint8_t>(size, 0xEE)) << size;
  }
  // Pixels are only read from whole-byte uncompressed pictures.
  std::vector<uint8_t> compressed = file;
  store_le32(compressed.data() + 14 + info_compression_at, 1);
  EXPECT_EQ(parse(compressed).status, bitmap_status::ok) << "without a plane the caller decides";
  EXPECT_EQ(parse_with_pixels(compressed, 4 * 4 * 3).status, bitmap_status::no_plane);
}

TEST(read_bitmap_file, reads_a_named_file_twice_and_says_why_it_cannot) {
  char dir[] = "/tmp/bitmap_test_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/p.bmp";
  bitmap_picture picture;
  std::string problem = "?";
  EXPECT_EQ(read_bitmap_file(path.c_str(), &picture, &problem), bitmap_status::cannot_open);
  EXPECT_EQ(problem, "") << "a missing file needs no reason";
  EXPECT_EQ(read_bitmap_file(dir, &picture, &problem), bitmap_status::cannot_open);
  EXPECT_EQ(problem, "a directory");

  picture_options options;
  options.width = 3;
  options.height = 2;
  const std::vector<uint8_t> file = make_picture_file(options);
  const auto write = [&](const std::vector<uint8_t>& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  };
  write(file);
  EXPECT_EQ(read_bitmap_file(path.c_str(), &picture), bitmap_status::ok);
  EXPECT_EQ(picture.plane, file_order(make_picture_rows(options), options));
  write({file.begin(), file.end() - 4});
  EXPECT_EQ(read_bitmap_file(path.c_str(), &picture), bitmap_status::short_pixels);
  EXPECT_TRUE(picture.plane.empty());
  EXPECT_EQ(bitmap_refusal(bitmap_status::short_pixels),
            "error -2! (error reading the bits: the pixel array is shorter than the header "
            "promises)");
  EXPECT_EQ(bitmap_refusal(bitmap_status::cannot_open, "a named pipe (FIFO)"),
            "error -1! (cannot be opened: a named pipe (FIFO))");
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(make_block_header, describes_a_16_by_16_file_and_keeps_the_rest) {
  for (const bitmap_layout& layout :
       {bitmap_layout{40, false, 0, {}, false}, bitmap_layout{124, true, 0, {}, false},
        bitmap_layout{40, false, 64, {}, false}}) {
    picture_options options;
    options.width = 20;
    options.height = 30;
    options.layout = layout;
    const std::vector<uint8_t> file = make_picture_file(options);
    const size_t info_size = layout.info_size + layout.table_size;
    const std::vector<uint8_t> original(file.begin() + 14, file.begin() + 14 + info_size);
    std::vector<uint8_t> info = original;
    const auto header = make_block_header(info);

    std::array<uint8_t, 14> expected{'B', 'M'};
    store_le32(expected.data() + 2, static_cast<uint32_t>(14 + info_size + 768));
    store_le32(expected.data() + 10, static_cast<uint32_t>(14 + info_size));
    EXPECT_EQ(header, expected);

    EXPECT_EQ(load_le32(info.data() + 4), 16u);
    EXPECT_EQ(static_cast<int32_t>(load_le32(info.data() + 8)), layout.top_down ? -16 : 16);
    EXPECT_EQ(load_le32(info.data() + 20), 768u);
    for (size_t i = 0; i < info_size; ++i) {
      if ((i >= 4 && i < 12) || (i >= 20 && i < 24)) continue;
      EXPECT_EQ(info[i], original[i]) << "byte " << i;
    }
  }
}

}  // namespace
