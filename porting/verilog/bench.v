// A Verilog bench over make_vectors' stimulus (--formats memh): every call of a set, or of the
// walk (make_vectors --walk), read with $readmemh, run through a model, and its blocks written
// with $writememh for check_walk. The sizes are the default set's; for another set or the walk,
// give its calls and its planes' bytes (planes.csv): iverilog -P bench.CALLS=1900 ...
module bench;
  parameter DIR = "vectors", CALLS = 1559, PLANE_BYTES = 203 * 150 * 3 + 160 * 120 * 3;
  reg signed [31:0] calls [0:9*CALLS-1];  // a call a record of 9 words: plane, stride, height,
                                          // x, y, mvx, mvy, rows, base (its plane's first byte)
  reg [7:0] planes [0:PLANE_BYTES-1];     // every plane, back to back: a byte a word
  reg [383:0] rows [0:16*CALLS-1];        // the blocks made, a row a word: byte 0 in bits 7:0
  reg [7:0] block [0:767];
  integer n, r, b;
  `include "model.vh"
  initial begin
    $readmemh({DIR, "/calls.memh"}, calls);
    $readmemh({DIR, "/planes.memh"}, planes);
    for (n = 0; n < CALLS; n = n + 1) begin
      // base, stride, height, x, y, mvx, mvy
      model_block(calls[9*n+8], calls[9*n+1], calls[9*n+2], calls[9*n+3], calls[9*n+4],
                  calls[9*n+5], calls[9*n+6]);
      for (r = 0; r < 16; r = r + 1)
        for (b = 0; b < 48; b = b + 1) rows[16*n+r][8*b +: 8] = block[48*r+b];
    end
    $writememh({DIR, "/mine.memh"}, rows);
    $finish;
  end
endmodule
