#include "vector_set.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

#include "check_set.h"
#include "interpolate.h"
#include "manifest.h"
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
  int32_t width = 0, height = 0;
  std::vector<uint8_t> file;
};

std::string vector_file_name(size_t n) {
  char name[32];
  std::snprintf(name, sizeof name, "vector%04zu.bmp", n);
  return name;
}

// Whether `path` is a directory, made now if it was not there.
bool make_directory(const std::string& path) {
  struct stat st {};
  return mkdir(path.c_str(), 0777) == 0 ||
         (errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

// Writes the set into `out`; false, with why in `error`, if it cannot.
bool write_set(const std::string& out, const std::vector<new_picture>& pictures, uint32_t seed,
               const set_formats& formats, std::string* summary, std::string* error) {
  const auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  const auto written = [&](const std::string& path, const std::vector<uint8_t>& bytes) {
    return write_whole(path, bytes) || fail("cannot write " + path + ": " + std::strerror(errno));
  };
  std::mt19937 rng(seed);
  std::vector<std::vector<block_call>> calls;
  for (const new_picture& p : pictures) calls.push_back(vectors_for(p.width, p.height, rng));
  // The implementation writes into OUTDIR under these names: files already there are an earlier
  // run's, and would be checked as if it had just written them.
  size_t count = 0;
  for (const std::vector<block_call>& c : calls) count += c.size();
  std::vector<std::string> earlier;
  for (size_t n = 1; n <= count; ++n) {
    struct stat st {};
    if (lstat((out + "/" + vector_file_name(n)).c_str(), &st) == 0) {
      earlier.push_back(vector_file_name(n));
    }
  }
  if (!earlier.empty()) {
    return fail(out + " holds " + earlier[0] +
                (earlier.size() > 1 ? " and " + std::to_string(earlier.size() - 1) + " more" : "") +
                " of an earlier run, which a check would take for the new ones; remove them, or "
                "choose another OUTDIR");
  }
  const std::string expected = out + "/" + expected_dir;
  if (!make_directory(expected))
    return fail(expected + ": not a directory, and cannot be made one");

  check_set set;
  for (size_t k = 0; k < pictures.size(); ++k) {
    const new_picture& p = pictures[k];
    const std::string path = out + "/" + p.name;
    if (!written(path, p.file)) return false;
    check_picture picture{p.name, {}, {}};
    if (read_bitmap_file(path.c_str(), &picture.bitmap) != bitmap_status::ok) {
      return fail(path + ": cannot be read back");
    }
    picture.layout = make_block_layout(picture.bitmap);
    for (const block_call& call : calls[k]) {
      set.cases.push_back({vector_file_name(set.cases.size() + 1), set.pictures.size(), call});
    }
    set.pictures.push_back(std::move(picture));
  }
  std::vector<uint8_t> blocks(set.cases.size() * block_bytes);
  std::vector<std::string> names;
  for (size_t i = 0; i < set.cases.size(); ++i) {
    const check_case& c = set.cases[i];
    const check_picture& picture = set.pictures[c.picture];
    if (!footprint_fits(c.call, picture.bitmap.plane.size())) {
      return fail(c.file + ": its footprint leaves the plane");  // a fault of this tool
    }
    const block_call& v = c.call;
    uint8_t* block = &blocks[i * block_bytes];
    interpolate_block(v.stride, block, picture.bitmap.plane.data(), v.height, v.x, v.y, v.mvx,
                      v.mvy);
    names.push_back(c.file);
    if (!formats.bitmaps) continue;
    const block_layout& layout = picture.layout;
    std::vector<uint8_t> file = layout.prefix;
    file.insert(file.end(), block, block + block_bytes);
    file.insert(file.end(), layout.profile.begin(), layout.profile.end());
    const std::string path = expected + "/" + c.file;
    if (!written(path, file)) return false;
  }
  // Each stream: the expected blocks, block rows as words of the text; and each picture's plane
  // as the calls read it, bytes as words, named in a column of the manifest.
  std::vector<picture_column> plane_columns;
  for (const stream_format format : formats.streams) {
    const std::string path = expected + "/blocks" + stream_extension(format);
    if (!written(path, encode_stream(format, blocks.data(), set.cases.size(), {16, 16, 3},
                                     block_row_bytes, names))) {
      return false;
    }
    picture_column column{std::string("plane_") + (stream_extension(format) + 1), {}};
    for (const check_picture& picture : set.pictures) {
      const std::string name =
          picture.name.substr(0, picture.name.rfind('.')) + ".plane" + stream_extension(format);
      const std::vector<uint8_t>& plane = picture.bitmap.plane;
      const size_t stride = static_cast<size_t>(picture.bitmap.width);
      const std::string plane_path = out + "/" + name;
      if (!written(plane_path, encode_stream(format, plane.data(), plane.size() / (3 * stride),
                                             {stride, 3}, 1))) {
        return false;
      }
      column.values.push_back(name);
    }
    plane_columns.push_back(std::move(column));
  }
  const std::string manifest = manifest_text(set, plane_columns);
  const std::string path = out + "/" + manifest_name;
  if (!written(path, {manifest.begin(), manifest.end()})) return false;
  *summary = std::to_string(set.cases.size()) + " vectors in " + path +
             ", their expected blocks in " + expected +
             "/.\nThe implementation under test writes its blocks into " + out +
             "; then: check_walk " + out + "\n";
  return true;
}

}  // namespace

bool parse_set_formats(const std::string& list, set_formats* formats) {
  *formats = {false, {}};
  for (size_t from = 0; from <= list.size();) {
    const size_t comma = std::min(list.find(',', from), list.size());
    const std::string name = list.substr(from, comma - from);
    stream_format format;
    if (name == "bmp" && !formats->bitmaps) {
      formats->bitmaps = true;
    } else if (stream_format_of("." + name, &format) && name != "raw" && name != "hex" &&
               std::find(formats->streams.begin(), formats->streams.end(), format) ==
                   formats->streams.end()) {
      formats->streams.push_back(format);
    } else {
      return false;
    }
    from = comma + 1;
  }
  return true;
}

bool make_vector_set(const std::string& out, const vector_set_options& options,
                     std::string* summary, std::string* error) {
  if (!make_directory(out)) {
    *error = out + ": not a directory, and cannot be made one";
    return false;
  }
  std::vector<new_picture> pictures;
  if (!options.picture.empty()) {
    const std::string& picture = options.picture;
    bitmap_picture bitmap;
    std::string problem;
    const bitmap_status status = read_bitmap_file(picture.c_str(), &bitmap, &problem);
    if (status != bitmap_status::ok) {
      *error = picture + ": " + bitmap_problem(status, problem);
      return false;
    }
    if (bitmap.plane.empty() || bitmap.width < 64 || bitmap.height < 64) {
      *error = picture + ": not an uncompressed 24-bit bitmap of at least 64 x 64 pixels";
      return false;
    }
    new_picture copy{"picture.bmp", bitmap.width, bitmap.height, {}};
    std::string why;
    if (!read_whole(picture, &copy.file, &why)) {
      *error = picture + ": " + why;
      return false;
    }
    pictures.push_back(std::move(copy));
  } else {
    // Row lengths of 3 alignment bytes and of none, a bottom-up picture and a top-down one.
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
    pictures.push_back({"random.bmp", random.width, random.height, make_picture_file(random)});
    pictures.push_back(
        {"extremes.bmp", extremes.width, extremes.height, make_picture_file(extremes)});
  }
  return write_set(out, pictures, options.seed, options.formats, summary, error);
}
