#include "block_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "interpolate.h"
#include "whole_file.h"

namespace {

struct field {
  const char* name;
  size_t at, width;
  bool is_signed;
};

constexpr size_t info_at = file_header_size;
constexpr field fixed_fields[] = {
    {"file_size", 2, 4, false},
    {"reserved", 6, 4, false},
    {"pixel_offset", 10, 4, false},
    {"width", info_at + info_width_at, 4, true},
    {"height", info_at + info_height_at, 4, true},
    {"image_size", info_at + info_size_image_at, 4, false},
};
constexpr field profile_offset = {"profile_offset", info_at + info_profile_data_at, 4, false};

int64_t value_at(const uint8_t* bytes, const field& f) {
  const uint32_t v = f.width == 4 ? load_le32(bytes + f.at) : load_le16(bytes + f.at);
  return f.is_signed ? int64_t{static_cast<int32_t>(v)} : int64_t{v};
}

// The first of `count` bytes from file offset `begin` on that differs from `want`, outside the
// fields of `skip`.
void compare_bytes(const char* name, const uint8_t* want, const uint8_t* found, size_t begin,
                   size_t count, const std::vector<field>& skip, block_comparison* out) {
  for (size_t i = 0; i < count; ++i) {
    const size_t at = begin + i;
    const bool skipped = std::any_of(skip.begin(), skip.end(), [&](const field& f) {
      return at >= f.at && at < f.at + f.width;
    });
    if (!skipped && want[i] != found[at]) {
      out->fields.push_back({name, at, want[i], found[at]});
      return;
    }
  }
}

}  // namespace

size_t block_layout::file_size() const {
  return prefix.size() + block_bytes + profile.size();
}

block_layout make_block_layout(const bitmap_picture& picture) {
  block_layout layout;
  std::vector<uint8_t> info = picture.info;
  const auto header = make_block_header(info);
  layout.prefix.assign(header.begin(), header.end());
  layout.prefix.insert(layout.prefix.end(), info.begin(), info.end());
  layout.profile = picture.profile;
  profile_place place;
  layout.profile_reference = find_profile(info, &place);
  return layout;
}

block_comparison compare_block_file(const block_layout& layout, const uint8_t* found,
                                    size_t found_size) {
  block_comparison out;
  const size_t size = layout.file_size();
  if (found_size >= 2 && (found[0] != 'B' || found[1] != 'M')) {
    out.problem = "not a bitmap";
  } else if (found_size < size) {
    out.problem = "too short";
  } else if (found_size > size) {
    out.problem = "too long";
  }
  if (!out.problem.empty()) return out;

  const uint8_t* want = layout.prefix.data();
  std::vector<field> fields(std::begin(fixed_fields), std::end(fixed_fields));
  if (layout.profile_reference) fields.push_back(profile_offset);
  for (const field& f : fields) {
    const int64_t expected = value_at(want, f), got = value_at(found, f);
    if (expected != got) out.fields.push_back({f.name, f.at, expected, got});
  }
  compare_bytes("info_block", want + info_at, found, info_at, layout.prefix.size() - info_at,
                fields, &out);
  compare_bytes("profile", layout.profile.data(), found, layout.prefix.size() + block_bytes,
                layout.profile.size(), {}, &out);
  return out;
}

const std::vector<const char*>& field_names() {
  static const std::vector<const char*> names = [] {
    std::vector<const char*> n;
    for (const field& f : fixed_fields) n.push_back(f.name);
    n.push_back(profile_offset.name);
    n.push_back("info_block");
    n.push_back("profile");
    return n;
  }();
  return names;
}

file_state read_regular_file(const std::string& path, size_t limit, std::vector<uint8_t>* bytes,
                             std::string* reason) {
  bytes->clear();
  const regular_file file = open_regular_file(path.c_str());
  if (file.missing) return file_state::missing;
  if (file.fd < 0) {
    *reason = file.problem;
    return file_state::unreadable;
  }
  const bool read = read_up_to(file.fd, limit, bytes, reason);
  close(file.fd);
  return read ? file_state::read : file_state::unreadable;
}
