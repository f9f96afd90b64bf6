#include "manifest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>

#include "walk.h"
#include "whole_file.h"

namespace {

const char* const columns[] = {"file", "picture", "stride", "height", "x",       "y",      "mvx",
                               "mvy",  "path",    "hx",     "vy",     "clamp_x", "clamp_y"};
enum column { file, picture, stride, height, x, y, mvx, mvy, path, hx, vy, clamp_x, clamp_y };
constexpr size_t column_count = std::size(columns);
constexpr size_t first_derived = path;  // the columns from here on say what the call makes

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool parse_int32(const std::string& text, int32_t* value) {
  if (text.empty() || text.size() > 11) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end || errno || v < INT32_MIN || v > INT32_MAX || text[0] == '+' || text[0] == ' ') {
    return false;
  }
  *value = static_cast<int32_t>(v);
  return true;
}

// Reads a picture of the set, once; false, with why in `error`, if it cannot serve.
bool load_picture(const std::string& dir, const std::string& name, check_set* set,
                  std::map<std::string, size_t>* loaded, size_t* index, std::string* error) {
  const auto found = loaded->find(name);
  if (found != loaded->end()) {
    *index = found->second;
    return true;
  }
  check_picture p;
  p.name = name;
  std::string problem;
  const bitmap_status status = read_bitmap_file((dir + "/" + name).c_str(), &p.bitmap, &problem);
  if (status != bitmap_status::ok) {
    *error = "picture " + name + ": " + bitmap_problem(status, problem);
    return false;
  }
  if (p.bitmap.bits_per_pixel != 24 || load_le32(p.bitmap.info.data() + info_compression_at) != 0) {
    *error = "picture " + name + " is not an uncompressed 24-bit bitmap";
    return false;
  }
  p.layout = make_block_layout(p.bitmap);
  *index = set->pictures.size();
  set->pictures.push_back(std::move(p));
  (*loaded)[name] = *index;
  return true;
}

// The vector of one line's fields; false, with why in `error`, where they make none.
bool parse_case(const std::string& dir, const std::vector<std::optional<std::string>>& f,
                check_set* set, std::map<std::string, size_t>* loaded, check_case* c,
                std::string* error) {
  const auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  for (const column name : {file, picture}) {
    if (!plain_file_name(*f[name])) {
      return fail(std::string(columns[name]) + " '" + *f[name] +
                  "' is not a plain name in the directory");
    }
  }
  c->file = *f[file];
  int32_t* const numbers[] = {&c->call.stride, &c->call.height, &c->call.x,
                              &c->call.y,      &c->call.mvx,    &c->call.mvy};
  for (int k = 0; k < 6; ++k) {
    if (!parse_int32(*f[stride + k], numbers[k])) {
      return fail(std::string(columns[stride + k]) + " '" + *f[stride + k] +
                  "' is not a whole number of 32 bits");
    }
  }
  if (c->call.stride < 1 || c->call.height < 1) return fail("stride and height must be at least 1");
  // The derived columns must say what the vector says.
  const group_key key = group_of(c->call);
  const std::string derived[] = {path_name(key.path), std::to_string(key.phase[0]),
                                 std::to_string(key.phase[1]), clamp_name(key.clamp[0]),
                                 clamp_name(key.clamp[1])};
  for (int k = 0; k < 5; ++k) {
    if (f[path + k] && *f[path + k] != derived[k]) {
      return fail(std::string(columns[path + k]) + " is '" + *f[path + k] +
                  "', but the vector gives '" + derived[k] + "'");
    }
  }
  if (!load_picture(dir, *f[picture], set, loaded, &c->picture, error)) return false;
  if (!footprint_fits(c->call, set->pictures[c->picture].bitmap.plane.size())) {
    return fail("the block reads beyond the plane of " + *f[picture]);
  }
  return true;
}

}  // namespace

bool plain_file_name(const std::string& name) {
  return !name.empty() && name.size() <= 255 && name[0] != '.' &&
         std::all_of(name.begin(), name.end(), [](char ch) {
           return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                  (ch >= '0' && ch <= '9') || ch == '.' || ch == '_' || ch == '+' || ch == '-';
         });
}

bool read_check_set(const std::string& dir, const std::string& picture, check_set* set,
                    std::string* error) {
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = dir + ": not a directory";
    return false;
  }
  if (lstat((dir + "/" + manifest_name).c_str(), &st) == 0) {
    if (!picture.empty()) {
      *error = "--picture is for a walk; a vector set names its pictures";
      return false;
    }
    if (read_manifest(dir, set, error)) return true;
    *error = dir + "/" + *error;
    return false;
  }
  const std::string path = picture.empty() ? dir + "/picture.bmp" : picture;
  if (read_walk_set(path, set, error)) return true;
  *error = path + ": " + *error;
  return false;
}

bool read_manifest(const std::string& dir, check_set* set, std::string* error) {
  *set = check_set{};
  const std::string name = manifest_name;
  const regular_file file = open_regular_file((dir + "/" + name).c_str());
  if (file.fd < 0) {
    *error = name + ": " + (file.missing ? "missing" : file.problem);
    return false;
  }
  // Its size is checked before a byte is read: a huge file costs nothing to refuse.
  std::vector<uint8_t> bytes;
  std::string reason;
  const bool read = file.size <= max_manifest_bytes &&
                    read_up_to(file.fd, max_manifest_bytes + 1, &bytes, &reason);
  close(file.fd);
  if (file.size > max_manifest_bytes || bytes.size() > max_manifest_bytes) {
    *error = name + ": larger than " + std::to_string(max_manifest_bytes >> 20) + " MB, the limit";
    return false;
  }
  if (!read) {
    *error = name + ": " + reason;
    return false;
  }
  return parse_manifest(bytes, dir, set, error);
}

bool parse_manifest(const std::vector<uint8_t>& bytes, const std::string& dir, check_set* set,
                    std::string* error) {
  *set = check_set{};
  const auto fail = [&](size_t line, const std::string& why) {
    *error = std::string(manifest_name) + " line " + std::to_string(line) + ": " + why;
    return false;
  };

  // Spreadsheets begin their CSV with a byte-order mark.
  static const uint8_t bom[] = {0xEF, 0xBB, 0xBF};
  const bool marked = bytes.size() >= 3 && std::equal(bom, bom + 3, bytes.begin());
  std::vector<std::string> lines(1);
  for (auto b = bytes.begin() + (marked ? 3 : 0); b != bytes.end(); ++b) {
    if (*b == '\n') {
      lines.emplace_back();
    } else if (*b != '\r') {
      lines.back() += static_cast<char>(*b);
    }
  }
  // The call's columns are required; the derived ones, where present, are checked.
  const std::vector<std::string> header = split(lines[0]);
  size_t at[column_count];
  for (size_t k = 0; k < column_count; ++k) {
    const auto found = std::find(header.begin(), header.end(), columns[k]);
    if (found == header.end() && k < first_derived) {
      return fail(1, std::string("no column '") + columns[k] + "'");
    }
    at[k] = static_cast<size_t>(found - header.begin());
  }

  std::map<std::string, size_t> loaded, first_line;
  for (size_t n = 1; n < lines.size(); ++n) {
    if (lines[n].empty()) continue;
    const std::vector<std::string> fields = split(lines[n]);
    if (fields.size() != header.size()) {
      return fail(n + 1, std::to_string(fields.size()) + " fields where the header names " +
                             std::to_string(header.size()));
    }
    if (set->cases.size() == max_vectors) {
      return fail(n + 1, "more than " + std::to_string(max_vectors) + " vectors, the limit");
    }
    std::vector<std::optional<std::string>> f(column_count);
    for (size_t k = 0; k < column_count; ++k) {
      if (at[k] < fields.size()) f[k] = fields[at[k]];
    }
    check_case c;
    std::string why;
    if (!parse_case(dir, f, set, &loaded, &c, &why)) return fail(n + 1, why);
    c.line = n + 1;
    if (c.file == manifest_name) return fail(n + 1, "file " + c.file + " is the manifest");
    const auto [earlier, fresh] = first_line.insert({c.file, n + 1});
    if (!fresh) {
      return fail(n + 1, "file " + c.file + " is named on line " + std::to_string(earlier->second) +
                             " already");
    }
    set->cases.push_back(std::move(c));
  }
  if (set->cases.empty()) {
    *error = std::string(manifest_name) + ": no vectors";
    return false;
  }
  // A block file must not be a picture, even one that a later line names.
  for (const check_case& c : set->cases) {
    if (loaded.count(c.file)) {
      return fail(first_line[c.file], "file " + c.file + " is a picture of the set");
    }
  }
  return true;
}

std::string manifest_text(const check_set& set, const std::vector<picture_column>& more) {
  std::string text;
  for (size_t k = 0; k < column_count; ++k) text += std::string(k ? "," : "") + columns[k];
  for (const picture_column& column : more) text += "," + column.name;
  text += '\n';
  for (const check_case& c : set.cases) {
    const group_key key = group_of(c.call);
    const block_call& v = c.call;
    text += c.file + ',' + set.pictures[c.picture].name;
    for (const int32_t n : {v.stride, v.height, v.x, v.y, v.mvx, v.mvy}) {
      text += ',' + std::to_string(n);
    }
    text += std::string(",") + path_name(key.path) + ',' + std::to_string(key.phase[0]) + ',' +
            std::to_string(key.phase[1]) + ',' + clamp_name(key.clamp[0]) + ',' +
            clamp_name(key.clamp[1]);
    for (const picture_column& column : more) text += "," + column.values.at(c.picture);
    text += '\n';
  }
  return text;
}
