// faulty_walk, for the tests and the README's examples: writes the block files of DIR, the walk
// of DIR/picture.bmp or the vector set of DIR/vectors.csv, as a port with one deliberate fault,
// or two, would.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "faulty_port.h"
#include "manifest.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: faulty_walk DIR FAULT [VALUE ...] [+ FAULT [VALUE ...]]"
                 "  (the faults and their fields as check_walk names them, or the port's own:\n"
                 "  those of faulty_port.h's port_only, and byte_taps, vertical_first, split S1,\n"
                 "  uint16_intermediate, fp16_intermediate, logical_shift, first_pass_lanes,\n"
                 "  second_pass_lanes, wrapping_sums, int16_sum, rows_written N,\n"
                 "  intermediate_rows N)\n");
    return 2;
  }
  const std::string dir = argv[1];
  port_faults port;
  try {
    port = injected_port({argv + 2, argv + argc});
  } catch (const std::invalid_argument& bad) {
    std::fprintf(stderr, "faulty_walk: %s\n", bad.what());
    return 2;
  }
  check_set set;
  std::string error;
  if (!read_check_set(dir, "", &set, &error)) {
    std::fprintf(stderr, "faulty_walk: %s\n", error.c_str());
    return 1;
  }
  if (!write_faulty_files(dir, set, port)) {
    std::fprintf(stderr, "faulty_walk: cannot write the block files in %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
