// The README's benches are the tested ones: every piece of code its section on benches shows is
// copied from a file the bench tests run, line for line.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace {

std::string text_of(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(readme, shows_the_benches_as_the_tested_files_hold_them) {
  const std::string readme = text_of(SOURCE_DIR "/README.md");
  const std::string title = "\n### In a port's bench\n";
  const size_t begin = readme.find(title);
  ASSERT_NE(begin, std::string::npos) << "no section" << title;
  const size_t end = std::min(readme.find("\n### ", begin + 1), readme.find("\n## ", begin + 1));
  const std::string section = readme.substr(begin, end - begin);
  // What each language's pieces are copied from.
  const std::map<std::string, std::vector<std::string>> sources = {
      {"verilog", {"porting/verilog/bench.v", "porting/verilog/model.vh"}},
      {"systemverilog", {"porting/dpi/blockwalk_dpi.sv", "porting/dpi/scoreboard.sv"}},
      {"c", {"porting/opencl/blockwalk.cl", "porting/opencl/host.c"}},
      {"python", {"porting/numpy/bench.py"}},
  };
  std::map<std::string, int> shown;
  for (size_t at = section.find("\n```"); at != std::string::npos;
       at = section.find("\n```", at + 1)) {
    const size_t line_end = section.find('\n', at + 1);
    const std::string language = section.substr(at + 4, line_end - at - 4);
    const size_t close = section.find("\n```", line_end);
    ASSERT_NE(close, std::string::npos);
    const std::string code = section.substr(line_end + 1, close - line_end);
    at = close + 1;
    const auto files = sources.find(language);
    if (files == sources.end()) continue;
    bool found = false;
    for (const std::string& file : files->second) {
      found = found || text_of(std::string(SOURCE_DIR "/") + file).find(code) != std::string::npos;
    }
    EXPECT_TRUE(found) << "the README's " << language << " is in none of its files:\n" << code;
    ++shown[language];
  }
  for (const auto& [language, files] : sources) EXPECT_GT(shown[language], 0) << language;
}

}  // namespace
