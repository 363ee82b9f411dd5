// MP3 analysis (frame search, Xing/VBRI, vendor scan, ID3v1, ID3v2) over
// arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/mpeg.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::MemoryStream s;
  if (size) s.Write(data, int64_t(size));
  TMPEGaudio m;
  if (!m.ReadFromStream(s)) std::abort();  // memory never fails to read
  const double d = m.Duration();
  const uint16_t rate = m.BitRate();
  if (m.Valid() && (rate < 8 || rate > 448 || !(d >= 0.1))) std::abort();
  (void)m.SampleRate();
  (void)m.ID3v1().GenreName();
  return 0;
}
