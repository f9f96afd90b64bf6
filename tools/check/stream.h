// Blocks as one stream, as ports write them without bitmap headers: each block the 768 bytes of
// a block buffer (row 0 first, 48 bytes a row, blue, green, red), one after another. Raw bytes
// (.bin, .raw), NumPy arrays of uint8 (.npy) or $writememh text (.memh, .hex). Planes and calls
// are written the same ways, for test benches that load them without parsing a bitmap or a CSV.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class stream_format { raw, npy, memh };

// The format a file's extension names; false for none of them.
bool stream_format_of(const std::string& path, stream_format* format);

// The bytes of a stream of the given format, at most `max_blocks` blocks of block_bytes: false,
// with why in `error`, for content that contradicts the format, a length that is no whole number
// of blocks, or more blocks than `max_blocks`.
//   raw:  the bytes themselves;
//   npy:  versions 1.0 to 3.0, dtype uint8, C order, shape (N, 16, 16, 3), (N, 16, 48) or
//         (N, 768);
//   memh: hexadecimal words apart by white space, with // and /* */ comments and @address lines
//         (in words); every word of one width, 8 to 384 bits, a whole number of bytes that
//         divides a block; a word's least significant byte first.
bool parse_block_stream(stream_format format, const std::vector<uint8_t>& bytes, size_t max_blocks,
                        std::vector<uint8_t>* blocks, std::string* error);

// Whether `item`, an array's dimensions after the first, shapes a block as a stream may:
// (16, 16, 3), (16, 48) or (768).
bool is_block_shape(const std::vector<size_t>& item);

// Reads the stream at `path` (a regular file, its format from its extension).
bool read_block_stream(const std::string& path, size_t max_blocks, std::vector<uint8_t>* blocks,
                       std::string* error);

// What a stream's elements are: bytes (blocks, planes), or 32-bit signed words (calls), whose
// data is little-endian.
enum class element_type { u8, i32 };

// The bytes of a stream of `count` items of `item_shape` (the dimensions after the first, in
// elements of `type`; none for items of one element): raw; npy of shape (count, item_shape...);
// memh of words of `word_bytes` bytes, one a line, a comment before each item naming it from
// `names` (if given).
std::vector<uint8_t> encode_stream(stream_format format, const uint8_t* data, size_t count,
                                   const std::vector<size_t>& item_shape, size_t word_bytes,
                                   const std::vector<std::string>& names = {},
                                   element_type type = element_type::u8);

// ".bin", ".npy", ".memh"
const char* stream_extension(stream_format format);
