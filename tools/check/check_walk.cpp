// check_walk: checks another implementation's block files against the ones blockwalk writes;
// groups the differences by path and phases, names the faults that reproduce them, explains
// single bytes and pictures the whole.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "check.h"
#include "difference_sheet.h"
#include "explain.h"
#include "manifest.h"
#include "options.h"
#include "report.h"
#include "stream.h"
#include "whole_file.h"

namespace {

const tool_declaration tool = {
    "check_walk",
    "DIR",
    false,
    "the directory of the blocks (default: the current directory)",
    "Checks block0100.bmp ... block1999.bmp in DIR, as another implementation wrote\n"
    "them from DIR/picture.bmp (or --picture FILE), against the files blockwalk writes:\n"
    "header, info block, colour profile and pixels. Where DIR holds a vector set\n"
    "(vectors.csv, see make_vectors), checks the files it names instead: at most 100000\n"
    "vectors, in a manifest of at most 64 MB. Prints a verdict; the pixel differences of\n"
    "each path and phase pair (and for a set, each pair of clamp states and sign of\n"
    "vector), with the faults that reproduce them exactly; the header fields that differ;\n"
    "the files missing or unreadable; and what the blocks never exercised.\n"
    "Bytes are counted as the file stores them: row 0 is the first row of its pixel array\n"
    "(bytes 0 ... 47), pixel 0 ... 15 counts from the left, channel 0 is blue, 1 green,\n"
    "2 red.\n",
    {
        {"--picture", {"FILE"}, "the walked picture (default: DIR/picture.bmp)"},
        {"--json",
         {"FILE"},
         "the whole report as JSON; FILE - puts it on standard output\ninstead of the text"},
        {"--sheet", {"FILE"}, "the differences as a picture, with its own legend"},
        {"--blocks",
         {"STREAM"},
         "the blocks in one file instead of block files, pixels only:\n"
         "each 768 bytes (rows of 48: blue, green, red), in walk or\n"
         "manifest order; by its extension raw (.bin, .raw), NumPy\n"
         "uint8 (.npy, shape (N, 16, 16, 3), (N, 16, 48) or (N, 768))\n"
         "or $writememh text (.memh, .hex, words of 8 to 384 bits,\n"
         "least significant byte first); blocks after its last are\n"
         "missing"},
        {"--explain",
         {"FILE", "ROW", "PIXEL", "CHANNEL"},
         "how that byte of that block file comes about, instead of the\n"
         "report: ROW and PIXEL 0 ... 15, CHANNEL 0 ... 2; with\n"
         "--blocks, FILE is the block's place in the stream, 0 first"},
    },
    "Nothing is written but what these options name. Exit status: 0 identical, 1 any\n"
    "difference (missing files too: a check that saw no file never passes), 2 trouble.\n",
    {{"--explain", "--json -", "both write standard output; give --json a FILE"}},
};

std::string base_name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int run(int argc, char** argv) {
  command_line line;
  if (const std::optional<int> done = parse_command_line(tool, argc, argv, &line)) return *done;
  const std::string dir = line.operand.value_or(".");
  const bool explaining = line.given("--explain");
  int explain_at[3] = {};
  for (size_t k = 0; explaining && k < 3; ++k) {
    std::string error;
    const std::optional<long> n =
        number_value(tool, line, "--explain", k + 1, 0, k < 2 ? 15 : 2, &error);
    if (!n) return trouble(tool, error);
    explain_at[k] = static_cast<int>(*n);
  }
  const bool stream = line.given("--blocks");
  // In a stream a block is named by its place, 0 first.
  const std::string explained_file = !explaining ? ""
                                     : stream    ? "block " + line.value("--explain")
                                                 : base_name(line.value("--explain"));
  const std::string picture = line.given("--picture") ? line.value("--picture") : "";
  const std::string json = line.given("--json") ? line.value("--json") : "";
  const std::string sheet = line.given("--sheet") ? line.value("--sheet") : "";

  check_set set;
  std::string error;
  if (!read_check_set(dir, picture, &set, &error)) return trouble(tool, error);

  std::vector<uint8_t> blocks;
  if (stream) {
    const std::string& path = line.value("--blocks");
    if (!read_block_stream(path, set.cases.size(), &blocks, &error)) {
      return trouble(tool, path + ": " + error);
    }
    name_by_stream_place(&set);
  }

  size_t explained = set.cases.size();
  for (size_t i = 0; explaining && i < set.cases.size(); ++i) {
    const std::string& name = set.cases[i].file;
    // A stream's block by its place: "block 17 (...)".
    if (name == explained_file || (stream && name.rfind(explained_file + " (", 0) == 0)) {
      explained = i;
    }
  }
  if (explaining && explained == set.cases.size()) {
    return trouble(tool, line.value("--explain") + ": no " + (stream ? "block" : "block file") +
                             " of the " + (set.walk ? "walk" : "set") +
                             (stream ? " (blocks count from 0)" : ""));
  }

  const check_report report = stream ? check_stream(set, blocks) : run_check(set, dir);
  // The files first: if one cannot be written, the run is in trouble and reports nothing.
  const std::string json_text = json.empty() ? "" : json_report(set, report);
  if (!json.empty() && json != "-") {
    if (!write_whole(json, std::vector<uint8_t>(json_text.begin(), json_text.end()))) {
      return trouble(tool, "cannot write " + json + ": " + std::strerror(errno));
    }
  }
  if (!sheet.empty() &&
      !write_sheet(sheet, make_difference_sheet(set, report, sheet_options{}, dir))) {
    return trouble(tool, "cannot write " + sheet + ": " + std::strerror(errno));
  }
  if (explaining) {
    write_explanation(set, report, explained, explain_at[0], explain_at[1], explain_at[2], stdout);
  } else if (json == "-") {
    std::fwrite(json_text.data(), 1, json_text.size(), stdout);
  } else {
    write_text_report(set, report, stdout, dir);
  }
  return report.identical() ? exit_ok : exit_failed;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return trouble(tool, "out of memory");
  }
}
