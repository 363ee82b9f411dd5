#include "controls/gif_player.h"

#include <algorithm>
#include <climits>
#include <new>

#include "platform/clock.h"
#include "platform/stream.h"

namespace {
constexpr int kMinDelayMs = 50;  // shorter frame delays play at this
}

TGIFPlayer::TGIFPlayer() : TickCount([] { return uint32_t(plat::MonotonicMs()); }) {}

TGIFPlayer::~TGIFPlayer() { *alive_ = false; }

int TGIFPlayer::LoadFromStream(plat::Stream& s) {
  const int64_t left = std::max<int64_t>(0, s.Size() - s.Position());
  std::vector<uint8_t> bytes(static_cast<size_t>(left));
  bytes.resize(size_t(s.Read(bytes.data(), left)));
  return LoadBytes(std::move(bytes));
}

int TGIFPlayer::Load(const uint8_t* data, size_t size) {
  return LoadBytes(std::vector<uint8_t>(data, data + size));
}

int TGIFPlayer::LoadBytes(std::vector<uint8_t> bytes) {
  Clear();
  TGIFDecoder d;
  d.FirstImageOnly = FirstImageOnly;
  d.MaxScreenPixels = MaxScreenPixels;
  d.MaxTotalPixels = MaxTotalPixels;
  d.OnProgress = OnProgress;
  // Decoded and composed beside the player, then taken over in one step:
  // a progress handler may destroy the player meanwhile, and running out
  // of memory leaves it empty.
  const std::shared_ptr<bool> alive = alive_;
  TGIFData data;
  const int error = d.Decode(bytes.data(), bytes.size(), data);
  if (!*alive) return error;
  error_ = error;
  if (error != kGIFErrorNone) return error;
  const size_t pixels = size_t(data.ScreenWidth) * size_t(data.ScreenHeight);
  std::vector<uint32_t> image(pixels, 0);
  std::vector<uint8_t> mask(data.AnyTransparent ? pixels : 0, 1);
  data_ = std::move(data);
  image_ = std::move(image);
  mask_ = std::move(mask);
  bytes_ = std::move(bytes);
  loaded_ = true;
  firstTick_ = true;
  changed_ = {0, 0, data_.ScreenWidth, data_.ScreenHeight};
  try {
    // A screen without frames is shown as it is: black.
    if (FrameCount() > 0 ? !Show(1) : !Invalidated()) return kGIFErrorNone;
  } catch (const std::bad_alloc&) {
    if (*alive) Clear();
    throw;
  }
  if (animate_ && FrameCount() >= 2) StartTimer();
  return kGIFErrorNone;
}

void TGIFPlayer::Clear() {
  ++content_;
  timer_.reset();
  data_ = TGIFData{};
  bytes_ = {};
  loaded_ = false;
  image_ = {};
  mask_ = {};
  savedImage_ = {};
  savedMask_ = {};
  current_ = 1;
  shown_ = 0;
  changed_ = {};
  iteration_ = 1;
  firstTick_ = false;
}

bool TGIFPlayer::OpaqueAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= data_.ScreenWidth || y >= data_.ScreenHeight) return false;
  return mask_.empty() || mask_[size_t(y) * size_t(data_.ScreenWidth) + size_t(x)] == 0;
}

void TGIFPlayer::Touch(const TGIFFrame& f) {
  const TGIFArea a{f.Left, f.Top, f.Left + f.Width, f.Top + f.Height};
  if (changed_.Empty()) {
    changed_ = a;
    return;
  }
  changed_ = {std::min(changed_.Left, a.Left), std::min(changed_.Top, a.Top), std::max(changed_.Right, a.Right),
              std::max(changed_.Bottom, a.Bottom)};
}

bool TGIFPlayer::Invalidated() {
  if (!Fire(OnInvalidate)) return false;
  changed_ = {};
  return true;
}

bool TGIFPlayer::Fire(const TGIFPlayerEvent& e) {
  if (!e) return true;
  const std::shared_ptr<bool> alive = alive_;
  e(this);
  return *alive;
}

// Drawing a frame combines it with the composed image as the raster
// operations would: a transparent frame ANDs its mask into the composed
// mask and XORs, ANDs with its mask and XORs again into the image, which
// keeps the image where the frame is transparent and takes the frame's
// colour elsewhere; an opaque frame is copied and blackens the mask.
void TGIFPlayer::Draw(int frame) {
  const TGIFFrame& f = data_.Frames[size_t(frame - 1)];
  const size_t sw = size_t(data_.ScreenWidth), fw = size_t(f.Width);
  if (f.Disposal == 3) {
    savedImage_.resize(fw * size_t(f.Height));
    savedMask_.resize(mask_.empty() ? 0 : savedImage_.size());
    for (int y = 0; y < f.Height; ++y) {
      const size_t from = (size_t(f.Top + y)) * sw + size_t(f.Left);
      std::copy_n(image_.begin() + ptrdiff_t(from), fw, savedImage_.begin() + ptrdiff_t(size_t(y) * fw));
      if (!mask_.empty())
        std::copy_n(mask_.begin() + ptrdiff_t(from), fw, savedMask_.begin() + ptrdiff_t(size_t(y) * fw));
    }
  }
  uint32_t colors[256];
  for (int i = 0; i < 256; ++i) colors[i] = f.Color(uint8_t(i));
  for (int y = 0; y < f.Height; ++y) {
    const size_t row = size_t(y) * fw;
    const size_t to = size_t(f.Top + y) * sw + size_t(f.Left);
    uint32_t* img = image_.data() + to;
    uint8_t* msk = mask_.empty() ? nullptr : mask_.data() + to;
    for (size_t x = 0; x < fw; ++x) {
      if (f.Transparent && f.Mask[row + x]) continue;
      img[x] = colors[f.Pixels[row + x]];
      if (msk) msk[x] = 0;
    }
  }
  shown_ = frame;
  Touch(f);
}

// Disposal 2 clears the frame's area to the background (transparent where
// there is a mask, black in the image); 3 puts back what was under it.
void TGIFPlayer::Dispose() {
  if (shown_ == 0) return;
  const TGIFFrame& f = data_.Frames[size_t(shown_ - 1)];
  shown_ = 0;
  if (f.Disposal != 2 && f.Disposal != 3) return;
  Touch(f);
  const size_t sw = size_t(data_.ScreenWidth), fw = size_t(f.Width);
  for (int y = 0; y < f.Height; ++y) {
    const size_t to = size_t(f.Top + y) * sw + size_t(f.Left);
    const size_t row = size_t(y) * fw;
    if (f.Disposal == 2) {
      std::fill_n(image_.begin() + ptrdiff_t(to), fw, 0u);
      if (!mask_.empty()) std::fill_n(mask_.begin() + ptrdiff_t(to), fw, uint8_t(1));
    } else {
      std::copy_n(savedImage_.begin() + ptrdiff_t(row), fw, image_.begin() + ptrdiff_t(to));
      if (!mask_.empty()) std::copy_n(savedMask_.begin() + ptrdiff_t(row), fw, mask_.begin() + ptrdiff_t(to));
    }
  }
}

bool TGIFPlayer::Holds(unsigned content, int frame) const {
  return content == content_ && loaded_ && frame >= 1 && frame <= FrameCount();
}

bool TGIFPlayer::Show(int frame) {
  const unsigned content = content_;
  if (!Fire(OnChanging)) return false;
  if (!Holds(content, frame)) return false;  // the handler cleared or replaced the frames
  Dispose();
  Draw(frame);
  current_ = frame;
  if (!Invalidated()) return false;
  return Fire(OnChange);
}

void TGIFPlayer::SetCurrentFrame(int i) {
  if (i < 1 || i > FrameCount()) {
    error_ = kGIFErrorFrameIndex;
    return;
  }
  Show(i);
}

int TGIFPlayer::FrameInterval(int frame) const {
  return std::max(data_.Frames[size_t(frame - 1)].Delay, kMinDelayMs) * 100 / speed_;
}

void TGIFPlayer::StartTimer() {
  timer_ = std::make_unique<TTimerEx>();
  timer_->SetThreaded(threaded_);
  timer_->SetThreadPriority(priority_);
  timer_->SetInterval(std::max(FrameInterval(current_), 1));
  timer_->SetOnTimer([this](TTimerEx*) { Tick(); });
}

void TGIFPlayer::SetAnimate(bool v) {
  if (v == animate_) return;
  animate_ = v;
  if (v) {
    if (loaded_ && FrameCount() >= 2 && !timer_) {
      iteration_ = 1;
      StartTimer();
    }
    return;
  }
  timer_.reset();
  if (FrameCount() > 0 && (current_ != 1 || shown_ != 1)) Show(1);
}

void TGIFPlayer::SetLoop(bool v) {
  loop_ = v;
  // Turned on after the loop count ran out: play again from the start.
  if (v && animate_ && !timer_ && loaded_ && FrameCount() >= 2) {
    iteration_ = 1;
    if (!Show(1)) return;
    StartTimer();
  }
}

void TGIFPlayer::SetSpeed(int v) {
  speed_ = std::max(v, 1);
  if (timer_ && FrameCount() >= 2) timer_->SetInterval(1);  // the new speed applies at once
}

void TGIFPlayer::SetThreaded(bool v) {
  threaded_ = v;
  if (timer_) timer_->SetThreaded(v);
}

void TGIFPlayer::SetThreadPriority(TThreadPriority v) {
  priority_ = v;
  if (timer_) timer_->SetThreadPriority(v);
}

void TGIFPlayer::Tick() {
  const int count = FrameCount();
  if (!loaded_ || !timer_ || count < 2) return;
  const uint32_t t0 = TickCount();
  if (current_ < 1 || current_ > count) current_ = 1;
  const unsigned content = content_;
  if (!Fire(OnChanging)) return;
  // A handler that stopped the animation, or cleared or replaced the
  // frames, ended this step.
  if (!timer_ || !Holds(content, current_)) return;
  // Right after decoding the first frame is on show already.
  if (firstTick_) {
    firstTick_ = false;
  } else {
    Dispose();
    Draw(current_);
    if (!Invalidated() || !Holds(content, current_)) return;
  }
  if (timer_) {
    const uint32_t t1 = TickCount();
    const int spent = t1 >= t0 ? int(std::min<uint32_t>(t1 - t0, INT_MAX)) : 0;  // 0 across a wrap
    timer_->SetInterval(std::max(FrameInterval(current_) - spent, 1));
  }
  bool wrapped = false;
  if (++current_ > count) {
    wrapped = true;
    current_ = 1;
    if (!loop_ && data_.LoopCount >= 1 && ++iteration_ > data_.LoopCount) {
      timer_.reset();  // from within its own tick: it goes when the tick returns
      current_ = count;  // stays on the last frame
    }
  }
  if (!Fire(OnChange)) return;
  if (wrapped) Fire(OnWrapAnimation);
}
