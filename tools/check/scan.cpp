#include "scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>

#include "interpolate.h"

namespace {

uint8_t clamp_byte(int32_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A view's whole picture at one phase pair: out[q] is byte q of the block pixel whose source
// pixel is byte q's pixel, for q in [first, end); the formulas of the path, as the scalar
// rendering writes them, over every byte at once.
struct whole_picture {
  std::vector<uint8_t> out;
  int64_t first = 0, end = 0;
};

class picture_renderer {
 public:
  explicit picture_renderer(const view_plane& plane) : plane_(plane), row_(3 * plane.row_pixels) {
    const bool signed_values = plane.view == source_view::signed_bytes;
    samples_.resize(plane.bytes.size());
    for (size_t q = 0; q < samples_.size(); ++q) {
      samples_[q] = signed_values ? static_cast<int8_t>(plane.bytes[q]) : plane.bytes[q];
    }
  }

  void render(int hx, int vy, whole_picture* w) {
    const int64_t n = static_cast<int64_t>(samples_.size());
    w->out.assign(samples_.size(), 0);
    const int32_t* s = samples_.data();
    uint8_t* out = w->out.data();
    const int32_t* h = filter_taps[hx];
    const int32_t* v = filter_taps[vy];
    if (!hx && !vy) {  // a copy keeps the bits, signed or not
      std::copy(plane_.bytes.begin(), plane_.bytes.end(), w->out.begin());
      w->first = 0, w->end = n;
    } else if (!vy) {
      w->first = 3, w->end = n - 6;
      for (int64_t q = w->first; q < w->end; ++q) {
        out[q] = clamp_byte(
            (h[0] * s[q - 3] + h[1] * s[q] + h[2] * s[q + 3] + h[3] * s[q + 6] + 64) >> 7);
      }
    } else if (!hx) {
      w->first = row_, w->end = n - 2 * row_;
      for (int64_t q = w->first; q < w->end; ++q) {
        out[q] = clamp_byte(
            (v[0] * s[q - row_] + v[1] * s[q] + v[2] * s[q + row_] + v[3] * s[q + 2 * row_] + 64) >>
            7);
      }
    } else {
      first_pass(hx);
      const int32_t* t = first_.data();
      w->first = 3 + row_, w->end = n - 6 - 2 * row_;
      for (int64_t q = w->first; q < w->end; ++q) {
        out[q] = clamp_byte((v[0] * t[q - row_] + v[1] * t[q] + v[2] * t[q + row_] +
                             v[3] * t[q + 2 * row_] + 4096) >>
                            13);
      }
    }
    w->first = std::max<int64_t>(w->first, 0);
    w->end = std::max(w->end, w->first);
  }

 private:
  // The two-dimensional filter's first pass over every byte, made once per horizontal phase.
  void first_pass(int hx) {
    if (first_phase_ == hx) return;
    first_phase_ = hx;
    const int64_t n = static_cast<int64_t>(samples_.size());
    first_.assign(samples_.size(), 0);
    const int32_t* s = samples_.data();
    const int32_t* h = filter_taps[hx];
    for (int64_t q = 3; q < n - 6; ++q) {
      first_[q] = (h[0] * s[q - 3] + h[1] * s[q] + h[2] * s[q + 3] + h[3] * s[q + 6] + 1) >> 1;
    }
  }

  const view_plane& plane_;
  const int64_t row_;
  std::vector<int32_t> samples_, first_;
  int first_phase_ = -1;
};

// A pixel's three bytes as one symbol, and 16 of them, a block row, as one rolling hash.
constexpr uint64_t base = 0x100000001B3ull;
uint64_t symbol(const uint8_t* p) {
  return uint64_t{p[0]} | uint64_t{p[1]} << 8 | uint64_t{p[2]} << 16;
}
uint64_t row_hash(const uint8_t* p) {
  uint64_t h = 0;
  for (int i = 0; i < block_size; ++i) h = h * base + symbol(p + 3 * i);
  return h;
}

// The targets by the hash of their first row: open addressing, a power of two of slots.
class target_table {
 public:
  explicit target_table(const std::vector<scan_target>& targets) {
    size_t slots = 16;
    while (slots < 4 * targets.size()) slots *= 2;
    mask_ = slots - 1;
    keys_.assign(slots, 0);
    first_.assign(slots, none);
    next_.assign(targets.size(), none);
    for (size_t t = 0; t < targets.size(); ++t) {
      const uint64_t key = row_hash(targets[t].bytes);
      seen_[(key >> 48) / 64] |= uint64_t{1} << (key >> 48) % 64;
      size_t at = slot(key);
      while (first_[at] != none && keys_[at] != key) at = (at + 1) & mask_;
      keys_[at] = key;
      next_[t] = first_[at];
      first_[at] = t;
    }
  }
  // The first target whose first row hashes as `key`, or none; then next(t).
  size_t find(uint64_t key) const {
    // Most windows are no target's: a bit of 2^16, in the fastest cache, says so.
    if (!(seen_[(key >> 48) / 64] >> (key >> 48) % 64 & 1)) return none;
    for (size_t at = slot(key); first_[at] != none; at = (at + 1) & mask_) {
      if (keys_[at] == key) return first_[at];
    }
    return none;
  }
  size_t next(size_t t) const { return next_[t]; }
  static constexpr size_t none = std::numeric_limits<size_t>::max();

 private:
  size_t slot(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & mask_;
  }
  size_t mask_ = 0;
  std::vector<uint64_t> seen_ = std::vector<uint64_t>(1024);
  std::vector<uint64_t> keys_;
  std::vector<size_t> first_, next_;
};

// How far a match lies from the placement it stands for.
uint64_t distance(const placement& ours, const placement& found) {
  const uint64_t phases = found.phase[0] != ours.phase[0] || found.phase[1] != ours.phase[1];
  const auto apart = [&](int axis) {
    const int64_t d = found.whole[axis] - ours.whole[axis];
    return static_cast<uint64_t>(d < 0 ? -d : d);
  };
  return (phases << 62) + apart(axis_h) + apart(axis_v);
}

// Keeps the `most` nearest matches of each target.
class nearest_matches {
 public:
  nearest_matches(const std::vector<scan_target>& targets, size_t most)
      : targets_(targets), most_(most), kept_(targets.size()), farthest_(targets.size(), 0) {}
  // Whether a match at `where` would be kept: decided before anything else is done with it, so
  // that a picture of repeats costs little more than a look at the farthest kept.
  bool wanted(size_t target, const placement& where) const {
    return kept_[target].size() < most_ ||
           distance(targets_[target].ours, where) < farthest_[target];
  }
  void add(size_t target, const block_source& source) {
    std::vector<block_source>& kept = kept_[target];
    const placement& ours = targets_[target].ours;
    if (kept.size() < most_) {
      kept.push_back(source);
    } else {
      *std::max_element(kept.begin(), kept.end(), [&](const auto& a, const auto& b) {
        return distance(ours, a.where) < distance(ours, b.where);
      }) = source;
    }
    farthest_[target] = 0;
    for (const block_source& s : kept) {
      farthest_[target] = std::max(farthest_[target], distance(ours, s.where));
    }
  }
  std::vector<scan_match> matches() const {
    std::vector<scan_match> all;
    for (size_t t = 0; t < kept_.size(); ++t) {
      for (const block_source& s : kept_[t]) all.push_back({t, s});
    }
    return all;
  }

 private:
  const std::vector<scan_target>& targets_;
  size_t most_;
  std::vector<std::vector<block_source>> kept_;
  std::vector<uint64_t> farthest_;  // the distance of the farthest kept, where `most` are
};

// The whole-pixel position of the window at pixel `o` of the view. Where rows run on, pixel
// (c, r) is pixel (c + width, r - 1) too: of those, the one nearest to `ours`.
void locate_window(const view_plane& plane, int64_t o, const placement& ours, placement* where) {
  const int64_t width = plane.row_pixels;
  int64_t row = o / width, column = o % width;
  const int64_t ours_column = ours.whole[axis_h] + block_margin + plane.margin;
  if (plane.view != source_view::edge_clamped && width > 0) {
    // Whole rows between the column found and ours, rounded to the nearest.
    const int64_t rows =
        (ours_column - column + (ours_column >= column ? width / 2 : -width / 2)) / width;
    column += rows * width;
    row -= rows;
  }
  where->whole[axis_h] = column - plane.margin - block_margin;
  where->whole[axis_v] = row - plane.margin - block_margin;
}

}  // namespace

std::vector<scan_match> scan_view(const view_plane& plane, const std::vector<scan_target>& targets,
                                  size_t most) {
  nearest_matches found(targets, most);
  if (targets.empty() || plane.row_pixels < block_size) return found.matches();
  // Targets of the same bytes are sought once. In a picture of repeats a block is found nearly
  // everywhere: after `budget` windows equal to it, the search of it ends.
  std::vector<scan_target> unique;
  std::vector<std::vector<size_t>> members;
  std::map<std::vector<uint8_t>, size_t> index;
  for (size_t t = 0; t < targets.size(); ++t) {
    const auto [at, fresh] = index.insert(
        {std::vector<uint8_t>(targets[t].bytes, targets[t].bytes + block_bytes), unique.size()});
    if (fresh) unique.push_back(targets[t]), members.emplace_back();
    members[at->second].push_back(t);
  }
  constexpr size_t budget = 4096;
  std::vector<size_t> left(unique.size(), budget);
  const target_table table(unique);
  // Each unique target's rows by their hashes: a window is compared by the hashes of its rows,
  // and what the search finds is rendered again before anything is said of it.
  std::vector<std::array<uint64_t, block_size>> row_hashes(unique.size());
  for (size_t u = 0; u < unique.size(); ++u) {
    for (int r = 0; r < block_size; ++r)
      row_hashes[u][r] = row_hash(unique[u].bytes + r * block_row_bytes);
  }
  std::vector<uint64_t> hashes;
  picture_renderer renderer(plane);
  whole_picture w;
  const int64_t row = 3 * plane.row_pixels;
  uint64_t top = 1;  // base^15, for the symbol leaving the window
  for (int i = 1; i < block_size; ++i) top *= base;
  for (int hx = 0; hx < 4; ++hx) {
    for (int vy = 0; vy < 4; ++vy) {
      renderer.render(hx, vy, &w);
      const block_path path = path_of(hx, vy);
      // Windows whose every byte the rendering holds; without run-on, within their rows (and
      // their taps within the view's).
      const int64_t first = (w.first + 2) / 3, last = (w.end - 48 - 15 * row) / 3;
      const int64_t reach_left = filters_h(path) ? 1 : 0, reach_right = filters_h(path) ? 2 : 0;
      const bool runs_on = plane.view != source_view::edge_clamped;
      if (last < first) continue;
      const uint8_t* out = w.out.data();
      // The hash of the 16 pixels from each pixel on, rolling: those of a window's rows are
      // 15 of them a row apart.
      const int64_t rows_end = last + 15 * plane.row_pixels;
      hashes.assign(static_cast<size_t>(rows_end - first + 1), 0);
      uint64_t hash = row_hash(out + 3 * first);
      for (int64_t o = first; o <= rows_end; ++o) {
        if (o > first)
          hash = (hash - symbol(out + 3 * (o - 1)) * top) * base + symbol(out + 3 * (o + 15));
        hashes[static_cast<size_t>(o - first)] = hash;
      }
      for (int64_t o = first; o <= last; ++o) {
        hash = hashes[static_cast<size_t>(o - first)];
        for (size_t u = table.find(hash); u != target_table::none; u = table.next(u)) {
          const int64_t column = o % plane.row_pixels;
          if (!left[u] || (!runs_on && (column < reach_left ||
                                        column + 15 + reach_right >= plane.row_pixels))) {
            continue;
          }
          bool equal = true;
          for (int r = 1; r < block_size && equal; ++r) {
            equal =
                hashes[static_cast<size_t>(o - first + r * plane.row_pixels)] == row_hashes[u][r];
          }
          if (!equal) continue;
          --left[u];
          for (const size_t t : members[u]) {
            block_source s;
            s.view = plane.view;
            s.where.path = path;
            s.where.phase[axis_h] = hx;
            s.where.phase[axis_v] = vy;
            locate_window(plane, o, targets[t].ours, &s.where);
            if (found.wanted(t, s.where)) found.add(t, s);
          }
        }
      }
    }
  }
  return found.matches();
}
