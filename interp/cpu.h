// The processor, as the levels of the interpolation need to know it: the instruction sets a
// level's source is built for (features), and the rates at which it runs some operations
// (traits), which choose among the forms of a level's kernels. Read once.
#pragma once

#include <cstdint>

enum cpu_feature : uint32_t {
  feature_sse2 = 1u << 0,
  feature_avx2 = 1u << 1,
  feature_avx512 = 1u << 2,    // F, BW, VL, VBMI, VBMI2, VNNI: Ice Lake and later Intel, Zen 4 on
  feature_neon = 1u << 3,      // every 64-bit Arm processor
  feature_avx_vnni = 1u << 4,  // VEX-coded dot products: Alder Lake and later Intel clients, Zen 5
};

enum cpu_trait : uint32_t {
  // A masked store as fast as a whole one (AMD's cores; Intel's take twice as long).
  trait_fast_masked_stores = 1u << 0,
  // A two-source byte permute in one operation (AMD's; Intel's take two).
  trait_fast_two_source_permutes = 1u << 1,
  // Dot products (VNNI) at full rate (all but Zen 4, which runs them at half rate).
  trait_full_rate_dot_products = 1u << 2,
};

struct cpu_info {
  uint32_t features = 0;  // cpu_feature bits
  uint32_t traits = 0;    // cpu_trait bits
};

// What a feature is called: "AVX-VNNI".
const char* feature_name(cpu_feature feature);

// This processor, asked once.
const cpu_info& this_cpu();
