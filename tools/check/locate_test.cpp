// The location of differing blocks: ports with faults of placement and reading, written apart
// from the check, on the default set and the walk; every source the check names rendered again
// by the library's own kernels over a plane laid out here, and held to the port's block.
#include "locate.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "check.h"
#include "explain.h"
#include "facets.h"
#include "faulty_port.h"
#include "levels.h"
#include "manifest.h"
#include "picture.h"
#include "scratch_dir.h"
#include "vector_set.h"

namespace {

// The plane of `picture` as a view reads it, laid out apart from the check's views: pixel
// (c, r) of the view at byte 3 * ((r + margin) * row_pixels + c + margin).
struct laid_out {
  std::vector<uint8_t> bytes;
  int64_t row_pixels = 0, margin = 0;
};

laid_out lay_out(const bitmap_picture& picture, source_view view) {
  const int64_t w = picture.width, rows = static_cast<int64_t>(picture.plane.size() / 3) / w;
  laid_out l{picture.plane, w, 0};
  if (view == source_view::rows_reversed) l.bytes = rows_reversed(picture.plane, picture.width);
  if (view == source_view::channels_reversed) {
    for (size_t b = 0; b < l.bytes.size(); b += 3) std::swap(l.bytes[b], l.bytes[b + 2]);
  }
  if (view == source_view::edge_clamped) {
    // Wide enough for any block the clamp keeps near the plane.
    l.margin = 48;
    l.row_pixels = w + 2 * l.margin;
    l.bytes.assign(static_cast<size_t>(3 * l.row_pixels * (rows + 2 * l.margin)), 0);
    for (int64_t r = 0; r < rows + 2 * l.margin; ++r) {
      for (int64_t c = 0; c < l.row_pixels; ++c) {
        const int64_t from_r = std::min(std::max<int64_t>(r - l.margin, 0), rows - 1);
        const int64_t from_c = std::min(std::max<int64_t>(c - l.margin, 0), w - 1);
        for (int ch = 0; ch < 3; ++ch) {
          l.bytes[static_cast<size_t>(3 * (r * l.row_pixels + c) + ch)] =
              picture.plane[static_cast<size_t>(3 * (from_r * w + from_c) + ch)];
        }
      }
    }
  }
  return l;
}

// The block of `s`: the library's kernels over the plane laid out here, or, for the signed view
// no kernel reads, the faulty port's formulas; false where it reads outside.
bool render_here(const bitmap_picture& picture, const block_source& s, uint8_t* block) {
  const placement& p = s.where;
  if (s.view == source_view::signed_bytes) {
    port_only own;
    own.signed_bytes = true;
    fault_switches unclamped;
    unclamped.no_position_clamp = true;
    if (!faulty_interpolate(picture.width, block, picture.plane.data(), picture.plane.size(), 0,
                            static_cast<int32_t>(p.whole[axis_h]),
                            static_cast<int32_t>(p.whole[axis_v]), p.phase[axis_h], p.phase[axis_v],
                            unclamped, own)) {
      return false;
    }
  } else {
    const laid_out l = lay_out(picture, s.view);
    const int64_t row = 3 * l.row_pixels;
    const int64_t origin = (p.source(axis_v) + l.margin) * row + 3 * (p.source(axis_h) + l.margin);
    // The footprint: one pixel before and two after a filtered axis.
    const int64_t h = filters_h(p.path), v = filters_v(p.path);
    if (origin - v * row - 3 * h < 0 || origin + (15 + 2 * v) * row + 3 * (15 + 2 * h) + 2 >=
                                            static_cast<int64_t>(l.bytes.size())) {
      return false;
    }
    if (!run_path(filter_impls().front().paths, p.path, p.phase[axis_h], p.phase[axis_v], block,
                  l.bytes.data() + origin, row)) {
      return false;
    }
  }
  if (s.written == written_form::rows_reversed) {
    for (int r = 0; r < 8; ++r) {
      std::swap_ranges(block + 48 * r, block + 48 * r + 48, block + 48 * (15 - r));
    }
  }
  if (s.written == written_form::channels_reversed) {
    for (int b = 0; b < 768; b += 3) std::swap(block[b], block[b + 2]);
  }
  return true;
}

class locate : public scratch_dir {
 protected:
  void SetUp() override {
    scratch_dir::SetUp();
    std::string summary, error;
    ASSERT_TRUE(make_vector_set(path("set"), {}, &summary, &error)) << error;
    ASSERT_TRUE(read_manifest(path("set"), &set_, &error)) << error;
  }

  // The check of the set as the port with `words` writes it.
  check_report check_port(const std::vector<std::string>& words) {
    std::system(("rm -f '" + path("set") + "'/vector*.bmp").c_str());
    EXPECT_TRUE(write_faulty_files(path("set"), set_, injected_port(words)));
    return run_check(set_, path("set"));
  }

  // Every source the report names gives the port's block, rendered here.
  void expect_sources_give_the_blocks(const check_set& set, const check_report& report) {
    size_t located = 0;
    for (const block_location& l : report.located.blocks) {
      if (!l.source) continue;
      ++located;
      uint8_t block[block_bytes];
      const check_case& c = set.cases[l.case_index];
      ASSERT_TRUE(render_here(set.pictures[c.picture].bitmap, *l.source, block)) << c.file;
      const std::vector<uint8_t>& found = report.compared.outcomes[l.case_index].found;
      EXPECT_TRUE(std::equal(block, block + block_bytes, found.begin()))
          << c.file << ": " << source_text(*l.source);
    }
    sources_checked_ += located;
  }

  check_set set_;
  size_t sources_checked_ = 0;
};

TEST_F(locate, tells_each_ports_relation_in_every_group_it_can) {
  const struct {
    std::vector<std::string> port;  // as faulty_walk names it
    std::string relation;           // as the report words it
  } cases[] = {
      {{"plane_rows_reversed"}, "found in the plane with its rows reversed (read top row first)"},
      {{"plane_rows_reversed", "+", "row_order"},
       "found in the plane with its rows reversed, each block's rows reversed too"},
      {{"edge_clamped"},
       "found where the plane's edges are clamped, as a texture's clamp-to-edge sampler does, "
       "instead of running on into the next row"},
      {{"signed_bytes"}, "found with the plane's bytes read as signed (signed char)"},
      {{"no_origin"},
       "found 16 pixels up and left of ours: the block's origin, 16 pixels into the plane, left "
       "out"},
      {{"axes_exchanged"}, "found with x and y exchanged, and the vector's components too"},
      {{"components_exchanged"}, "found with the components of the vector exchanged"},
      {{"sign_and_magnitude"},
       "found where the vector splits into mv / 4, truncating, and a phase of |mv % 4|: a "
       "sign-and-magnitude split"},
      {{"clamp_before_whole_part"}, "found where the clamp applies before the whole part is added"},
      {{"fractional_axis_clamped"}, "found where only an axis with a fractional phase is clamped"},
      {{"position_in_32_bits"},
       "found at the position that a 32-bit sum wraps to: the position taken as 4 * x + mv in 32 "
       "bits"},
      // Relations no fault of the placement predicts, said as what they are.
      {{"source_offset", "2", "1"}, "found 2 pixels right and 1 pixel down of ours"},
      {{"taps", "v", "3"}, "found where ours lies, at a vertical phase of 3/4"},
      {{"phases_swapped"}, "found where ours lies, with the phases of the two axes exchanged"},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const std::string& w : c.port) name += w + " ";
    SCOPED_TRACE(name);
    const check_report report = check_port(c.port);
    size_t told = 0;
    for (size_t k = 0; k < report.groups.size(); ++k) {
      if (!report.groups[k].differing_bytes) continue;
      const group_location& g = report.located.groups[k];
      const auto& unknowable = g.unknowable;
      // Where its every source lies outside the plane, a relation can tell nothing.
      if (std::find(unknowable.begin(), unknowable.end(), c.relation) != unknowable.end()) continue;
      ++told;
      EXPECT_EQ(g.relation.value_or("none"), c.relation)
          << path_and_phases(report.groups[k].key) << ", " << g.located << " located";
    }
    EXPECT_GT(told, 10u);
    expect_sources_give_the_blocks(set_, report);
  }
  EXPECT_GT(sources_checked_, 5000u);
}

TEST_F(locate, finds_no_source_for_what_only_arithmetic_explains) {
  // The blocks of these lie where ours do; their bytes are computed otherwise.
  for (const std::vector<std::string>& port :
       std::vector<std::vector<std::string>>{{"rounding", "2", "0"},
                                             {"exact_intermediate", "half_even"},
                                             {"no_clamp"},
                                             {"narrow_intermediate", "16"}}) {
    SCOPED_TRACE(port[0]);
    const check_report report = check_port(port);
    for (size_t k = 0; k < report.groups.size(); ++k) {
      EXPECT_FALSE(report.located.groups[k].relation) << path_and_phases(report.groups[k].key);
    }
    expect_sources_give_the_blocks(set_, report);
  }
}

TEST_F(locate, tells_the_walk_read_top_row_first_in_every_group_copies_too) {
  picture_options options;
  options.content = picture_content::random;
  options.seed = 3;
  write_file(path("picture.bmp"), make_picture_file(options));
  check_set walk;
  std::string error;
  ASSERT_TRUE(read_walk_set(path("picture.bmp"), &walk, &error)) << error;
  ASSERT_TRUE(write_faulty_files(dir_, walk, injected_port({"plane_rows_reversed"})));
  const check_report report = run_check(walk, dir_);
  ASSERT_EQ(report.groups.size(), 4u);
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(report.groups[k].differing_blocks, report.groups[k].cases.size());
    EXPECT_EQ(report.located.groups[k].located, report.groups[k].differing_blocks);
    EXPECT_EQ(report.located.groups[k].relation.value_or("none"),
              "found in the plane with its rows reversed (read top row first)");
  }
  expect_sources_give_the_blocks(walk, report);

  // --explain derives a located byte both ways: ours, and the source's, to what the port wrote.
  char* text = nullptr;
  size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  write_explanation(walk, report, 1, 0, 0, 0, memory);
  std::fclose(memory);
  const std::string explained(text, size);
  std::free(text);
  const int found = report.compared.outcomes[1].found[0];
  EXPECT_NE(explained.find(", found " + std::to_string(found) + ": "), std::string::npos);
  const size_t source = explained.find("found as ours (41, ");
  ASSERT_NE(source, std::string::npos) << explained;
  EXPECT_NE(explained.find(" in view rows_reversed: its row 0, pixel 0, channel 0\n", source),
            std::string::npos);
  EXPECT_NE(explained.find("as its group's blocks are: found in the plane with its rows reversed",
                           source),
            std::string::npos);
  EXPECT_NE(explained.find("clamped to 0 ... 255: " + std::to_string(found) + "\n", source),
            std::string::npos)
      << explained;
}

TEST_F(locate, tells_where_a_groups_differing_bytes_lie_and_what_they_are) {
  const check_report right = check_port({"no_clamp"});
  // A port whose last rows come out wrong, where it saturates 255 to 0: the bytes changed by
  // hand in the blocks of one picture.
  check_report report = right;
  size_t changed = 0;
  for (size_t i = 0; i < set_.cases.size(); ++i) {
    case_outcome& o = report.compared.outcomes[i];
    o.found = o.expected;
    if (set_.cases[i].picture != 1 || i % 3) continue;
    for (size_t b = 13 * block_row_bytes; b < block_bytes; ++b) {
      if (o.expected[b] == 255) o.found[b] = 0, ++changed;
    }
  }
  ASSERT_GT(changed, 100u);
  report.groups = group_blocks(set_, report.compared);
  bool confined = false, pairs = false, picture = false;
  for (const group_report& g : report.groups) {
    if (!g.differing_bytes) continue;
    for (int r = 0; r < 13; ++r) EXPECT_EQ(g.rows[r], 0u);
    for (const std::string& line : group_facet_lines(set_, report, g)) {
      confined |= line.rfind("the differing bytes lie in rows 13 … 15", 0) == 0;
      pairs |= line == "every differing byte: expected 255, found 0";
      picture |= line == "the differing blocks are all of extremes.bmp";
    }
  }
  EXPECT_TRUE(confined);
  EXPECT_TRUE(pairs);
  EXPECT_TRUE(picture);
  const check_facets facets = facets_of(set_, report);
  ASSERT_EQ(facets.pictures.size(), 2u);
  EXPECT_EQ(facets.pictures[0], std::make_pair(std::string("random.bmp"), size_t{0}));
  EXPECT_EQ(facets.pictures[1].first, "extremes.bmp");
  EXPECT_GT(facets.pictures[1].second, 0u);
}

}  // namespace
