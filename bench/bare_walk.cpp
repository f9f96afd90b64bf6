// The floor under blockwalk's run time: the same 1900 files of 822 bytes, written with the same
// calls, with no picture read and no block interpolated.
#include <cstdio>

int main() {
  static const unsigned char bytes[822] = {};
  for (int n = 100; n <= 1999; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "block%.4d.bmp", n);
    std::FILE* file = std::fopen(name, "wb");
    if (!file) return 1;
    std::fwrite(bytes, 1, 54, file);
    std::fwrite(bytes + 54, 1, 768, file);
    if (std::fclose(file) != 0) return 1;
  }
  return 0;
}
