// The floor under blockwalk's run time: the same 1900 files of 822 bytes, written with the same
// calls as the walk writes them (opened without waiting, checked to be regular files, then
// written and closed through stdio), with no picture read and no block interpolated.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

int main() {
  static const unsigned char bytes[822] = {};
  for (int n = 100; n <= 1999; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "block%.4d.bmp", n);
    const int fd =
        open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return 1;
    struct stat st {};
    std::FILE* file = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "wb") : nullptr;
    if (!file) return 1;
    std::fwrite(bytes, 1, 54, file);
    std::fwrite(bytes + 54, 1, 768, file);
    if (std::fclose(file) != 0) return 1;
  }
  return 0;
}
