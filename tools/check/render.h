// The checking tools' own rendering of the interpolation: the formulas once more, byte by byte
// with every step kept for --explain, and with a switch for each fault that ports of the routine
// commonly have, for the diagnosis. The expected blocks themselves come from the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "call.h"
#include "faults.h"

// A plane's bytes; rows of 3 * stride bytes, but a footprint may run from one into the next.
struct plane_view {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// One byte of a block and how it came about. The source pixels form a grid of one row or four
// (vertical taps) by one column or four (horizontal taps); what the path does not use is left
// as it was.
struct byte_derivation {
  int rows = 1, columns = 1;
  int64_t index[4][4] = {};   // [row][column]: the source bytes' offsets in the plane
  int32_t source[4][4] = {};  // and their values
  int32_t h_taps[4] = {}, v_taps[4] = {};
  int32_t pass1_sum[4] = {}, pass1[4] = {};  // the two-dimensional filter's first pass, per row
  int32_t sum = 0;                           // the last sum, before its rounding
  int32_t offset = 0, shift = 0;             // which is (sum + offset) >> shift
  int32_t rounded = 0;
  int value = 0;  // the byte: rounded, clamped (or wrapped)
};

// Where a port with `faults` places the call's block: the routine's placement (model.h), altered
// by the faults of the split, the phases and the clamp.
placement faulty_place(const block_call& call, const fault_switches& faults);

// Whether a port with `faults` reads no byte of the plane for the block at `where`: every
// derive_byte of it would fail.
bool reads_nothing(const plane_view& plane, const block_call& call, const placement& where,
                   const fault_switches& faults);

// Derives byte (row, pixel, channel) of the block at `where`; false where a source byte lies
// outside the plane.
bool derive_byte(const plane_view& plane, const block_call& call, const placement& where,
                 const fault_switches& faults, int row, int pixel, int channel, byte_derivation* d);
