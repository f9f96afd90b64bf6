#include "stimulus.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "interpolate.h"
#include "whole_file.h"

namespace {

bool fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

bool written(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  return write_whole(path, bytes) ||
         fail(error, "cannot write " + path + ": " + std::strerror(errno));
}

// Where a picture's plane lies among all the planes back to back, and its rows.
struct plane_place {
  size_t base = 0, rows = 0;
};

std::vector<plane_place> plane_places(const check_set& set) {
  std::vector<plane_place> places;
  size_t base = 0;
  for (const check_picture& p : set.pictures) {
    const size_t size = p.bitmap.plane.size();
    places.push_back({base, size / (3 * static_cast<size_t>(p.bitmap.width))});
    base += size;
  }
  return places;
}

// The library's block of every case, in the set's order.
bool expected_blocks(const check_set& set, std::vector<uint8_t>* blocks, std::string* error) {
  blocks->assign(set.cases.size() * block_bytes, 0);
  for (size_t i = 0; i < set.cases.size(); ++i) {
    const check_case& c = set.cases[i];
    const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
    if (!footprint_fits(c.call, plane.size())) {
      return fail(error, c.file + ": its footprint leaves the plane");  // a fault of this tool
    }
    const block_call& v = c.call;
    interpolate_block(v.stride, &(*blocks)[i * block_bytes], plane.data(), v.height, v.x, v.y,
                      v.mvx, v.mvy);
  }
  return true;
}

// Each block as blockwalk writes a block file of its picture, under its case's name.
bool write_block_files(const std::string& dir, const check_set& set,
                       const std::vector<uint8_t>& blocks, std::string* error) {
  for (size_t i = 0; i < set.cases.size(); ++i) {
    const check_case& c = set.cases[i];
    const block_layout& layout = set.pictures[c.picture].layout;
    std::vector<uint8_t> file = layout.prefix;
    const uint8_t* block = &blocks[i * block_bytes];
    file.insert(file.end(), block, block + block_bytes);
    file.insert(file.end(), layout.profile.begin(), layout.profile.end());
    if (!written(dir + "/" + c.file, file, error)) return false;
  }
  return true;
}

std::string plane_file_name(const check_picture& picture, stream_format format) {
  return picture.name.substr(0, picture.name.rfind('.')) + ".plane" + stream_extension(format);
}

// Each picture's plane alone, as an array of its rows, and all of them back to back, a byte a
// word of the text, each plane's bytes after a line that says which it is.
bool write_planes(const std::string& out, const check_set& set,
                  const std::vector<plane_place>& places, stream_format format,
                  std::string* error) {
  std::vector<uint8_t> all;
  for (size_t k = 0; k < set.pictures.size(); ++k) {
    const check_picture& picture = set.pictures[k];
    const std::vector<uint8_t>& plane = picture.bitmap.plane;
    const size_t stride = static_cast<size_t>(picture.bitmap.width);
    if (!written(out + "/" + plane_file_name(picture, format),
                 encode_stream(format, plane.data(), places[k].rows, {stride, 3}, 1), error)) {
      return false;
    }
    if (format == stream_format::memh) {
      const std::string line = "// plane " + std::to_string(k) + ", " + picture.name + ": " +
                               std::to_string(places[k].rows) + " rows of " +
                               std::to_string(stride) + " pixels, from byte " +
                               std::to_string(places[k].base) + "\n";
      all.insert(all.end(), line.begin(), line.end());
      const std::vector<uint8_t> text = encode_stream(format, plane.data(), plane.size(), {}, 1);
      all.insert(all.end(), text.begin(), text.end());
    } else {
      all.insert(all.end(), plane.begin(), plane.end());
    }
  }
  if (format != stream_format::memh) all = encode_stream(format, all.data(), all.size(), {}, 1);
  return written(out + "/planes" + stream_extension(format), all, error);
}

// Every call as its record of call_words little-endian 32-bit words, in the set's order; as text,
// after a line that names the fields, each record after a line that names its block.
bool write_calls(const std::string& out, const check_set& set,
                 const std::vector<plane_place>& places, stream_format format, std::string* error) {
  std::vector<uint8_t> records;
  std::vector<std::string> names;
  for (const check_case& c : set.cases) {
    const block_call& v = c.call;
    // Both fit 32 bits: a picture's rows do, and only the generated pictures, small, share a set.
    const size_t rows = places[c.picture].rows, base = places[c.picture].base;
    const int64_t words[call_words] = {static_cast<int64_t>(c.picture),
                                       v.stride,
                                       v.height,
                                       v.x,
                                       v.y,
                                       v.mvx,
                                       v.mvy,
                                       static_cast<int64_t>(rows),
                                       static_cast<int64_t>(base)};
    for (const int64_t w : words) {
      for (int b = 0; b < 32; b += 8) records.push_back(static_cast<uint8_t>(uint64_t(w) >> b));
    }
    names.push_back(c.file);
  }
  std::vector<uint8_t> file;
  if (format == stream_format::memh) {
    std::string line = "// a call a record of " + std::to_string(call_words) + " words:";
    for (size_t k = 0; k < call_words; ++k) line += std::string(k ? ", " : " ") + call_fields[k];
    line += "\n";
    file.assign(line.begin(), line.end());
  }
  const std::vector<uint8_t> encoded = encode_stream(format, records.data(), set.cases.size(),
                                                     {call_words}, 4, names, element_type::i32);
  file.insert(file.end(), encoded.begin(), encoded.end());
  return written(out + "/calls" + stream_extension(format), file, error);
}

// planes.csv: for each plane its number, picture, size and place, and its files.
std::string planes_list(const check_set& set, const std::vector<plane_place>& places,
                        const std::vector<stream_format>& streams) {
  std::string text = "plane,picture,stride,rows,base,bytes";
  for (const stream_format format : streams) {
    text += std::string(",plane_") + (stream_extension(format) + 1);
  }
  text += '\n';
  for (size_t k = 0; k < set.pictures.size(); ++k) {
    const check_picture& picture = set.pictures[k];
    text += std::to_string(k) + ',' + picture.name + ',' + std::to_string(picture.bitmap.width) +
            ',' + std::to_string(places[k].rows) + ',' + std::to_string(places[k].base) + ',' +
            std::to_string(picture.bitmap.plane.size());
    for (const stream_format format : streams) text += ',' + plane_file_name(picture, format);
    text += '\n';
  }
  return text;
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

bool write_bench_files(const std::string& out, const check_set& set, const set_formats& formats,
                       std::vector<picture_column>* columns, std::string* error) {
  std::vector<uint8_t> blocks;
  if (!expected_blocks(set, &blocks, error)) return false;
  const std::string expected = out + "/" + expected_dir;
  if (!make_directory(expected)) {
    return fail(error, expected + ": not a directory, and cannot be made one");
  }
  if (formats.bitmaps && !write_block_files(expected, set, blocks, error)) return false;
  const std::vector<plane_place> places = plane_places(set);
  columns->clear();
  for (const stream_format format : formats.streams) {
    // The expected blocks, a block row a word of the text.
    std::vector<std::string> names;
    for (const check_case& c : set.cases) names.push_back(c.file);
    if (!written(expected + "/blocks" + stream_extension(format),
                 encode_stream(format, blocks.data(), set.cases.size(), {16, 16, 3},
                               block_row_bytes, names),
                 error) ||
        !write_planes(out, set, places, format, error) ||
        !write_calls(out, set, places, format, error)) {
      return false;
    }
    picture_column column{std::string("plane_") + (stream_extension(format) + 1), {}};
    for (const check_picture& picture : set.pictures) {
      column.values.push_back(plane_file_name(picture, format));
    }
    columns->push_back(std::move(column));
  }
  picture_column number{"plane", {}}, rows{"plane_rows", {}};
  for (size_t k = 0; k < set.pictures.size(); ++k) {
    number.values.push_back(std::to_string(k));
    rows.values.push_back(std::to_string(places[k].rows));
  }
  columns->push_back(std::move(number));
  columns->push_back(std::move(rows));
  const std::string list = planes_list(set, places, formats.streams);
  return written(out + "/" + planes_list_name, {list.begin(), list.end()}, error);
}

std::string bench_files_text(const std::string& out, const set_formats& formats) {
  if (formats.streams.empty()) return "";
  std::string calls, planes;
  for (const stream_format format : formats.streams) {
    const std::string ext = stream_extension(format);
    calls += (calls.empty() ? "" : ", ") + out + "/calls" + ext;
    planes += (planes.empty() ? "" : ", ") + out + "/planes" + ext;
  }
  return "The calls as stimulus: " + calls + "; the planes: " + planes + ", listed in " + out +
         "/" + planes_list_name + ".\n";
}
