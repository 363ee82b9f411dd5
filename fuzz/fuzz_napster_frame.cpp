// Feeds arbitrary bytes, in pieces of varying size, to the frame reader and
// checks that every message it returns encodes back to a frame of the
// announced size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "peer/napster/napster_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::size_t limit = data[0] & 1 ? kNapsterClientMaxText : 8000;
  NapsterFrameReader reader(limit);
  std::size_t at = 1;
  std::size_t piece = 1 + (data[0] >> 1);
  while (at < size) {
    std::size_t n = std::min(piece, size - at);
    reader.Feed(data + at, n);
    at += n;
    NapsterMessage m;
    NapsterFrameReader::Result r;
    while ((r = reader.Next(m)) == NapsterFrameReader::Result::kMessage) {
      if (m.Text.size() > limit || m.Text.find('\0') != std::string::npos) std::abort();
      std::string frame;
      if (!EncodeNapsterMessage(m.Type, m.Text, limit, frame)) std::abort();
    }
    if (r == NapsterFrameReader::Result::kTooLong) break;
  }
  return 0;
}
