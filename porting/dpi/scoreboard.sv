// A scoreboard without RTL: a stand-in model's blocks held against blockwalk's reference, call by
// call, over make_vectors' stimulus (--formats memh). A hardware bench puts its design where
// model_block runs. The sizes are the default set's; for another set or the walk, give its calls
// and its planes' bytes (planes.csv): verilator -GCALLS=1900 ...
module scoreboard;
  import blockwalk_dpi::*;

  parameter string DIR = "vectors";
  parameter int CALLS = 1559, PLANE_BYTES = 203 * 150 * 3 + 160 * 120 * 3;
  int calls [9*CALLS];                // plane, stride, height, x, y, mvx, mvy, rows, base
  byte unsigned planes [PLANE_BYTES]; // every plane, back to back
  byte unsigned block [768];          // the stand-in's block
  byte unsigned expected [768];       // the reference's
  bit [383:0] rows [16*CALLS];        // the stand-in's blocks, for check_walk
  int differing = 0;

  `include "model.vh"

  initial begin
    $readmemh({DIR, "/calls.memh"}, calls);
    $readmemh({DIR, "/planes.memh"}, planes);
    $display("reference: blockwalk %s, level %s", blockwalk_version(), blockwalk_level());
    for (int n = 0; n < CALLS; n++) begin
      int base, stride, height, x, y, mvx, mvy;
      {base, stride, height} = {calls[9*n+8], calls[9*n+1], calls[9*n+2]};
      {x, y, mvx, mvy} = {calls[9*n+3], calls[9*n+4], calls[9*n+5], calls[9*n+6]};
      model_block(base, stride, height, x, y, mvx, mvy);
      if (interpolate_block(stride, expected, planes, base, height, x, y, mvx, mvy) != 0)
        $fatal(1, "call %0d reads outside its plane", n);
      if (block != expected) begin
        differing++;
        for (int k = 0; k < 768 && differing <= 3; k++)
          if (block[k] != expected[k]) begin
            $write("call %0d (stride %0d, height %0d, x %0d, y %0d, mvx %0d, mvy %0d): ", n,
                   stride, height, x, y, mvx, mvy);
            $display("row %0d pixel %0d channel %0d: expected %0d, the model gave %0d", k / 48,
                     k % 48 / 3, k % 3, expected[k], block[k]);
            break;
          end
      end
      for (int r = 0; r < 16; r++)
        for (int b = 0; b < 48; b++) rows[16*n+r][8*b +: 8] = block[48*r+b];
    end
    $writememh({DIR, "/mine.memh"}, rows);
    if (differing != 0)
      $fatal(1, "scoreboard: %0d of %0d blocks differ from the reference", differing, CALLS);
    $display("scoreboard: all %0d blocks as the reference makes them", CALLS);
    $finish;
  end
endmodule
