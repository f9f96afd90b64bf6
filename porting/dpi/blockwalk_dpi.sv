// blockwalk's reference inside a SystemVerilog bench: after `import blockwalk_dpi::*;` one call
// gives the block the library makes, for a scoreboard to hold a model's blocks against. Its C
// side is blockwalk_dpi.c, compiled with the bench, and the library (pkg-config blockwalk).
package blockwalk_dpi;

  // The block of interpolate_block(stride, block, plane, height, x, y, mvx, mvy), the plane's
  // first byte at planes[base] (one array may hold several planes, as planes.memh does): 16 rows
  // of 48 bytes, blue, green, red, row 0 first. Returns 0; or -1, the block all zero, where the
  // array (of one dimension, declared [N] or [0:N-1]) does not hold every byte the call reads
  // from base on, or stride is below 1.
  import "DPI-C" blockwalk_dpi_interpolate_block =
  function int interpolate_block(input int stride, output byte unsigned block[768],
                                 input byte unsigned planes[], input int base, input int height,
                                 input int x, input int y, input int mvx, input int mvy);

  // The library's version ("0.2.0") and the vector level it uses on this processor ("avx2").
  import "DPI-C" function string blockwalk_version();
  import "DPI-C" function string blockwalk_level();

endpackage
