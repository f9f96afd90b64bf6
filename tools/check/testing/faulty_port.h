// For the tests: a port of interpolate_block with deliberate faults, the kinds the checking tools
// must recognise, switched as the rendering's are. Written apart from that rendering, from the
// formulas alone.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "check_set.h"
#include "faults.h"
#include "interpolate.h"

// Faults beyond the catalogue's, which the check must find by locating the blocks: where the port
// took them from, and how it read the plane.
struct port_only {
  bool plane_rows_reversed = false;  // the plane read top row first (write_faulty_files reverses
                                     // its rows once for every block)
  bool edge_clamped = false;    // a pixel outside the plane reads its nearest, not the next row's
  bool signed_bytes = false;    // bytes read as signed char; a copy keeps the bits
  bool no_origin = false;       // the block's origin, 16 pixels in, left out
  bool axes_exchanged = false;  // x with y and mvx with mvy
  bool components_exchanged = false;  // mvx with mvy
  bool sign_and_magnitude = false;    // whole part mv / 4, phase |mv % 4|
  bool clamp_before_whole_part = false;
  bool fractional_axis_clamped = false;  // only an axis with a fractional phase clamped
  bool position_in_32_bits = false;      // 4 x + mv summed in 32 bits, wrapping
};

// The words faulty_walk takes for them, each alone, and the fault each sets.
inline const std::vector<std::pair<const char*, bool port_only::*>>& port_only_words() {
  static const std::vector<std::pair<const char*, bool port_only::*>> words = {
      {"plane_rows_reversed", &port_only::plane_rows_reversed},
      {"edge_clamped", &port_only::edge_clamped},
      {"signed_bytes", &port_only::signed_bytes},
      {"no_origin", &port_only::no_origin},
      {"axes_exchanged", &port_only::axes_exchanged},
      {"components_exchanged", &port_only::components_exchanged},
      {"sign_and_magnitude", &port_only::sign_and_magnitude},
      {"clamp_before_whole_part", &port_only::clamp_before_whole_part},
      {"fractional_axis_clamped", &port_only::fractional_axis_clamped},
      {"position_in_32_bits", &port_only::position_in_32_bits},
  };
  return words;
}

// Faults of the arithmetic that no switch of the rendering names, as ports written elsewhere had
// them: the fit (fit.h) must find them from the bytes alone.
struct port_arithmetic {
  bool byte_taps = false;       // the horizontal taps step by bytes: the row as a flat byte array
  bool vertical_first = false;  // the two-dimensional filter's vertical pass runs first
  int first_shift = 1;          // its 2^14 taken as >> first_shift, then the rest
  bool uint16_intermediate = false;  // T stored in uint16_t
  bool fp16_intermediate = false;    // T in half precision, its fraction kept, as a shader's half
  bool logical_shift = false;  // the first pass's sums in 16-bit lanes, shifted logically (psrlw)
  bool first_pass_lanes = false;   // the first pass's sums in 16-bit lanes that wrap (paddw)
  bool second_pass_lanes = false;  // the second pass's sums in 16-bit lanes that wrap
  bool wrapping_sums = false;      // a one-dimensional sum and its offset in 16-bit lanes (paddw)
  bool int16_sum = false;          // a one-dimensional sum in an int16_t, its offset added in int
  int rows_written = 16;           // the block's rows from this one on are left as they were
  int intermediate_rows = 19;      // T keeps this many rows (of 19); the rest read 0
};

// One of them as faulty_walk names it, "split 2" or "rows_written 15", into `a`; false where
// `words` name no such fault; throws where its value is not one it takes.
inline bool port_arithmetic_of(const std::vector<std::string>& words, port_arithmetic* a) {
  const auto value = [&](int low, int high) {
    const int v = words.size() == 2 ? std::atoi(words[1].c_str()) : low - 1;
    if (v < low || v > high) {
      throw std::invalid_argument(words[0] + " takes one value, " + std::to_string(low) + " ... " +
                                  std::to_string(high));
    }
    return v;
  };
  const std::string& name = words.at(0);
  const struct {
    const char* name;
    bool port_arithmetic::*flag;
  } flags[] = {{"byte_taps", &port_arithmetic::byte_taps},
               {"vertical_first", &port_arithmetic::vertical_first},
               {"uint16_intermediate", &port_arithmetic::uint16_intermediate},
               {"fp16_intermediate", &port_arithmetic::fp16_intermediate},
               {"logical_shift", &port_arithmetic::logical_shift},
               {"first_pass_lanes", &port_arithmetic::first_pass_lanes},
               {"second_pass_lanes", &port_arithmetic::second_pass_lanes},
               {"wrapping_sums", &port_arithmetic::wrapping_sums},
               {"int16_sum", &port_arithmetic::int16_sum}};
  for (const auto& f : flags) {
    if (name != f.name) continue;
    if (words.size() != 1) throw std::invalid_argument(name + " takes no value");
    a->*f.flag = true;
    return true;
  }
  if (name == "split") return a->first_shift = value(0, 14), true;
  if (name == "rows_written") return a->rows_written = value(0, 15), true;
  if (name == "intermediate_rows") return a->intermediate_rows = value(0, 18), true;
  return false;
}

// A port's faults: the catalogue's, its own, its arithmetic's, and a shift of its files.
struct port_faults {
  fault_switches switches;
  port_only own;
  port_arithmetic arithmetic;
  int shift = 0;
};

// The switches of the fault a test names, in faulty_walk's words (the catalogue's fields, in
// order): injected("rounding", {"2", "0"}), injected("rounding_mode", {"both", "half_even"}).
inline fault_switches injected(const std::string& name,
                               const std::vector<std::string>& words = {}) {
  std::vector<std::string> all = {name};
  all.insert(all.end(), words.begin(), words.end());
  diagnosed_fault fault;
  std::string error;
  if (!parse_fault(all, &fault, &error)) throw std::invalid_argument(error);
  return fault.switches;
}

// A port's faults as faulty_walk's command line gives them: FAULT [VALUE ...], or several such
// joined by "+" ("vector_split h + vector_split v"): the catalogue's, with their fields, the
// port's own (port_only_words), alone, and its arithmetic's (port_arithmetic_of).
inline port_faults injected_port(const std::vector<std::string>& words) {
  port_faults port;
  for (auto from = words.begin(); from != words.end();) {
    const auto to = std::find(from, words.end(), std::string("+"));
    if (from == to) throw std::invalid_argument("a fault missing around '+'");
    const auto own = std::find_if(port_only_words().begin(), port_only_words().end(),
                                  [&](const auto& w) { return *from == w.first; });
    if (own != port_only_words().end() && to == from + 1) {
      port.own.*(own->second) = true;
    } else if (!port_arithmetic_of({from, to}, &port.arithmetic)) {
      diagnosed_fault fault;
      std::string error;
      if (!parse_fault({from, to}, &fault, &error)) throw std::invalid_argument(error);
      if (fault.fault == &::fault("shifted_files") && !fault.values.empty()) {
        port.shift = static_cast<int>(std::get<int64_t>(fault.values[0]));
      }
      if (!combine_switches(port.switches, fault.switches, &port.switches)) {
        throw std::invalid_argument("two faults set the same switch");
      }
    }
    from = to == words.end() ? to : to + 1;
  }
  return port;
}

// The catalogue's switches of such words; the shift of shifted_files BY in `shift`.
inline fault_switches injected_words(const std::vector<std::string>& words, int* shift) {
  const port_faults port = injected_port(words);
  *shift = port.shift;
  return port.switches;
}

// Whether some fault of `diagnosis` reads with every one of `parts` (a pair names both of its own).
inline bool named(const std::vector<diagnosed_fault>& diagnosis,
                  const std::vector<std::string>& parts) {
  return std::any_of(diagnosis.begin(), diagnosis.end(), [&](const diagnosed_fault& f) {
    const std::string text = fault_text(f);
    return std::all_of(parts.begin(), parts.end(), [&](const std::string& part) {
      return text.find(part) != std::string::npos;
    });
  });
}

// The same with numbers alone: injected("rounding", {2, 0}).
inline fault_switches injected(const std::string& name, const std::vector<int>& values) {
  std::vector<std::string> words;
  for (const int n : values) words.push_back(std::to_string(n));
  return injected(name, words);
}

// A quotient computed in floating point, as a shader would, rounded by `mode`; ours (and
// half_up) is floor(q + 1/2).
inline int64_t float_round(double q, round_mode mode) {
  switch (mode) {
    case round_mode::half_even:
      return static_cast<int64_t>(std::nearbyint(q));  // the default rounding mode
    case round_mode::half_away_from_zero:
      return static_cast<int64_t>(std::round(q));
    case round_mode::toward_zero:
      return static_cast<int64_t>(q);
    default:
      return static_cast<int64_t>(std::floor(q + 0.5));
  }
}

// A float as half precision holds it: 10 bits after the leading one, to nearest, ties to even
// (for the values of a first pass, none of which is subnormal or beyond 65504).
inline float half_precision(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const uint32_t dropped = 13, unit = uint32_t{1} << dropped, rest = bits & (unit - 1);
  bits -= rest;
  if (rest > unit / 2 || (rest == unit / 2 && (bits & unit))) bits += unit;
  std::memcpy(&value, &bits, sizeof bits);
  return value;
}

// Fills `dst` as interpolate_block would with the fault; false where the fault makes it read
// outside the `size` bytes of `src`.
inline bool faulty_interpolate(int32_t stride, uint8_t* dst, const uint8_t* src, size_t size,
                               int32_t height, int32_t x, int32_t y, int32_t mvx, int32_t mvy,
                               const fault_switches& f, const port_only& own = {},
                               const port_arithmetic& a = {}) {
  const int64_t plane_rows = static_cast<int64_t>(size / 3) / stride;
  if (own.axes_exchanged) std::swap(x, y);
  if (own.axes_exchanged || own.components_exchanged) std::swap(mvx, mvy);
  const auto floor_div = [](int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
  const auto whole = [&](int32_t mv, int axis) {
    return f.vector_split[axis] || own.sign_and_magnitude ? mv / 4 : floor_div(mv, 4);
  };
  int hx = mvx & 3, vy = mvy & 3;
  if (own.sign_and_magnitude) hx = std::abs(mvx % 4), vy = std::abs(mvy % 4);
  if (f.phases_swapped) std::swap(hx, vy);
  int64_t px = int64_t{x} + whole(mvx, 0), py = int64_t{y} + whole(mvy, 1);
  if (own.position_in_32_bits) {
    const auto wrapped = [](int32_t p, int32_t mv) {
      return static_cast<int32_t>(4u * static_cast<uint32_t>(p) + static_cast<uint32_t>(mv));
    };
    px = wrapped(x, mvx) >> 2, py = wrapped(y, mvy) >> 2;
  }
  const auto& delta = f.clamp_bounds;
  const auto clamp_x = [&](int64_t p) {
    return std::min<int64_t>(std::max<int64_t>(p, -15 + delta[0][0]), stride - 2 + delta[0][1]);
  };
  const auto clamp_y = [&](int64_t p) {
    return std::min<int64_t>(std::max<int64_t>(p, -15 + delta[1][0]), height - 2 + delta[1][1]);
  };
  if ((hx || vy || f.copy_clamp) && !f.no_position_clamp) {
    if (own.clamp_before_whole_part) {
      px = clamp_x(x) + whole(mvx, 0), py = clamp_y(y) + whole(mvy, 1);
    } else if (own.fractional_axis_clamped) {
      if (hx) px = clamp_x(px);
      if (vy) py = clamp_y(py);
    } else {
      px = clamp_x(px), py = clamp_y(py);
    }
  }
  px += f.source_offset[0], py += f.source_offset[1];
  if (own.no_origin) px -= block_margin, py -= block_margin;
  const int h_phase = f.taps[0] >= 0 ? f.taps[0] : hx;
  const int v_phase = f.taps[1] >= 0 ? f.taps[1] : vy;
  const int64_t row =
      f.row_stride_padded ? (int64_t{stride} * 3 + 3) / 4 * 4 : int64_t{stride} * 3 + f.row_stride;
  bool inside = true;
  const auto pixel = [&](int64_t c, int64_t r, int ch) -> int64_t {
    c += block_margin, r += block_margin;
    if (own.edge_clamped) {
      c = std::min<int64_t>(std::max<int64_t>(c, 0), stride - 1);
      r = std::min<int64_t>(std::max<int64_t>(r, 0), plane_rows - 1);
    }
    const int64_t at = r * row + c * 3 + ch;
    if (at < 0 || static_cast<uint64_t>(at) >= size) {
      inside = false;
      return 0;
    }
    // A copy keeps the bits; the filters take a signed char's value.
    return own.signed_bytes && (hx || vy) ? static_cast<int8_t>(src[at]) : src[at];
  };
  // The source under horizontal tap k (-1 ... 2) of pixel c: k pixels on, or k bytes.
  const auto along = [&](int64_t c, int64_t r, int ch, int k) {
    if (!a.byte_taps) return pixel(c + k, r, ch);
    const int64_t at = ch + k, pixels = at < 0 ? -1 : at / 3;
    return pixel(c + pixels, r, static_cast<int>(at - 3 * pixels));
  };
  const auto finish = [&](int64_t v) -> uint8_t {
    if (f.no_clamp) return static_cast<uint8_t>(v & 255);
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  };
  // A 16-bit lane's bits, read as signed.
  const auto signed16 = [](uint16_t lane) {
    int16_t v = 0;
    std::memcpy(&v, &lane, sizeof v);
    return int64_t{v};
  };
  const int s1 = a.first_shift, s2 = 14 - s1;
  for (int r = 0; r < a.rows_written; ++r) {
    for (int i = 0; i < block_size; ++i) {
      for (int ch = 0; ch < 3; ++ch) {
        const int64_t c = px + i, rr = py + r;
        int64_t v = 0;
        if (!hx && !vy) {
          v = pixel(c, rr, ch);
        } else if ((!vy || !hx) && !f.two_pass_1d) {
          int64_t sum = 0;
          uint16_t lane = 0;
          for (int k = -1; k <= 2; ++k) {
            const int64_t product = !vy ? filter_taps[h_phase][k + 1] * along(c, rr, ch, k)
                                        : filter_taps[v_phase][k + 1] * pixel(c, rr + k, ch);
            sum += product;
            lane = static_cast<uint16_t>(lane + product);
          }
          if (a.wrapping_sums) {
            v = finish(floor_div(signed16(static_cast<uint16_t>(lane + 64)), 128));
          } else if (a.int16_sum) {
            v = finish(floor_div(signed16(static_cast<uint16_t>(sum)) + 64, 128));
          } else {
            v = finish(f.rounding_mode[0] != round_mode::ours
                           ? float_round(sum / 128.0, f.rounding_mode[0])
                           : floor_div(sum + f.rounding_1d, 128));
          }
        } else if (f.narrow_intermediate == 8) {
          // The one-dimensional filter twice, through bytes.
          const auto to_byte = [](int64_t n) {
            return std::min<int64_t>(std::max<int64_t>(n, 0), 255);
          };
          int64_t sum = 0;
          for (int j = -1; j <= 2; ++j) {
            int64_t first = 0;
            for (int k = -1; k <= 2; ++k) {
              first += f.narrow_first == 0 ? filter_taps[h_phase][k + 1] * pixel(c + k, rr + j, ch)
                                           : filter_taps[v_phase][k + 1] * pixel(c + j, rr + k, ch);
            }
            sum += filter_taps[f.narrow_first == 0 ? v_phase : h_phase][j + 1] *
                   to_byte(floor_div(first + 64, 128));
          }
          v = finish(to_byte(floor_div(sum + 64, 128)));
        } else {
          int64_t sum = 0;
          double half_sum = 0;  // of the half-precision intermediate
          const bool wide = f.exact_intermediate != round_mode::ours || f.narrow_intermediate;
          // Pass 1 along rows (taps h) or, vertical first, down columns (taps v); pass 2 across
          // its four results.
          const int32_t* first_taps = filter_taps[a.vertical_first ? v_phase : h_phase];
          const int32_t* second_taps = filter_taps[a.vertical_first ? h_phase : v_phase];
          for (int j = -1; j <= 2; ++j) {
            int64_t first = 0;
            for (int k = -1; k <= 2; ++k) {
              first += first_taps[k + 1] *
                       (a.vertical_first ? along(c, rr + k, ch, j) : along(c, rr + j, ch, k));
            }
            const int64_t offset = s1 ? int64_t{1} << (s1 - 1) : 0;
            int64_t t = s1 == 1 ? floor_div(first + f.rounding_pass1, 2)
                                : floor_div(first + offset, int64_t{1} << s1);
            if (f.exact_intermediate != round_mode::ours) t = first;
            if (f.narrow_intermediate == 16)
              t = std::min<int64_t>(std::max<int64_t>(first, -32768), 32767);
            if (f.division) t = (first + f.rounding_pass1) / 2;
            if (f.rounding_mode[1] != round_mode::ours)
              t = float_round(first / 2.0, f.rounding_mode[1]);
            if (a.uint16_intermediate) t = static_cast<uint16_t>(t);
            if (a.logical_shift) t = static_cast<uint16_t>(first + offset) >> s1;
            if (a.first_pass_lanes) {
              t = floor_div(signed16(static_cast<uint16_t>(first + offset)), int64_t{1} << s1);
            }
            // Intermediate row r + j + 1 of the block's 19.
            if (!a.vertical_first && r + j + 1 >= a.intermediate_rows) t = 0;
            sum += second_taps[j + 1] * t;
            half_sum += second_taps[j + 1] *
                        double{half_precision(static_cast<float>(first) / float(1 << s1))};
          }
          if (a.second_pass_lanes) {
            const int64_t offset = s2 ? int64_t{1} << (s2 - 1) : 0;
            v = finish(floor_div(signed16(static_cast<uint16_t>(sum + offset)), int64_t{1} << s2));
          } else if (a.fp16_intermediate) {
            v = finish(static_cast<int64_t>(std::floor(half_sum / (1 << s2) + 0.5)));
          } else if (wide) {
            v = finish(float_round(sum / 16384.0, f.exact_intermediate));
          } else if (f.rounding_mode[2] != round_mode::ours) {
            v = finish(float_round(sum / 8192.0, f.rounding_mode[2]));
          } else if (s2 != 13) {
            v = finish(floor_div(sum + (s2 ? int64_t{1} << (s2 - 1) : 0), int64_t{1} << s2));
          } else {
            v = finish(floor_div(sum + f.rounding_pass2, 8192));
          }
        }
        const int out_row = f.row_order ? block_size - 1 - r : r;
        const int out_ch = f.channel_order ? 2 - ch : ch;
        dst[out_row * block_row_bytes + 3 * i + out_ch] = static_cast<uint8_t>(v);
      }
    }
  }
  return inside;
}

// The plane with its rows the other way, as a port that reads a picture top row first has it.
inline std::vector<uint8_t> rows_reversed(const std::vector<uint8_t>& plane, int32_t stride) {
  const size_t row_bytes = static_cast<size_t>(stride) * 3, rows = plane.size() / row_bytes;
  std::vector<uint8_t> reversed(plane.size());
  for (size_t r = 0; r < rows; ++r) {
    std::copy_n(plane.begin() + static_cast<ptrdiff_t>(r * row_bytes), row_bytes,
                reversed.begin() + static_cast<ptrdiff_t>((rows - 1 - r) * row_bytes));
  }
  return reversed;
}

// Writes the block files of `set` into `dir` as the port with `fault` would: the headers right,
// the pixels as the fault makes them; each block into the file `shift` places later in the set
// (those that fall outside it are not written). False if a file cannot be written.
inline bool write_faulty_files(const std::string& dir, const check_set& set,
                               const port_faults& port) {
  std::vector<std::vector<uint8_t>> planes;
  for (const check_picture& p : set.pictures) {
    planes.push_back(port.own.plane_rows_reversed ? rows_reversed(p.bitmap.plane, p.bitmap.width)
                                                  : p.bitmap.plane);
  }
  const fault_switches& fault = port.switches;
  const int shift = port.shift;
  for (size_t n = 0; n < set.cases.size(); ++n) {
    const check_case& c = set.cases[n];
    const int64_t into = static_cast<int64_t>(n) + shift;
    if (into < 0 || into >= static_cast<int64_t>(set.cases.size())) continue;
    const check_picture& picture = set.pictures[c.picture];
    const block_layout& layout = picture.layout;
    std::vector<uint8_t> file = layout.prefix;
    file.resize(file.size() + block_bytes);
    const std::vector<uint8_t>& plane = planes[c.picture];
    faulty_interpolate(c.call.stride, file.data() + layout.prefix.size(), plane.data(),
                       plane.size(), c.call.height, c.call.x, c.call.y, c.call.mvx, c.call.mvy,
                       fault, port.own, port.arithmetic);
    file.insert(file.end(), layout.profile.begin(), layout.profile.end());
    std::FILE* out = std::fopen((dir + "/" + set.cases[into].file).c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) return false;
  }
  return true;
}

inline bool write_faulty_files(const std::string& dir, const check_set& set,
                               const fault_switches& fault, int shift = 0) {
  return write_faulty_files(dir, set, port_faults{fault, {}, {}, shift});
}
