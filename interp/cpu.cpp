#include "cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

#include <cstring>
#endif

namespace {

#if defined(__x86_64__) || defined(__i386__)
// The traits of the vendor's cores and, for AMD, of the family: Zen 4 is family 19h.
uint32_t x86_traits() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return trait_full_rate_dot_products;
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  if (std::strcmp(vendor, "GenuineIntel") == 0) return trait_full_rate_dot_products;
  // AMD's cores, and any other vendor's, store masked parts and permute two sources at full
  // rate.
  uint32_t traits = trait_fast_masked_stores | trait_fast_two_source_permutes;
  unsigned family = 0;
  if (std::strcmp(vendor, "AuthenticAMD") == 0 && __get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    const unsigned base = (eax >> 8) & 0xF;
    family = base == 0xF ? base + ((eax >> 20) & 0xFF) : base;
  }
  return family == 0x19 ? traits : traits | trait_full_rate_dot_products;
}

// CPUID leaf 7, subleaf 1, EAX bit 4, read directly: not every compiler's
// __builtin_cpu_supports knows "avxvnni". The registers it uses are AVX2's, whose support by the
// operating system the test for AVX2 has already made.
bool has_avx_vnni() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid_count(7, 1, &eax, &ebx, &ecx, &edx) && (eax >> 4 & 1);
}
#endif

cpu_info ask() {
  cpu_info cpu;
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("sse2")) cpu.features |= feature_sse2;
  if (__builtin_cpu_supports("avx2")) cpu.features |= feature_avx2;
  if ((cpu.features & feature_avx2) && has_avx_vnni()) cpu.features |= feature_avx_vnni;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
      __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512vnni")) {
    cpu.features |= feature_avx512;
  }
  cpu.traits = x86_traits();
#elif defined(__aarch64__)
  cpu.features |= feature_neon;
#endif
  return cpu;
}

}  // namespace

const char* feature_name(cpu_feature feature) {
  switch (feature) {
    case feature_sse2:
      return "SSE2";
    case feature_avx2:
      return "AVX2";
    case feature_avx512:
      return "AVX-512 (F, BW, VL, VBMI, VBMI2, VNNI)";
    case feature_neon:
      return "NEON";
    case feature_avx_vnni:
      return "AVX-VNNI";
  }
  return "?";
}

const cpu_info& this_cpu() {
  static const cpu_info cpu = ask();
  return cpu;
}
