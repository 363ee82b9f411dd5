// The tag parser fed a text whole and in pieces: the tree must not depend
// on where the pieces split. The first two bytes seed the split points.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "core/config_wrapper.h"
#include "tools/config_dump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const unsigned seed = unsigned(data[0]) | (unsigned(data[1]) << 8);
  const char* text = reinterpret_cast<const char*>(data + 2);
  const size_t len = size - 2;

  TConfigHandle whole;
  whole.LoadFromBuffer(text, len);

  TConfigHandle pieces;
  std::minstd_rand rng(seed);
  size_t at = 0;
  while (at < len) {
    const size_t n = std::min<size_t>(len - at, 1 + rng() % 64);
    pieces.Parse(text + at, n);
    at += n;
  }
  if (configdump::Dump(whole.Root()) != configdump::Dump(pieces.Root())) std::abort();

  // The wrapper's look-ups over whatever was read.
  TConfig c;
  c.LoadFromBuffer(text, len);
  if (c.SetCurrentNode("\\SCANNING_RULES")) {
    for (int i = 0; i < c.ItemCount(); ++i) {
      c.ItemName(i);
      (void)c.GetValue("KEYWORD");
    }
  }
  return 0;
}
