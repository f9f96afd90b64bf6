// contact_sheet: one picture of a walk's 1900 block files, in walk order, beside the region of
// the picture they were taken from.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "arguments.h"
#include "bitmap.h"
#include "sheet.h"

namespace {

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: contact_sheet [DIR] [--output FILE] [--scale N] [--columns N]\n"
               "                     [--picture FILE | --no-picture]\n"
               "Reads block0100.bmp ... block1999.bmp from DIR (default: the current directory)\n"
               "and writes a 24-bit bitmap (default DIR/contact_sheet.bmp) that shows them in\n"
               "walk order, N columns to a row (default 50), each magnified N times (default 2,\n"
               "at most 8) in a grey grid, beside the region of the walked picture (default\n"
               "DIR/picture.bmp) that the blocks cover, at the same magnification.\n");
}

}  // namespace

int main(int argc, char** argv) {
  sheet_options options;
  std::string output;
  bool dir_given = false, picture_given = false, no_picture = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help") {
      usage(stdout);
      return 0;
    } else if (arg == "--output" && has_value) {
      output = argv[++i];
    } else if (arg == "--picture" && has_value) {
      options.picture = argv[++i];
      picture_given = true;
    } else if (arg == "--no-picture") {
      no_picture = true;
    } else if (arg == "--scale" && has_value && parse_int(argv[i + 1], 1, 8, &options.scale)) {
      ++i;
    } else if (arg == "--columns" && has_value &&
               parse_int(argv[i + 1], 1, 1900, &options.columns)) {
      ++i;
    } else if (arg[0] != '-' && !dir_given) {
      options.dir = arg;
      dir_given = true;
    } else {
      std::fprintf(stderr, "contact_sheet: bad argument '%s'\n", argv[i]);
      usage(stderr);
      return 2;
    }
  }
  if (no_picture && picture_given) {
    std::fprintf(stderr, "contact_sheet: --picture and --no-picture exclude each other\n");
    return 2;
  }
  if (!picture_given && !no_picture) options.picture = options.dir + "/picture.bmp";
  if (no_picture) options.picture.clear();
  if (output.empty()) output = options.dir + "/contact_sheet.bmp";

  sheet_picture sheet;
  std::string error;
  if (!make_contact_sheet(options, &sheet, &error)) {
    std::fprintf(stderr, "contact_sheet: %s\n", error.c_str());
    return 1;
  }
  if (!write_sheet(output, sheet)) {
    std::fprintf(stderr, "contact_sheet: cannot write %s: %s\n", output.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::printf("%s\n", output.c_str());
  return 0;
}
