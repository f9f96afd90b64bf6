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

// A kernel's function: the type of its path's.
union kernel_function {
  copy_path copy;
  filter_1d_path one_d;  // horizontal or vertical
  filter_2d_path two_d;
  constexpr kernel_function(copy_path f) : copy(f) {}
  constexpr kernel_function(filter_1d_path f) : one_d(f) {}
  constexpr kernel_function(filter_2d_path f) : two_d(f) {}
};

// One path of a level in one form.
struct kernel_form {
  block_path path;
  const char* variant;  // what it uses: "maddubs", "dpwssd", "masked_stores", ...
  kernel_function function;
  uint32_t prefers = 0;  // the traits (cpu_trait) for which it is the level's choice; 0: any
  uint32_t needs = 0;    // features (cpu_feature) it needs beyond its level's
};

// Whether the form's function is of its path's type, and set: checked where each level is
// defined, as reading another member of the union than the one made is no constant expression.
constexpr bool well_formed(const kernel_form& f) {
  switch (f.path) {
    case block_path::copy:
      return f.function.copy != nullptr;
    case block_path::horizontal:
    case block_path::vertical:
      return f.function.one_d != nullptr;
    case block_path::two_d:
      return f.function.two_d != nullptr;
  }
  return false;
}

// What a level's source defines as NAME_level: the features it needs and its kernels, each path
// with its preferred forms first. A constant, so that nothing of it runs before the processor
// has been asked.
struct filter_level {
  const char* name;
  uint32_t needs;  // cpu_feature bits
  const kernel_form* forms;
  size_t form_count;
  template <size_t count>
  constexpr filter_level(const char* name_, uint32_t needs_, const kernel_form (&forms_)[count])
      : name(name_), needs(needs_), forms(forms_), form_count(count) {}
  const kernel_form* begin() const { return forms; }
  const kernel_form* end() const { return forms + form_count; }
};

constexpr bool well_formed(const filter_level& level) {
  for (size_t k = 0; k < level.form_count; ++k) {
    if (!well_formed(level.forms[k])) return false;
  }
  return true;
}

// The paths of one form: its function in its path's entry, null in the others.
filter_paths form_paths(const kernel_form& form);

// Every level this build holds, lowest first, whatever this processor runs.
const std::vector<const filter_level*>& built_levels();

// The paths of `level` on processor `cpu`: each from its first form that the processor has the
// features for and whose traits it has.
filter_paths chosen_paths(const filter_level& level, const cpu_info& cpu);

// One kernel: a level's path in one of its forms, for the tests, the exhaustive check, the
// benchmarks and the fuzzer, which run each apart.
struct kernel {
  std::string name;  // level_path_variant: avx2_horizontal_maddubs, avx512_two_d_madd
  const char* level;
  block_path path;
  const char* variant;
  filter_paths paths;  // the one path set
  bool runs_here;      // whether this processor has the level's and the form's features
  std::string lacks;   // if not, what: the level, or the features the form needs beyond it
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
