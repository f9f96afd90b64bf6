/* A C99 program using an installed blockwalk through pkg-config: interpolates one block and
   checks a value known by hand. */
#include <blockwalk/interpolate.h>
#include <blockwalk/version.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  /* A vertical edge from 0 to 255 at column 36 of a 64-pixel-wide plane; the half-pixel block at
     whole-pixel position 16 (columns 32 ... 47) sees it at its column 3: (255 * 64 + 64) >> 7. */
  enum { width = 64, height = 64 };
  static uint8_t plane[3 * width * height];
  uint8_t block[block_bytes];
  char version[32];
  size_t i;
  int ok;
  uint64_t first = 0, last = 0;
  for (i = 0; i < sizeof plane; ++i) plane[i] = i / 3 % width >= 36 ? 255 : 0;
  interpolate_block(width, block, plane, height, 16, 16, 2, 0);
  snprintf(version, sizeof version, "%d.%d.%d", BLOCKWALK_VERSION_MAJOR, BLOCKWALK_VERSION_MINOR,
           BLOCKWALK_VERSION_PATCH);
  ok = block[3 * 3] == 128 && block[2 * 3] == 0 && block[4 * 3] == 255 && filter_taps[2][1] == 72 &&
       block_bytes == 768 && strcmp(blockwalk_version(), version) == 0;
  /* That horizontal block reads pixels (31, 32) ... (49, 47): bytes 3 * (32 * 64 + 31) and
     3 * (47 * 64 + 49) + 2; no byte lies before a plane's start at x -17 of a copy. */
  ok = ok && blockwalk_footprint(width, height, 16, 16, 2, 0, &first, &last) && first == 6237 &&
       last == 9173 && !blockwalk_footprint(width, height, -17, -16, 0, 0, &first, &last);
  printf("c consumer: blockwalk %s, level %s: %s\n", blockwalk_version(), blockwalk_level(),
         ok ? "ok" : "wrong");
  return ok ? 0 : 1;
}
