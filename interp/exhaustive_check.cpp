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
// Every kernel is checked: each level's paths in each of their forms. A family may instead
// check a seeded random sample of 2^bits windows: by default the two-dimensional ones of the
// scalar and SSE2 levels (2^26), or all (--sample BITS). --help tells the options that narrow
// the check to a level, a path or a phase. Honours BLOCKWALK_ISA. Exit status 0 when every
// output matched; each mismatch prints the kernel, family, phases, four bytes and both values.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "interpolate.h"
#include "levels.h"
#include "model.h"

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
// The path whose kernels a family's blocks go through.
constexpr block_path family_path[] = {block_path::horizontal, block_path::vertical,
                                      block_path::two_d, block_path::two_d};

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

bool has_path(const kernel& k, family f) {
  return k.path == family_path[f];
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
  checker(std::vector<kernel> kernels, int sample_bits)
      : kernels_(std::move(kernels)), sample_bits_(sample_bits), stats_(kernels_.size()) {}

  const std::vector<kernel>& kernels() const { return kernels_; }

  // Bits of the sample a kernel checks in a family; 0 for every window.
  int sample_bits(const kernel& k, family f) const {
    if (sample_bits_ > 0) return sample_bits_;
    const bool slow = std::strcmp(k.level, "scalar") == 0 || std::strcmp(k.level, "sse2") == 0;
    return (f == rows || f == columns) && slow ? 26 : 0;
  }

  // Checks the blocks of family f, phase p, laid from windows w (count a multiple of the
  // family's windows per block), on the kernels `which` selects, with two threads. Blocks go in
  // batches, so that each kernel runs many in a row and its time is taken once per batch.
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
        for (size_t v = 0; v < kernels_.size(); ++v) {
          if (!which(kernels_[v], f)) continue;
          const auto start = std::chrono::steady_clock::now();
          for (size_t i = 0; i < n; ++i) {
            const laid& l = laid_blocks[i];
            run_filter_path(kernels_[v].paths, &got[i * block_bytes], l.s.origin, l.s.row, l.hx,
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
    std::printf("%-28s %14s %9s  ns per window: %s\n", "kernel", "windows", "seconds",
                "horizontal vertical rows columns");
    for (size_t l = 0; l < kernels_.size(); ++l) {
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
      std::printf("%-28s %14llu %9.1f %s\n", kernels_[l].name.c_str(),
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
          kernels_[l].name.c_str(), family_names[f], hx, vy, window[0], window[1], window[2],
          window[3], got[at], expected[at], at);
      break;
    }
  }

  std::vector<kernel> kernels_;
  int sample_bits_;
  std::vector<level_stats> stats_;
  std::mutex mutex_;
  int failures_ = 0;
};

void print_usage() {
  std::string levels;
  for (const filter_level* l : built_levels())
    levels += (levels.empty() ? "" : ", ") + std::string(l->name);
  std::printf(
      "usage: exhaustive_check [--level L] [--path P] [--phase N] [--sample BITS] [--help]\n"
      "Checks every four-byte neighbourhood through every fractional phase of every kernel\n"
      "(each level's paths in each of their forms) that this processor runs and BLOCKWALK_ISA\n"
      "admits, against the formulas. The two-dimensional kernels of the scalar and SSE2\n"
      "levels check a seeded sample of 2^26 windows per phase.\n"
      "  --level L      only the kernels of level L, one of those built: %s\n"
      "  --path P       only path P: horizontal, vertical or two_d\n"
      "  --phase N      only phase N, 1 ... 3, of the axis the windows lie along (for two_d\n"
      "                 the other axis cycles through 1 ... 3)\n"
      "  --sample BITS  a seeded sample of 2^BITS windows per phase everywhere, 1 ... 32\n"
      "Exit status: 0 every output matched, 1 a mismatch (each printed), 2 a bad argument\n"
      "or nothing to check.\n",
      levels.c_str());
}

struct options {
  std::string level, path;
  int phase = 0;  // 0: all
  int sample_bits = 0;
};

// Reads the command line into `o`; an exit status where the run ends here.
std::optional<int> parse_options(int argc, char** argv, options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      print_usage();
      return 0;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    const auto number = [&](int low, int high, int* to) {
      char* end = nullptr;
      const long n = value ? std::strtol(value, &end, 10) : 0;
      if (!value || !*value || *end || n < low || n > high) return false;
      *to = static_cast<int>(n);
      return true;
    };
    bool good = value != nullptr;
    if (arg == "--level") {
      o->level = value ? value : "";
    } else if (arg == "--path") {
      o->path = value ? value : "";
      good = good && std::any_of(std::begin(every_path), std::end(every_path), [&](block_path p) {
               return p != block_path::copy && o->path == path_name(p);
             });
    } else if (arg == "--phase") {
      good = number(1, 3, &o->phase);
    } else if (arg == "--sample") {
      good = number(1, 32, &o->sample_bits);
    } else {
      std::fprintf(stderr, "exhaustive_check: %s: no such option; --help tells the usage\n",
                   arg.c_str());
      return 2;
    }
    if (!good) {
      std::fprintf(stderr, "exhaustive_check: %s: %s is not one it takes; --help tells the usage\n",
                   arg.c_str(), value ? value : "nothing");
      return 2;
    }
    ++i;
  }
  return std::nullopt;
}

// The kernels to check: of the levels BLOCKWALK_ISA admits on this processor, each filter path in
// each form, as the options narrow them. A level built but not run here is named as skipped.
std::vector<kernel> choose_kernels(const options& o) {
  const std::vector<filter_impl>& impls = filter_impls();
  bool unknown = false;
  const size_t count = admitted_impls(impls, std::getenv("BLOCKWALK_ISA"), &unknown);
  std::vector<kernel> kernels;
  std::vector<std::string> skipped;
  for (const kernel& k : every_kernel()) {
    const bool admitted = std::any_of(impls.begin(), impls.begin() + count,
                                      [&](const filter_impl& i) { return i.name == k.level; });
    if (!admitted) {
      if (skipped.empty() || skipped.back() != k.level) skipped.push_back(k.level);
      continue;
    }
    if ((!o.level.empty() && o.level != k.level) ||
        (!o.path.empty() && o.path != path_name(k.path)) || k.path == block_path::copy) {
      continue;
    }
    kernels.push_back(k);
  }
  std::printf("kernels:");
  for (const kernel& k : kernels) std::printf(" %s", k.name.c_str());
  std::printf("\n");
  for (const std::string& level : skipped) {
    std::printf("skipped: %s, which this processor lacks or BLOCKWALK_ISA caps\n", level.c_str());
  }
  return kernels;
}

// The phases to check.
std::vector<int> phases(const options& o) {
  if (o.phase) return {o.phase};
  return {1, 2, 3};
}

// Every window, from the sequence, for the families and kernels that take them all.
void check_every_window(checker& check, const options& o) {
  const auto whole = [&](const kernel& k, family f) {
    return has_path(k, f) && check.sample_bits(k, f) == 0;
  };
  const bool any_whole =
      std::any_of(check.kernels().begin(), check.kernels().end(), [&](const kernel& k) {
        for (int f = 0; f < families; ++f) {
          if (whole(k, family(f))) return true;
        }
        return false;
      });
  if (!any_whole) return;
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
      const size_t whole_blocks = (windows + 767) / 768 * 768;
      for (size_t i = windows + 3; i < whole_blocks + 3; ++i) symbols[i] = symbols[i - windows];
      have = whole_blocks + 3;
    }
    const size_t windows = have - 3;
    for (int f = 0; f < families; ++f) {
      for (const int p : phases(o)) {
        check.check(family(f), p, symbols.data(), windows, done / windows_per_block[f], whole);
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

// Seeded random samples for the others, the same windows for every kernel of a family.
void check_samples(checker& check, const options& o) {
  std::vector<int> sizes;
  for (const kernel& k : check.kernels()) {
    for (int f = 0; f < families; ++f) {
      const int bits = check.sample_bits(k, family(f));
      if (bits > 0 && has_path(k, family(f))) sizes.push_back(bits);
    }
  }
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  for (const int bits : sizes) {
    for (int f = 0; f < families; ++f) {
      const auto which = [&](const kernel& k, family fam) {
        return fam == family(f) && has_path(k, fam) && check.sample_bits(k, fam) == bits;
      };
      if (std::none_of(check.kernels().begin(), check.kernels().end(),
                       [&](const kernel& k) { return which(k, family(f)); })) {
        continue;
      }
      // Whole blocks of windows, 2^bits of them rounded up to a multiple of 768.
      const size_t total = ((size_t{1} << bits) + 767) / 768 * 768;
      const size_t piece = std::min<size_t>(total, size_t{768} << 10);
      std::vector<uint8_t> symbols(piece + 3);
      for (const int p : phases(o)) {
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
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (const std::optional<int> done = parse_options(argc, argv, &o)) return *done;
  std::vector<kernel> kernels = choose_kernels(o);
  if (kernels.empty()) {
    std::fprintf(stderr, "exhaustive_check: no kernel to check%s\n",
                 o.level.empty() ? "" : "; is the level built, run here and below the cap?");
    return 2;
  }
  checker check(std::move(kernels), o.sample_bits);
  const auto started = std::chrono::steady_clock::now();
  check_every_window(check, o);
  check_samples(check, o);
  check.summary();
  std::printf("%.0f s in all; %s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              check.failed() ? "MISMATCHES" : "every output matched the formulas");
  return check.failed() ? 1 : 0;
}
