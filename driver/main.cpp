// blockwalk: loads "picture.bmp", walks a diagonal track of quarter-pixel positions and writes
// the 16 x 16 block at each to a bitmap file of its own.
#include <cstdio>
#include <new>

#include "walk.h"

int main() {
  try {
    return run_walk();
  } catch (const std::bad_alloc&) {
    std::printf("error allocating memory!\n");
    return 1;
  }
}
