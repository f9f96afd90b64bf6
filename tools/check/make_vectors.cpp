// make_vectors: writes a set of reference vectors that covers the whole of interpolate_block,
// beyond what the walk exercises: every phase pair, both signs of vector, every clamp, vectors
// far outside the picture, and copies at the edges of what a copy may read; or the walk's calls,
// as a test bench runs a set's.
#include <cstdio>
#include <optional>
#include <string>

#include "coverage.h"
#include "manifest.h"
#include "options.h"
#include "vector_set.h"

namespace {

const tool_declaration tool = {
    "make_vectors",
    "OUTDIR",
    false,
    "the set's directory, made if missing",
    "Writes a set of reference vectors for interpolate_block that covers all of it:\n"
    "every phase pair, negative vectors, the clamp at and beyond every bound, vectors far\n"
    "outside the picture and at the extremes of 32 bits, copies at the corners of the\n"
    "area a copy may read. OUTDIR receives:\n"
    "  vectors.csv     one line per vector: file, picture, stride, height, x, y, mvx, mvy\n"
    "                  (the arguments of the call), then path, hx, vy, clamp_x, clamp_y\n"
    "                  (what the routine makes of them), after a line naming the columns;\n"
    "                  then plane and plane_rows, the picture's number in planes.csv and\n"
    "                  its plane's rows\n"
    "  planes.csv      one line per picture: plane, picture, stride, rows, base (its first\n"
    "                  byte among the planes back to back), bytes, its plane's files\n"
    "  the pictures:   random.bmp (seeded by S, default 1) and extremes.bmp (255 under\n"
    "                  positive taps, 0 under negative ones), or picture.bmp, a copy of\n"
    "                  FILE (an uncompressed 24-bit bitmap of at least 64 x 64 pixels)\n"
    "  expected/       the expected block files, vector0001.bmp ... , as blockwalk\n"
    "                  writes block files\n"
    "The implementation under test writes its own block files, under the names the\n"
    "manifest gives, into OUTDIR itself; then check_walk OUTDIR checks them. Until it\n"
    "has, every one is missing and the check fails. An OUTDIR that holds such files\n"
    "already (from an earlier run) is refused.\n"
    "The plane of a call is its picture's pixel array: rows in the file's order, without\n"
    "their alignment bytes. height is the height to clamp against, 33 rows less than the\n"
    "picture's, so that a block clamped at the bottom reads inside it.\n"
    "With --walk, OUTDIR receives blockwalk's walk over PICTURE instead, as a set's\n"
    "files: the picture as picture.bmp, where check_walk finds it, and the walk's 1900\n"
    "calls, plane and expected blocks (block0100.bmp ... ) in the formats asked for.\n",
    {
        {"--picture",
         {"FILE"},
         "vectors over a copy of this picture instead of the two\ngenerated ones"},
        {"--seed", {"S"}, "seeds the random picture and the positions (default 1)"},
        {"--formats",
         {"LIST"},
         "what the expected blocks, the planes and the calls are written as,\n"
         "apart by commas (default bmp): bmp, block files under expected/;\n"
         "bin, npy or memh, all the blocks in one stream, expected/blocks.bin\n"
         "(raw bytes), .npy (NumPy uint8, shape (N, 16, 16, 3)) or .memh (hex\n"
         "text, a block row of 48 bytes a word, least significant byte first);\n"
         "each picture's plane, PICTURE.plane.bin, .npy (shape (rows, stride,\n"
         "3)) or .memh (a byte a word), named in the manifest's columns\n"
         "plane_bin, plane_npy, plane_memh; all planes back to back,\n"
         "planes.bin, .npy (shape (bytes,)) or .memh; and every call in\n"
         "manifest order, calls.bin, .npy (int32, shape (N, 9)) or .memh (a\n"
         "32-bit word a field): plane, stride, height, x, y, mvx, mvy, rows,\n"
         "base, its plane's number in planes.csv, rows and first byte in\n"
         "planes.*"},
        {"--walk", {"PICTURE"}, "writes blockwalk's walk over PICTURE instead of a set"},
        {"--coverage", {"DIR"}, "prints what the set in DIR covers, and how often, instead"},
    },
    "Limits a set must keep for check_walk: at most 100000 vectors, a manifest of at most\n"
    "64 MB.\n",
    {{"--coverage", "OUTDIR", "--coverage reads a set, it writes none"},
     {"--coverage", "--picture", "--coverage reads a set, it writes none"},
     {"--coverage", "--seed", "--coverage reads a set, it writes none"},
     {"--coverage", "--formats", "--coverage reads a set, it writes none"},
     {"--coverage", "--walk", "--coverage reads a set, it writes none"},
     {"--walk", "--picture", "--walk walks its own PICTURE"},
     {"--walk", "--seed", "--walk walks its own PICTURE"}},
};

}  // namespace

int main(int argc, char** argv) {
  command_line line;
  if (const std::optional<int> done = parse_command_line(tool, argc, argv, &line)) return *done;
  long seed = 1;
  if (line.given("--seed")) {
    std::string error;
    const std::optional<long> n = number_value(tool, line, "--seed", 0, 0, 0xFFFFFFFF, &error);
    if (!n) return trouble(tool, error);
    seed = *n;
  }
  vector_set_options options;
  options.seed = static_cast<uint32_t>(seed);
  if (line.given("--formats") && !parse_set_formats(line.value("--formats"), &options.formats)) {
    return trouble(tool,
                   "--formats: LIST is bmp, bin, npy and memh, each once, apart by commas; "
                   "got " +
                       line.value("--formats"));
  }
  if (line.given("--coverage")) {
    const std::string& dir = line.value("--coverage");
    check_set set;
    std::string error;
    if (!read_manifest(dir, &set, &error)) return trouble(tool, dir + "/" + error);
    std::printf("%zu vectors in %s/%s\n", set.cases.size(), dir.c_str(), manifest_name);
    write_coverage_counts(set, stdout);
    return exit_ok;
  }
  if (!line.operand) return trouble(tool, "no OUTDIR; --help tells the usage");
  std::string summary, error;
  if (line.given("--walk")) {
    if (!make_walk_files(line.value("--walk"), *line.operand, options.formats, &summary, &error)) {
      return trouble(tool, error);
    }
    std::fputs(summary.c_str(), stdout);
    return exit_ok;
  }
  if (line.given("--picture")) options.picture = line.value("--picture");
  if (!make_vector_set(*line.operand, options, &summary, &error)) return trouble(tool, error);
  std::fputs(summary.c_str(), stdout);
  return exit_ok;
}
