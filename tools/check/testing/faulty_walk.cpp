// faulty_walk, for the tests and the README's examples: writes the block files of DIR, the walk
// of DIR/picture.bmp or the vector set of DIR/vectors.csv, as a port with one deliberate fault
// would.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "faulty_port.h"
#include "manifest.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: faulty_walk DIR FAULT [A [B [C]]]  (see faulty_port.h)\n");
    return 2;
  }
  const std::string dir = argv[1];
  fault_kind kind;
  if (!fault_named(argv[2], &kind)) {
    std::fprintf(stderr, "faulty_walk: %s: no such fault\n", argv[2]);
    return 2;
  }
  std::vector<int> values;
  for (int k = 3; k < argc; ++k) values.push_back(std::atoi(argv[k]));
  const fault_switches fault = switches_for(kind, values);
  check_set set;
  struct stat st {};
  if (stat((dir + "/" + manifest_name).c_str(), &st) == 0) {
    std::string error;
    if (!read_manifest(dir, &set, &error)) {
      std::fprintf(stderr, "faulty_walk: %s\n", error.c_str());
      return 1;
    }
  } else {
    std::string error;
    if (!read_walk_set(dir + "/picture.bmp", &set, &error)) {
      std::fprintf(stderr, "faulty_walk: %s/picture.bmp: %s\n", dir.c_str(), error.c_str());
      return 1;
    }
  }
  if (!write_faulty_files(dir, set, fault)) {
    std::fprintf(stderr, "faulty_walk: cannot write the block files in %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
