// The GIF decoder and the frame composition over arbitrary bytes: every
// frame is shown once, and what comes out must respect the size caps and
// the composed image's invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "controls/gif_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TGIFPlayer p;
  int64_t progress = 0;
  p.OnProgress = [&](int done, int total, int percent, bool& keep) {
    if (done < 0 || done > total || percent < 0 || percent > 100) std::abort();
    keep = ++progress < 100000;
  };
  const int e = p.Load(data, size);
  if (e != kGIFErrorNone) {
    if (!p.Empty() || !p.Image().empty()) std::abort();
    return 0;
  }
  const TGIFData& d = p.Data();
  if (int64_t(d.ScreenWidth) * d.ScreenHeight > TGIFDecoder::kMaxScreenPixels) std::abort();
  if (d.Frames.size() > size_t(TGIFDecoder::kMaxFrames)) std::abort();
  for (const TGIFFrame& f : d.Frames) {
    if (f.Left + f.Width > d.ScreenWidth || f.Top + f.Height > d.ScreenHeight) std::abort();
    if (f.Width > TGIFDecoder::kMaxFrameSide || f.Height > TGIFDecoder::kMaxFrameSide) std::abort();
    if (f.Pixels.size() != size_t(f.Width) * size_t(f.Height)) std::abort();
    if (f.Transparent != !f.Mask.empty() || (f.Transparent && f.Mask.size() != f.Pixels.size())) std::abort();
  }
  // Large screens are legal but slow to step through: decoding them is
  // what matters there.
  if (int64_t(d.ScreenWidth) * d.ScreenHeight > 256 * 256) return 0;
  for (int i = 1; i <= p.FrameCount(); ++i) {
    p.SetCurrentFrame(i);
    // Wherever nothing covers the screen the image is black.
    for (size_t k = 0; k < p.Mask().size(); ++k)
      if (p.Mask()[k] && p.Image()[k] != 0) std::abort();
  }
  return 0;
}
