#include "interpolate.h"

#if BLOCKWALK_HAVE_AVX512
#include <cpuid.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "paths.h"

const int32_t filter_taps[4][4] = {
    {0, 128, 0, 0},
    {-7, 105, 35, -5},
    {-8, 72, 72, -8},
    {-5, 35, 105, -7},
};

#if BLOCKWALK_HAVE_AVX512
namespace {

enum class x86_family { intel, zen4, other };  // other: later AMD cores, or unknown

// Intel's cores, AMD's Zen 4 (family 19h, the only one of it with AVX-512), or another.
x86_family processor_family() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return x86_family::other;
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  if (std::strcmp(vendor, "GenuineIntel") == 0) return x86_family::intel;
  if (std::strcmp(vendor, "AuthenticAMD") != 0 || !__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    return x86_family::other;
  }
  const unsigned base = (eax >> 8) & 0xF;
  const unsigned family = base == 0xF ? base + ((eax >> 20) & 0xFF) : base;
  return family == 0x19 ? x86_family::zen4 : x86_family::other;
}

}  // namespace
#endif

const std::vector<filter_impl>& filter_impls() {
  static const std::vector<filter_impl> impls = [] {
    std::vector<filter_impl> found{
        {"scalar", {copy_scalar, horizontal_scalar, vertical_scalar, two_d_scalar}}};
#if BLOCKWALK_HAVE_SSE2
    found.push_back({"sse2", {nullptr, nullptr, nullptr, two_d_sse2}});
#endif
#if BLOCKWALK_HAVE_AVX2
    if (__builtin_cpu_supports("avx2")) {
      found.push_back({"avx2", {nullptr, horizontal_avx2, vertical_avx2, two_d_avx2}});
    }
#endif
#if BLOCKWALK_HAVE_AVX512
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
        __builtin_cpu_supports("avx512vnni")) {
      // Three paths have a form for each family of cores, as llvm-mca's models of them and
      // measurements on Zen 5 chose: Intel's cores store whole registers at twice the rate of
      // masked parts and run two-source permutes as two operations; Zen 4 runs dot products
      // at half rate. The other forms come first, under a name of their own, so that the
      // tests and the check run them too.
      const x86_family family = processor_family();
      const bool intel = family == x86_family::intel, zen4 = family == x86_family::zen4;
      found.push_back({"avx512-other",
                       {intel ? copy_avx512_masked : copy_avx512,
                        intel ? horizontal_avx512_in_order : horizontal_avx512, nullptr,
                        zen4 ? two_d_avx512 : two_d_avx512_madd}});
      found.push_back({"avx512",
                       {intel ? copy_avx512 : copy_avx512_masked,
                        intel ? horizontal_avx512 : horizontal_avx512_in_order, vertical_avx512,
                        zen4 ? two_d_avx512_madd : two_d_avx512}});
    }
#endif
#if BLOCKWALK_HAVE_NEON
    found.push_back({"neon", {nullptr, horizontal_neon, vertical_neon, two_d_neon}});
#endif
    return found;
  }();
  return impls;
}

const std::vector<const char*>& known_levels() {
#if defined(__x86_64__) || defined(__i386__)
  static const std::vector<const char*> levels{"scalar", "sse2", "avx2", "avx512"};
#elif defined(__aarch64__)
  static const std::vector<const char*> levels{"scalar", "neon", "dotprod", "i8mm"};
#else
  static const std::vector<const char*> levels{"scalar"};
#endif
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
  // Another form of a level ("avx512-other") ranks with the level.
  const auto level_of = [](const char* name) {
    return std::string(name).substr(0, std::strcspn(name, "-"));
  };
  size_t count = 0;
  while (count < impls.size() && rank(level_of(impls[count].name).c_str()) <= highest) ++count;
  return count;
}

filter_paths combine_paths(const std::vector<filter_impl>& impls, size_t count) {
  filter_paths paths{};
  for (size_t i = 0; i < count; ++i) {
    const filter_paths& p = impls[i].paths;
    if (p.copy) paths.copy = p.copy;
    if (p.horizontal) paths.horizontal = p.horizontal;
    if (p.vertical) paths.vertical = p.vertical;
    if (p.two_d) paths.two_d = p.two_d;
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

namespace {

// The paths interpolate_block calls, once chosen: a single load on every call after the first.
// What they point to is made once, thread-safely; any thread may find it and store it.
std::atomic<const filter_paths*> chosen{nullptr};

}  // namespace

// The first call chooses, then starts again; apart, so that the calls after it save nothing.
[[gnu::noinline, gnu::cold]] static void choose_and_interpolate(int32_t stride, uint8_t* dst,
                                                                const uint8_t* src, int32_t height,
                                                                int32_t x, int32_t y, int32_t mvx,
                                                                int32_t mvy) {
  chosen.store(&active_paths(), std::memory_order_release);
  interpolate_block(stride, dst, src, height, x, y, mvx, mvy);
}

void interpolate_block(int32_t stride, uint8_t* dst, const uint8_t* src, int32_t height, int32_t x,
                       int32_t y, int32_t mvx, int32_t mvy) {
  // The scalar rendering gives every path, so none is missing.
  const filter_paths* paths = chosen.load(std::memory_order_acquire);
  if (!paths) return choose_and_interpolate(stride, dst, src, height, x, y, mvx, mvy);
  // 64-bit positions: no vector or stride, however odd, can overflow them.
  int64_t px = int64_t{x} + (mvx >> 2);
  int64_t py = int64_t{y} + (mvy >> 2);
  const int hx = mvx & 3;
  const int vy = mvy & 3;
  const ptrdiff_t row = static_cast<ptrdiff_t>(stride) * 3;
  const auto origin = [&] { return src + (py + block_margin) * row + (px + block_margin) * 3; };

  if (hx == 0 && vy == 0) return paths->copy(dst, origin(), row);

  // A fractional block stays where its footprint touches the picture; the upper bound wins.
  if (px < -15) px = -15;
  if (py < -15) py = -15;
  if (px > int64_t{stride} - 2) px = int64_t{stride} - 2;
  if (py > int64_t{height} - 2) py = int64_t{height} - 2;

  if (vy == 0) return paths->horizontal(dst, origin(), row, hx);
  if (hx == 0) return paths->vertical(dst, origin(), row, vy);
  paths->two_d(dst, origin(), row, hx, vy);
}
