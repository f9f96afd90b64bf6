// Arbitrary bytes as a block file, compared with the block files of pictures of every layout:
// nothing may crash or read outside the bytes, and a file is compared only at its exact size.
#include <cstdlib>
#include <vector>

#include "block_file.h"

namespace {

block_layout layout_of(const bitmap_layout& how) {
  const uint8_t pixel[3] = {1, 2, 3};
  const std::vector<uint8_t> file = encode_bitmap(1, 1, pixel, how);
  bitmap_picture picture;
  picture.info.assign(file.begin() + 14, file.begin() + load_le32(&file[10]));
  if (how.profile.type && !how.profile_first) picture.profile = how.profile.data;
  return make_block_layout(picture);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<block_layout> layouts = [] {
    const colour_profile icc{profile_embedded, 4, std::vector<uint8_t>(40, 0x42)};
    return std::vector<block_layout>{
        layout_of({}),
        layout_of({124, true, 0, {}, false}),
        layout_of({40, false, 64, {}, false}),
        layout_of({124, false, 0, icc, false}),
        layout_of({124, false, 0, icc, true}),
    };
  }();
  for (const block_layout& layout : layouts) {
    const size_t read = std::min(size, layout.file_size() + 1);
    const block_comparison c = compare_block_file(layout, data, read);
    if (c.problem.empty() != (read == layout.file_size() && data[0] == 'B' && data[1] == 'M')) {
      std::abort();
    }
  }
  return 0;
}
