// faulty_walk, for the tests and the README's examples: writes the block files of DIR, the walk
// of DIR/picture.bmp or the vector set of DIR/vectors.csv, as a port with one deliberate fault
// would.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "faulty_port.h"
#include "manifest.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: faulty_walk DIR FAULT [A [B [C]]]  (see faulty_port.h)\n");
    return 2;
  }
  const std::string dir = argv[1];
  injected_fault fault{argv[2]};
  int* const values[] = {&fault.a, &fault.b, &fault.c};
  for (int k = 3; k < argc && k < 6; ++k) *values[k - 3] = std::atoi(argv[k]);
  check_set set;
  struct stat st {};
  if (stat((dir + "/" + manifest_name).c_str(), &st) == 0) {
    std::string error;
    if (!read_manifest(dir, &set, &error)) {
      std::fprintf(stderr, "faulty_walk: %s\n", error.c_str());
      return 1;
    }
  } else {
    if (read_walk_set(dir + "/picture.bmp", &set) != bitmap_ok) {
      std::fprintf(stderr, "faulty_walk: %s/picture.bmp: not a picture for the walk\n",
                   dir.c_str());
      return 1;
    }
  }
  if (!write_faulty_files(dir, set, fault)) {
    std::fprintf(stderr, "faulty_walk: cannot write the block files in %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
