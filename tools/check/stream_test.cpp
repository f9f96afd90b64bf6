// Streams of blocks: raw, NumPy and $writememh text read as their writers mean them, written so
// that they read back, and every malformed one refused with why.
#include "stream.h"

#include <gtest/gtest.h>

#include <random>

#include "interpolate.h"

namespace {

std::vector<uint8_t> bytes_of(const std::string& text) {
  return {text.begin(), text.end()};
}

// A NumPy file of version `major` with this header dictionary and `data` bytes of data.
std::vector<uint8_t> npy(int major, const std::string& dict, size_t data) {
  std::string header = dict;
  while ((6 + 2 + (major == 1 ? 2 : 4) + header.size() + 1) % 64) header += ' ';
  header += '\n';
  std::vector<uint8_t> out = {0x93, 'N', 'U', 'M', 'P', 'Y', static_cast<uint8_t>(major), 0};
  for (int k = 0; k < (major == 1 ? 2 : 4); ++k) {
    out.push_back(static_cast<uint8_t>(header.size() >> (8 * k)));
  }
  out.insert(out.end(), header.begin(), header.end());
  for (size_t i = 0; i < data; ++i) out.push_back(static_cast<uint8_t>(i * 7));
  return out;
}

// Two blocks of bytes 0, 7, 14, ... (modulo 256), as npy() writes them.
std::vector<uint8_t> two_blocks() {
  std::vector<uint8_t> b(2 * block_bytes);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7);
  return b;
}

// One block as $writememh would print it in words of `width` bytes, most significant byte first.
std::string memh_block(size_t width, const std::string& between = "\n") {
  std::string text;
  char digits[3];
  for (size_t w = 0; w < block_bytes; w += width) {
    for (size_t b = width; b-- > 0;) {
      std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned>((w + b) * 7 % 256));
      text += digits;
    }
    text += between;
  }
  return text;
}

TEST(stream, reads_each_format_as_its_writers_mean_it) {
  const std::vector<uint8_t> two = two_blocks();
  const std::vector<uint8_t> one(two.begin(), two.begin() + block_bytes);
  std::vector<uint8_t> one_twice(one);
  one_twice.insert(one_twice.end(), one.begin(), one.end());
  const struct {
    const char* what;
    stream_format format;
    std::vector<uint8_t> file;
    std::vector<uint8_t> blocks;
  } cases[] = {
      {"raw", stream_format::raw, two_blocks(), two_blocks()},
      {"npy 1.0, (N, 16, 16, 3)", stream_format::npy,
       npy(1, "{'descr': '|u1', 'fortran_order': False, 'shape': (2, 16, 16, 3), }", 1536),
       two_blocks()},
      {"npy 2.0, (N, 768)", stream_format::npy,
       npy(2, "{'descr': '<u1', 'fortran_order': False, 'shape': (2, 768), }", 1536), two_blocks()},
      {"npy 3.0, (N, 16, 48), keys in another order", stream_format::npy,
       npy(3, "{'shape': (2, 16, 48), 'fortran_order': False, 'descr': '|u1'}", 1536),
       two_blocks()},
      {"memh, a byte a word", stream_format::memh, bytes_of(memh_block(1)), one},
      {"memh, a block row a word", stream_format::memh, bytes_of(memh_block(48)), one},
      {"memh, 32-bit words, upper case, on one line", stream_format::memh,
       [] {
         std::string t = memh_block(4, " ");
         for (char& c : t) c = static_cast<char>(std::toupper(c));
         return bytes_of(t);
       }(),
       one},
      {"memh with comments, an address and underscores", stream_format::memh,
       bytes_of("// the first block\n@0 /* from the start */\n" + memh_block(2) +
                "\n// again\n@180 " +
                [] {
                  std::string t = memh_block(2);  // 384 words; 0x180 is the next
                  return t.substr(0, 4) + "_" + t.substr(4);
                }()),
       one_twice},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> blocks;
    std::string error;
    EXPECT_TRUE(parse_block_stream(c.format, c.file, 2, &blocks, &error))
        << c.what << ": " << error;
    EXPECT_EQ(blocks, c.blocks) << c.what;
  }
}

TEST(stream, refuses_what_contradicts_its_format) {
  const struct {
    stream_format format;
    std::vector<uint8_t> file;
    std::string why;
  } cases[] = {
      {stream_format::raw, std::vector<uint8_t>(767), "767 bytes, not a whole number of blocks"},
      {stream_format::raw, std::vector<uint8_t>(3 * 768), "3 blocks, more than the 2 of the check"},
      {stream_format::npy, bytes_of("PK\3\4 a zip"), "not a NumPy file"},
      // Found by the fuzzer: a version 3.0 file ending inside its header's length.
      {stream_format::npy, {0x93, 'N', 'U', 'M', 'P', 'Y', 3, 0, 0, 0}, "NumPy header cut short"},
      {stream_format::npy,
       npy(4, "{'descr': '|u1', 'fortran_order': False, 'shape': (2, 768), }", 1536),
       "NumPy format version 4.0, not 1.0 to 3.0"},
      {stream_format::npy,
       npy(1, "{'descr': '<u2', 'fortran_order': False, 'shape': (2, 768), }", 1536),
       "dtype '<u2', not uint8"},
      {stream_format::npy,
       npy(1, "{'descr': '|u1', 'fortran_order': True, 'shape': (2, 768), }", 1536),
       "not in C order"},
      {stream_format::npy,
       npy(1, "{'descr': '|u1', 'fortran_order': False, 'shape': (2, 16, 16), }", 1536),
       "shape (2, 16, 16), not (N, 16, 16, 3), (N, 16, 48) or (N, 768)"},
      {stream_format::npy,
       npy(1, "{'descr': '|u1', 'fortran_order': False, 'shape': (2, 768), }", 1535),
       "shape (2, 768) needs 1536 bytes of data; the file holds 1535"},
      {stream_format::npy,
       npy(1, "{'descr': '|u1', 'fortran_order': False, 'shape': (3, 768), }", 2304),
       "3 blocks, more than the 2 of the check"},
      {stream_format::memh, bytes_of("0a 1g\n"), "line 1: '1g' is no hexadecimal word"},
      {stream_format::memh, bytes_of("0a\n0x\n"), "line 2: '0x' is no hexadecimal word"},
      {stream_format::memh, bytes_of("0a0b\n0c\n"), "line 2: a word of 8 bits among words of 16"},
      {stream_format::memh, bytes_of("0a0b0c0d0e\n"), "line 1: words of 40 bits"},
      {stream_format::memh, bytes_of("@2 0a\n"), "no word at address 0, before the last"},
      {stream_format::memh, bytes_of("0a\n@0 0b\n"), "line 2: a second word at address 0"},
      {stream_format::memh, bytes_of("0a /* no end"), "line 1: a /* comment that never ends"},
      {stream_format::memh, bytes_of(memh_block(48)), ""},  // one whole block: fine
      {stream_format::memh, bytes_of("// nothing\n"), "no words"},
      {stream_format::memh, bytes_of("0a\n"), "1 bytes, not a whole number of blocks"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> blocks;
    std::string error;
    const bool read = parse_block_stream(c.format, c.file, 2, &blocks, &error);
    EXPECT_EQ(read, c.why.empty()) << c.why;
    EXPECT_EQ(error.substr(0, c.why.size()), c.why);
  }
}

TEST(stream, reads_back_what_it_writes) {
  std::mt19937 engine(3);
  std::vector<uint8_t> blocks(5 * block_bytes);
  for (uint8_t& b : blocks) b = static_cast<uint8_t>(engine());
  for (const stream_format format : {stream_format::raw, stream_format::npy, stream_format::memh}) {
    for (const size_t word : {size_t{1}, size_t{3}, size_t{48}}) {
      const std::vector<uint8_t> file =
          encode_stream(format, blocks.data(), 5, {16, 16, 3}, word, {"a", "b"});
      std::vector<uint8_t> back;
      std::string error;
      ASSERT_TRUE(parse_block_stream(format, file, 5, &back, &error)) << error;
      EXPECT_EQ(back, blocks) << stream_extension(format) << " " << word;
    }
  }
  // A plane: NumPy's shape is the plane's.
  const std::vector<uint8_t> plane =
      encode_stream(stream_format::npy, blocks.data(), 20, {64, 3}, 1);
  EXPECT_NE(std::string(plane.begin(), plane.begin() + 128).find("'shape': (20, 64, 3), }"),
            std::string::npos);
  stream_format format;
  for (const auto& [name, known] : {std::pair{"a.bin", true},
                                    {"a.raw", true},
                                    {"a.npy", true},
                                    {"a.memh", true},
                                    {"a.hex", true},
                                    {"a.bmp", false},
                                    {"npy", false}}) {
    EXPECT_EQ(stream_format_of(name, &format), known) << name;
  }
}

}  // namespace
