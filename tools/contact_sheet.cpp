// contact_sheet: one picture of a walk's 1900 block files, in walk order, beside the region of
// the picture they were taken from.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>

#include "bitmap.h"
#include "options.h"
#include "sheet.h"

namespace {

const tool_declaration tool = {
    "contact_sheet",
    "DIR",
    false,
    "the directory of the blocks (default: the current directory)",
    "Reads block0100.bmp ... block1999.bmp from DIR and writes a 24-bit bitmap that shows\n"
    "them in walk order, in a grey grid, beside the region of the walked picture that the\n"
    "blocks cover, at the same magnification.\n",
    {
        {"--output", {"FILE"}, "the sheet (default: DIR/contact_sheet.bmp)"},
        {"--scale", {"N"}, "the magnification, 1 ... 8 (default 2)"},
        {"--columns", {"N"}, "blocks to a row, 1 ... 1900 (default 50)"},
        {"--picture", {"FILE"}, "the walked picture (default: DIR/picture.bmp)"},
        {"--no-picture", {}, "the blocks alone"},
    },
    "Prints the sheet's path. Exit status: 0 written, 1 a file could not be read or\n"
    "written, 2 a bad command line.\n",
};

}  // namespace

int main(int argc, char** argv) {
  command_line line;
  if (const std::optional<int> done = parse_command_line(tool, argc, argv, &line)) return *done;
  sheet_options options;
  options.dir = line.operand.value_or(".");
  for (const auto& [name, high, value] : {std::make_tuple("--scale", 8, &options.scale),
                                          std::make_tuple("--columns", 1900, &options.columns)}) {
    if (!line.given(name)) continue;
    std::string error;
    const std::optional<long> n = number_value(tool, line, name, 0, 1, high, &error);
    if (!n) return trouble(tool, error);
    *value = static_cast<int>(*n);
  }
  if (line.given("--no-picture") && line.given("--picture")) {
    return trouble(tool, "--picture and --no-picture exclude each other");
  }
  if (line.given("--picture")) options.picture = line.value("--picture");
  if (!line.given("--picture") && !line.given("--no-picture")) {
    options.picture = options.dir + "/picture.bmp";
  }
  const std::string output =
      line.given("--output") ? line.value("--output") : options.dir + "/contact_sheet.bmp";

  sheet_picture sheet;
  std::string error;
  if (!make_contact_sheet(options, &sheet, &error)) return trouble(tool, error, exit_failed);
  if (!write_sheet(output, sheet)) {
    return trouble(tool, "cannot write " + output + ": " + std::strerror(errno), exit_failed);
  }
  std::printf("%s\n", output.c_str());
  return exit_ok;
}
