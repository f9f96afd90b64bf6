/* dav1d's put kernel of its sharp 8-tap filter for 8-bit pictures, taken from the function table
 * dav1d fills for the processor, with its flags capped at AVX2 or not. Compiled only where
 * dav1d's source and build are given (BLOCKWALK_DAV1D); its headers are dav1d's own. */
#define BITDEPTH 8
#include "src/cpu.h"
#include "src/mc.h"

#include "dav1d_table.h"

blockwalk_dav1d_put blockwalk_dav1d_sharp_put(int avx512) {
  const unsigned needs = avx512 ? DAV1D_X86_CPU_FLAG_AVX512ICL : DAV1D_X86_CPU_FLAG_AVX2;
  Dav1dMCDSPContext table;
  dav1d_init_cpu();
  dav1d_set_cpu_flags_mask(avx512 ? ~0u : ~(unsigned)DAV1D_X86_CPU_FLAG_AVX512ICL);
  if (!(dav1d_get_cpu_flags() & needs)) return 0;
  dav1d_mc_dsp_init_8bpc(&table);
  return table.mc[FILTER_2D_8TAP_SHARP];
}
