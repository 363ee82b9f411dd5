// Decoding and playing an advertising banner: 468 x 60 pixels, 20 frames.
// Frames per second, beside the plain copy of the same decoded pixels
// (the least any decoder must do) measured in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "controls/gif_decoder.h"
#include "controls/gif_player.h"
#include "tools/gif_builder.h"

namespace {

constexpr int kWidth = 468, kHeight = 60, kFrames = 20;

const std::string& Banner() {
  static const std::string bytes = [] {
    gifgen::Image img;
    img.width = kWidth;
    img.height = kHeight;
    img.globalTable = gifgen::Palette(64, 1);
    img.loopCount = 0;
    for (int i = 0; i < kFrames; ++i) {
      gifgen::Frame f;
      f.width = kWidth;
      f.height = kHeight;
      f.pixels = gifgen::Indices(kWidth, kHeight, 64, uint32_t(i));
      f.control = true;
      f.delay = 10;
      f.disposal = i % 2 ? 1 : 2;
      f.transparent = i % 3 ? -1 : 0;
      img.frames.push_back(f);
    }
    return gifgen::Encode(img);
  }();
  return bytes;
}

// The plain copy: every frame's indices copied from an uncompressed buffer.
void CopyFrames() {
  static std::vector<uint8_t> src(size_t(kWidth) * kHeight * kFrames, 7), dst(src.size());
  std::memcpy(dst.data(), src.data(), src.size());
  benchmark::DoNotOptimize(dst.data());
}

// Runs pass (one whole banner) as the benchmark and reports frames per
// second and the time beside the plain copy's.
void Measure(benchmark::State& state, const std::function<void()>& pass) {
  for (auto _ : state) pass();
  const double t = Seconds(pass, 20), base = Seconds(CopyFrames, 20);
  state.counters["frames_per_second"] = benchmark::Counter(double(kFrames) * double(state.iterations()),
                                                           benchmark::Counter::kIsRate);
  state.counters["ratio_to_plain_copy"] = t / base;
}

void BM_DecodeBanner(benchmark::State& state) {
  const std::string& b = Banner();
  TGIFDecoder d;
  auto decode = [&] {
    TGIFData out;
    d.Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), out);
    benchmark::DoNotOptimize(out.Frames.data());
  };
  Measure(state, decode);
}
BENCHMARK(BM_DecodeBanner)->Unit(benchmark::kMillisecond);

// Decoding plus composing every frame once, as one pass of the animation.
void BM_PlayBanner(benchmark::State& state) {
  const std::string& b = Banner();
  auto play = [&] {
    TGIFPlayer p;
    p.Load(reinterpret_cast<const uint8_t*>(b.data()), b.size());
    for (int i = 2; i <= kFrames; ++i) p.SetCurrentFrame(i);
    benchmark::DoNotOptimize(p.Image().data());
  };
  Measure(state, play);
}
BENCHMARK(BM_PlayBanner)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
