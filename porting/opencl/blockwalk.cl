// interpolate_block in OpenCL C, written from the README's "The interpolation": the reference for
// a GPU port, on the planes and calls make_vectors writes (planes.bin, calls.bin). One work-item
// per output pixel, its three channels: global size (16, 16, N) for pixel, row and call.

// The taps of each phase, at offsets -1, 0, +1, +2.
__constant int taps[4][4] = {{0, 128, 0, 0}, {-7, 105, 35, -5}, {-8, 72, 72, -8}, {-5, 35, 105, -7}};

// A fractional vector's whole-pixel position: the low bound first, then the high one, which wins
// where they cross.
long clamp_position(long p, long high) {
  if (p < -15) p = -15;
  if (p > high) p = high;
  return p;
}

// Σ c_k · plane[at + (k - 1) · step] for the taps c of a phase: four bytes under the taps.
int under_taps(__global const uchar* plane, long at, long step, int phase) {
  return taps[phase][0] * plane[at - step] + taps[phase][1] * plane[at] +
         taps[phase][2] * plane[at + step] + taps[phase][3] * plane[at + 2 * step];
}

// calls: a record of 9 ints a call: plane, stride, height, x, y, mvx, mvy, rows, base (its plane's
// first byte in planes). blocks: 768 bytes a call, 16 rows of 48 (blue, green, red).
__kernel void interpolate_blocks(__global const uchar* planes, __global const int* calls,
                                 __global uchar* blocks) {
  const int i = get_global_id(0), r = get_global_id(1);
  const size_t n = get_global_id(2);
  __global const int* call = calls + 9 * n;
  const int stride = call[1], height = call[2], mvx = call[5], mvy = call[6];
  __global const uchar* plane = planes + call[8];
  const int hx = mvx & 3, vy = mvy & 3;
  // The whole parts round toward -infinity; in 64 bits, a position may pass 2^31.
  long px = (long)call[3] + (mvx >> 2), py = (long)call[4] + (mvy >> 2);
  if (hx != 0 || vy != 0) {
    px = clamp_position(px, stride - 2L);
    py = clamp_position(py, height - 2L);
  }
  // The source pixel of this output pixel: the block's origin lies 16 pixels in. One index of
  // the plane's bytes: a column past the row's end runs on into the next row, as the contract
  // reads it (an image sampler that clamps to the edge does not).
  const long row = 3L * stride;
  const long at = (py + 16 + r) * row + 3 * (px + 16 + i);
  __global uchar* out = blocks + 768 * n + 48 * r + 3 * i;
  for (int ch = 0; ch < 3; ++ch) {
    const long p = at + ch;
    int v;
    if (hx != 0 && vy != 0) {
      // The first pass on the four rows under the vertical taps, each rounded and halved; then
      // the second.
      int sum = 0;
      for (int k = 0; k < 4; ++k) {
        sum += taps[vy][k] * ((under_taps(plane, p + (k - 1) * row, 3, hx) + 1) >> 1);
      }
      v = (sum + 4096) >> 13;
    } else if (hx != 0) {
      v = (under_taps(plane, p, 3, hx) + 64) >> 7;
    } else if (vy != 0) {
      v = (under_taps(plane, p, row, vy) + 64) >> 7;
    } else {
      v = plane[p];
    }
    out[ch] = (uchar)clamp(v, 0, 255);
  }
}
