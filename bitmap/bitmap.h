// The subset of the bitmap file format that blockwalk reads and writes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What reading a bitmap came to: read, or why not. The reader prints nothing; its callers say
// it, blockwalk in its own words, the tools with bitmap_problem().
enum class bitmap_status {
  ok,
  cannot_open,         // no such file, or not a regular file
  not_a_bitmap,        // fewer than 14 header bytes, or no "BM"
  bad_info_block,      // shorter than min_info_size, or beyond the file's end
  bad_dimensions,      // a negative width, or a height of -2^31
  bad_bit_count,       // other than 1, 4, 8, 16, 24 or 32
  profile_beyond_end,  // profile data the info block refers to lies beyond the file's end
  short_pixels,        // the pixel array is shorter than the header promises
  no_plane,            // pixels asked of a compressed picture, of pixels smaller than a byte, or
                       // into a plane of another size
  changed,             // the file changed between two readings
};

// The status blockwalk reports: 0 read, -1 cannot be opened, -2 malformed or short.
int32_t status_code(bitmap_status status);

// Why, in words: "cannot be opened: a named pipe (FIFO)", "not a bitmap, or malformed: a bit
// count other than 1, 4, 8, 16, 24 or 32"; `problem` says why a file cannot be opened.
std::string bitmap_problem(bitmap_status status, const std::string& problem = "");
// And numbered as blockwalk reports it: "error -2! (not a bitmap, or malformed: ...)".
std::string bitmap_refusal(bitmap_status status, const std::string& problem = "");

inline constexpr size_t file_header_size = 14;
// The shortest info block that holds every field read or rewritten (up to biSizeImage).
inline constexpr size_t min_info_size = 24;

// Offsets of the fields used, within the info block.
inline constexpr size_t info_width_at = 4;
inline constexpr size_t info_height_at = 8;
inline constexpr size_t info_bit_count_at = 14;
inline constexpr size_t info_compression_at = 16;
inline constexpr size_t info_size_image_at = 20;

// A version-5 info block (its size field at least 124, and as long) may refer to a colour
// profile: embedded profile data, or the file name of a linked profile. Offsets within the block.
inline constexpr size_t info_v5_size = 124;
inline constexpr size_t info_cs_type_at = 56;
inline constexpr size_t info_intent_at = 108;
inline constexpr size_t info_profile_data_at = 112;  // from the info block's start
inline constexpr size_t info_profile_size_at = 116;
inline constexpr uint32_t profile_embedded = 0x4D424544;  // "MBED"
inline constexpr uint32_t profile_linked = 0x4C494E4B;    // "LINK"

inline uint16_t load_le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void store_le16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void store_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Where the profile data an info block refers to lies: `offset` bytes from the info block's
// start, `size` bytes long.
struct profile_place {
  uint64_t offset = 0, size = 0;
  // Data beyond the info block does not travel with a copy of it.
  bool beyond(size_t info_size) const { return offset + size > info_size; }
};

// Whether `info` is a version-5 info block that refers to an embedded or linked profile, and
// where its data lies.
bool find_profile(const std::vector<uint8_t>& info, profile_place* place);

// Bytes of the pixel plane of a picture: `height` rows of `width` pixels of bits_per_pixel / 8
// bytes, without the file's row alignment. For an uncompressed picture with whole-byte pixels,
// a successful read_bitmap guarantees it is no larger than the file.
inline size_t plane_size(int32_t width, int32_t height, int32_t bits_per_pixel) {
  return static_cast<size_t>(width) * static_cast<size_t>(bits_per_pixel / 8) *
         static_cast<size_t>(height);
}

// A file opened for reading, if it is a regular file (a symbolic link is followed to one).
struct regular_file {
  int fd = -1;           // open, for the caller to close; -1 if not
  uint64_t size = 0;     // its size when opened
  bool missing = false;  // there is no such entry
  std::string problem;   // otherwise why it was not opened: "a directory", "a named pipe
                         // (FIFO)", "a character device", "no permission", ...
};

// Opens `path` without waiting on it: a named pipe or a device is refused, never opened for
// good or read, so that no reader can be held up by what lies under a file's name.
regular_file open_regular_file(const char* path);

// Parses an uncompressed bitmap from the start of `file` (which stays open).
//
// Always delivers width, |biHeight| and biBitCount once the info block is read, and the info
// block (the bytes between the 14-byte file header and the pixel array) when `info_block` is
// given. When the info block refers to profile data beyond itself (find_profile), checks that the
// file holds it, and delivers it to `profile` when given (which is left empty otherwise). Checks
// that the file holds the whole pixel array of an uncompressed picture (short_pixels if not).
// When `pixels` is given, reads the pixel array into it: row after row in file order, each row's
// alignment bytes skipped; `pixels_size` must equal plane_size() of the dimensions found, or
// nothing is read (no_plane). Prints nothing.
bitmap_status read_bitmap_stream(std::FILE* file, int32_t* height, int32_t* bits_per_pixel,
                                 int32_t* width, uint8_t* pixels, size_t pixels_size,
                                 std::vector<uint8_t>* info_block,
                                 std::vector<uint8_t>* profile = nullptr);

// A picture read whole from a named file: what read_bitmap_stream delivers and, for an
// uncompressed 24-bit picture, its pixel plane.
struct bitmap_picture {
  int32_t width = 0, height = 0, bits_per_pixel = 0;
  std::vector<uint8_t> info, profile;
  std::vector<uint8_t> plane;  // rows in file order; empty unless uncompressed and 24-bit
};

// Reads the bitmap at `path` (a regular file; anything else cannot be opened, and nothing waits
// on it): its header and info block, then again from the start its pixel plane, where its pixels
// are the 3-byte pixels of an uncompressed picture. A file whose header or info block differ at
// the second reading has changed. Where it cannot be opened, `problem` (if given) says why, or is
// empty for a missing file.
bitmap_status read_bitmap_file(const char* path, bitmap_picture* picture,
                               std::string* problem = nullptr);

// Composes the 14-byte file header of a 16 x 16 block file behind which `info_block` follows,
// and rewrites the block's dimensions and image size in `info_block` (at least min_info_size
// bytes). The height keeps the picture's sign, so a top-down picture gives top-down blocks.
// Profile data that lies beyond the info block follows the block's pixels in a block file: the
// reference and the file size say so.
std::array<uint8_t, file_header_size> make_block_header(std::vector<uint8_t>& info_block);

// A colour profile as a file carries it.
struct colour_profile {
  uint32_t type = 0;          // profile_embedded or profile_linked; 0 for none
  uint32_t intent = 4;        // rendering intent: perceptual
  std::vector<uint8_t> data;  // the profile, or a linked profile's file name
};

// How encode_bitmap lays out a 24-bit file.
struct bitmap_layout {
  size_t info_size = 40;       // 40, or 124 for the extended info block
  bool top_down = false;       // negative biHeight
  size_t table_size = 0;       // bytes between the info block and the pixels (a colour table)
  colour_profile profile;      // with the extended info block only
  bool profile_first = false;  // between the info block and the pixels; otherwise after them
};

// Encodes a complete 24-bit bitmap file from `rows`: `height` rows of 3 * `width` bytes in
// the order the file stores them. Each row is padded to a multiple of 4 bytes. A profile placed
// first follows the colour table.
std::vector<uint8_t> encode_bitmap(int32_t width, int32_t height, const uint8_t* rows,
                                   const bitmap_layout& layout);
