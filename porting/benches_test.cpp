// Each bench a port starts from, run as its user runs it, from the installed files: the Verilog
// bench under Icarus, the DPI scoreboard under Verilator, the OpenCL kernel on the first platform
// found. Each ends in check_walk's verdict, and each has a twin broken on purpose that must fail.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "picture.h"
#include "scratch_dir.h"

namespace {

// The walk's picture: the smallest the walk takes, 533 pixels wide, noise so that every fault
// shows.
constexpr int walk_width = 533, walk_height = 540;

bool have(const std::string& command) {
  return std::system(("command -v " + command + " > /dev/null 2>&1").c_str()) == 0;
}

std::string installed(const std::string& file) {
  return std::string(PORTING_DIR "/") + file;
}

class benches : public scratch_dir {
 protected:
  void SetUp() override {
    scratch_dir::SetUp();
#if defined(BLOCKWALK_CROSS)
    GTEST_SKIP() << "a cross build: the benches' simulators and compilers are the build "
                    "machine's, and run none of this build's programs";
#endif
  }

  int tool(const std::string& name, const std::string& args) {
    return run_here("'" PREFIX "/bin/" + name + "' " + args);
  }

  // The default set in `set` and the walk over a noise picture in `walk`, in `formats`.
  void make_stimulus(const std::string& formats) {
    ASSERT_EQ(tool("make_vectors", "--formats " + formats + " set"), 0) << printed_;
    picture_options options;
    options.width = walk_width;
    options.height = walk_height;
    options.content = picture_content::random;
    options.seed = 7;
    write_file(path("walk.bmp"), make_picture_file(options));
    ASSERT_EQ(tool("make_vectors", "--walk walk.bmp --formats " + formats + " walk"), 0)
        << printed_;
  }

  // A copy of installed `file` in `dir`, found there before the installed one, with `from`
  // replaced by `to`: a port broken on purpose, once, where the installed file says `from`
  // exactly once.
  void broken_copy(const std::string& file, const std::string& dir, const std::string& from,
                   const std::string& to) {
    const std::vector<uint8_t> bytes = read_file(installed(file));
    std::string text(bytes.begin(), bytes.end());
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    ASSERT_EQ(text.find(from, at + 1), std::string::npos) << from;
    text.replace(at, from.size(), to);
    mkdir(path(dir).c_str(), 0755);
    write_file(path(dir + "/" + file.substr(file.rfind('/') + 1)), {text.begin(), text.end()});
  }

  // Whether check_walk finds every block of `stream` as blockwalk makes it.
  void expect_identical(const std::string& dir, const std::string& stream, size_t blocks) {
    EXPECT_EQ(tool("check_walk", dir + " --blocks " + stream), 0) << printed_;
    EXPECT_EQ(printed_.substr(0, printed_.find('\n')), "identical: all " + std::to_string(blocks) +
                                                           " blocks' pixels are as blockwalk "
                                                           "makes them");
  }
};

// The Verilog bench's parameters: its directory, and the walk's sizes (the set's are the default).
std::string icarus_parameters(const std::string& dir) {
  std::string parameters = " -P'bench.DIR=\"" + dir + "\"'";
  if (dir == "walk") {
    parameters +=
        " -Pbench.CALLS=1900 -Pbench.PLANE_BYTES=" + std::to_string(walk_width * walk_height * 3);
  }
  return parameters;
}

TEST_F(benches, verilog_under_icarus_runs_the_set_and_the_walk) {
  if (!have("iverilog") || !have("vvp"))
    GTEST_SKIP() << "iverilog is not installed (Debian's iverilog)";
  make_stimulus("memh");
  const std::string compile = "iverilog -g2005 -I '" + installed("verilog") + "' -o bench.vvp '" +
                              installed("verilog/bench.v") + "'";
  ASSERT_EQ(run_here(compile + icarus_parameters("set") + " && vvp -n bench.vvp"), 0) << printed_;
  expect_identical("set", "set/mine.memh", 1559);
  ASSERT_EQ(run_here(compile + icarus_parameters("walk") + " && vvp -n bench.vvp"), 0) << printed_;
  expect_identical("walk", "walk/mine.memh", 1900);

  // A model that takes a vector's whole part as mv / 4, truncating: every negative vertical
  // vector a row off.
  broken_copy("verilog/model.vh", "faulty", "sy + (mvy >>> 2)", "sy + (mvy / 4)");
  ASSERT_EQ(run_here("iverilog -g2005 -I faulty -I '" + installed("verilog") + "' -o faulty.vvp '" +
                     installed("verilog/bench.v") + "'" + icarus_parameters("set") +
                     " && vvp -n faulty.vvp"),
            0)
      << printed_;
  EXPECT_EQ(tool("check_walk", "set --blocks set/mine.memh"), 1) << printed_;
  EXPECT_NE(printed_.find("in all: 36 of 272 groups differ, every one with negative vectors; "),
            std::string::npos)
      << printed_;
  EXPECT_NE(printed_.find("; vector_split (axis v) reproduces 36 of them"), std::string::npos)
      << printed_;
}

// The package's C side and the library, as pkg-config gives them, compiled with the bench.
std::string verilator_command(const std::string& model_dir, const std::string& into) {
  const std::string pkg_config = "PKG_CONFIG_PATH='" PKG_CONFIG_DIR "' pkg-config ";
  return "verilator --binary -j 2 -Wall --Mdir " + into + " -o scoreboard -I" + model_dir + " -I'" +
         installed("verilog") + "' '" + installed("dpi/blockwalk_dpi.sv") + "' '" +
         installed("dpi/scoreboard.sv") + "' '" + installed("dpi/blockwalk_dpi.c") +
         "' -CFLAGS \"$(" + pkg_config + "--cflags blockwalk)\" -LDFLAGS \"$(" + pkg_config +
         "--static --libs blockwalk)\" > " + into + ".log 2>&1 || { cat " + into + ".log; false; }";
}

TEST_F(benches, dpi_scoreboard_under_verilator_holds_a_model_to_the_reference) {
#if defined(BLOCKWALK_SANITIZED)
  GTEST_SKIP() << "a sanitizer build: Verilator would link its library into a program built "
                  "without the sanitizers";
#endif
  if (!have("verilator")) GTEST_SKIP() << "verilator is not installed (Debian's verilator)";
  if (!have("pkg-config")) GTEST_SKIP() << "pkg-config is not installed (Debian's pkg-config)";
  ASSERT_EQ(tool("make_vectors", "--formats memh vectors"), 0) << printed_;
  ASSERT_EQ(run_here(verilator_command(".", "right")), 0) << printed_;
  ASSERT_EQ(run_here("right/scoreboard"), 0) << printed_;
  EXPECT_NE(printed_.find("\nscoreboard: all 1559 blocks as the reference makes them\n"),
            std::string::npos)
      << printed_;
  expect_identical("vectors", "vectors/mine.memh", 1559);

  // A model that rounds the one-dimensional filters with 63 instead of 64: the scoreboard names
  // the first calls that differ and fails.
  broken_copy("verilog/model.vh", "faulty", "(under_taps(at + k - 3, 3) + 64)",
              "(under_taps(at + k - 3, 3) + 63)");
  ASSERT_EQ(run_here(verilator_command("faulty", "wrong")), 0) << printed_;
  EXPECT_NE(run_here("wrong/scoreboard"), 0) << printed_;
  EXPECT_NE(printed_.find("scoreboard: "), std::string::npos) << printed_;
  EXPECT_NE(printed_.find(" blocks differ from the reference"), std::string::npos) << printed_;
  EXPECT_EQ(tool("check_walk", "vectors --blocks vectors/mine.memh"), 1) << printed_;
  EXPECT_NE(printed_.find("rounding (pass 1, offset_min 63, offset_max 63)"), std::string::npos)
      << printed_;
}

// The host, compiled as a user compiles it, where OpenCL has a platform with a device.
class opencl : public benches {
 protected:
  void SetUp() override {
    benches::SetUp();
    if (IsSkipped()) return;
#if defined(BLOCKWALK_SANITIZED)
    GTEST_SKIP() << "a sanitizer build: the host would link its library into a program built "
                    "without the sanitizers";
#endif
    const std::string probe =
        "#include <CL/cl.h>\n"
        "int main(void) {\n"
        "  cl_platform_id platforms[16];\n"
        "  cl_device_id device;\n"
        "  cl_uint count = 0;\n"
        "  if (clGetPlatformIDs(16, platforms, &count) != CL_SUCCESS) return 1;\n"
        "  for (cl_uint p = 0; p < count; ++p)\n"
        "    if (clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, 1, &device, 0) == CL_SUCCESS)\n"
        "      return 0;\n"
        "  return 1;\n"
        "}\n";
    write_file(path("probe.c"), {probe.begin(), probe.end()});
    if (!have("cc") || run_here("cc probe.c -o probe -lOpenCL") != 0) {
      GTEST_SKIP() << "no OpenCL headers and loader to build with (Debian's ocl-icd-opencl-dev)";
    }
    if (run_here("./probe") != 0) {
      GTEST_SKIP() << "no OpenCL platform with a device (Debian's pocl-opencl-icd)";
    }
    // It checks each call's footprint with the library, linked as pkg-config gives it.
    if (!have("pkg-config")) GTEST_SKIP() << "pkg-config is not installed (Debian's pkg-config)";
    ASSERT_EQ(
        run_here("cc -std=c99 -Wall -Wextra -Wpedantic -Werror '" + installed("opencl/host.c") +
                 "' -o host $(PKG_CONFIG_PATH='" PKG_CONFIG_DIR
                 "' pkg-config --static --cflags --libs blockwalk) -lOpenCL"),
        0)
        << printed_;
  }

  // Runs `kernel` on the calls in `dir`, into dir/opencl.bin; pocl's cache of built kernels in
  // the test's directory.
  int run_kernel(const std::string& kernel, const std::string& dir) {
    return run_here("POCL_CACHE_DIR=pocl ./host '" + kernel + "' " + dir + " " + dir +
                    "/opencl.bin");
  }
};

TEST_F(opencl, kernel_gives_the_librarys_blocks_for_the_set_and_the_walk) {
  make_stimulus("bin");
  ASSERT_EQ(run_kernel(installed("opencl/blockwalk.cl"), "set"), 0) << printed_;
  expect_identical("set", "set/opencl.bin", 1559);
  ASSERT_EQ(run_kernel(installed("opencl/blockwalk.cl"), "walk"), 0) << printed_;
  expect_identical("walk", "walk/opencl.bin", 1900);

  // A kernel that keeps positions in 32 bits: they wrap where a vector is near its extremes.
  broken_copy("opencl/blockwalk.cl", "faulty",
              "long px = (long)call[3] + (mvx >> 2), py = (long)call[4] + (mvy >> 2);",
              "int px = call[3] + (mvx >> 2), py = call[4] + (mvy >> 2);");
  ASSERT_EQ(run_kernel(path("faulty/blockwalk.cl"), "set"), 0) << printed_;
  EXPECT_EQ(tool("check_walk", "set --blocks set/opencl.bin"), 1) << printed_;
  EXPECT_NE(printed_.find("different: 4 of 1559 blocks differ"), std::string::npos) << printed_;
}

TEST_F(opencl, host_refuses_calls_that_read_outside_their_plane) {
  make_stimulus("bin");
  // The last call's plane said to have a row more than planes.bin holds.
  std::vector<uint8_t> calls = read_file(path("set/calls.bin"));
  calls[calls.size() - 8] += 1;  // rows, the last call's eighth word
  write_file(path("set/calls.bin"), calls);
  EXPECT_EQ(run_kernel(installed("opencl/blockwalk.cl"), "set"), 1);
  EXPECT_EQ(printed_, "blockwalk_opencl: call 1558 reads outside its plane\n");
}

}  // namespace
