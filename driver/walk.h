// The walk: the picture "picture.bmp" in, the block files block0100.bmp ... block1999.bmp out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int walk_first = 100;  // quarter pixels along both axes
inline constexpr int walk_last = 1999;
inline constexpr int32_t unusable_picture = -3;  // a well-formed bitmap the walk cannot use

// The name of block n's file: block0100.bmp ... block1999.bmp.
std::string block_file_name(int n);

// Whether the walk can use a picture of these dimensions and this info block: 3-byte pixels,
// uncompressed, large enough to hold every pixel its blocks read.
bool suits_walk(int32_t width, int32_t height, int32_t bits_per_pixel,
                const std::vector<uint8_t>& info);

// Runs the walk in the current directory; returns the exit status and prints every failure.
int run_walk();

// Why blockwalk refuses a picture with this status, in words: "cannot be opened", "not a bitmap,
// or malformed", ...; `problem` says why a picture that cannot be opened cannot.
std::string bitmap_problem(int status, const std::string& problem = "");
// And with what blockwalk prints: "error -2! (not a bitmap, or malformed)".
std::string bitmap_refusal(int status, const std::string& problem = "");
