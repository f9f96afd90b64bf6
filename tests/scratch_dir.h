// For the tests that run a program as a process, in a directory of their own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string block_name(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "block%.4d.bmp", n);
  return name;
}

// A fresh directory under /tmp for each test, removed with everything in it afterwards.
class scratch_dir : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/blockwalk_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  bool exists(const std::string& name) const { return access(path(name).c_str(), F_OK) == 0; }

  // Runs `command` through the shell in the directory; returns its exit status and keeps what
  // it printed on standard output and standard error.
  int run_here(const std::string& command) {
    const std::string output = path("printed.txt");
    const int status =
        std::system(("cd '" + dir_ + "' && " + command + " > '" + output + "' 2>&1").c_str());
    const std::vector<uint8_t> printed = read_file(output);
    printed_.assign(printed.begin(), printed.end());
    std::remove(output.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir_;
  std::string printed_;
};
