#include "stream.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "bitmap.h"
#include "interpolate.h"
#include "whole_file.h"

namespace {

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool fail(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

// Whole blocks, no more than the set has.
bool take_blocks(const uint8_t* data, size_t size, size_t max_blocks, std::vector<uint8_t>* blocks,
                 std::string* error) {
  if (size % block_bytes != 0) {
    return fail(error, std::to_string(size) + " bytes, not a whole number of blocks of " +
                           std::to_string(block_bytes));
  }
  if (size / block_bytes > max_blocks) {
    return fail(error, std::to_string(size / block_bytes) + " blocks, more than the " +
                           std::to_string(max_blocks) + " of the check");
  }
  blocks->assign(data, data + size);
  return true;
}

// The value of `key` in a NumPy header's dictionary, as written: "'|u1'", "False", "(3, 768)".
std::string header_value(const std::string& header, const std::string& key) {
  const size_t at = header.find("'" + key + "'");
  if (at == std::string::npos) return "";
  size_t from = header.find(':', at);
  if (from == std::string::npos) return "";
  ++from;
  while (from < header.size() && header[from] == ' ') ++from;
  const size_t to =
      header[from] == '(' ? header.find(')', from) + 1 : header.find_first_of(",}", from);
  return to == std::string::npos || to == 0 ? "" : header.substr(from, to - from);
}

// "(3, 16, 16, 3)" as numbers; false where it is no tuple of whole numbers.
bool parse_shape(const std::string& text, std::vector<size_t>* shape) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') return false;
  shape->clear();
  std::string number;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      if (number.size() > 12) return false;
      number += c;
    } else if (c == ',' || c == ')') {
      if (!number.empty())
        shape->push_back(std::stoull(number));
      else if (c == ',')
        return false;
      number.clear();
    } else if (c != ' ') {
      return false;
    }
  }
  return !shape->empty();
}

bool parse_npy(const std::vector<uint8_t>& bytes, size_t max_blocks, std::vector<uint8_t>* blocks,
               std::string* error) {
  static const uint8_t magic[] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
  if (bytes.size() < 10 || !std::equal(magic, magic + 6, bytes.begin())) {
    return fail(error, "not a NumPy file: no \\x93NUMPY at its start");
  }
  const int major = bytes[6];
  if (major < 1 || major > 3) {
    return fail(error, "NumPy format version " + std::to_string(major) + "." +
                           std::to_string(bytes[7]) + ", not 1.0 to 3.0");
  }
  const size_t length_bytes = major == 1 ? 2 : 4;
  if (bytes.size() < 8 + length_bytes) return fail(error, "NumPy header cut short");
  const size_t length = length_bytes == 2 ? load_le16(&bytes[8]) : load_le32(&bytes[8]);
  const size_t data_at = 8 + length_bytes + length;
  if (data_at > bytes.size()) return fail(error, "NumPy header beyond the file's end");
  const std::string header(bytes.begin() + 8 + length_bytes, bytes.begin() + data_at);
  const std::string descr = header_value(header, "descr");
  if (descr != "'|u1'" && descr != "'<u1'" && descr != "'>u1'" && descr != "'u1'") {
    return fail(error, "dtype " + (descr.empty() ? "missing" : descr) + ", not uint8 ('|u1')");
  }
  if (header_value(header, "fortran_order") != "False") {
    return fail(error, "not in C order (fortran_order is not False)");
  }
  std::vector<size_t> shape;
  const std::string shape_text = header_value(header, "shape");
  if (!parse_shape(shape_text, &shape)) return fail(error, "shape " + shape_text + " unreadable");
  if (!is_block_shape({shape.begin() + 1, shape.end()})) {
    return fail(error, "shape " + shape_text + ", not (N, 16, 16, 3), (N, 16, 48) or (N, 768)");
  }
  if (shape[0] > max_blocks) {
    return fail(error, std::to_string(shape[0]) + " blocks, more than the " +
                           std::to_string(max_blocks) + " of the check");
  }
  const size_t size = bytes.size() - data_at;
  if (size != shape[0] * block_bytes) {
    return fail(error, "shape " + shape_text + " needs " + std::to_string(shape[0] * block_bytes) +
                           " bytes of data; the file holds " + std::to_string(size));
  }
  return take_blocks(bytes.data() + data_at, size, max_blocks, blocks, error);
}

// The tokens of $writememh text, words and @addresses, each with its line, to `take` (which
// returns false, with why in `error`, to stop); white space and comments passed over.
template <typename F>
bool each_memh_token(const std::vector<uint8_t>& bytes, std::string* error, F take) {
  uint64_t line = 1;
  const auto where = [&] { return "line " + std::to_string(line) + ": "; };
  const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t c = bytes[i];
    if (std::isspace(c)) {
      line += c == '\n';
      ++i;
    } else if (c == '/' && i + 1 < bytes.size() && bytes[i + 1] == '/') {
      while (i < bytes.size() && bytes[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < bytes.size() && bytes[i + 1] == '*') {
      const std::string start = where();
      for (i += 2; i + 1 < bytes.size() && !(bytes[i] == '*' && bytes[i + 1] == '/'); ++i) {
        line += bytes[i] == '\n';
      }
      if (i + 1 >= bytes.size()) return fail(error, start + "a /* comment that never ends");
      i += 2;
    } else {
      // A word, or @ and an address: hexadecimal digits, with _ between them as Verilog allows.
      const size_t start = i;
      const bool at = c == '@';
      std::string token;
      for (i += at; i < bytes.size() && !std::isspace(bytes[i]) && bytes[i] != '/'; ++i) {
        if (bytes[i] != '_') token += static_cast<char>(bytes[i]);
      }
      if (token.empty() || !std::all_of(token.begin(), token.end(), hex)) {
        return fail(error, where() + "'" + std::string(bytes.begin() + start, bytes.begin() + i) +
                               "' is no hexadecimal word");
      }
      if (!take(token, at, where())) return false;
    }
  }
  return true;
}

bool parse_memh(const std::vector<uint8_t>& bytes, size_t max_blocks, std::vector<uint8_t>* blocks,
                std::string* error) {
  std::vector<uint8_t> data;  // the words' bytes, by address
  std::vector<bool> written;  // of each word
  size_t word_bytes = 0;      // of every word
  uint64_t address = 0, words = 0;
  uint64_t max_words = 0;  // the check's blocks, in words
  const auto store = [&](const std::string& token, bool at, const std::string& where) {
    const size_t first = token.find_first_not_of('0');
    if (at) {
      if (first != std::string::npos && token.size() - first > 15) {
        return fail(error, where + "address @" + token + " beyond any block");
      }
      address = std::stoull(token, nullptr, 16);
      return true;
    }
    if (word_bytes == 0) {
      if (token.size() % 2 || token.size() > 96 || block_bytes % (token.size() / 2)) {
        return fail(error, where + "words of " + std::to_string(4 * token.size()) +
                               " bits; they must be whole bytes, 8 to 384 bits, that divide a "
                               "block of 768 bytes");
      }
      word_bytes = token.size() / 2;
      max_words = uint64_t{max_blocks} * block_bytes / word_bytes;
    } else if (token.size() != 2 * word_bytes) {
      return fail(error, where + "a word of " + std::to_string(4 * token.size()) +
                             " bits among words of " + std::to_string(8 * word_bytes));
    }
    if (address >= max_words) {
      return fail(error, where + "a word at address " + std::to_string(address) +
                             ", beyond the check's " + std::to_string(max_blocks) + " blocks");
    }
    if (address >= written.size()) {
      written.resize(address + 1);
      data.resize((address + 1) * word_bytes);
    }
    if (written[address]) {
      return fail(error, where + "a second word at address " + std::to_string(address));
    }
    written[address] = true;
    ++words;
    // The least significant byte, printed last, comes first.
    for (size_t b = 0; b < word_bytes; ++b) {
      data[address * word_bytes + b] =
          static_cast<uint8_t>(std::stoul(token.substr(token.size() - 2 * b - 2, 2), nullptr, 16));
    }
    ++address;
    return true;
  };
  if (!each_memh_token(bytes, error, store)) return false;
  if (words == 0) return fail(error, "no words");
  if (words != written.size()) {
    const size_t hole =
        static_cast<size_t>(std::find(written.begin(), written.end(), false) - written.begin());
    return fail(error, "no word at address " + std::to_string(hole) + ", before the last");
  }
  return take_blocks(data.data(), data.size(), max_blocks, blocks, error);
}

}  // namespace

bool stream_format_of(const std::string& path, stream_format* format) {
  if (ends_with(path, ".bin") || ends_with(path, ".raw")) {
    *format = stream_format::raw;
  } else if (ends_with(path, ".npy")) {
    *format = stream_format::npy;
  } else if (ends_with(path, ".memh") || ends_with(path, ".hex")) {
    *format = stream_format::memh;
  } else {
    return false;
  }
  return true;
}

bool parse_block_stream(stream_format format, const std::vector<uint8_t>& bytes, size_t max_blocks,
                        std::vector<uint8_t>* blocks, std::string* error) {
  switch (format) {
    case stream_format::raw:
      return take_blocks(bytes.data(), bytes.size(), max_blocks, blocks, error);
    case stream_format::npy:
      return parse_npy(bytes, max_blocks, blocks, error);
    case stream_format::memh:
      return parse_memh(bytes, max_blocks, blocks, error);
  }
  return false;
}

bool is_block_shape(const std::vector<size_t>& item) {
  const std::vector<std::vector<size_t>> shapes = {{16, 16, 3}, {16, 48}, {768}};
  return std::find(shapes.begin(), shapes.end(), item) != shapes.end();
}

bool read_block_stream(const std::string& path, size_t max_blocks, std::vector<uint8_t>* blocks,
                       std::string* error) {
  stream_format format;
  if (!stream_format_of(path, &format)) {
    return fail(error, "no stream's extension: .bin or .raw, .npy, .memh or .hex");
  }
  const regular_file file = open_regular_file(path.c_str());
  if (file.fd < 0) return fail(error, file.missing ? "missing" : file.problem);
  // Text takes at most 5 characters a byte, with room for comments; more is refused unread.
  const uint64_t limit = uint64_t{max_blocks} * block_bytes * 8 + (size_t{1} << 20);
  std::vector<uint8_t> bytes;
  std::string reason;
  const bool read = file.size <= limit && read_up_to(file.fd, limit + 1, &bytes, &reason);
  close(file.fd);
  if (file.size > limit || bytes.size() > limit) {
    return fail(error, std::to_string(file.size) + " bytes, far more than " +
                           std::to_string(max_blocks) + " blocks need");
  }
  if (!read) return fail(error, reason);
  return parse_block_stream(format, bytes, max_blocks, blocks, error);
}

std::vector<uint8_t> encode_stream(stream_format format, const uint8_t* data, size_t count,
                                   const std::vector<size_t>& item_shape, size_t word_bytes,
                                   const std::vector<std::string>& names, element_type type) {
  size_t item = type == element_type::i32 ? 4 : 1;
  for (const size_t d : item_shape) item *= d;
  const size_t size = count * item;
  std::vector<uint8_t> out;
  if (format == stream_format::raw) return {data, data + size};
  if (format == stream_format::npy) {
    // A tuple of one is written (N,).
    std::string shape = "(" + std::to_string(count) + (item_shape.empty() ? "," : "");
    for (const size_t d : item_shape) shape += ", " + std::to_string(d);
    std::string header = std::string("{'descr': '") + (type == element_type::i32 ? "<i4" : "|u1") +
                         "', 'fortran_order': False, 'shape': " + shape + "), }";
    // Version 1.0; the data starts at a multiple of 64 bytes, the header ends with a newline.
    while ((10 + header.size() + 1) % 64) header += ' ';
    header += '\n';
    out = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0};
    out.push_back(static_cast<uint8_t>(header.size()));
    out.push_back(static_cast<uint8_t>(header.size() >> 8));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), data, data + size);
    return out;
  }
  static const char digits[] = "0123456789abcdef";
  for (size_t k = 0; k < count; ++k) {
    if (k < names.size()) {
      const std::string comment = "// " + names[k] + "\n";
      out.insert(out.end(), comment.begin(), comment.end());
    }
    for (size_t w = 0; w < item; w += word_bytes) {
      // The least significant byte first in the data: printed last.
      for (size_t b = word_bytes; b-- > 0;) {
        const uint8_t v = data[k * item + w + b];
        out.push_back(static_cast<uint8_t>(digits[v >> 4]));
        out.push_back(static_cast<uint8_t>(digits[v & 15]));
      }
      out.push_back('\n');
    }
  }
  return out;
}

const char* stream_extension(stream_format format) {
  return format == stream_format::raw ? ".bin" : format == stream_format::npy ? ".npy" : ".memh";
}
