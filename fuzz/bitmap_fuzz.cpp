// Arbitrary bytes as "picture.bmp": read as the walk reads it (dimensions, then pixels), with its
// acceptance check and the block header. Nothing may crash, leak, hang, allocate beyond what the
// bytes hold, or touch memory outside its buffers.
#include <cstdio>
#include <vector>

#include "bitmap.h"
#include "walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  bytes.reserve(1);  // fmemopen wants a buffer even for an empty stream
  std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (!file) return 0;

  int32_t width = 0, height = 0, bits = 0;
  std::vector<uint8_t> info, profile;
  if (read_bitmap_stream(file, &height, &bits, &width, nullptr, 0, &info, &profile) ==
      bitmap_status::ok) {
    suits_walk(width, height, bits, info);
    // For pixels the reader can read (uncompressed, whole bytes) a successful first reading
    // bounds the plane by the input's size; the walk itself never gets this far otherwise.
    if (load_le32(info.data() + info_compression_at) == 0 && bits >= 8) {
      std::vector<uint8_t> plane(plane_size(width, height, bits));
      std::rewind(file);
      int32_t w = 0, h = 0, b = 0;
      read_bitmap_stream(file, &h, &b, &w, plane.data(), plane.size(), nullptr);
    }
    make_block_header(info);
  }
  std::fclose(file);
  return 0;
}
