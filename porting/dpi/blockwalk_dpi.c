// The C side of the SystemVerilog package blockwalk_dpi: the library's interpolate_block on the
// bench's own array, its footprint checked first, since a wrong base or stride from a bench
// would otherwise read outside the simulator's memory.
#include <blockwalk/blockwalk_dpi.h>
#include <blockwalk/interpolate.h>
#include <string.h>

int blockwalk_dpi_interpolate_block(int stride, unsigned char* block,
                                    const svOpenArrayHandle planes, int base, int height, int x,
                                    int y, int mvx, int mvy) {
  const unsigned char* bytes = (const unsigned char*)svGetArrayPtr(planes);
  const int size = svSize(planes, 1);
  // Element i at bytes[i]: one dimension, from 0 up.
  uint64_t first = 0, last = 0;
  if (!bytes || svDimensions(planes) != 1 || svLeft(planes, 1) != 0 || base < 0 || base > size ||
      !blockwalk_footprint(stride, height, x, y, mvx, mvy, &first, &last) ||
      last >= (uint64_t)(size - base)) {
    memset(block, 0, block_bytes);
    return -1;
  }
  interpolate_block(stride, block, bytes + base, height, x, y, mvx, mvy);
  return 0;
}
