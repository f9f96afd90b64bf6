// Interpolates one block through the installed library and checks a value known by hand.
#include <blockwalk/interpolate.h>
#include <blockwalk/version.h>

#include <cstdio>
#include <vector>

int main() {
  // A vertical edge from 0 to 255 at column 36 of a 64-pixel-wide plane; the half-pixel block
  // at whole-pixel position 16 (columns 32 ... 47) sees it at its column 3: (255 * 64 + 64) >> 7.
  const int32_t width = 64, height = 64;
  std::vector<uint8_t> plane(size_t{3} * width * height);
  for (size_t i = 0; i < plane.size(); ++i) plane[i] = i / 3 % width >= 36 ? 255 : 0;
  uint8_t block[block_bytes];
  interpolate_block(width, block, plane.data(), height, 16, 16, 2, 0);
  const bool ok = block[3 * 3] == 128 && block[2 * 3] == 0 && block[4 * 3] == 255;
  std::printf("consumer: blockwalk %s, level %s: %s\n", blockwalk_version(), blockwalk_level(),
              ok ? "ok" : "wrong block");
  return ok ? 0 : 1;
}
