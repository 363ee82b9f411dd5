// What the animated image control shows, without any window: the decoded
// frames, the composed image they build up with their disposal methods,
// and the animation that steps through them on a TTimerEx with loop
// counting and a playing speed. The control paints Image() and Mask()
// and repaints on OnInvalidate.
//
// The composed image holds 0x00RRGGBB pixels, rows top-down. When any
// frame is transparent there is also a mask, one byte a pixel: 1 (white)
// where nothing covers the screen, 0 (black) where a frame does; the image
// is black wherever the mask is white, so that painting the mask with AND
// and then the image with XOR shows what lies beneath.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "controls/gif_decoder.h"
#include "controls/timer_ex.h"

namespace plat {
class Stream;
}

class TGIFPlayer;
using TGIFPlayerEvent = std::function<void(TGIFPlayer* Sender)>;

// A rectangle of the logical screen (Right and Bottom exclusive).
struct TGIFArea {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TGIFArea&) const = default;
};

class TGIFPlayer {
 public:
  TGIFPlayer();
  // Destroying the player from inside one of its events is allowed.
  ~TGIFPlayer();
  TGIFPlayer(const TGIFPlayer&) = delete;
  TGIFPlayer& operator=(const TGIFPlayer&) = delete;

  // Decodes the rest of the stream (from its current position) or the
  // bytes, replacing what was shown; returns the error code (LastError).
  // A failure leaves the player empty (std::bad_alloc, should memory run
  // out within the bounds, leaves it empty too and is passed on).
  int LoadFromStream(plat::Stream& s);
  int Load(const uint8_t* data, size_t size);
  // The bytes of the GIF shown (kept from a successful load; empty
  // otherwise).
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  // Stops the animation and drops the frames and the composed image.
  void Clear();

  bool Empty() const { return !loaded_; }
  int LastError() const { return error_; }
  const TGIFData& Data() const { return data_; }
  int FrameCount() const { return int(data_.Frames.size()); }
  int ScreenWidth() const { return data_.ScreenWidth; }
  int ScreenHeight() const { return data_.ScreenHeight; }
  TGIFVersion Version() const { return data_.Version; }

  const std::vector<uint32_t>& Image() const { return image_; }
  const std::vector<uint8_t>& Mask() const { return mask_; }  // empty: all opaque
  bool HasMask() const { return !mask_.empty(); }
  // Inside the screen and not transparent there.
  bool OpaqueAt(int x, int y) const;

  // Decoding options: the bounds apply to the next load (see TGIFDecoder).
  bool FirstImageOnly = false;
  int64_t MaxScreenPixels = TGIFDecoder::kMaxScreenPixels;
  int64_t MaxTotalPixels = TGIFDecoder::kMaxTotalPixels;
  // The handler may destroy the player: decoding stops then, and nothing
  // of the player is touched again.
  TGIFProgress OnProgress;

  int CurrentFrame() const { return current_; }  // 1-based
  // Disposes of the shown frame and draws frame i; out of 1..count it sets
  // error 5 and changes nothing.
  void SetCurrentFrame(int i);
  bool Animate() const { return animate_; }
  void SetAnimate(bool v);
  bool Loop() const { return loop_; }  // repeat for ever, whatever the stream says
  void SetLoop(bool v);
  int Speed() const { return speed_; }  // percent, at least 1
  void SetSpeed(int v);
  bool Threaded() const { return threaded_; }
  void SetThreaded(bool v);
  TThreadPriority ThreadPriority() const { return priority_; }
  void SetThreadPriority(TThreadPriority v);

  int LoopCount() const { return data_.LoopCount; }
  int LoopIteration() const { return iteration_; }
  // The animation's timer runs (it stops when the loop count ran out).
  bool Playing() const { return timer_ != nullptr; }
  int TimerInterval() const { return timer_ ? timer_->Interval() : 0; }

  // One step of the animation: what the timer calls.
  void Tick();
  // The millisecond tick counter (wraps at 2^32); replaceable by tests.
  std::function<uint32_t()> TickCount;

  TGIFPlayerEvent OnChanging, OnChange, OnWrapAnimation;
  // The composed image changed; within OnInvalidate, Changed() is where
  // (the whole screen after a load, with frames or none), so that a step of the animation
  // costs what its frames cover, not the screen.
  TGIFPlayerEvent OnInvalidate;
  const TGIFArea& Changed() const { return changed_; }

 private:
  int LoadBytes(std::vector<uint8_t> bytes);
  void StartTimer();
  int FrameInterval(int frame) const;  // for the 1-based frame
  // OnChanging, the shown frame disposed of, frame drawn, OnChange; false
  // when an event destroyed the player, or cleared or replaced its frames
  // (nothing is drawn then).
  bool Show(int frame);
  // The frames are still those of content (see content_) and frame is one
  // of them: what an event's handler may have changed.
  bool Holds(unsigned content, int frame) const;
  void Draw(int frame);
  void Dispose();  // the shown frame
  // Fires e; false when the handler destroyed the player.
  bool Fire(const TGIFPlayerEvent& e);
  void Touch(const TGIFFrame& f);  // the frame's area changed
  // OnInvalidate with the area changed since the last; false when the
  // handler destroyed the player.
  bool Invalidated();

  TGIFData data_;
  std::vector<uint8_t> bytes_;
  unsigned content_ = 0;  // counts the clears: every load replaces the frames after one
  bool loaded_ = false;
  int error_ = kGIFErrorNone;
  std::vector<uint32_t> image_;
  std::vector<uint8_t> mask_;
  // The area under the shown frame, kept when its disposal restores it.
  std::vector<uint32_t> savedImage_;
  std::vector<uint8_t> savedMask_;
  int current_ = 1;
  int shown_ = 0;  // the frame drawn and not disposed of yet (0: none)
  TGIFArea changed_;
  bool firstTick_ = false;
  int iteration_ = 1;
  bool animate_ = false;
  bool loop_ = false;
  int speed_ = 100;
  bool threaded_ = false;
  TThreadPriority priority_ = tpNormal;
  std::unique_ptr<TTimerEx> timer_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
