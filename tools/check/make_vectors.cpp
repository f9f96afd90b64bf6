// make_vectors: writes a set of reference vectors that covers the whole of interpolate_block,
// beyond what the walk exercises: every phase pair, both signs of vector, every clamp, vectors
// far outside the picture, and copies at the edges of what a copy may read.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "arguments.h"
#include "coverage.h"
#include "interpolate.h"
#include "manifest.h"
#include "picture.h"
#include "whole_file.h"

namespace {

void usage() {
  std::printf(
      "usage: make_vectors [--picture FILE] [--seed S] OUTDIR\n"
      "       make_vectors --coverage DIR\n"
      "Writes into OUTDIR (made if missing) reference vectors for interpolate_block that\n"
      "cover all of it: every phase pair, negative vectors, the clamp at and beyond every\n"
      "bound, vectors far outside the picture and at the extremes of 32 bits, copies at the\n"
      "corners of the area a copy may read. OUTDIR receives:\n"
      "  vectors.csv     one line per vector: file, picture, stride, height, x, y, mvx, mvy\n"
      "                  (the arguments of the call), then path, hx, vy, clamp_x, clamp_y\n"
      "                  (what the routine makes of them), after a line naming the columns\n"
      "  vector0001.bmp ... one block file per vector, as blockwalk writes block files\n"
      "  the pictures:   random.bmp (seeded by S, default 1) and extremes.bmp (255 under\n"
      "                  positive taps, 0 under negative ones), or picture.bmp, a copy of\n"
      "                  FILE (an uncompressed 24-bit bitmap of at least 64 x 64 pixels)\n"
      "The plane of a call is its picture's pixel array: rows in the file's order, without\n"
      "their alignment bytes. height is the height to clamp against, 33 rows less than the\n"
      "picture's, so that a block clamped at the bottom reads inside it.\n"
      "check_walk OUTDIR then checks the block files another implementation wrote there.\n"
      "--coverage prints what the set in DIR covers, and how often.\n");
}

int trouble(const std::string& message) {
  std::fprintf(stderr, "make_vectors: %s\n", message.c_str());
  return 2;
}

// A position on one axis, in whole pixels after the vector's whole part, by how it meets the
// clamp's bounds -15 and size - 2.
enum class position { inside, at_low, at_high, beyond_low, beyond_high };
constexpr position positions[] = {position::inside, position::at_low, position::at_high,
                                  position::beyond_low, position::beyond_high};

int32_t place(position p, int32_t size, std::mt19937& rng) {
  const auto between = [&](int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(rng);
  };
  switch (p) {
    case position::inside:
      return between(-13, size - 4);
    case position::at_low:
      return -15;
    case position::at_high:
      return size - 2;
    case position::beyond_low:
      return -15 - between(1, 40);
    case position::beyond_high:
      break;
  }
  return size - 2 + between(1, 40);
}

// The vectors of one picture of width x rows pixels.
std::vector<block_call> vectors_for(int32_t width, int32_t rows, std::mt19937& rng) {
  const int32_t height = rows - 33;
  std::vector<block_call> calls;
  const auto whole = [&](bool negative) {
    return negative ? -1 : std::uniform_int_distribution<int32_t>(0, 2)(rng);
  };
  // Every fractional phase pair, with each axis inside, at or beyond each bound, and the vector
  // positive or negative: -1, -2 and -3 are where mv / 4 and mv >> 2 part.
  for (int hx = 0; hx < 4; ++hx) {
    for (int vy = 0; vy < 4; ++vy) {
      if (!hx && !vy) continue;
      for (const position px : positions) {
        for (const position py : positions) {
          for (const bool negative : {false, true}) {
            const int32_t wx = whole(negative), wy = whole(negative);
            calls.push_back({width, height, place(px, width, rng) - wx, place(py, height, rng) - wy,
                             4 * wx + hx, 4 * wy + vy});
          }
        }
      }
    }
  }
  // Whole parts far outside the picture, and the extremes of a 32-bit vector and position.
  const int32_t far = 4 * (1 << 21);
  const block_call outside[] = {
      {width, height, 3, 4, far + 1, 2},
      {width, height, 3, 4, -far + 3, 0},
      {width, height, 3, 4, 2, far + 3},
      {width, height, 3, 4, 1, -far + 1},
      {width, height, 0, 0, INT32_MAX, INT32_MAX},
      {width, height, 0, 0, INT32_MIN + 1, INT32_MIN + 2},
      {width, height, 0, 0, INT32_MIN, INT32_MAX},
      {width, height, 0, 0, INT32_MAX, INT32_MIN},
      {width, height, 0, 0, INT32_MAX, 0},
      {width, height, 0, 0, 0, INT32_MIN + 3},
      {width, height, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN + 1},
      {width, height, INT32_MIN, INT32_MAX, INT32_MIN + 3, INT32_MAX},
  };
  calls.insert(calls.end(), std::begin(outside), std::end(outside));
  // Whole-pixel copies, never clamped: at the four corners of the area they may read, and
  // inside it.
  for (const bool negative : {false, true}) {
    const auto copy_at = [&](int32_t cx, int32_t cy) {
      const int32_t wx = negative ? -whole(false) - 1 : whole(false);
      const int32_t wy = negative ? -whole(false) - 1 : whole(false);
      calls.push_back({width, height, cx - wx, cy - wy, 4 * wx, 4 * wy});
    };
    for (const int32_t cy : {-16, rows - 32}) {
      for (const int32_t cx : {-16, width - 32}) copy_at(cx, cy);
    }
    copy_at(std::uniform_int_distribution<int32_t>(-16, width - 32)(rng),
            std::uniform_int_distribution<int32_t>(-16, rows - 32)(rng));
  }
  return calls;
}

struct new_picture {
  std::string name;
  std::vector<uint8_t> file;
};

int write_set(const std::string& out, const std::vector<new_picture>& pictures, uint32_t seed) {
  check_set set;
  std::mt19937 rng(seed);
  for (const new_picture& p : pictures) {
    const std::string path = out + "/" + p.name;
    if (!write_whole(path, p.file))
      return trouble("cannot write " + path + ": " + std::strerror(errno));
    check_picture picture{p.name, {}, {}};
    if (read_bitmap_file(path.c_str(), &picture.bitmap) != bitmap_ok) {
      return trouble(path + ": cannot be read back");
    }
    picture.layout = make_block_layout(picture.bitmap);
    for (const block_call& call : vectors_for(picture.bitmap.width, picture.bitmap.height, rng)) {
      char name[32];
      std::snprintf(name, sizeof name, "vector%04zu.bmp", set.cases.size() + 1);
      set.cases.push_back({name, set.pictures.size(), call});
    }
    set.pictures.push_back(std::move(picture));
  }
  for (const check_case& c : set.cases) {
    const check_picture& picture = set.pictures[c.picture];
    const block_layout& layout = picture.layout;
    if (!footprint_fits(c.call, picture.bitmap.plane.size())) {
      return trouble(c.file + ": its footprint leaves the plane");  // a fault of this tool
    }
    std::vector<uint8_t> file = layout.prefix;
    file.resize(file.size() + block_bytes);
    const block_call& v = c.call;
    interpolate_block(v.stride, file.data() + layout.prefix.size(), picture.bitmap.plane.data(),
                      v.height, v.x, v.y, v.mvx, v.mvy);
    file.insert(file.end(), layout.profile.begin(), layout.profile.end());
    const std::string path = out + "/" + c.file;
    if (!write_whole(path, file))
      return trouble("cannot write " + path + ": " + std::strerror(errno));
  }
  const std::string manifest = manifest_text(set);
  const std::string path = out + "/" + manifest_name;
  if (!write_whole(path, {manifest.begin(), manifest.end()})) {
    return trouble("cannot write " + path + ": " + std::strerror(errno));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, picture, coverage;
  long seed = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc && argv[i + 1][0];
    if (arg == "--help") {
      usage();
      return 0;
    } else if (arg == "--picture" && has_value) {
      picture = argv[++i];
    } else if (arg == "--coverage" && has_value) {
      coverage = argv[++i];
    } else if (arg == "--seed" && has_value && parse_number(argv[i + 1], 0, 0xFFFFFFFF, &seed)) {
      ++i;
    } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
      out = arg;
    } else {
      return trouble("bad argument '" + arg + "'; --help tells the usage");
    }
  }
  if (!coverage.empty()) {
    if (!out.empty() || !picture.empty()) return trouble("--coverage takes a directory alone");
    check_set set;
    std::string error;
    if (!read_manifest(coverage, &set, &error)) return trouble(coverage + "/" + error);
    std::printf("%zu vectors in %s/%s\n", set.cases.size(), coverage.c_str(), manifest_name);
    write_coverage_table(set, stdout);
    return 0;
  }
  if (out.empty()) return trouble("no OUTDIR; --help tells the usage");
  struct stat st {};
  if (mkdir(out.c_str(), 0777) != 0 &&
      (errno != EEXIST || stat(out.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    return trouble(out + ": not a directory, and cannot be made one");
  }

  std::vector<new_picture> pictures;
  if (!picture.empty()) {
    bitmap_picture bitmap;
    const int32_t status = read_bitmap_file(picture.c_str(), &bitmap);
    if (status != bitmap_ok || bitmap.plane.empty() || bitmap.width < 64 || bitmap.height < 64) {
      return trouble(picture + ": not an uncompressed 24-bit bitmap of at least 64 x 64 pixels");
    }
    new_picture copy{"picture.bmp", {}};
    if (!read_whole(picture, &copy.file)) return trouble(picture + ": cannot be read");
    pictures.push_back(std::move(copy));
  } else {
    // Row lengths of 3 alignment bytes and of none, a bottom-up picture and a top-down one.
    picture_options random;
    random.width = 203;
    random.height = 150;
    random.content = picture_content::random;
    random.seed = static_cast<uint32_t>(seed);
    picture_options extremes;
    extremes.width = 160;
    extremes.height = 120;
    extremes.content = picture_content::extremes;
    extremes.layout.top_down = true;
    pictures.push_back({"random.bmp", make_picture_file(random)});
    pictures.push_back({"extremes.bmp", make_picture_file(extremes)});
  }
  return write_set(out, pictures, static_cast<uint32_t>(seed));
}
