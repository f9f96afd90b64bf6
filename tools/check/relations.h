// What a port did where its block is one of ours from somewhere else: the relation between the
// source found and the placement of ours, in the contract's terms. Some relations predict the
// source from the call (the contract's arithmetic done another way); any other is said as what
// it is, an offset, other phases, another view.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "views.h"

// A fault of the port's placement or reading that gives, for every call, a source to try.
struct predicted_relation {
  const char* name;   // "clamp_before_whole_part"
  const char* words;  // "found where the clamp applies before the whole part is added"
  // Where a port with the fault takes the block of `call` from; none where it takes ours.
  std::optional<block_source> (*predict)(const block_call& call);
};

// In the order a group's story prefers them, where several hold.
const std::vector<predicted_relation>& predicted_relations();

// The relation of a source to ours, said as what it is: the view, how it is written, the offset
// and the phases. Two blocks of a group that stand in one relation have equal keys.
struct plain_relation {
  source_view view = source_view::stored;
  written_form written = written_form::as_written;
  int64_t dx = 0, dy = 0;
  int phase[2] = {0, 0};  // of the source
  block_path path = block_path::copy;
  bool operator<(const plain_relation& other) const;
  bool operator==(const plain_relation& other) const;
};
plain_relation relation_between(const placement& ours, const block_source& found);
// The source the relation gives a block placed at `ours`.
block_source source_of(const plain_relation& r, const placement& ours);
// "found 16 pixels up and left of ours: the copy without the block's origin": the ways to say
// the relation, which other groups may share (a phase mirrored is also a phase of its own).
std::vector<std::string> relation_words(const plain_relation& r, const placement& ours);

// "(41, 41) phases (1/4, 1/4)": a placement as a fact.
std::string placement_text(const placement& where);
// The same, with its view and written form where not the plain ones.
std::string source_text(const block_source& source);
