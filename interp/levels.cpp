#include "levels.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "built_levels.h"
#include "model.h"

#define BLOCKWALK_DECLARE_LEVEL(name) extern const filter_level name##_level;
BLOCKWALK_BUILT_LEVELS(BLOCKWALK_DECLARE_LEVEL)
#undef BLOCKWALK_DECLARE_LEVEL

namespace {

// `take` on each path of `to` and `from` in turn: copy, horizontal, vertical, two_d.
template <typename F>
void each_path(filter_paths& to, const filter_paths& from, F take) {
  take(to.copy, from.copy);
  take(to.horizontal, from.horizontal);
  take(to.vertical, from.vertical);
  take(to.two_d, from.two_d);
}

// What a processor without `missing` (cpu_feature bits) lacks: "AVX-VNNI".
std::string lacking(uint32_t missing) {
  std::string names;
  for (uint32_t bit = 1; bit; bit <<= 1) {
    if (missing & bit) {
      names += (names.empty() ? "" : ", ") + std::string(feature_name(cpu_feature(bit)));
    }
  }
  return names;
}

}  // namespace

const std::vector<const filter_level*>& built_levels() {
#define BLOCKWALK_LEVEL_ADDRESS(name) &name##_level,
  static const std::vector<const filter_level*> levels{
      BLOCKWALK_BUILT_LEVELS(BLOCKWALK_LEVEL_ADDRESS)};
#undef BLOCKWALK_LEVEL_ADDRESS
  return levels;
}

filter_paths form_paths(const kernel_form& form) {
  filter_paths paths{};
  switch (form.path) {
    case block_path::copy:
      paths.copy = form.function.copy;
      break;
    case block_path::horizontal:
      paths.horizontal = form.function.one_d;
      break;
    case block_path::vertical:
      paths.vertical = form.function.one_d;
      break;
    case block_path::two_d:
      paths.two_d = form.function.two_d;
      break;
  }
  return paths;
}

filter_paths chosen_paths(const filter_level& level, const cpu_info& cpu) {
  filter_paths paths{};
  for (const kernel_form& f : level) {
    if ((f.prefers & cpu.traits) != f.prefers || (f.needs & cpu.features) != f.needs) continue;
    each_path(paths, form_paths(f), [](auto& to, auto from) {
      if (!to) to = from;
    });
  }
  return paths;
}

const std::vector<kernel>& every_kernel() {
  static const std::vector<kernel> kernels = [] {
    std::vector<kernel> found;
    const uint32_t features = this_cpu().features;
    for (const filter_level* level : built_levels()) {
      const uint32_t missing = level->needs & ~features;
      for (const kernel_form& f : *level) {
        const uint32_t form_missing = f.needs & ~features;
        found.push_back({std::string(level->name) + "_" + path_name(f.path) + "_" + f.variant,
                         level->name, f.path, f.variant, form_paths(f), !missing && !form_missing,
                         missing ? level->name : lacking(form_missing)});
      }
    }
    return found;
  }();
  return kernels;
}

const std::vector<filter_impl>& filter_impls() {
  static const std::vector<filter_impl> impls = [] {
    const cpu_info& cpu = this_cpu();
    std::vector<filter_impl> found;
    for (const filter_level* level : built_levels()) {
      if ((level->needs & cpu.features) != level->needs) continue;
      found.push_back({level->name, chosen_paths(*level, cpu)});
    }
    return found;
  }();
  return impls;
}

const std::vector<const char*>& known_levels() {
  static const std::vector<const char*> levels{BLOCKWALK_KNOWN_LEVELS};
  return levels;
}

size_t admitted_impls(const std::vector<filter_impl>& impls, const char* cap, bool* unknown) {
  *unknown = false;
  if (!cap || !*cap) return impls.size();
  const auto& levels = known_levels();
  const auto rank = [&](const char* name) {
    for (size_t i = 0; i < levels.size(); ++i) {
      if (std::strcmp(levels[i], name) == 0) return i;
    }
    return levels.size();
  };
  const size_t highest = rank(cap);
  if (highest == levels.size()) {
    *unknown = true;
    return 1;
  }
  size_t count = 0;
  while (count < impls.size() && rank(impls[count].name) <= highest) ++count;
  return count;
}

filter_paths combine_paths(const std::vector<filter_impl>& impls, size_t count) {
  filter_paths paths{};
  for (size_t i = 0; i < count; ++i) {
    each_path(paths, impls[i].paths, [](auto& to, auto from) {
      if (from) to = from;
    });
  }
  return paths;
}

namespace {

struct active_choice {
  filter_paths paths;
  const char* level;
};

const active_choice& active() {
  static const active_choice choice = [] {
    const std::vector<filter_impl>& impls = filter_impls();
    const char* cap = std::getenv("BLOCKWALK_ISA");
    bool unknown = false;
    const size_t count = admitted_impls(impls, cap, &unknown);
    if (unknown) {
      std::string names;
      for (const char* level : known_levels())
        names += std::string(names.empty() ? "" : ", ") + level;
      std::fprintf(stderr, "blockwalk: BLOCKWALK_ISA=%s is none of %s; using scalar\n", cap,
                   names.c_str());
    }
    return active_choice{combine_paths(impls, count), impls[count - 1].name};
  }();
  return choice;
}

}  // namespace

const filter_paths& active_paths() {
  return active().paths;
}

const char* active_level() {
  return active().level;
}
