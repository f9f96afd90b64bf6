// make_picture: writes a test picture for blockwalk.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "options.h"
#include "picture.h"
#include "whole_file.h"

namespace {

const tool_declaration tool = {
    "make_picture",
    "FILE",
    true,
    "the picture to write",
    "Writes a 24-bit bitmap (default 600 x 600, bottom-up, 40-byte info block, no\n"
    "colour table) of a pattern with gradients, edges and thin lines, or of seeded\n"
    "random bytes.\n",
    {
        {"--width", {"N"}, "pixels, 1 ... 20000"},
        {"--height", {"N"}, "pixels, 1 ... 20000"},
        {"--top-down", {}, "rows stored top first (a negative height)"},
        {"--info", {"BYTES"}, "the info block's size, 40 or 124"},
        {"--table", {"BYTES"}, "a colour table of so many bytes, 0 ... 1048576"},
        {"--random", {"SEED"}, "seeded random bytes instead of the pattern"},
        {"--profile", {"ICC"}, "embeds the bytes of the file ICC as a colour profile"},
        {"--link", {"NAME"}, "names a linked colour profile"},
        {"--profile-first", {}, "the profile before the pixels, not after them"},
    },
    "--profile and --link take the 124-byte info block.\n",
};

}  // namespace

int main(int argc, char** argv) {
  command_line line;
  if (const std::optional<int> done = parse_command_line(tool, argc, argv, &line)) return *done;
  picture_options options;
  const struct {
    const char* name;
    long low, high;
  } numbers[] = {{"--width", 1, 20000},
                 {"--height", 1, 20000},
                 {"--info", 40, 124},
                 {"--table", 0, 1 << 20},
                 {"--random", 0, 0xFFFFFFFF}};
  long n[std::size(numbers)] = {600, 600, 40, 0, 0};
  for (size_t k = 0; k < std::size(numbers); ++k) {
    if (!line.given(numbers[k].name)) continue;
    std::string error;
    const std::optional<long> v =
        number_value(tool, line, numbers[k].name, 0, numbers[k].low, numbers[k].high, &error);
    if (!v) return trouble(tool, error);
    n[k] = *v;
  }
  if (n[2] != 40 && n[2] != 124) {
    return trouble(tool, "--info: BYTES must be 40 or 124, got " + line.value("--info"));
  }
  options.width = static_cast<int32_t>(n[0]);
  options.height = static_cast<int32_t>(n[1]);
  options.layout.info_size = static_cast<size_t>(n[2]);
  options.layout.table_size = static_cast<size_t>(n[3]);
  if (line.given("--random")) {
    options.content = picture_content::random;
    options.seed = static_cast<uint32_t>(n[4]);
  }
  options.layout.top_down = line.given("--top-down");
  options.layout.profile_first = line.given("--profile-first");
  if (line.given("--profile") && line.given("--link")) {
    return trouble(tool, "--profile and --link exclude each other");
  }
  if (line.given("--profile")) {
    std::string why;
    if (!read_whole(line.value("--profile"), &options.layout.profile.data, &why)) {
      return trouble(tool, "cannot read " + line.value("--profile") + ": " + why, exit_failed);
    }
    options.layout.profile.type = profile_embedded;
  } else if (line.given("--link")) {
    const std::string& name = line.value("--link");
    options.layout.profile.data.assign(name.c_str(), name.c_str() + name.size() + 1);  // its NUL
    options.layout.profile.type = profile_linked;
  }
  if (options.layout.profile.type) {
    options.layout.info_size = info_v5_size;
  } else if (options.layout.profile_first) {
    return trouble(tool, "--profile-first needs --profile or --link");
  }

  const std::string& path = *line.operand;
  if (!write_whole(path, make_picture_file(options))) {
    return trouble(tool, "cannot write " + path + ": " + std::strerror(errno), exit_failed);
  }
  return exit_ok;
}
