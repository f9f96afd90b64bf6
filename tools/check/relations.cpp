#include "relations.h"

#include <cstdlib>
#include <tuple>

#include "call.h"

namespace {

block_source stored(const placement& where) {
  return {source_view::stored, written_form::as_written, where};
}

// The routine's clamp of a fractional placement, whatever its whole position came from.
placement clamped(placement p, const block_call& call) {
  if (p.path == block_path::copy) return p;
  for (const int axis : {axis_h, axis_v}) {
    clamp_axis(&p, axis, clamp_low(call, axis), clamp_high(call, axis));
  }
  return p;
}

// A placement from a port's own whole parts and phases, clamped as the routine clamps.
placement placed_as(const block_call& call, const int64_t whole[2], const int phase[2]) {
  placement p;
  for (const int axis : {axis_h, axis_v}) {
    p.whole[axis] = whole[axis];
    p.phase[axis] = phase[axis];
  }
  p.path = path_of(p.phase[axis_h], p.phase[axis_v]);
  return clamped(p, call);
}

std::optional<block_source> unless_ours(const block_call& call, const block_source& s) {
  const block_source ours = stored(place(call));
  if (same_source(s, ours)) return std::nullopt;
  return s;
}

// Relations of the view alone: the port places the block as ours, in a plane it reads another
// way, and may write its rows or its channels the other way round.
template <source_view view, written_form written>
std::optional<block_source> in_view(const block_call& call) {
  return block_source{view, written, place(call)};
}

// The block's origin, 16 pixels into the plane, left out.
std::optional<block_source> origin_left_out(const block_call& call) {
  placement p = place(call);
  for (const int axis : {axis_h, axis_v}) p.whole[axis] -= block_margin;
  return stored(p);
}

std::optional<block_source> components_exchanged(const block_call& call) {
  return unless_ours(call,
                     stored(place({call.stride, call.height, call.x, call.y, call.mvy, call.mvx})));
}

std::optional<block_source> axes_exchanged(const block_call& call) {
  return unless_ours(call,
                     stored(place({call.stride, call.height, call.y, call.x, call.mvy, call.mvx})));
}

// mv / 4 truncating toward zero, and |mv % 4| for the phase.
std::optional<block_source> sign_and_magnitude(const block_call& call) {
  const int32_t position[2] = {call.x, call.y}, mv[2] = {call.mvx, call.mvy};
  int64_t whole[2];
  int phase[2];
  for (const int axis : {axis_h, axis_v}) {
    whole[axis] = int64_t{position[axis]} + mv[axis] / 4;
    phase[axis] = std::abs(mv[axis] % 4);
  }
  return unless_ours(call, stored(placed_as(call, whole, phase)));
}

// The position clamped first, and the whole part added after.
std::optional<block_source> clamp_before_whole_part(const block_call& call) {
  const placement ours = split(call);
  if (ours.path == block_path::copy) return std::nullopt;
  const int32_t position[2] = {call.x, call.y}, mv[2] = {call.mvx, call.mvy};
  placement p = ours;
  for (const int axis : {axis_h, axis_v}) {
    placement at = ours;
    at.whole[axis] = position[axis];
    clamp_axis(&at, axis, clamp_low(call, axis), clamp_high(call, axis));
    p.whole[axis] = at.whole[axis] + (mv[axis] >> 2);
    p.clamp[axis] = at.clamp[axis];
  }
  return unless_ours(call, stored(p));
}

// Only an axis with a fractional phase clamped.
std::optional<block_source> fractional_axis_clamped(const block_call& call) {
  placement p = split(call);
  for (const int axis : {axis_h, axis_v}) {
    if (p.phase[axis]) clamp_axis(&p, axis, clamp_low(call, axis), clamp_high(call, axis));
  }
  return unless_ours(call, stored(p));
}

// The position in quarter pixels, 4 x + mv, summed in 32 bits and wrapping.
std::optional<block_source> wrapped_in_32_bits(const block_call& call) {
  const int32_t position[2] = {call.x, call.y}, mv[2] = {call.mvx, call.mvy};
  int64_t whole[2];
  int phase[2];
  for (const int axis : {axis_h, axis_v}) {
    const uint32_t quarters =
        4u * static_cast<uint32_t>(position[axis]) + static_cast<uint32_t>(mv[axis]);
    whole[axis] = static_cast<int32_t>(quarters) >> 2;
    phase[axis] = static_cast<int>(quarters & 3);
  }
  return unless_ours(call, stored(placed_as(call, whole, phase)));
}

const char* up_or_down(int64_t d) {
  return d < 0 ? "up" : "down";
}
const char* left_or_right(int64_t d) {
  return d < 0 ? "left" : "right";
}

std::string pixels(int64_t d) {
  const int64_t n = d < 0 ? -d : d;
  return std::to_string(n) + (n == 1 ? " pixel" : " pixels");
}

// "in the plane with its rows reversed", "with the bytes read as signed"
std::string view_words(source_view view) {
  switch (view) {
    case source_view::stored:
      return "";
    case source_view::rows_reversed:
      return "in the plane with its rows reversed";
    case source_view::channels_reversed:
      return "with blue and red exchanged";
    case source_view::edge_clamped:
      return "in the plane with its edges clamped instead of running on into the next row";
    case source_view::signed_bytes:
      return "with the plane's bytes read as signed";
  }
  return "";
}

std::string written_words(source_view view, written_form written) {
  switch (written) {
    case written_form::as_written:
      return "";
    case written_form::rows_reversed:
      return view == source_view::rows_reversed ? "each block's rows reversed too"
                                                : "the block's rows in the other order";
    case written_form::channels_reversed:
      return "blue and red exchanged in the block";
  }
  return "";
}

}  // namespace

const std::vector<predicted_relation>& predicted_relations() {
  using v = source_view;
  using w = written_form;
  static const std::vector<predicted_relation> relations = {
      {"rows_reversed", "found in the plane with its rows reversed (read top row first)",
       in_view<v::rows_reversed, w::as_written>},
      {"rows_reversed_both",
       "found in the plane with its rows reversed, each block's rows reversed too",
       in_view<v::rows_reversed, w::rows_reversed>},
      {"rows_order", "found with the block's rows in the other order",
       in_view<v::stored, w::rows_reversed>},
      {"channels_reversed", "found with blue and red exchanged",
       in_view<v::channels_reversed, w::as_written>},
      {"edge_clamped",
       "found where the plane's edges are clamped, as a texture's clamp-to-edge sampler does, "
       "instead of running on into the next row",
       in_view<v::edge_clamped, w::as_written>},
      {"signed_bytes", "found with the plane's bytes read as signed (signed char)",
       in_view<v::signed_bytes, w::as_written>},
      {"origin_left_out",
       "found 16 pixels up and left of ours: the block's origin, 16 pixels into the plane, left "
       "out",
       origin_left_out},
      {"components_exchanged", "found with the components of the vector exchanged",
       components_exchanged},
      {"axes_exchanged", "found with x and y exchanged, and the vector's components too",
       axes_exchanged},
      {"sign_and_magnitude",
       "found where the vector splits into mv / 4, truncating, and a phase of |mv % 4|: a "
       "sign-and-magnitude split",
       sign_and_magnitude},
      {"clamp_before_whole_part", "found where the clamp applies before the whole part is added",
       clamp_before_whole_part},
      {"fractional_axis_clamped", "found where only an axis with a fractional phase is clamped",
       fractional_axis_clamped},
      {"wrapped_in_32_bits",
       "found at the position that a 32-bit sum wraps to: the position taken as 4 * x + mv in 32 "
       "bits",
       wrapped_in_32_bits},
  };
  return relations;
}

bool plain_relation::operator<(const plain_relation& o) const {
  return std::make_tuple(view, written, dx, dy, phase[0], phase[1], path) <
         std::make_tuple(o.view, o.written, o.dx, o.dy, o.phase[0], o.phase[1], o.path);
}

bool plain_relation::operator==(const plain_relation& o) const {
  return !(*this < o) && !(o < *this);
}

plain_relation relation_between(const placement& ours, const block_source& found) {
  plain_relation r;
  r.view = found.view;
  r.written = found.written;
  r.dx = found.where.whole[axis_h] - ours.whole[axis_h];
  r.dy = found.where.whole[axis_v] - ours.whole[axis_v];
  r.phase[0] = found.where.phase[0];
  r.phase[1] = found.where.phase[1];
  r.path = found.where.path;
  return r;
}

block_source source_of(const plain_relation& r, const placement& ours) {
  block_source s{r.view, r.written, ours};
  s.where.whole[axis_h] += r.dx;
  s.where.whole[axis_v] += r.dy;
  s.where.phase[axis_h] = r.phase[axis_h];
  s.where.phase[axis_v] = r.phase[axis_v];
  s.where.path = r.path;
  return s;
}

std::vector<std::string> relation_words(const plain_relation& r, const placement& ours) {
  std::string place;
  if (r.dx == 0 && r.dy == 0) {
    place = "where ours lies";
  } else if (r.dx == 0) {
    place = pixels(r.dy) + " " + up_or_down(r.dy) + " of ours";
  } else if (r.dy == 0) {
    place = pixels(r.dx) + " " + left_or_right(r.dx) + " of ours";
  } else if (r.dx == r.dy) {
    place = pixels(r.dx) + " " + up_or_down(r.dy) + " and " + left_or_right(r.dx) + " of ours";
  } else {
    place = pixels(r.dx) + " " + left_or_right(r.dx) + " and " + pixels(r.dy) + " " +
            up_or_down(r.dy) + " of ours";
  }
  // What the phases became, in the words other groups may share where the port did the same:
  // exchanged, mirrored, or a phase of the port's own on an axis.
  std::vector<std::string> phase_words;
  if (r.phase[0] == ours.phase[0] && r.phase[1] == ours.phase[1]) {
    phase_words.push_back("");
  } else {
    if (r.phase[0] == ours.phase[1] && r.phase[1] == ours.phase[0]) {
      phase_words.push_back(", with the phases of the two axes exchanged");
    }
    std::string own, mirrored;
    bool all_mirrored = true;
    for (const int axis : {axis_h, axis_v}) {
      if (r.phase[axis] == ours.phase[axis]) continue;
      const std::string name = axis == axis_h ? "horizontal" : "vertical";
      own += ", at a " + name + " phase of " + phase_text(r.phase[axis]);
      mirrored += ", at the mirror image of the " + name + " phase";
      all_mirrored &= ours.phase[axis] && r.phase[axis] == 4 - ours.phase[axis];
    }
    phase_words.push_back(own);
    if (all_mirrored) phase_words.push_back(mirrored);
  }
  std::string rest;
  for (const std::string& part : {view_words(r.view), written_words(r.view, r.written)}) {
    if (!part.empty()) rest += ", " + part;
  }
  if (r.dx == -block_margin && r.dy == -block_margin && r.view == source_view::stored) {
    rest += r.path == block_path::copy ? ": the copy without the block's origin"
                                       : ": the block without its origin";
  }
  std::vector<std::string> words;
  for (const std::string& p : phase_words) words.push_back("found " + place + p + rest);
  return words;
}

std::string placement_text(const placement& where) {
  return "(" + std::to_string(where.source(axis_h)) + ", " + std::to_string(where.source(axis_v)) +
         ") phases " + phases_text(where.phase);
}

std::string source_text(const block_source& source) {
  std::string text = placement_text(source.where);
  if (source.view != source_view::stored) text += std::string(" in view ") + view_name(source.view);
  if (source.written != written_form::as_written) {
    text += std::string(", written ") + written_name(source.written);
  }
  return text;
}
