/* What bench/dav1d_side_by_side takes from dav1d: one kernel of its function table. */
#ifndef BLOCKWALK_BENCH_DAV1D_TABLE_H
#define BLOCKWALK_BENCH_DAV1D_TABLE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A w x h block of 8-bit pixels at sub-pixel position (mx, my), in sixteenths. */
typedef void (*blockwalk_dav1d_put)(uint8_t* dst, ptrdiff_t dst_stride, const uint8_t* src,
                                    ptrdiff_t src_stride, int w, int h, int mx, int my);

/* The put kernel of the sharp filter at dav1d's AVX-512 level (avx512 != 0) or its AVX2 one;
 * null where this processor lacks that level. */
blockwalk_dav1d_put blockwalk_dav1d_sharp_put(int avx512);

#ifdef __cplusplus
}
#endif

#endif
