// Every program, with a named pipe (or another file that is not a regular one) where it reads an
// input: each must refuse it at once with a message that names it, never wait on it. A watchdog
// kills a program that waits, and the case fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>

#include "picture.h"
#include "scratch_dir.h"

namespace {

constexpr int watchdog_seconds = 30;  // generous for emulation; a program that waits never ends

class no_hang : public scratch_dir {
 protected:
  // Runs `command` in the directory under the watchdog; -1 if the watchdog had to end it.
  int run_watched(const std::string& command) {
    // blockwalk reads and writes in the current directory.
    const bool in = command.rfind("cd in && ", 0) == 0;
    const int status = run_here((in ? "cd in && " : "") + std::string("timeout -s KILL ") +
                                std::to_string(watchdog_seconds) + " " BLOCKWALK_EMULATOR " " +
                                command.substr(in ? 9 : 0));
    return status == 124 || status == 137 || status == -1 ? -1 : status;
  }
  void fifo(const std::string& name) {
    std::remove(path(name).c_str());
    ASSERT_EQ(mkfifo(path(name).c_str(), 0644), 0) << name;
  }
};

TEST_F(no_hang, every_program_refuses_a_named_pipe_at_once) {
  picture_options small;
  small.width = small.height = 64;
  const std::vector<uint8_t> picture = make_picture_file(small);
  const std::string fifo_named = "a named pipe (FIFO)";
  struct {
    const char* what;
    std::function<void()> lay;  // lays the files; `in` is the directory the program runs on
    std::string command;
    int status;
    std::string says;  // part of what it prints
  } cases[] = {
      {"blockwalk's picture", [&] { fifo("in/picture.bmp"); }, "cd in && '" BLOCKWALK_EXE "'", 1,
       "error -1!\n"},
      {"blockwalk's block file",
       [&] {
         picture_options big;
         write_file(path("in/picture.bmp"), make_picture_file(big));
         fifo("in/block0100.bmp");
       },
       "cd in && '" BLOCKWALK_EXE "'", 1, "error writing block0100.bmp!\n"},
      {"check_walk's picture", [&] { fifo("in/picture.bmp"); }, "'" CHECK_WALK_EXE "' in", 2,
       "check_walk: in/picture.bmp: error -1! (cannot be opened: " + fifo_named + ")\n"},
      {"check_walk --picture", [&] { fifo("p.bmp"); }, "'" CHECK_WALK_EXE "' in --picture p.bmp", 2,
       "check_walk: p.bmp: error -1! (cannot be opened: " + fifo_named + ")\n"},
      {"a directory as the picture", [&] { mkdir(path("in/picture.bmp").c_str(), 0755); },
       "'" CHECK_WALK_EXE "' in", 2,
       "check_walk: in/picture.bmp: error -1! (cannot be opened: a directory)\n"},
      {"a device as the picture",
       [&] { ASSERT_EQ(symlink("/dev/zero", path("in/picture.bmp").c_str()), 0); },
       "'" CHECK_WALK_EXE "' in", 2,
       "check_walk: in/picture.bmp: error -1! (cannot be opened: a character device)\n"},
      {"check_walk's manifest", [&] { fifo("in/vectors.csv"); }, "'" CHECK_WALK_EXE "' in", 2,
       "check_walk: in/vectors.csv: " + fifo_named + "\n"},
      {"a manifest's picture",
       [&] {
         const std::string manifest =
             "file,picture,stride,height,x,y,mvx,mvy\nv.bmp,p.bmp,64,31,0,0,1,0\n";
         write_file(path("in/vectors.csv"), {manifest.begin(), manifest.end()});
         fifo("in/p.bmp");
       },
       "'" CHECK_WALK_EXE "' in", 2,
       "check_walk: in/vectors.csv line 2: picture p.bmp: cannot be opened: " + fifo_named + "\n"},
      {"a block file of a set",
       [&] {
         const std::string manifest =
             "file,picture,stride,height,x,y,mvx,mvy\nv.bmp,p.bmp,64,31,0,0,1,0\n";
         write_file(path("in/vectors.csv"), {manifest.begin(), manifest.end()});
         write_file(path("in/p.bmp"), picture);
         fifo("in/v.bmp");
       },
       "'" CHECK_WALK_EXE "' in", 1, "  " + fifo_named + ": 1 (v.bmp)\n"},
      {"check_walk --json onto a pipe",
       [&] {
         const std::string manifest =
             "file,picture,stride,height,x,y,mvx,mvy\nv.bmp,p.bmp,64,31,0,0,1,0\n";
         write_file(path("in/vectors.csv"), {manifest.begin(), manifest.end()});
         write_file(path("in/p.bmp"), picture);
         fifo("r.json");
       },
       "'" CHECK_WALK_EXE "' in --json r.json", 1, "nothing checked: 1 of 1 missing"},
      {"make_vectors --picture", [&] { fifo("p.bmp"); },
       "'" MAKE_VECTORS_EXE "' --picture p.bmp out", 2,
       "make_vectors: p.bmp: cannot be opened: " + fifo_named + "\n"},
      {"make_vectors --walk", [&] { fifo("p.bmp"); }, "'" MAKE_VECTORS_EXE "' --walk p.bmp out", 2,
       "make_vectors: p.bmp: error -1! (cannot be opened: " + fifo_named + ")\n"},
      {"make_vectors --coverage", [&] { fifo("in/vectors.csv"); },
       "'" MAKE_VECTORS_EXE "' --coverage in", 2,
       "make_vectors: in/vectors.csv: " + fifo_named + "\n"},
      {"contact_sheet's picture", [&] { fifo("in/picture.bmp"); }, "'" CONTACT_SHEET_EXE "' in", 1,
       "in/picture.bmp: cannot be opened: " + fifo_named},
      {"contact_sheet's block", [&] { fifo("in/block0100.bmp"); },
       "'" CONTACT_SHEET_EXE "' in --no-picture", 1,
       "in/block0100.bmp: cannot be opened: " + fifo_named},
      {"make_picture --profile", [&] { fifo("p.icc"); },
       "'" MAKE_PICTURE_EXE "' x.bmp --profile p.icc", 1,
       "make_picture: cannot read p.icc: " + fifo_named + "\n"},
  };
  for (const auto& c : cases) {
    std::system(("rm -rf '" + dir_ + "'/*").c_str());
    ASSERT_EQ(mkdir(path("in").c_str(), 0755), 0);
    c.lay();
    EXPECT_EQ(run_watched(c.command), c.status) << c.what << ": " << printed_;
    EXPECT_NE(printed_.find(c.says), std::string::npos) << c.what << ": " << printed_;
  }
}

}  // namespace
