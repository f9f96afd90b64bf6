// The levels of the interpolation and the dispatch among them. A level is a source of kernels
// built for one instruction set (levels.txt lists them); it may hold a path in several forms,
// each the better one on processors of some trait. The dispatch takes each path from the
// highest level this processor runs, in the form its traits choose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cpu.h"
#include "paths.h"

// One path of a level in one form: exactly one entry of `path` is set.
struct kernel_form {
  const char* form;  // "" for a path's usual form, else what sets it apart
  uint32_t prefers;  // the traits (cpu_trait) for which it is the level's choice; 0: any
  filter_paths path;
  uint32_t needs = 0;  // features (cpu_feature) it needs beyond its level's
};

inline constexpr size_t max_forms = 8;

// What a level's source defines as NAME_level: the features it needs and its kernels, each path
// with its preferred forms first. A constant, so that nothing of it runs before the processor
// has been asked.
struct filter_level {
  const char* name;
  uint32_t needs;  // cpu_feature bits
  kernel_form forms[max_forms];
};

// Every level this build holds, lowest first, whatever this processor runs.
const std::vector<const filter_level*>& built_levels();

// The paths of `level` on processor `cpu`: each from its first form that the processor has the
// features for and whose traits it has, or its usual form.
filter_paths chosen_paths(const filter_level& level, const cpu_info& cpu);

// One kernel: a level's path in one of its forms, for the tests, the exhaustive check, the
// benchmarks and the fuzzer, which run each apart.
struct kernel {
  std::string name;  // level_path[_form]: avx2_horizontal, avx512_two_d_madd
  const char* level;
  const char* path;    // copy, horizontal, vertical or two_d
  filter_paths paths;  // the one path set
  bool runs_here;      // whether this processor has the level's and the form's features
  const char* lacks;   // if not, which: the level's name, or that and the form's
};

// Every kernel this build holds, level by level, lowest first.
const std::vector<kernel>& every_kernel();

// A level as the dispatch uses it: its paths as this processor chooses them, null where it
// leaves a path to a lower level.
struct filter_impl {
  const char* name;
  filter_paths paths;
};

// The levels this build holds and this processor runs, the scalar one first.
const std::vector<filter_impl>& filter_impls();

// The names BLOCKWALK_ISA may give on this processor family, lowest first.
const std::vector<const char*>& known_levels();

// How many of `impls` (lowest first) a cap of `cap` admits: those up to the level it names;
// all for none (null or empty). A name that is no level of this processor family admits the
// scalar rendering alone, and says so in `*unknown`.
size_t admitted_impls(const std::vector<filter_impl>& impls, const char* cap, bool* unknown);

// The paths of the first `count` implementations: each entry from the last one that has it.
filter_paths combine_paths(const std::vector<filter_impl>& impls, size_t count);

// The paths interpolate_block calls: every implementation up to the level BLOCKWALK_ISA names,
// read once; the name of the highest of them.
const filter_paths& active_paths();
const char* active_level();
