#include "check_set.h"

#include "walk.h"

check_set walk_set(const std::string& name, bitmap_picture picture) {
  check_set set;
  set.walk = true;
  const block_call base{picture.width, picture.height, 0, 0, 0, 0};
  block_layout layout = make_block_layout(picture);
  set.pictures.push_back({name, std::move(picture), std::move(layout)});
  for (int n = walk_first; n <= walk_last; ++n) {
    block_call call = base;
    call.x = call.y = n / 4;
    call.mvx = call.mvy = n % 4;
    set.cases.push_back({block_file_name(n), 0, call});
  }
  return set;
}

bool read_walk_set(const std::string& path, check_set* set, std::string* error) {
  bitmap_picture picture;
  std::string problem;
  const bitmap_status status = read_bitmap_file(path.c_str(), &picture, &problem);
  if (status != bitmap_status::ok) {
    *error = bitmap_refusal(status, problem);
    return false;
  }
  if (!suits_walk(picture.width, picture.height, picture.bits_per_pixel, picture.info)) {
    *error = unusable_refusal();
    return false;
  }
  *set = walk_set(path, std::move(picture));
  return true;
}

void name_by_stream_place(check_set* set) {
  for (size_t i = 0; i < set->cases.size(); ++i) {
    check_case& c = set->cases[i];
    c.file = "block " + std::to_string(i) + " (" + c.file +
             (c.line ? ", manifest line " + std::to_string(c.line) : "") + ")";
  }
}
