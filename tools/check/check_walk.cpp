// check_walk: checks another implementation's block files against the ones blockwalk writes;
// groups the differences by path and phases, names the faults that reproduce them, explains
// single bytes and pictures the whole.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "arguments.h"
#include "check.h"
#include "difference_sheet.h"
#include "explain.h"
#include "manifest.h"
#include "report.h"
#include "whole_file.h"

namespace {

void usage() {
  std::printf(
      "usage: check_walk [DIR] [--picture FILE] [--json FILE] [--sheet FILE]\n"
      "                  [--explain FILE ROW PIXEL CHANNEL]\n"
      "Checks block0100.bmp ... block1999.bmp in DIR (default: the current directory), as\n"
      "another implementation wrote them from DIR/picture.bmp (or --picture FILE), against\n"
      "the files blockwalk writes: header, info block, colour profile and pixels. Where DIR\n"
      "holds a vector set (vectors.csv, see make_vectors), checks the files it names instead.\n"
      "Prints a verdict; the pixel differences of each path and phase pair (and for a set,\n"
      "each pair of clamp states and sign of vector), with the faults that reproduce them\n"
      "exactly; the header fields that differ; the files missing or unreadable; and what\n"
      "the blocks never exercised.\n"
      "Bytes are counted as the file stores them: row 0 is the first row of its pixel array\n"
      "(bytes 0 ... 47), pixel 0 ... 15 counts from the left, channel 0 is blue, 1 green,\n"
      "2 red.\n"
      "  --json FILE   the whole report as JSON; FILE - puts it on standard output\n"
      "                instead of the text\n"
      "  --sheet FILE  the differences as a picture in the contact sheet's layout\n"
      "  --explain FILE ROW PIXEL CHANNEL\n"
      "                how that byte of that block file comes about, instead of the report\n"
      "Nothing is written but what these options name. Exit status: 0 identical, 1 any\n"
      "difference (missing files too), 2 trouble.\n");
}

int trouble(const std::string& message) {
  std::fprintf(stderr, "check_walk: %s\n", message.c_str());
  return 2;
}

// What blockwalk prints for a picture it refuses, and why.
std::string refusal(int32_t status) {
  const char* why = status == bitmap_cannot_open ? "cannot be opened"
                    : status == bitmap_malformed ? "not a bitmap, or malformed"
                                                 : "a bitmap the walk cannot use: not 24 bits "
                                                   "per pixel, compressed, or smaller than "
                                                   "533 x 533";
  return "error " + std::to_string(status) + "! (" + why + ")";
}

struct explain_request {
  std::string file;
  int row = 0, pixel = 0, channel = 0;
};

std::string base_name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int run(int argc, char** argv) {
  std::string dir = ".", picture, json, sheet;
  bool dir_given = false, explaining = false;
  explain_request explain;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc && argv[i + 1][0];
    if (arg == "--help") {
      usage();
      return 0;
    } else if (arg == "--picture" && has_value) {
      picture = argv[++i];
    } else if (arg == "--json" && has_value) {
      json = argv[++i];
    } else if (arg == "--sheet" && has_value) {
      sheet = argv[++i];
    } else if (arg == "--explain" && i + 4 < argc && parse_int(argv[i + 2], 0, 15, &explain.row) &&
               parse_int(argv[i + 3], 0, 15, &explain.pixel) &&
               parse_int(argv[i + 4], 0, 2, &explain.channel)) {
      explain.file = base_name(argv[i + 1]);
      explaining = true;
      i += 4;
    } else if (!arg.empty() && arg[0] != '-' && !dir_given) {
      dir = arg;
      dir_given = true;
    } else {
      return trouble("bad argument '" + arg + "'; --help tells the usage");
    }
  }
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return trouble(dir + ": not a directory");
  }
  check_set set;
  if (lstat((dir + "/" + manifest_name).c_str(), &st) == 0) {
    if (!picture.empty())
      return trouble("--picture is for a walk; a vector set names its pictures");
    std::string error;
    if (!read_manifest(dir, &set, &error)) return trouble(dir + "/" + error);
  } else {
    if (picture.empty()) picture = dir + "/picture.bmp";
    const int32_t status = read_walk_set(picture, &set);
    if (status != bitmap_ok) return trouble(picture + ": " + refusal(status));
  }

  size_t explained = set.cases.size();
  for (size_t i = 0; explaining && i < set.cases.size(); ++i) {
    if (set.cases[i].file == explain.file) explained = i;
  }
  if (explaining && explained == set.cases.size()) {
    return trouble(explain.file + ": no block file of the " + (set.walk ? "walk" : "set"));
  }

  const check_report report = run_check(set, dir);
  // The files first: if one cannot be written, the run is in trouble and reports nothing.
  std::vector<uint8_t> json_text;
  if (!json.empty()) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    if (!memory) return trouble("out of memory");
    write_json_report(set, report, memory);
    std::fclose(memory);
    json_text.assign(text, text + size);
    std::free(text);
    if (json != "-" && !write_whole(json, json_text)) {
      return trouble("cannot write " + json + ": " + std::strerror(errno));
    }
  }
  if (!sheet.empty() && !write_sheet(sheet, make_difference_sheet(set, report, sheet_options{}))) {
    return trouble("cannot write " + sheet + ": " + std::strerror(errno));
  }
  if (explaining) {
    write_explanation(set, report, explained, explain.row, explain.pixel, explain.channel, stdout);
  } else if (json == "-") {
    std::fwrite(json_text.data(), 1, json_text.size(), stdout);
  } else {
    write_text_report(set, report, stdout);
  }
  return report.identical() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return trouble("out of memory");
  }
}
