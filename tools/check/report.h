// The check's report: text for people, JSON for other projects' scripts.
#pragma once

#include <cstdio>
#include <string>

#include "check.h"
#include "json.h"

// The report's first line: identical, different or nothing checked, and how many blocks; `dir`
// is the checked directory, as the user named it.
std::string verdict(const check_set& set, const check_report& report, const std::string& dir);

// `dir` is the checked directory, as the user named it.
void write_text_report(const check_set& set, const check_report& report, std::FILE* to,
                       const std::string& dir);
// The JSON: the report as a tree (the Python module makes its dict of it), and as text, which
// check_walk writes to a file or to standard output.
json_value report_json(const check_set& set, const check_report& report);
std::string json_report(const check_set& set, const check_report& report);

// "blue": channel 0 of a pixel.
const char* channel_name(int channel);
// "two_d (1/4, 3/4)", and for a set of vectors its clamp states and sign too.
std::string group_label(const check_set& set, const group_key& key);
