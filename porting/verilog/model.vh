// interpolate_block in behavioural Verilog-2005, written from the README's "The interpolation"
// alone, as a hardware team's model of it might be: the stand-in for a port that the example
// benches run (bench.v under Icarus, ../dpi/scoreboard.sv under Verilator). Included into a
// module that declares
//   planes [...]   the planes the calls read, back to back, a byte a word (planes.memh)
//   block [0:767]  the block model_block makes: 16 rows of 48 bytes (blue, green, red)

// The arithmetic mixes 32-bit and 64-bit signed values on purpose: Verilog extends them as it must.
// verilator lint_off WIDTH

integer t [0:19*48-1];  // the two-dimensional filter's first pass: 19 rows of 48 values
integer c0, c1, c2, c3;  // the taps of a phase, at offsets -1, 0, +1, +2

task taps(input integer phase);
  case (phase)
    0: begin c0 = 0;  c1 = 128; c2 = 0;   c3 = 0;  end
    1: begin c0 = -7; c1 = 105; c2 = 35;  c3 = -5; end
    2: begin c0 = -8; c1 = 72;  c2 = 72;  c3 = -8; end
    3: begin c0 = -5; c1 = 35;  c2 = 105; c3 = -7; end
  endcase
endtask

// Σ c_k · planes[at + k · step]: four bytes under the taps, `step` bytes apart.
function integer under_taps(input signed [63:0] at, input signed [63:0] step);
  integer p0, p1, p2, p3;  // signed, so the taps' signs count
  begin
    p0 = planes[at];
    p1 = planes[at + step];
    p2 = planes[at + 2 * step];
    p3 = planes[at + 3 * step];
    under_taps = c0 * p0 + c1 * p1 + c2 * p2 + c3 * p3;
  end
endfunction

// A fractional vector's position: the low bound first, then the high one, which wins.
function signed [63:0] clamp(input signed [63:0] p, input integer size);
  begin
    clamp = p < -15 ? -15 : p;
    if (clamp > size - 2) clamp = size - 2;
  end
endfunction

function [7:0] to_byte(input integer v);
  to_byte = v < 0 ? 8'd0 : v > 255 ? 8'd255 : v[7:0];
endfunction

// The block of interpolate_block(stride, block, plane, height, x, y, mvx, mvy), the plane's
// first byte at planes[base].
task model_block(input integer base, input integer stride, input integer height,
                       input integer x, input integer y, input integer mvx, input integer mvy);
  integer hx, vy, j, k, sum;
  reg signed [63:0] sx, sy, row, at;  // 64 bits: positions may lie far out
  begin
    hx = mvx & 3;
    vy = mvy & 3;
    sx = x;
    sy = y;
    sx = sx + (mvx >>> 2);
    sy = sy + (mvy >>> 2);
    if (hx != 0 || vy != 0) begin
      sx = clamp(sx, stride);
      sy = clamp(sy, height);
    end
    sx = sx + 16;  // the block's origin lies 16 pixels in
    sy = sy + 16;
    row = 3 * stride;  // a column past the row's end runs on into the next row
    if (hx != 0 && vy != 0) begin
      taps(hx);
      // 19 rows of the first pass, from the block's row -1 on; k runs over a row's 48 bytes
      for (j = 0; j < 19; j = j + 1) begin
        at = base + (sy - 1 + j) * row + 3 * (sx - 1);
        for (k = 0; k < 48; k = k + 1) t[48 * j + k] = (under_taps(at + k, 3) + 1) >>> 1;
      end
      taps(vy);
      for (j = 0; j < 16; j = j + 1)
        for (k = 0; k < 48; k = k + 1) begin
          sum = c0 * t[48 * j + k] + c1 * t[48 * (j + 1) + k] + c2 * t[48 * (j + 2) + k] +
                c3 * t[48 * (j + 3) + k];
          block[48 * j + k] = to_byte((sum + 4096) >>> 13);
        end
    end else begin
      taps(hx | vy);
      for (j = 0; j < 16; j = j + 1) begin
        at = base + (sy + j) * row + 3 * sx;
        for (k = 0; k < 48; k = k + 1)
          if (hx != 0)
            block[48 * j + k] = to_byte((under_taps(at + k - 3, 3) + 64) >>> 7);
          else if (vy != 0)
            block[48 * j + k] = to_byte((under_taps(at + k - row, row) + 64) >>> 7);
          else
            block[48 * j + k] = planes[at + k];
      end
    end
  end
endtask

// verilator lint_on WIDTH
