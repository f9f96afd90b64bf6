#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bitmap.h"

namespace {

// Bytes left between the current position and the end of `file`, or -1 if it cannot seek.
long long remaining_bytes(std::FILE* file) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < here) return -1;
  return end - here;
}

// The pixel sizes a bitmap can have.
bool valid_bit_count(uint16_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Whether `available` bytes hold `rows` rows of `row_stride` bytes, the last of which needs only
// `last_row` bytes (its alignment may be cut off). Written so that nothing can overflow.
bool holds_rows(uint64_t available, uint64_t rows, uint64_t row_stride, uint64_t last_row) {
  if (rows == 0) return true;
  if (last_row > available) return false;
  return rows == 1 || row_stride <= (available - last_row) / (rows - 1);
}

// Reads `rows` rows of `row_bytes` bytes into `pixels`, skipping `padding` bytes after each row
// but the last.
bool read_rows(std::FILE* file, uint8_t* pixels, size_t rows, size_t row_bytes, size_t padding) {
  // Unpadded rows arrive in one read, straight into the plane.
  if (padding == 0) return std::fread(pixels, row_bytes, rows, file) == rows;
  uint8_t skipped[4];
  for (size_t r = 0; r < rows; ++r) {
    if (std::fread(pixels + r * row_bytes, 1, row_bytes, file) != row_bytes) return false;
    if (r + 1 < rows && std::fread(skipped, 1, padding, file) != padding) return false;
  }
  return true;
}

// What a file that is not a regular one is.
const char* kind_of(mode_t mode) {
  return S_ISDIR(mode)    ? "a directory"
         : S_ISFIFO(mode) ? "a named pipe (FIFO)"
         : S_ISCHR(mode)  ? "a character device"
         : S_ISBLK(mode)  ? "a block device"
         : S_ISSOCK(mode) ? "a socket"
                          : "not a regular file";
}

// The regular file at `path` as a stream; null, and why in `problem` ("" if missing), if not.
std::FILE* open_stream(const char* path, std::string* problem) {
  regular_file opened = open_regular_file(path);
  if (problem) *problem = std::move(opened.problem);
  if (opened.fd < 0) return nullptr;
  std::FILE* file = fdopen(opened.fd, "rb");
  if (!file) close(opened.fd);
  return file;
}

}  // namespace

regular_file open_regular_file(const char* path) {
  regular_file f;
  // Non-blocking, so that opening a named pipe returns at once; fstat then says what it is.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    struct stat link {};
    if (error == ENOENT && lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
      f.problem = "a dangling symbolic link";
    } else if (error == ENOENT) {
      f.missing = true;
    } else {
      f.problem = error == EACCES ? "no permission" : std::strerror(error);
    }
    return f;
  }
  struct stat st {};
  const bool stated = fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode)) {
    f.problem = stated ? kind_of(st.st_mode) : std::strerror(errno);
    close(fd);
    return f;
  }
  // A regular file never blocks; reads go on as usual.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  f.fd = fd;
  f.size = static_cast<uint64_t>(st.st_size);
  return f;
}

bool find_profile(const std::vector<uint8_t>& info, profile_place* place) {
  if (info.size() < info_v5_size || load_le32(info.data()) < info_v5_size) return false;
  const uint32_t type = load_le32(info.data() + info_cs_type_at);
  if (type != profile_embedded && type != profile_linked) return false;
  place->offset = load_le32(info.data() + info_profile_data_at);
  place->size = load_le32(info.data() + info_profile_size_at);
  return true;
}

int32_t status_code(bitmap_status status) {
  return status == bitmap_status::ok ? 0 : status == bitmap_status::cannot_open ? -1 : -2;
}

std::string bitmap_problem(bitmap_status status, const std::string& problem) {
  const std::string malformed = "not a bitmap, or malformed: ";
  switch (status) {
    case bitmap_status::ok:
      return "";
    case bitmap_status::cannot_open:
      return "cannot be opened" + (problem.empty() ? "" : ": " + problem);
    case bitmap_status::not_a_bitmap:
      return malformed + "no \"BM\" signature, or a file header cut short";
    case bitmap_status::bad_info_block:
      return malformed + "an info block shorter than 24 bytes, or beyond the file's end";
    case bitmap_status::bad_dimensions:
      return malformed + "a negative width, or a height of -2^31";
    case bitmap_status::bad_bit_count:
      return malformed + "a bit count other than 1, 4, 8, 16, 24 or 32";
    case bitmap_status::profile_beyond_end:
      return malformed + "a colour profile beyond the file's end";
    case bitmap_status::short_pixels:
      return "error reading the bits: the pixel array is shorter than the header promises";
    case bitmap_status::no_plane:
      return malformed + "no pixel plane: compressed, or pixels smaller than a byte";
    case bitmap_status::changed:
      return malformed + "the picture changed between its two readings";
  }
  return "";
}

std::string bitmap_refusal(bitmap_status status, const std::string& problem) {
  return "error " + std::to_string(status_code(status)) + "! (" + bitmap_problem(status, problem) +
         ")";
}

bitmap_status read_bitmap_file(const char* path, bitmap_picture* picture, std::string* problem) {
  std::FILE* file = open_stream(path, problem);
  if (!file) return bitmap_status::cannot_open;
  // Padded rows are read one by one; a larger buffer keeps that to few reads of the file.
  constexpr size_t buffer_size = size_t{1} << 16;
  const std::unique_ptr<char[]> buffer(new char[buffer_size]);
  std::setvbuf(file, buffer.get(), _IOFBF, buffer_size);
  bitmap_picture& p = *picture;
  bitmap_status status = read_bitmap_stream(file, &p.height, &p.bits_per_pixel, &p.width, nullptr,
                                            0, &p.info, &p.profile);
  p.plane.clear();
  if (status == bitmap_status::ok && p.bits_per_pixel == 24 &&
      load_le32(p.info.data() + info_compression_at) == 0) {
    // The first reading proved that the file holds this many pixel bytes.
    p.plane.resize(plane_size(p.width, p.height, p.bits_per_pixel));
    bitmap_picture again;
    std::rewind(file);
    status = read_bitmap_stream(file, &again.height, &again.bits_per_pixel, &again.width,
                                p.plane.data(), p.plane.size(), &again.info);
    // Another picture now: the plane was made for the first one.
    if (again.info != p.info && status != bitmap_status::cannot_open) {
      status = bitmap_status::changed;
    }
    if (status != bitmap_status::ok) p.plane.clear();
  }
  std::fclose(file);
  return status;
}

bitmap_status read_bitmap_stream(std::FILE* file, int32_t* height, int32_t* bits_per_pixel,
                                 int32_t* width, uint8_t* pixels, size_t pixels_size,
                                 std::vector<uint8_t>* info_block, std::vector<uint8_t>* profile) {
  uint8_t header[file_header_size] = {};
  if (std::fread(header, 1, sizeof header, file) != sizeof header || header[0] != 'B' ||
      header[1] != 'M') {
    return bitmap_status::not_a_bitmap;
  }

  // bfSize is not consulted: writers often leave it 0. The info block runs up to bfOffBits, and
  // is allocated only once the file is known to hold it.
  const uint32_t off_bits = load_le32(header + 10);
  if (off_bits < file_header_size + min_info_size) return bitmap_status::bad_info_block;
  const uint64_t info_size = off_bits - file_header_size;
  const long long available = remaining_bytes(file);
  if (available < 0 || info_size > static_cast<uint64_t>(available)) {
    return bitmap_status::bad_info_block;
  }
  std::vector<uint8_t> info(info_size);
  if (std::fread(info.data(), 1, info.size(), file) != info.size()) {
    return bitmap_status::bad_info_block;
  }

  const auto raw_width = static_cast<int32_t>(load_le32(info.data() + info_width_at));
  const auto raw_height = static_cast<int32_t>(load_le32(info.data() + info_height_at));
  const uint16_t bit_count = load_le16(info.data() + info_bit_count_at);
  if (raw_width < 0 || raw_height == INT32_MIN) return bitmap_status::bad_dimensions;
  if (!valid_bit_count(bit_count)) return bitmap_status::bad_bit_count;
  const uint32_t compression = load_le32(info.data() + info_compression_at);
  profile_place place;
  const bool outside_profile = find_profile(info, &place) && place.beyond(info.size());

  *width = raw_width;
  *height = std::abs(raw_height);
  *bits_per_pixel = bit_count;
  if (info_block) *info_block = std::move(info);
  if (profile) profile->clear();

  // Profile data may lie anywhere after the file header; it is allocated only once the file is
  // known to hold it, and read before the pixels, which follow the info block.
  if (outside_profile) {
    if (place.offset + place.size > static_cast<uint64_t>(available)) {
      return bitmap_status::profile_beyond_end;
    }
    if (profile) {
      profile->resize(place.size);
      const long pixels_at = std::ftell(file);
      if (std::fseek(file, static_cast<long>(file_header_size + place.offset), SEEK_SET) != 0 ||
          std::fread(profile->data(), 1, profile->size(), file) != profile->size() ||
          std::fseek(file, pixels_at, SEEK_SET) != 0) {
        return bitmap_status::profile_beyond_end;
      }
    }
  }

  // An uncompressed pixel array has rows of whole 32-bit words.
  const uint64_t row_bits = static_cast<uint64_t>(*width) * bit_count;
  const uint64_t row_stride = (row_bits + 31) / 32 * 4;
  const uint64_t last_row = (row_bits + 7) / 8;
  const uint64_t pixel_bytes = available - info_size;
  if (compression == 0 && !holds_rows(pixel_bytes, *height, row_stride, last_row)) {
    return bitmap_status::short_pixels;
  }
  if (!pixels) return bitmap_status::ok;

  if (compression != 0 || bit_count < 8 ||
      pixels_size != plane_size(*width, *height, *bits_per_pixel)) {
    return bitmap_status::no_plane;
  }
  if (!read_rows(file, pixels, *height, last_row, row_stride - last_row)) {
    return bitmap_status::short_pixels;
  }
  return bitmap_status::ok;
}
