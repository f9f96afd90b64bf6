// What a test bench needs to run the calls of a vector set or of the walk, and what it must give:
// the expected blocks, as block files or one stream; each picture's plane as the calls read it,
// and all of them back to back; their list; and every call as a record of 32-bit words.
// make_vectors writes them for a set and for the walk alike, so that a bench runs both one way.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "check_set.h"
#include "manifest.h"
#include "stream.h"

// What a set or a walk is written as, besides its pictures (and a set's manifest).
struct set_formats {
  bool bitmaps = true;                 // the expected blocks as block files under expected/
  std::vector<stream_format> streams;  // the expected blocks, the planes and the calls as streams
};

// Reads a list of formats, "bmp,npy": bmp, bin, npy and memh, each once, apart by commas.
bool parse_set_formats(const std::string& list, set_formats* formats);

// The fields of a call's record in calls.bin, .npy and .memh, in this order, each a 32-bit
// signed word: the plane's number in the list of planes, the call's arguments, the plane's rows
// and its first byte in planes.bin, .npy, .memh.
inline constexpr const char* call_fields[] = {"plane", "stride", "height", "x",   "y",
                                              "mvx",   "mvy",    "rows",   "base"};
inline constexpr size_t call_words = std::size(call_fields);
// The list of planes, in the order of their numbers.
inline constexpr const char* planes_list_name = "planes.csv";

// Writes into `out`, whose pictures `set` has read: the expected block of every case, as block
// files under expected/ named as the cases are and as streams expected/blocks.EXT; for each
// stream format each picture's plane (PICTURE.plane.EXT), the planes back to back
// (planes.EXT) and the calls (calls.EXT); and the list of planes. `columns` receives what a
// manifest says of each picture: its plane's files, number and rows. False, with why in `error`.
bool write_bench_files(const std::string& out, const check_set& set, const set_formats& formats,
                       std::vector<picture_column>* columns, std::string* error);

// Where write_bench_files put the stimulus, for a tool's summary: " The calls as stimulus:
// OUT/calls.memh, the planes OUT/planes.memh, listed in OUT/planes.csv.", or nothing where
// there are no streams.
std::string bench_files_text(const std::string& out, const set_formats& formats);
