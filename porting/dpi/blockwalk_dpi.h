// The C side of the SystemVerilog package blockwalk_dpi (blockwalk_dpi.sv): what it imports
// from blockwalk_dpi.c. Compiled with the bench, by the simulator, whose svdpi.h it includes.
// Valid C99 and C++17 (Verilator compiles a .c file as C++); the function has C linkage.
#ifndef BLOCKWALK_DPI_H
#define BLOCKWALK_DPI_H

#include <svdpi.h>

#ifdef __cplusplus
extern "C" {
#endif

// The package's interpolate_block: the block of interpolate_block(stride, block, plane, height,
// x, y, mvx, mvy) with the plane's first byte at element `base` of the open array `planes`.
// 0; or -1, and a block of zeros, where the array does not hold the call's footprint from base
// on (nor is of one dimension indexed from 0), or stride is below 1.
int blockwalk_dpi_interpolate_block(int stride, unsigned char* block,
                                    const svOpenArrayHandle planes, int base, int height, int x,
                                    int y, int mvx, int mvy);

#ifdef __cplusplus
}
#endif

#endif
