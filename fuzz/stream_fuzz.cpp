// Arbitrary bytes as a stream of blocks in each format: nothing may crash or read outside them,
// and what is accepted is whole blocks, no more than the check asks for.
#include <cstdlib>
#include <string>
#include <vector>

#include "interpolate.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  for (const stream_format format : {stream_format::raw, stream_format::npy, stream_format::memh}) {
    for (const size_t max_blocks : {size_t{1}, size_t{3}}) {
      std::vector<uint8_t> blocks;
      std::string error;
      if (parse_block_stream(format, bytes, max_blocks, &blocks, &error)) {
        if (blocks.size() % block_bytes != 0 || blocks.size() > max_blocks * block_bytes) {
          std::abort();
        }
      } else if (error.empty()) {
        std::abort();
      }
    }
  }
  return 0;
}
