// Every four-byte neighbourhood, every fractional phase, every level this processor runs: an
// output byte of a one-dimensional filter depends on four source bytes and the phase only, and
// so does a value of the two-dimensional filter's first pass. A de Bruijn sequence of order 4
// over the 256 byte values holds each of the 2^32 neighbourhoods once as a window; laid along
// block rows (or down block columns) it puts each window under the taps of one output byte, and
// every byte position of a block gets its share. Each output is compared with the formulas,
// written out here once more with their own copy of the taps.
//
// Four families, for each fractional phase:
//   horizontal: the sequence along the rows, 768 windows per block;
//   vertical:   down the columns, 768 per block;
//   rows:       the two-dimensional filter on rows all alike, the sequence along them (48 per
//               block; the vertical phase cycles through 1 ... 3, which changes nothing);
//   columns:    the two-dimensional filter on rows each of one value, the sequence down them
//               (48 per block; the horizontal phase cycles likewise).
// A family may instead check a seeded random sample of 2^bits windows: by default the
// two-dimensional ones of the scalar and SSE2 levels (2^26), or all (--sample BITS).
//
// Usage: exhaustive_check [--sample BITS]. Honours BLOCKWALK_ISA. Exit status 0 when every
// output matched; each mismatch prints the level, family, phases, four bytes and both values.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "interpolate.h"
#include "paths.h"

namespace {

// The taps once more, apart from the library's table.
constexpr int taps[4][4] = {{0, 128, 0, 0}, {-7, 105, 35, -5}, {-8, 72, 72, -8}, {-5, 35, 105, -7}};

int clamp_byte(int v) {
  return v < 0 ? 0 : v > 255 ? 255 : v;
}
int one_pass(int phase, const uint8_t* w) {
  const int* c = taps[phase];
  return clamp_byte((c[0] * w[0] + c[1] * w[1] + c[2] * w[2] + c[3] * w[3] + 64) >> 7);
}
// Two passes over four rows whose first-pass values come from `first`.
template <typename F>
int two_pass(int vy, F first) {
  const int* c = taps[vy];
  int sum = 4096;
  for (int k = 0; k < 4; ++k) sum += c[k] * first(k);
  return clamp_byte(sum >> 13);
}
int first_pass(int hx, int a, int b, int c, int d) {
  const int* t = taps[hx];
  return (t[0] * a + t[1] * b + t[2] * c + t[3] * d + 1) >> 1;
}

enum family { horizontal, vertical, rows, columns };
const char* const family_names[] = {"horizontal", "vertical", "rows", "columns"};
constexpr int families = 4;
constexpr size_t windows_per_block[] = {block_bytes, block_bytes, 48, 48};

// A block's source: every byte its path reads, no more, rows of `row` bytes from `origin`.
struct source {
  uint8_t bytes[(block_size + 3) * 57];
  uint8_t* origin;
  ptrdiff_t row;
};

// Writes `count` (16 or 19) copies of the pixel (b, g, r), eight bytes at a time: a word of
// the pattern repeats every 6 bytes.
void repeat_pixel(uint8_t* dst, int b, int g, int r, int count) {
  const uint8_t pattern[8] = {uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(b),
                              uint8_t(g), uint8_t(r), uint8_t(b), uint8_t(g)};
  const int bytes = 3 * count;
  for (int at = 0; at + 8 <= bytes; at += 6) std::memcpy(dst + at, pattern, 8);
  std::memcpy(dst + bytes - 8, pattern + (bytes - 8) % 3, 6);
  std::memcpy(dst + bytes - 2, pattern + (bytes - 2) % 3, 2);
}

// Lays windows w[0 ...] (w[i] is the window i; windows overlap, w[i + 1] = w[i] shifted by one)
// into block `s` of family `f`, and writes the expected block; hx, vy are the phases used.
void lay_block(family f, const uint8_t* w, int hx, int vy, source* s, uint8_t* expected) {
  switch (f) {
    case horizontal:
      // Row r, channel ch: window j of the run from w[48r + 16ch] lies under output pixel j,
      // so source pixel x (-1 ... 17) is the run's symbol x + 1.
      s->row = 57;
      s->origin = s->bytes + 3;
      for (int r = 0; r < block_size; ++r) {
        for (int ch = 0; ch < 3; ++ch) {
          const uint8_t* run = w + 48 * r + 16 * ch;
          for (int x = -1; x < 18; ++x) s->origin[r * 57 + 3 * x + ch] = run[x + 1];
          for (int j = 0; j < 16; ++j) expected[48 * r + 3 * j + ch] = one_pass(hx, run + j);
        }
      }
      break;
    case vertical:
      s->row = 48;
      s->origin = s->bytes + 48;
      for (int k = 0; k < 48; ++k) {
        const uint8_t* run = w + 16 * k;
        for (int y = -1; y < 18; ++y) s->origin[y * 48 + k] = run[y + 1];
        for (int r = 0; r < 16; ++r) expected[48 * r + k] = one_pass(vy, run + r);
      }
      break;
    case rows:
      // Every source row alike: one row, read with a row step of 0. Every output row alike.
      s->row = 0;
      s->origin = s->bytes + 3;
      for (int ch = 0; ch < 3; ++ch) {
        const uint8_t* run = w + 16 * ch;
        for (int x = -1; x < 18; ++x) s->origin[3 * x + ch] = run[x + 1];
        for (int j = 0; j < 16; ++j) {
          const uint8_t* q = run + j;
          const int t = first_pass(hx, q[0], q[1], q[2], q[3]);
          expected[3 * j + ch] = static_cast<uint8_t>(two_pass(vy, [t](int) { return t; }));
        }
      }
      for (int r = 1; r < 16; ++r) std::memcpy(expected + 48 * r, expected, 48);
      break;
    case columns:
      // Every pixel of a source row alike; every pixel of an output row alike.
      s->row = 57;
      s->origin = s->bytes + 57 + 3;
      for (int y = 0; y < 19; ++y) repeat_pixel(s->bytes + 57 * y, w[y], w[16 + y], w[32 + y], 19);
      for (int r = 0; r < 16; ++r) {
        int pixel[3];
        for (int ch = 0; ch < 3; ++ch) {
          const uint8_t* q = w + 16 * ch + r;
          pixel[ch] = two_pass(vy, [&](int k) { return first_pass(hx, q[k], q[k], q[k], q[k]); });
        }
        repeat_pixel(expected + 48 * r, pixel[0], pixel[1], pixel[2], 16);
      }
      break;
  }
}

// Where block output byte `at` of family f took its window from, within the block's windows.
size_t window_of(family f, size_t at) {
  const size_t r = at / 48, k = at % 48;
  switch (f) {
    case horizontal:
      return 48 * r + 16 * (k % 3) + k / 3;
    case vertical:
      return 16 * k + r;
    case rows:
      return 16 * (k % 3) + k / 3;
    case columns:
      return 16 * (k % 3) + r;
  }
  return 0;
}

bool has_path(const filter_impl& impl, family f) {
  return f == horizontal ? impl.paths.horizontal != nullptr
         : f == vertical ? impl.paths.vertical != nullptr
                         : impl.paths.two_d != nullptr;
}

// The de Bruijn sequence of order 4 over 256 symbols, in pieces: the concatenation, in
// lexicographic order, of the Lyndon words whose length divides 4.
class de_bruijn {
 public:
  // Writes up to `count` next symbols; returns how many (0 at the end).
  size_t next(uint8_t* out, size_t count) {
    size_t n = 0;
    while (n < count && length_ > 0) {
      if (4 % length_ == 0) {
        while (emitted_ < length_ && n < count) out[n++] = static_cast<uint8_t>(word_[emitted_++]);
        if (emitted_ < length_) break;
      }
      advance();
    }
    return n;
  }

 private:
  void advance() {
    for (int i = length_; i < 4; ++i) word_[i] = word_[i - length_];
    length_ = 4;
    while (length_ > 0 && word_[length_ - 1] == 255) --length_;
    if (length_ > 0) ++word_[length_ - 1];
    emitted_ = 0;
  }
  int word_[4] = {0, 0, 0, 0};
  int length_ = 1;
  int emitted_ = 0;
};

// Per family: levels take different paths, and a path's blocks give different numbers of
// windows, so that only times per window of one family compare.
struct level_stats {
  std::atomic<uint64_t> windows[families]{};
  std::atomic<uint64_t> nanoseconds[families]{};
};

class checker {
 public:
  checker(std::vector<const filter_impl*> levels, int sample_bits)
      : levels_(std::move(levels)), sample_bits_(sample_bits), stats_(levels_.size()) {}

  // Bits of the sample a level checks in a family; 0 for every window.
  int sample_bits(const filter_impl& level, family f) const {
    if (sample_bits_ > 0) return sample_bits_;
    const bool slow =
        std::strcmp(level.name, "scalar") == 0 || std::strcmp(level.name, "sse2") == 0;
    return (f == rows || f == columns) && slow ? 26 : 0;
  }

  // Checks the blocks of family f, phase p, laid from windows w (count a multiple of the
  // family's windows per block), on the levels `which` selects, with two threads. Blocks go in
  // batches, so that each level runs many in a row and its time is taken once per batch.
  template <typename Select>
  void check(family f, int p, const uint8_t* w, size_t count, uint64_t first_block, Select which) {
    const size_t per_block = windows_per_block[f];
    const size_t blocks = count / per_block;
    const auto work = [&](size_t from, size_t to) {
      constexpr size_t batch = 64;
      struct laid {
        source s;
        int hx, vy;
        uint8_t expected[block_bytes];
      };
      std::vector<laid> laid_blocks(batch);
      std::vector<uint8_t> got(batch * block_bytes);
      for (size_t b0 = from; b0 < to; b0 += batch) {
        const size_t n = std::min(batch, to - b0);
        for (size_t i = 0; i < n; ++i) {
          laid& l = laid_blocks[i];
          const int cycle = static_cast<int>((first_block + b0 + i) % 3) + 1;
          l.hx = f == vertical ? 0 : f == columns ? cycle : p;
          l.vy = f == horizontal ? 0 : f == rows ? cycle : p;
          lay_block(f, w + (b0 + i) * per_block, l.hx, l.vy, &l.s, l.expected);
        }
        for (size_t v = 0; v < levels_.size(); ++v) {
          if (!which(*levels_[v], f)) continue;
          const auto start = std::chrono::steady_clock::now();
          for (size_t i = 0; i < n; ++i) {
            const laid& l = laid_blocks[i];
            run_filter_path(levels_[v]->paths, &got[i * block_bytes], l.s.origin, l.s.row, l.hx,
                            l.vy);
          }
          stats_[v].nanoseconds[f] +=
              static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now() - start)
                                        .count());
          stats_[v].windows[f] += n * per_block;
          for (size_t i = 0; i < n; ++i) {
            const laid& l = laid_blocks[i];
            if (std::memcmp(&got[i * block_bytes], l.expected, block_bytes) != 0) {
              report(v, f, l.hx, l.vy, w + (b0 + i) * per_block, &got[i * block_bytes], l.expected);
            }
          }
        }
      }
    };
    std::thread other(work, blocks / 2, blocks);
    work(0, blocks / 2);
    other.join();
  }

  void summary() const {
    std::printf("%-12s %14s %9s  ns per window in its kernels: %s\n", "level", "windows", "seconds",
                "horizontal vertical rows columns");
    for (size_t l = 0; l < levels_.size(); ++l) {
      uint64_t windows = 0, nanoseconds = 0;
      std::string per_family;
      for (int f = 0; f < families; ++f) {
        const uint64_t w = stats_[l].windows[f], ns = stats_[l].nanoseconds[f];
        windows += w;
        nanoseconds += ns;
        char cell[16] = "-";
        if (w) std::snprintf(cell, sizeof cell, "%.3f", static_cast<double>(ns) / w);
        per_family += std::string(" ") + cell;
      }
      std::printf("%-12s %14llu %9.1f %s\n", levels_[l]->name,
                  static_cast<unsigned long long>(windows), static_cast<double>(nanoseconds) * 1e-9,
                  per_family.c_str());
    }
  }
  bool failed() const { return failures_ > 0; }

 private:
  void report(size_t l, family f, int hx, int vy, const uint8_t* w, const uint8_t* got,
              const uint8_t* expected) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (++failures_ > 20) return;
    for (size_t at = 0; at < block_bytes; ++at) {
      if (got[at] == expected[at]) continue;
      const uint8_t* window = w + window_of(f, at);
      std::printf(
          "MISMATCH %s %s phases (%d, %d): bytes %d %d %d %d give %d, the formula %d "
          "(block byte %zu)\n",
          levels_[l]->name, family_names[f], hx, vy, window[0], window[1], window[2], window[3],
          got[at], expected[at], at);
      break;
    }
  }

  std::vector<const filter_impl*> levels_;
  int sample_bits_;
  std::vector<level_stats> stats_;
  std::mutex mutex_;
  int failures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int sample_bits = 0;
  if (argc == 3 && std::strcmp(argv[1], "--sample") == 0) sample_bits = std::atoi(argv[2]);
  if (argc != 1 && !(argc == 3 && sample_bits > 0 && sample_bits <= 32)) {
    std::fprintf(stderr, "usage: exhaustive_check [--sample BITS]\n");
    return 2;
  }
  const std::vector<filter_impl>& impls = filter_impls();
  bool unknown = false;
  const size_t count = admitted_impls(impls, std::getenv("BLOCKWALK_ISA"), &unknown);
  std::vector<const filter_impl*> levels;
  std::printf("levels:");
  for (size_t i = 0; i < count; ++i) {
    levels.push_back(&impls[i]);
    std::printf(" %s", impls[i].name);
  }
  std::printf("\n");
  checker check(levels, sample_bits);
  const auto started = std::chrono::steady_clock::now();

  // Every window, from the sequence, for the families and levels that take them all.
  const bool any_whole = std::any_of(levels.begin(), levels.end(), [&](const filter_impl* l) {
    for (int f = 0; f < families; ++f) {
      if (has_path(*l, family(f)) && check.sample_bits(*l, family(f)) == 0) return true;
    }
    return false;
  });
  if (any_whole) {
    // Pieces of whole blocks of every family (a multiple of 768), plus the three symbols the
    // last windows reach; the sequence is cyclic, so it ends with its own first three.
    constexpr size_t piece = size_t{768} << 12;
    std::vector<uint8_t> symbols(piece + 3 + block_bytes);
    de_bruijn sequence;
    size_t have = sequence.next(symbols.data(), 3);
    const uint8_t start[3] = {symbols[0], symbols[1], symbols[2]};
    uint64_t done = 0;
    // The next piece of the sequence is made while this one is checked.
    std::vector<uint8_t> next_piece(piece);
    size_t next_count = sequence.next(next_piece.data(), piece);
    for (bool more = true; more;) {
      const size_t got = std::min(next_count, piece + 3 - have);
      std::memcpy(symbols.data() + have, next_piece.data(), got);
      have += got;
      std::thread maker([&] { next_count = sequence.next(next_piece.data(), piece); });
      if (got == 0 || have < piece + 3) {
        // The last piece: close the cycle, then pad to whole blocks with windows seen before.
        more = false;
        std::memcpy(symbols.data() + have, start, 3);
        const size_t windows = have;
        const size_t whole = (windows + 767) / 768 * 768;
        for (size_t i = windows + 3; i < whole + 3; ++i) symbols[i] = symbols[i - windows];
        have = whole + 3;
      }
      const size_t windows = have - 3;
      for (int f = 0; f < families; ++f) {
        for (int p = 1; p < 4; ++p) {
          check.check(family(f), p, symbols.data(), windows, done / windows_per_block[f],
                      [&](const filter_impl& l, family fam) {
                        return has_path(l, fam) && check.sample_bits(l, fam) == 0;
                      });
        }
      }
      done += windows;
      std::memmove(symbols.data(), symbols.data() + windows, 3);
      have = 3;
      maker.join();
    }
    std::printf("every window: %llu (2^32 and the padding of the last blocks)\n",
                static_cast<unsigned long long>(done));
  }

  // Seeded random samples for the others, the same windows for every level of a family.
  std::vector<int> sizes;
  for (const filter_impl* l : levels) {
    for (int f = 0; f < families; ++f) {
      const int bits = check.sample_bits(*l, family(f));
      if (bits > 0 && has_path(*l, family(f))) sizes.push_back(bits);
    }
  }
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  for (const int bits : sizes) {
    for (int f = 0; f < families; ++f) {
      const auto which = [&](const filter_impl& l, family fam) {
        return fam == family(f) && has_path(l, fam) && check.sample_bits(l, fam) == bits;
      };
      if (std::none_of(levels.begin(), levels.end(),
                       [&](const filter_impl* l) { return which(*l, family(f)); })) {
        continue;
      }
      // Whole blocks of windows, 2^bits of them rounded up to a multiple of 768.
      const size_t total = ((size_t{1} << bits) + 767) / 768 * 768;
      const size_t piece = std::min<size_t>(total, size_t{768} << 10);
      std::vector<uint8_t> symbols(piece + 3);
      for (int p = 1; p < 4; ++p) {
        std::mt19937 engine(static_cast<uint32_t>(100 * bits + 10 * f + p));
        for (size_t done = 0; done < total; done += piece) {
          for (uint8_t& sym : symbols) sym = static_cast<uint8_t>(engine() >> 24);
          check.check(family(f), p, symbols.data(), std::min(piece, total - done),
                      done / windows_per_block[f], which);
        }
      }
      std::printf("%s: a seeded sample of 2^%d windows for each phase\n", family_names[f], bits);
    }
  }

  check.summary();
  std::printf("%.0f s in all; %s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              check.failed() ? "MISMATCHES" : "every output matched the formulas");
  return check.failed() ? 1 : 0;
}
