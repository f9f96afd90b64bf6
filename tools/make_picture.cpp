// make_picture: writes a test picture for blockwalk.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "arguments.h"
#include "picture.h"
#include "whole_file.h"

namespace {

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: make_picture FILE [--width N] [--height N] [--top-down] [--info 40|124]\n"
               "                    [--table BYTES] [--random SEED]\n"
               "                    [--profile ICC | --link NAME] [--profile-first]\n"
               "Writes a 24-bit bitmap (default 600 x 600, bottom-up, 40-byte info block, no\n"
               "colour table) of a pattern with gradients, edges and thin lines, or of seeded\n"
               "random bytes. --profile embeds the bytes of the file ICC as a colour profile,\n"
               "--link names a linked one; either takes the 124-byte info block and places the\n"
               "profile after the pixels, or with --profile-first before them.\n");
}

}  // namespace

int main(int argc, char** argv) {
  picture_options options;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    long n = 0;
    if (arg == "--help") {
      usage(stdout);
      return 0;
    } else if (arg == "--top-down") {
      options.layout.top_down = true;
    } else if (arg == "--width" && parse_number(value, 1, 20000, &n)) {
      options.width = static_cast<int32_t>(n), ++i;
    } else if (arg == "--height" && parse_number(value, 1, 20000, &n)) {
      options.height = static_cast<int32_t>(n), ++i;
    } else if (arg == "--info" && parse_number(value, 40, 124, &n) && (n == 40 || n == 124)) {
      options.layout.info_size = static_cast<size_t>(n), ++i;
    } else if (arg == "--table" && parse_number(value, 0, 1 << 20, &n)) {
      options.layout.table_size = static_cast<size_t>(n), ++i;
    } else if (arg == "--profile" && i + 1 < argc && !options.layout.profile.type) {
      if (!read_whole(value, &options.layout.profile.data)) {
        std::fprintf(stderr, "make_picture: cannot read %s: %s\n", value, std::strerror(errno));
        return 1;
      }
      options.layout.profile.type = profile_embedded, ++i;
    } else if (arg == "--link" && i + 1 < argc && !options.layout.profile.type) {
      options.layout.profile.data.assign(value, value + std::strlen(value) + 1);  // with its NUL
      options.layout.profile.type = profile_linked, ++i;
    } else if (arg == "--profile-first") {
      options.layout.profile_first = true;
    } else if (arg == "--random" && parse_number(value, 0, 0xFFFFFFFF, &n)) {
      options.content = picture_content::random, options.seed = static_cast<uint32_t>(n), ++i;
    } else if (arg[0] != '-' && !path) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "make_picture: bad argument '%s'\n", argv[i]);
      usage(stderr);
      return 2;
    }
  }
  if (!path) {
    usage(stderr);
    return 2;
  }
  if (options.layout.profile.type) {
    options.layout.info_size = info_v5_size;
  } else if (options.layout.profile_first) {
    std::fprintf(stderr, "make_picture: --profile-first needs --profile or --link\n");
    return 2;
  }

  const std::vector<uint8_t> file = make_picture_file(options);
  std::FILE* out = std::fopen(path, "wb");
  bool ok = out && std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (out) ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "make_picture: cannot write %s: %s\n", path, std::strerror(errno));
    if (out) std::remove(path);
    return 1;
  }
  return 0;
}
