// Arbitrary bytes as a vector set's manifest, over two small pictures: nothing may crash, and every
// call of a manifest that is accepted must read inside its picture's plane, as the sanitizers see
// when the library interpolates it.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "interpolate.h"
#include "manifest.h"
#include "picture.h"

namespace {

std::string dir;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/manifest_fuzz_XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  dir = pattern;
  picture_options options;
  options.width = 40;
  options.height = 36;
  options.content = picture_content::random;
  for (const char* name : {"p.bmp", "q.bmp"}) {
    const std::vector<uint8_t> file = make_picture_file(options);
    std::FILE* out = std::fopen((dir + "/" + name).c_str(), "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size()) std::abort();
    std::fclose(out);
    options.width = 17;  // rows with alignment bytes, top-down
    options.layout.top_down = true;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  check_set set;
  std::string error;
  if (!parse_manifest({data, data + size}, dir, &set, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (set.cases.empty()) std::abort();
  uint8_t block[block_bytes];
  for (const check_case& c : set.cases) {
    const std::vector<uint8_t>& plane = set.pictures.at(c.picture).bitmap.plane;
    // The plane exactly as large as the picture's, so that any read beyond it is caught.
    const std::vector<uint8_t> exact(plane);
    const block_call& v = c.call;
    interpolate_block(v.stride, block, exact.data(), v.height, v.x, v.y, v.mvx, v.mvy);
  }
  return 0;
}
