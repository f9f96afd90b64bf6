#include "vector_set.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

#include "picture.h"
#include "walk.h"
#include "whole_file.h"

namespace {

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

// The vectors of one picture of width x rows pixels; with positions that overflow 32 bits where
// `overflowing`: on a picture of repeats (the extremes), the position they wrap to may hold the
// same block as ours.
std::vector<block_call> vectors_for(int32_t width, int32_t rows, bool overflowing,
                                    std::mt19937& rng) {
  const int32_t height = rows - 33;
  std::vector<block_call> calls;
  // The whole parts of a vector's components, never equal, so that a port that exchanges them
  // shows it: 0 ... 2, or -1 ... -3, where mv / 4 and mv >> 2 part.
  const auto wholes = [&](bool negative, int32_t* wx, int32_t* wy) {
    const int32_t a = std::uniform_int_distribution<int32_t>(0, 2)(rng);
    const int32_t b = (a + std::uniform_int_distribution<int32_t>(1, 2)(rng)) % 3;
    *wx = negative ? -1 - a : a;
    *wy = negative ? -1 - b : b;
  };
  // Every fractional phase pair, with each axis inside, at or beyond each bound, and the vector
  // positive or negative.
  for (int hx = 0; hx < 4; ++hx) {
    for (int vy = 0; vy < 4; ++vy) {
      if (!hx && !vy) continue;
      for (const position px : positions) {
        for (const position py : positions) {
          for (const bool negative : {false, true}) {
            int32_t wx = 0, wy = 0;
            wholes(negative, &wx, &wy);
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
  // Positions whose quarter-pixel form, 4 x + mv, overflows 32 bits: summed in 32 bits it wraps
  // to another position, inside the picture or beyond its other edge (at -2^31 and 2^31 - 1
  // exactly, as above, it wraps to a position the clamp makes ours).
  const int32_t wrapping[] = {1 << 29,        (1 << 30) + 5,  INT32_MAX - 1,
                              -(1 << 29) - 1, -(1 << 30) + 3, INT32_MIN + 4};
  for (int k = 0; k < 15 && overflowing; ++k) {
    const int hx = (k + 1) / 4, vy = (k + 1) % 4;  // the fractional phase pairs
    calls.push_back({width, height, wrapping[k % 6], wrapping[(k + 3) % 6], 4 * (k % 2) + hx,
                     vy - 4 * (k % 3)});
  }
  // Whole-pixel copies, never clamped: at the four corners of the area they may read, and
  // inside it.
  for (const bool negative : {false, true}) {
    const auto copy_at = [&](int32_t cx, int32_t cy) {
      int32_t wx = 0, wy = 0;
      wholes(negative, &wx, &wy);
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
  int32_t width = 0, height = 0;
  std::vector<uint8_t> file;
};

bool fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

std::string vector_file_name(size_t n) {
  char name[32];
  std::snprintf(name, sizeof name, "vector%04zu.bmp", n);
  return name;
}

// The implementation writes into `out` under these names: files already there are an earlier
// run's, and would be checked as if it had just written them.
bool refuse_earlier_run(const std::string& out, const std::vector<std::string>& names,
                        std::string* error) {
  std::vector<std::string> earlier;
  for (const std::string& name : names) {
    struct stat st {};
    if (lstat((out + "/" + name).c_str(), &st) == 0) earlier.push_back(name);
  }
  if (earlier.empty()) return true;
  return fail(
      error,
      out + " holds " + earlier[0] +
          (earlier.size() > 1 ? " and " + std::to_string(earlier.size() - 1) + " more" : "") +
          " of an earlier run, which a check would take for the new ones; remove "
          "them, or choose another OUTDIR");
}

// Writes a picture into `out` and reads it back, as a check will read it.
bool write_picture(const std::string& out, const new_picture& p, check_picture* picture,
                   std::string* error) {
  const std::string path = out + "/" + p.name;
  if (!write_whole(path, p.file)) {
    return fail(error, "cannot write " + path + ": " + std::strerror(errno));
  }
  *picture = {p.name, {}, {}};
  if (read_bitmap_file(path.c_str(), &picture->bitmap) != bitmap_status::ok) {
    return fail(error, path + ": cannot be read back");
  }
  picture->layout = make_block_layout(picture->bitmap);
  return true;
}

// The set's pictures: a copy of the user's, or a random one (rows with 3 alignment bytes,
// bottom-up) and one of the extremes (rows of none, top-down).
bool set_pictures(const vector_set_options& options, std::vector<new_picture>* pictures,
                  std::string* error) {
  if (options.picture.empty()) {
    picture_options random;
    random.width = 203;
    random.height = 150;
    random.content = picture_content::random;
    random.seed = options.seed;
    picture_options extremes;
    extremes.width = 160;
    extremes.height = 120;
    extremes.content = picture_content::extremes;
    extremes.layout.top_down = true;
    pictures->push_back({"random.bmp", random.width, random.height, make_picture_file(random)});
    pictures->push_back(
        {"extremes.bmp", extremes.width, extremes.height, make_picture_file(extremes)});
    return true;
  }
  const std::string& picture = options.picture;
  bitmap_picture bitmap;
  std::string problem;
  const bitmap_status status = read_bitmap_file(picture.c_str(), &bitmap, &problem);
  if (status != bitmap_status::ok) {
    return fail(error, picture + ": " + bitmap_problem(status, problem));
  }
  if (bitmap.plane.empty() || bitmap.width < 64 || bitmap.height < 64) {
    return fail(error, picture + ": not an uncompressed 24-bit bitmap of at least 64 x 64 pixels");
  }
  new_picture copy{"picture.bmp", bitmap.width, bitmap.height, {}};
  std::string why;
  if (!read_whole(picture, &copy.file, &why)) return fail(error, picture + ": " + why);
  pictures->push_back(std::move(copy));
  return true;
}

// "Then: check_walk OUT", and how a stream is checked where streams were written.
std::string check_text(const std::string& out, const set_formats& formats) {
  return "The implementation under test writes its blocks into " + out + "; then: check_walk " +
         out + "\n" +
         (formats.streams.empty()
              ? ""
              : "(or, its blocks in one stream: check_walk " + out + " --blocks STREAM)\n");
}

}  // namespace

bool make_vector_set(const std::string& out, const vector_set_options& options,
                     std::string* summary, std::string* error) {
  if (!make_directory(out)) return fail(error, out + ": not a directory, and cannot be made one");
  std::vector<new_picture> pictures;
  if (!set_pictures(options, &pictures, error)) return false;
  std::mt19937 rng(options.seed);
  std::vector<std::vector<block_call>> calls;
  std::vector<std::string> names;
  for (const new_picture& p : pictures) {
    calls.push_back(vectors_for(p.width, p.height, calls.empty(), rng));
    for (size_t k = 0; k < calls.back().size(); ++k)
      names.push_back(vector_file_name(names.size() + 1));
  }
  if (!refuse_earlier_run(out, names, error)) return false;
  check_set set;
  for (size_t k = 0; k < pictures.size(); ++k) {
    check_picture picture;
    if (!write_picture(out, pictures[k], &picture, error)) return false;
    for (const block_call& call : calls[k]) {
      set.cases.push_back({names[set.cases.size()], set.pictures.size(), call});
    }
    set.pictures.push_back(std::move(picture));
  }
  std::vector<picture_column> columns;
  if (!write_bench_files(out, set, options.formats, &columns, error)) return false;
  const std::string manifest = manifest_text(set, columns);
  const std::string path = out + "/" + manifest_name;
  if (!write_whole(path, {manifest.begin(), manifest.end()})) {
    return fail(error, "cannot write " + path + ": " + std::strerror(errno));
  }
  *summary = std::to_string(set.cases.size()) + " vectors in " + path +
             ", their expected blocks in " + out + "/" + expected_dir + "/.\n" +
             bench_files_text(out, options.formats) + check_text(out, options.formats);
  return true;
}

bool make_walk_files(const std::string& picture, const std::string& out, const set_formats& formats,
                     std::string* summary, std::string* error) {
  // Refused as blockwalk refuses it, before anything is written.
  check_set set;
  if (!read_walk_set(picture, &set, error)) return fail(error, picture + ": " + *error);
  if (!make_directory(out)) return fail(error, out + ": not a directory, and cannot be made one");
  struct stat st {};
  if (lstat((out + "/" + manifest_name).c_str(), &st) == 0) {
    return fail(error, out + " holds a vector set's " + manifest_name +
                           ", and check_walk would check that set instead of the walk; choose "
                           "another OUTDIR");
  }
  std::vector<std::string> names;
  for (const check_case& c : set.cases) names.push_back(c.file);
  if (!refuse_earlier_run(out, names, error)) return false;
  // The walk's own picture, read back: what the bench and the check read is one file.
  new_picture copy{"picture.bmp", 0, 0, {}};
  std::string why;
  if (!read_whole(picture, &copy.file, &why)) return fail(error, picture + ": " + why);
  check_picture written;
  if (!write_picture(out, copy, &written, error)) return false;
  if (written.bitmap.plane != set.pictures[0].bitmap.plane) {
    return fail(error, picture + ": changed while it was read");
  }
  set.pictures[0] = std::move(written);
  std::vector<picture_column> columns;  // a manifest's, which the walk has none of
  if (!write_bench_files(out, set, formats, &columns, error)) return false;
  *summary = std::to_string(set.cases.size()) + " calls of the walk over " + out +
             "/picture.bmp, their expected blocks in " + out + "/" + expected_dir + "/.\n" +
             bench_files_text(out, formats) + check_text(out, formats);
  return true;
}
