#include "locate.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "interpolate.h"
#include "scan.h"

namespace {

// A picture's plane in each view, made when first asked for.
class view_planes {
 public:
  explicit view_planes(const check_set& set) : set_(set), planes_(set.pictures.size()) {}
  const view_plane& of(size_t picture, source_view view) {
    std::unique_ptr<view_plane>& p = planes_[picture][static_cast<size_t>(view)];
    if (!p) {
      const bitmap_picture& b = set_.pictures[picture].bitmap;
      const int64_t rows = static_cast<int64_t>(b.plane.size() / 3) / b.width;
      p = std::make_unique<view_plane>(make_view_plane(b.plane, b.width, rows, view));
    }
    return *p;
  }

 private:
  const check_set& set_;
  std::vector<std::array<std::unique_ptr<view_plane>, std::size(every_view)>> planes_;
};

// What a source makes of a block: the port's block, a source read outside the view's plane
// (which could have given anything), or other bytes.
enum class verdict { gives, outside, differs };

verdict try_source(view_planes& planes, const check_set& set, const comparison& compared, size_t i,
                   const block_source& source) {
  uint8_t block[block_bytes];
  if (!render_source(planes.of(set.cases[i].picture, source.view), source.where, block)) {
    return verdict::outside;
  }
  rearrange(source.written, block);
  return std::equal(block, block + block_bytes, compared.outcomes[i].found.begin())
             ? verdict::gives
             : verdict::differs;
}

uint64_t block_hash(const std::vector<uint8_t>& block) {
  uint64_t h = 0;
  for (const uint8_t b : block) h = h * 1099511628211ull + b;
  return h;
}

// The compared blocks of each picture by their expected bytes: a block found as another call's.
class expected_blocks {
 public:
  expected_blocks(const check_set& set, const comparison& compared)
      : set_(set), compared_(compared) {
    for (size_t j = 0; j < compared.outcomes.size(); ++j) {
      if (compared.outcomes[j].state == file_state::read) {
        by_hash_.emplace(block_hash(compared.outcomes[j].expected), j);
      }
    }
  }
  std::optional<size_t> holding(size_t i) const {
    const std::vector<uint8_t>& found = compared_.outcomes[i].found;
    const auto [from, to] = by_hash_.equal_range(block_hash(found));
    for (auto e = from; e != to; ++e) {
      const size_t j = e->second;
      if (j != i && set_.cases[j].picture == set_.cases[i].picture &&
          compared_.outcomes[j].expected == found) {
        return j;
      }
    }
    return std::nullopt;
  }

 private:
  const check_set& set_;
  const comparison& compared_;
  std::multimap<uint64_t, size_t> by_hash_;
};

// The search of every view for each differing block (indices into `cases`): each block
// rearranged by every written form is a target; in the stored view, a block found with its
// channels exchanged is the view with them exchanged.
std::vector<std::vector<block_source>> search(const check_set& set, const comparison& compared,
                                              const std::vector<size_t>& cases,
                                              view_planes& planes) {
  constexpr size_t most = 8;
  std::vector<std::vector<block_source>> found(cases.size());
  for (size_t picture = 0; picture < set.pictures.size(); ++picture) {
    std::vector<std::array<uint8_t, block_bytes>> bytes;
    std::vector<std::pair<size_t, written_form>> whose;  // per target: the block, the form
    for (size_t b = 0; b < cases.size(); ++b) {
      if (set.cases[cases[b]].picture != picture) continue;
      for (const written_form w : every_written) {
        bytes.emplace_back();
        std::copy_n(compared.outcomes[cases[b]].found.begin(), block_bytes, bytes.back().begin());
        rearrange(w, bytes.back().data());
        whose.push_back({b, w});
      }
    }
    if (bytes.empty()) continue;
    std::vector<scan_target> targets;
    for (size_t t = 0; t < bytes.size(); ++t) {
      targets.push_back({bytes[t].data(), place(set.cases[cases[whose[t].first]].call)});
    }
    for (const source_view view : {source_view::stored, source_view::rows_reversed,
                                   source_view::edge_clamped, source_view::signed_bytes}) {
      for (const scan_match& m : scan_view(planes.of(picture, view), targets, most)) {
        block_source s = m.source;
        s.written = whose[m.target].second;
        if (s.view == source_view::stored && s.written == written_form::channels_reversed) {
          s.view = source_view::channels_reversed;
          s.written = written_form::as_written;
        }
        found[whose[m.target].first].push_back(s);
      }
    }
  }
  return found;
}

// A story a group's blocks may share: a predicted relation, another call's block, or a relation
// said as what it is; and what it makes of each differing block.
struct story {
  int predicted = -1;
  bool other_call = false;
  std::optional<plain_relation> plain;
  std::map<size_t, block_source> gives;  // block -> its source, where the story gives it
  size_t differs = 0;                    // blocks it gives other bytes
  bool explains() const { return differs == 0 && !gives.empty(); }
};

// The ways to say a story: a plain relation has several.
std::vector<std::string> story_words(const story& s, const placement& ours) {
  if (s.predicted >= 0) return {predicted_relations()[static_cast<size_t>(s.predicted)].words};
  if (s.other_call) return {"found as another call's block"};
  return relation_words(*s.plain, ours);
}

// The plain relations a group's search findings stand in, those of the most blocks first; the
// nearest first where as many blocks share them.
std::vector<plain_relation> plain_relations(const std::vector<size_t>& blocks,
                                            const std::vector<placement>& ours,
                                            const std::vector<std::vector<block_source>>& found) {
  std::map<plain_relation, size_t> count;
  for (const size_t b : blocks) {
    std::vector<plain_relation> seen;
    for (const block_source& s : found[b]) {
      const plain_relation r = relation_between(ours[b], s);
      if (std::find(seen.begin(), seen.end(), r) == seen.end()) seen.push_back(r), ++count[r];
    }
  }
  std::vector<std::pair<plain_relation, size_t>> list(count.begin(), count.end());
  const auto far = [](const plain_relation& r) {
    return std::abs(r.dx) + std::abs(r.dy) + (r.view != source_view::stored) * 64;
  };
  std::stable_sort(list.begin(), list.end(), [&](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : far(a.first) < far(b.first);
  });
  constexpr size_t tried = 8;  // a few: in a flat picture a block matches anywhere
  std::vector<plain_relation> relations;
  for (size_t k = 0; k < list.size() && k < tried; ++k) relations.push_back(list[k].first);
  return relations;
}

// The stories of a group: each predicted relation, another call's block, the plain relations its
// blocks were found in, and those `elsewhere` that keep a block's phases.
std::vector<story> group_stories(const check_set& set, const comparison& compared,
                                 view_planes& planes, const std::vector<size_t>& blocks,
                                 const std::vector<size_t>& cases,
                                 const std::vector<placement>& ours,
                                 const std::vector<std::vector<block_source>>& found,
                                 const std::vector<std::optional<size_t>>& other,
                                 const std::vector<plain_relation>& elsewhere) {
  std::vector<story> stories;
  const auto& relations = predicted_relations();
  // A story tried block by block, each block's source from `source_of`; one that gives a block
  // other bytes cannot explain the group, and a few more blocks tell enough of it.
  const auto tried = [&](story s, auto source_of) {
    size_t after_differing = 0;
    for (const size_t b : blocks) {
      const std::optional<block_source> source = source_of(b);
      const verdict v =
          source ? try_source(planes, set, compared, cases[b], *source) : verdict::differs;
      if (v == verdict::gives) s.gives[b] = *source;
      s.differs += v == verdict::differs;
      if (s.differs && ++after_differing > 4) break;
    }
    stories.push_back(std::move(s));
  };
  for (size_t k = 0; k < relations.size(); ++k) {
    story s;
    s.predicted = static_cast<int>(k);
    tried(s, [&](size_t b) { return relations[k].predict(set.cases[cases[b]].call); });
  }
  story others;
  others.other_call = true;
  for (const size_t b : blocks) {
    if (other[b]) {
      others.gives[b] = {source_view::stored, written_form::as_written,
                         place(set.cases[*other[b]].call)};
    } else {
      ++others.differs;
    }
  }
  stories.push_back(std::move(others));
  std::vector<plain_relation> plain = plain_relations(blocks, ours, found);
  // Those that tell other groups' stories, in this group's phases.
  for (plain_relation r : elsewhere) {
    r.phase[0] = ours[blocks.front()].phase[0];
    r.phase[1] = ours[blocks.front()].phase[1];
    r.path = ours[blocks.front()].path;
    if (std::find(plain.begin(), plain.end(), r) == plain.end()) plain.push_back(r);
  }
  for (const plain_relation& r : plain) {
    story s;
    s.plain = r;
    tried(s, [&](size_t b) { return std::optional<block_source>(source_of(r, ours[b])); });
  }
  return stories;
}

// Of the stories that give no block other bytes than the port's, the one that gives the most
// (a source read outside the plane could have given anything, and counts neither way); where
// every story gives some block other bytes, the one that gives the most. First in the order of
// the stories where as many do.
bool better(const story& a, const story& b) {
  if (a.explains() != b.explains()) return a.explains();
  return a.gives.size() > b.gives.size();
}

// A block the group's story does not give: its own first finding, if any.
void own_finding(const std::vector<block_source>& found, const std::optional<size_t>& other,
                 const check_set& set, block_location* l) {
  if (other) {
    l->other_case = other;
    l->source =
        block_source{source_view::stored, written_form::as_written, place(set.cases[*other].call)};
  } else if (!found.empty()) {
    l->source = found.front();
  }
}

// What a group's stories tell: its story, and the source of each of its blocks.
group_location tell_story(const check_set& set, const std::vector<story>& stories,
                          const std::vector<size_t>& blocks, const std::vector<placement>& ours,
                          const std::vector<std::vector<block_source>>& found,
                          const std::vector<std::optional<size_t>>& other,
                          location_report* report) {
  group_location where;
  const story& s = *std::min_element(stories.begin(), stories.end(), better);
  for (const size_t b : blocks) {
    block_location& l = report->blocks[b];
    l = block_location{l.case_index, {}, {}, -1};
    const auto given = s.gives.find(b);
    if (given != s.gives.end()) {
      l.source = given->second;
      l.relation = s.predicted >= 0 ? s.predicted : s.other_call ? -2 : -3;
      if (s.other_call) l.other_case = other[b];
    } else if (s.differs) {
      // Where the story reads outside the plane its bytes could be anything: a finding
      // elsewhere is a coincidence then, and told only where no story holds.
      own_finding(found[b], other[b], set, &l);
    }
    where.located += l.source.has_value();
  }
  where.covered = s.gives.size();
  const placement& group_ours = ours[blocks.front()];
  for (const story& t : stories) {
    // A relation whose every source here lies outside the plane can tell nothing of the group.
    if (!t.other_call && t.gives.empty() && !t.differs) {
      where.unknowable.push_back(story_words(t, group_ours).front());
    }
    if (!s.explains() || better(s, t) || better(t, s)) continue;
    for (const std::string& w : story_words(t, group_ours)) where.relation_choices.push_back(w);
  }
  if (s.explains()) {
    where.relation = story_words(s, group_ours).front();
  } else {
    for (const size_t b : blocks) {
      if (report->blocks[b].source && where.facts.size() < 3) where.facts.push_back(b);
    }
  }
  return where;
}

}  // namespace

bool source_gives(const check_set& set, const comparison& compared, size_t i,
                  const block_source& source) {
  view_planes planes(set);
  return try_source(planes, set, compared, i, source) == verdict::gives;
}

location_report locate_blocks(const check_set& set, const comparison& compared,
                              const std::vector<group_report>& groups) {
  location_report report;
  std::vector<size_t> cases;
  for (size_t i = 0; i < compared.outcomes.size(); ++i) {
    const case_outcome& o = compared.outcomes[i];
    if (o.state == file_state::read && o.found != o.expected) cases.push_back(i);
  }
  view_planes planes(set);
  const expected_blocks expected(set, compared);
  std::vector<placement> ours;
  std::vector<std::optional<size_t>> other;
  for (const size_t i : cases) {
    ours.push_back(place(set.cases[i].call));
    other.push_back(expected.holding(i));
  }
  const std::vector<std::vector<block_source>> found = search(set, compared, cases, planes);

  report.blocks.resize(cases.size());
  std::map<size_t, size_t> block_of;  // case -> block
  for (size_t b = 0; b < cases.size(); ++b) {
    report.blocks[b].case_index = cases[b];
    block_of[cases[b]] = b;
  }
  // Each group's story from its own findings; then, for a group they leave untold, the plain
  // relations that keep the phases and tell other groups', whose sources its blocks may hold
  // where the search found none (or read outside the plane).
  report.groups.resize(groups.size());
  std::vector<std::vector<size_t>> blocks_of(groups.size());
  for (size_t k = 0; k < groups.size(); ++k) {
    for (const size_t i : groups[k].cases) {
      const auto b = block_of.find(i);
      if (b != block_of.end()) blocks_of[k].push_back(b->second);
    }
  }
  std::vector<plain_relation> elsewhere;
  for (const bool second : {false, true}) {
    for (size_t k = 0; k < groups.size(); ++k) {
      if (blocks_of[k].empty() || (second && report.groups[k].relation)) continue;
      const std::vector<story> stories =
          group_stories(set, compared, planes, blocks_of[k], cases, ours, found, other,
                        second ? elsewhere : std::vector<plain_relation>{});
      report.groups[k] = tell_story(set, stories, blocks_of[k], ours, found, other, &report);
      if (second) continue;
      const story& s = *std::min_element(stories.begin(), stories.end(), better);
      const placement& group_ours = ours[blocks_of[k].front()];
      if (s.explains() && s.plain && s.plain->phase[0] == group_ours.phase[0] &&
          s.plain->phase[1] == group_ours.phase[1] &&
          std::find(elsewhere.begin(), elsewhere.end(), *s.plain) == elsewhere.end()) {
        elsewhere.push_back(*s.plain);
      }
    }
  }
  // A plain relation said as most groups say theirs: one story for the whole check.
  std::map<std::string, size_t> said;
  for (const group_location& g : report.groups) {
    for (const std::string& w : g.relation_choices) ++said[w];
  }
  for (group_location& g : report.groups) {
    for (const std::string& w : g.relation_choices) {
      if (said[w] > said[*g.relation]) g.relation = w;
    }
  }
  return report;
}
