#include "faults.h"

namespace {

const char* const names[fault_kinds] = {
    "rounding",          "no_clamp",      "taps",         "source_offset",
    "row_order",         "channel_order", "vector_split", "phases_swapped",
    "no_position_clamp", "clamp_bounds",  "copy_clamp",   "two_pass_1d",
};

}  // namespace

const char* fault_name(fault_kind kind) {
  return names[static_cast<size_t>(kind)];
}

bool fault_named(const std::string& name, fault_kind* kind) {
  for (size_t k = 0; k < fault_kinds; ++k) {
    if (name == names[k]) {
      *kind = static_cast<fault_kind>(k);
      return true;
    }
  }
  return false;
}

std::string fault_text(const diagnosed_fault& fault) {
  std::string fields;
  for (const auto& [key, value] : fault.fields) {
    fields += (fields.empty() ? "" : ", ") + key + " " +
              (std::holds_alternative<int64_t>(value) ? std::to_string(std::get<int64_t>(value))
                                                      : std::get<std::string>(value));
  }
  return fields.empty() ? fault_name(fault.kind) : fault_name(fault.kind) + (" (" + fields + ")");
}
