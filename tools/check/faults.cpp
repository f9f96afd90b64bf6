#include "faults.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace {

// How many members an aggregate has: the most initialisers it takes, each of any type.
struct any_value {
  template <typename T>
  operator T() const;
};
template <typename T, typename Indices, typename = void>
struct takes : std::false_type {};
template <typename T, size_t... I>
struct takes<T, std::index_sequence<I...>, std::void_t<decltype(T{(void(I), any_value{})...})>>
    : std::true_type {};
template <typename T, size_t n = 0>
constexpr size_t member_count() {
  if constexpr (takes<T, std::make_index_sequence<n + 1>>::value) {
    return member_count<T, n + 1>();
  } else {
    return n;
  }
}
static_assert(member_count<fault_switches>() ==
                  std::tuple_size_v<decltype(std::declval<const fault_switches&>().tie())>,
              "fault_switches::tie() names every switch");

// Takes switch `from` into `to` where it is on (not as `off`); a clash where `to` is on too.
template <typename T>
void take(T& to, const T& from, const T& off, bool* clash) {
  if (from == off) return;
  *clash |= !(to == off);
  to = from;
}
template <typename T, size_t n>
void take(std::array<T, n>& to, const std::array<T, n>& from, const std::array<T, n>& off,
          bool* clash) {
  for (size_t k = 0; k < n; ++k) take(to[k], from[k], off[k], clash);
}

// `f` on the members of three ties of switches, side by side.
template <typename To, typename From, typename Off, typename F, size_t... k>
void each_switch(To to, const From& from, const Off& off, F f, std::index_sequence<k...>) {
  (f(std::get<k>(to), std::get<k>(from), std::get<k>(off)), ...);
}
template <typename To, typename From, typename Off, typename F>
void each_switch(To to, const From& from, const Off& off, F f) {
  each_switch(to, from, off, f, std::make_index_sequence<std::tuple_size_v<To>>{});
}

// A field's value, as its descriptor made it.
int64_t number(const std::vector<field_value>& v, size_t k) {
  return std::get<int64_t>(v.at(k));
}
const std::string& word(const std::vector<field_value>& v, size_t k) {
  return std::get<std::string>(v.at(k));
}
int axis_of(const std::vector<field_value>& v, size_t k) {
  return word(v, k) == "h" ? axis_h : axis_v;
}
round_mode mode_of(const std::vector<field_value>& v, size_t k) {
  for (const round_mode m : {round_mode::half_up, round_mode::half_even,
                             round_mode::half_away_from_zero, round_mode::toward_zero}) {
    if (word(v, k) == round_mode_name(m)) return m;
  }
  return round_mode::ours;
}

const char* axis_name(int axis) {
  return axis == axis_h ? "h" : "v";
}

using forms_list = std::vector<std::vector<field_value>>;

const field_spec axis_field = {"axis", {"h", "v"}, 0, 1, true};
const field_spec mode_field = {"mode",
                               {"half_up", "half_even", "half_away_from_zero", "toward_zero"}};

bool filters(const group_key& key) {
  return key.path != block_path::copy;
}

// The modes a float, hardware or C port rounds with, where a pass can show them apart from ours:
// half away from zero differs from ours only below zero, and toward zero is truncation above it,
// which a later clamp hides or `rounding` names.
const round_mode port_modes[] = {round_mode::half_even, round_mode::half_away_from_zero,
                                 round_mode::toward_zero};

std::vector<fault_descriptor> make_catalogue() {
  return {
      {"rounding",
       {{"pass", {}, 1, 2},
        {"offset_min", {}, 0, 8192, false, true},
        {"offset_max", {}, 0, 8192, false, true}},
       2,
       [](const auto& v, fault_switches* s) {
         // A port's single offset for pass 1 serves a one-dimensional filter's pass too.
         const auto offset = static_cast<int32_t>(number(v, 1));
         if (number(v, 0) == 2) {
           s->rounding_pass2 = offset;
         } else {
           s->rounding_1d = s->rounding_pass1 = offset;
         }
       },
       // The last pass's offsets are worked out from the sums (diagnosis.cpp); the first pass's
       // few that matter are rendered.
       [](const group_key& key) {
         if (key.path != block_path::two_d) return forms_list{};
         return forms_list{{1, 0, 0}, {1, 2, 2}};
       },
       "| `rounding` | a pass rounds with another offset than 64 (a one-dimensional filter), 1 "
       "(the two-dimensional filter's first pass) or 4096 (its second), 0 for truncation | "
       "`pass` (1 for a one-dimensional filter's and the two-dimensional filter's first, 2 for "
       "its second), and the offsets that give these bytes, `offset_min` … `offset_max` | every "
       "filter |"},
      {"no_clamp",
       {},
       0,
       [](const auto&, fault_switches* s) { s->no_clamp = true; },
       [](const group_key& key) { return filters(key) ? forms_list{{}} : forms_list{}; },
       "| `no_clamp` | results wrap modulo 256 instead of being clamped to 0 … 255 | | every "
       "filter |"},
      {"taps",
       {axis_field, {"phase", {}, 0, 3}},
       2,
       [](const auto& v, fault_switches* s) {
         s->taps[axis_of(v, 0)] = static_cast<int>(number(v, 1));
       },
       [](const group_key& key) {
         forms_list forms;
         for (const int axis : {axis_h, axis_v}) {
           for (int phase = 0; phase < 4 && key.phase[axis]; ++phase) {
             if (phase != key.phase[axis]) forms.push_back({axis_name(axis), phase});
           }
         }
         return forms;
       },
       "| `taps` | an axis used another phase's taps | `axis` (`h` or `v`), `phase` | each "
       "fractional axis |"},
      {"source_offset",
       {{"dx", {}, -64, 64}, {"dy", {}, -64, 64}},
       2,
       [](const auto& v, fault_switches* s) {
         s->source_offset = {static_cast<int32_t>(number(v, 0)),
                             static_cast<int32_t>(number(v, 1))};
       },
       [](const group_key&) {
         forms_list forms;
         for (int64_t dy = -2; dy <= 2; ++dy) {
           for (int64_t dx = -2; dx <= 2; ++dx) {
             if (dx || dy) forms.push_back({dx, dy});
           }
         }
         return forms;
       },
       "| `source_offset` | the source is displaced by whole pixels | `dx`, `dy` (−2 … 2) | "
       "every group |"},
      {"row_order",
       {},
       0,
       [](const auto&, fault_switches* s) { s->row_order = true; },
       [](const group_key&) { return forms_list{{}}; },
       "| `row_order` | the block's rows are in the other order | | every group |"},
      {"channel_order",
       {},
       0,
       [](const auto&, fault_switches* s) { s->channel_order = true; },
       [](const group_key&) { return forms_list{{}}; },
       "| `channel_order` | blue and red are exchanged | | every group |"},
      // What only vectors beyond the walk's reveal, tried where the group can show it.
      {"vector_split",
       {axis_field},
       1,
       [](const auto& v, fault_switches* s) { s->vector_split[axis_of(v, 0)] = true; },
       [](const group_key& key) {
         forms_list forms;
         for (const int axis : {axis_h, axis_v}) {
           // A multiple of 4 splits alike either way.
           if (key.negative && key.phase[axis]) forms.push_back({axis_name(axis)});
         }
         return forms;
       },
       "| `vector_split` | took a vector's whole part as `mv / 4`, truncating, with the phase "
       "from `mv & 3`: a negative vector lands a pixel too far right or down | `axis` | "
       "negative vectors, fractional axes |"},
      {"phases_swapped",
       {},
       0,
       [](const auto&, fault_switches* s) { s->phases_swapped = true; },
       [](const group_key& key) {
         return key.phase[0] != key.phase[1] ? forms_list{{}} : forms_list{};
       },
       "| `phases_swapped` | exchanged the horizontal and vertical phases | | phases that "
       "differ |"},
      {"no_position_clamp",
       {},
       0,
       [](const auto&, fault_switches* s) { s->no_position_clamp = true; },
       [](const group_key& key) {
         const bool clamped =
             key.clamp[0] != clamp_state::none || key.clamp[1] != clamp_state::none;
         return clamped ? forms_list{{}} : forms_list{};
       },
       "| `no_position_clamp` | did not clamp a fractional vector's position | | clamped "
       "blocks |"},
      {"clamp_bounds",
       {axis_field, {"bound", {"low", "high"}, 0, 1, true}, {"delta", {}, -64, 64}},
       3,
       [](const auto& v, fault_switches* s) {
         s->clamp_bounds[axis_of(v, 0)][word(v, 1) == "high"] = static_cast<int32_t>(number(v, 2));
       },
       [](const group_key& key) {
         forms_list forms;
         for (int axis = 0; axis < 2 && filters(key); ++axis) {
           for (const char* bound : {"low", "high"}) {
             for (const int64_t delta : {-1, 1}) forms.push_back({axis_name(axis), bound, delta});
           }
         }
         return forms;
       },
       "| `clamp_bounds` | clamped with a bound off by one | `axis`, `bound` (`low` or `high`), "
       "`delta` | every filter |"},
      {"copy_clamp",
       {},
       0,
       [](const auto&, fault_switches* s) { s->copy_clamp = true; },
       [](const group_key& key) { return filters(key) ? forms_list{} : forms_list{{}}; },
       "| `copy_clamp` | clamped whole-pixel copies too | | copies |"},
      {"two_pass_1d",
       {},
       0,
       [](const auto&, fault_switches* s) { s->two_pass_1d = true; },
       [](const group_key& key) {
         const bool one_d = filters(key) && key.path != block_path::two_d;
         return one_d ? forms_list{{}} : forms_list{};
       },
       "| `two_pass_1d` | filtered one fractional axis as the two-dimensional filter with phase "
       "0 on the other, rounding twice | | one-dimensional filters |"},
      // What float, hardware and C ports do with the arithmetic.
      {"division",
       {{"pass", {}, 1, 1}},
       0,
       [](const auto&, fault_switches* s) { s->division = true; },
       [](const group_key& key) {
         return key.path == block_path::two_d ? forms_list{{1}} : forms_list{};
       },
       "| `division` | divided with C's `/`, truncating toward zero, `(Σ + 1) / 2` for "
       "`(Σ + 1) >> 1`; a C port (only the first pass of the two-dimensional filter can show "
       "it: later negative results clamp to 0 either way) | `pass` 1 | the two-dimensional "
       "filter |"},
      {"rounding_mode",
       {{"pass", {"both"}, 1, 2}, mode_field},
       2,
       [](const auto& v, fault_switches* s) {
         const round_mode m = mode_of(v, 1);
         const bool both = std::holds_alternative<std::string>(v[0]);
         if (both || number(v, 0) == 2) s->rounding_mode[2] = m;
         if (both || number(v, 0) == 1) s->rounding_mode[0] = s->rounding_mode[1] = m;
       },
       [](const group_key& key) {
         forms_list forms;
         const auto name = [](round_mode m) { return field_value{round_mode_name(m)}; };
         if (key.path == block_path::two_d) {
           for (const round_mode m : port_modes) forms.push_back({1, name(m)});
           forms.push_back({2, name(round_mode::half_even)});
           for (const round_mode m : port_modes) forms.push_back({"both", name(m)});
         } else if (filters(key)) {
           // A one-dimensional filter's one pass is its first, and every pass of a port that
           // rounds them all alike.
           forms.push_back({1, name(round_mode::half_even)});
           forms.push_back({"both", name(round_mode::half_even)});
         }
         return forms;
       },
       "| `rounding_mode` | computed Σ / 2^shift exactly and rounded it another way than ours "
       "(half up, toward +∞): `half_even` (IEEE's default, `rint`, `roundEven`), "
       "`half_away_from_zero` (C's `round`) or `toward_zero` (a cast); a shader that computes "
       "in float | `pass` (1 or 2 of the two-dimensional filter, `both` for every pass alike; a "
       "one-dimensional filter's only pass is 1), `mode` | every filter |"},
      {"exact_intermediate",
       {mode_field},
       1,
       [](const auto& v, fault_switches* s) { s->exact_intermediate = mode_of(v, 0); },
       [](const group_key& key) {
         forms_list forms;
         if (key.path != block_path::two_d) return forms;
         for (const round_mode m :
              {round_mode::half_up, round_mode::half_even, round_mode::toward_zero}) {
           forms.push_back({round_mode_name(m)});
         }
         return forms;
       },
       "| `exact_intermediate` | kept the two-dimensional filter's first pass whole (neither "
       "halved nor rounded) and rounded once at the end, Σ / 2^14; a float port, or one with a "
       "32-bit intermediate | `mode` (`half_up`, that is `(Σ + 8192) >> 14`, `half_even` or "
       "`toward_zero`) | the two-dimensional filter |"},
      {"narrow_intermediate",
       {{"bits", {}, 8, 16}, {"first", {"h", "v"}, 0, 1, true}},
       1,
       [](const auto& v, fault_switches* s) {
         s->narrow_intermediate = static_cast<int>(number(v, 0));
         s->narrow_first = v.size() > 1 ? axis_of(v, 1) : axis_h;
       },
       [](const group_key& key) {
         if (key.path != block_path::two_d) return forms_list{};
         return forms_list{{8, "h"}, {8, "v"}, {16}};
       },
       "| `narrow_intermediate` | narrowed the intermediate to save bits: `bits` 8 is the "
       "one-dimensional filter twice, each pass `(Σ + 64) >> 7` and clamped to a byte, `first` "
       "the axis that ran first; `bits` 16 the first pass unhalved, saturated to −32768 … "
       "32767, then `(Σ + 8192) >> 14`; a hardware model | `bits`, `first` (`h` or `v`, for 8) "
       "| the two-dimensional filter |"},
      {"row_stride",
       {{"rows", {"padded"}, -1024, 1024}},
       1,
       [](const auto& v, fault_switches* s) {
         if (std::holds_alternative<std::string>(v[0])) {
           s->row_stride_padded = true;
         } else {
           s->row_stride = static_cast<int32_t>(number(v, 0));
         }
       },
       [](const group_key&) {
         return forms_list{{"padded"}, {-3}, {3}};
       },
       "| `row_stride` | took the plane's rows at another distance than 3 × stride bytes: the "
       "file's padded row length, `(3 × stride + 3) & ~3` (a loader that kept the file's row "
       "size), or a stride a pixel off | `rows`: `padded`, or the byte difference (−3, 3) | "
       "every group |"},
      // Found for the whole check, not a group; its files are written shifted, not rendered.
      {"shifted_files",
       {{"by", {}, -8, 8}},
       1,
       [](const auto&, fault_switches*) {},
       [](const group_key&) { return forms_list{}; },
       "| `shifted_files` | wrote each block into another position's file: file n holds the "
       "block of n − `by` (1 ≤ \\|by\\| ≤ 8, in walk or manifest order); a port that numbered "
       "its files one off. Found for the whole check: the line after the verdict, and JSON "
       "`shifted_files` | `by` | the whole check |"},
  };
}

// A word as a value of `field`; false where the field does not take it.
bool field_of(const field_spec& field, const std::string& w, field_value* value) {
  for (const char* known : field.words) {
    if (w == known) return *value = w, true;
  }
  char* end = nullptr;
  const long long n = std::strtoll(w.c_str(), &end, 10);
  if (w.empty() || *end || n < field.low || n > field.high) return false;
  *value = field.numbered ? field_value{field.words.at(static_cast<size_t>(n))} : field_value{n};
  return true;
}

std::string value_text(const field_value& v) {
  return std::holds_alternative<int64_t>(v) ? std::to_string(std::get<int64_t>(v))
                                            : std::get<std::string>(v);
}

}  // namespace

const char* round_mode_name(round_mode mode) {
  static const char* const modes[] = {"", "half_up", "half_even", "half_away_from_zero",
                                      "toward_zero"};
  return modes[static_cast<int>(mode)];
}

int64_t round_quotient(int64_t sum, int shift, round_mode mode) {
  const int64_t unit = int64_t{1} << shift, half = unit >> 1;
  const int64_t floor = sum >> shift, rest = sum - floor * unit;
  switch (mode) {
    case round_mode::ours:
    case round_mode::half_up:
      return (sum + half) >> shift;
    case round_mode::half_even:
      return rest > half ? floor + 1 : rest < half ? floor : floor + (floor & 1);
    case round_mode::half_away_from_zero:
      return sum >= 0 ? (sum + half) >> shift : -((-sum + half) >> shift);
    case round_mode::toward_zero:
      return sum >= 0 || rest == 0 ? floor : floor + 1;
  }
  return floor;
}

bool combine_switches(const fault_switches& a, const fault_switches& b, fault_switches* both) {
  fault_switches s = a;
  const fault_switches off;
  bool clash = false;
  // Each switch of b that is on must be off in a: the pair sets both.
  each_switch(s.tie(), b.tie(), off.tie(),
              [&](auto& to, const auto& from, const auto& none) { take(to, from, none, &clash); });
  if (clash) return false;
  *both = s;
  return true;
}

const std::vector<fault_descriptor>& fault_catalogue() {
  static const std::vector<fault_descriptor> catalogue = make_catalogue();
  return catalogue;
}

const fault_descriptor* find_fault(const std::string& name) {
  for (const fault_descriptor& f : fault_catalogue()) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

const fault_descriptor& fault(const char* name) {
  const fault_descriptor* f = find_fault(name);
  if (!f) throw std::logic_error(std::string("no fault ") + name + " in the catalogue");
  return *f;
}

diagnosed_fault make_fault(const fault_descriptor& fault, std::vector<field_value> values) {
  diagnosed_fault found;
  found.fault = &fault;
  found.values = std::move(values);
  fault.apply(found.values, &found.switches);
  return found;
}

bool parse_fault(const std::vector<std::string>& words, diagnosed_fault* fault,
                 std::string* error) {
  const fault_descriptor* f = words.empty() ? nullptr : find_fault(words[0]);
  if (!f) {
    *error = "no such fault: " + (words.empty() ? std::string() : words[0]);
    return false;
  }
  const size_t given = words.size() - 1;
  if (given < f->required || given > f->fields.size()) {
    *error = std::string(f->name) + " takes " + std::to_string(f->required) +
             (f->fields.size() > f->required ? " to " + std::to_string(f->fields.size()) : "") +
             " values, got " + std::to_string(given);
    return false;
  }
  std::vector<field_value> values(given);
  for (size_t k = 0; k < given; ++k) {
    if (!field_of(f->fields[k], words[k + 1], &values[k])) {
      *error = std::string(f->name) + ": " + f->fields[k].name + " cannot be " + words[k + 1];
      return false;
    }
  }
  *fault = make_fault(*f, std::move(values));
  return true;
}

std::string fault_text(const diagnosed_fault& fault) {
  if (!fault.pair.empty()) {
    return fault_text(fault.pair[0]) + " + " + fault_text(fault.pair[1]);
  }
  std::string fields;
  for (size_t k = 0; k < fault.values.size(); ++k) {
    fields += (k ? ", " : "") + std::string(fault.fault->fields[k].name) + " " +
              value_text(fault.values[k]);
  }
  const std::string name = fault.fault->name;
  return fields.empty() ? name : name + " (" + fields + ")";
}

bool same_fault(diagnosed_fault* a, const diagnosed_fault& b) {
  if (!a->pair.empty() || !b.pair.empty()) return fault_text(*a) == fault_text(b);
  if (a->fault != b.fault || a->values.size() != b.values.size()) return false;
  const std::vector<field_spec>& fields = a->fault->fields;
  // Intervals lie in pairs of fields, their low end first.
  for (size_t k = 0; k < a->values.size(); ++k) {
    if (!fields[k].interval) {
      if (a->values[k] != b.values[k]) return false;
      continue;
    }
    const int64_t a_low = std::get<int64_t>(a->values[k]),
                  a_high = std::get<int64_t>(a->values[k + 1]);
    const int64_t b_low = std::get<int64_t>(b.values[k]),
                  b_high = std::get<int64_t>(b.values[k + 1]);
    if (b_low > a_high || a_low > b_high) return false;
    ++k;
  }
  for (size_t k = 0; k < a->values.size(); ++k) {
    if (!fields[k].interval) continue;
    a->values[k] = std::max(std::get<int64_t>(a->values[k]), std::get<int64_t>(b.values[k]));
    a->values[k + 1] =
        std::min(std::get<int64_t>(a->values[k + 1]), std::get<int64_t>(b.values[k + 1]));
    ++k;
  }
  return true;
}
