// The JSON writer: escaping, nesting, and lines that fit.
#include "json.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(json_text, escapes_strings_and_writes_every_kind_of_value) {
  const json_value v = json_object{{"quote \" and \\", "tab\there\x01"},
                                   {"n", int64_t{-9007199254740993}},
                                   {"size", size_t{7}},
                                   {"yes", true},
                                   {"none", nullptr},
                                   {"empty", json_array{}},
                                   {"nested", json_object{{"a", json_array{1, json_array{2}}}}}};
  EXPECT_EQ(json_text(v),
            "{\"quote \\\" and \\\\\": \"tab\\u0009here\\u0001\", \"n\": -9007199254740993, "
            "\"size\": 7, \"yes\": true,\n  \"none\": null, \"empty\": [], \"nested\": {\"a\": "
            "[1, [2]]}}\n");
}

TEST(json_text, fills_lines_of_at_most_100_columns_and_indents_by_nesting) {
  json_array rows;
  for (int r = 0; r < 40; ++r) {
    rows.push_back(json_object{{"row", r}, {"name", std::string(r % 7 * 9, 'x')}});
  }
  const std::string text = json_text(json_object{{"rows", rows}, {"after", "end"}});
  std::istringstream lines(text);
  size_t count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_LE(line.size(), 100u) << line;
  }
  EXPECT_GT(count, 5u);
  EXPECT_EQ(text.substr(0, 23), "{\"rows\": [{\"row\": 0, \"n") << "the first member stays";
  EXPECT_NE(text.find("\n    {\"row\": "), std::string::npos) << "members of the array indented";
}

}  // namespace
