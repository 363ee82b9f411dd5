// The animated image control: a control without a window of its own that
// shows a GIF (decoded, composed and played by TGIFPlayer on its
// TTimerEx) or a still picture (Graphic). Its parent paints it.
//
// Painting: a still picture at (0, 0), or centred. GIF frames: the client
// area filled with Color first when Opaque; then the image stretched to
// the client area (Stretch), to the largest centred rectangle of its own
// aspect (StretchRatio), only when that shrinks it (StretchBigOnly with
// either), tiled over the client area (Tile), centred (Center) or at
// (0, 0). A GIF with transparent parts is painted as its mask (AND) and
// then its image (XOR), which leaves what lies beneath where it is
// transparent; the transparent parts are not hit by the mouse either
// (unless stretched or tiled). With DoubleBuffered the control paints into
// an off-screen bitmap, starting from what lies beneath, and copies that
// out in one step. On a device of 256 colours or fewer the GIF's own
// colours are selected and realised first. In design mode a dashed
// outline shows where the control is.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "controls/gif_player.h"
#include "gui/bitmap.h"
#include "gui/control.h"

namespace plat {
class Stream;
}

class TGIFImage;
using TGIFImageEvent = std::function<void(TGIFImage* Sender)>;
using TGIFProgressEvent = std::function<void(TGIFImage* Sender, int BytesProcessed, int BytesToProcess,
                                             int PercentageProcessed, bool& KeepOnProcessing)>;

class TGIFImage : public gui::GraphicControl {
 public:
  explicit TGIFImage(gui::Component* owner = nullptr);
  // Destroying the control from inside one of its events (or its
  // animation's tick) is allowed.
  ~TGIFImage() override;

  // Decodes the rest of the stream (from its current position), replacing
  // what was shown. A failure leaves the control empty, sets LastError and
  // raises gui::Abort (the silent abort: no message), unless an OnProgress
  // handler destroyed the control. How big a GIF may be: Player()'s
  // bounds.
  void LoadFromStream(plat::Stream& s);
  // The GIF bytes the control shows (empty without a GIF), stored with
  // its form as the property "Data": a 32-bit little-endian length, then
  // the bytes.
  const std::vector<uint8_t>& Data() const { return player_.Bytes(); }
  void WriteData(plat::Stream& s) const;
  // Reads the property back. The bytes are decoded when loading ends
  // (Loaded), or at once outside loading; a failure there leaves the
  // control empty with LastError set, without raising. A length the stream
  // does not hold raises plat::EStreamError and changes nothing.
  void ReadData(plat::Stream& s);
  // Empties the control (no GIF, no picture).
  void Clear();
  bool Empty() const { return player_.Empty() && !graphic_; }
  int LastError() const { return player_.LastError(); }

  // A still picture shown instead of GIF frames (a copy is kept);
  // nullptr: none. Setting one clears the GIF; with AutoSize the control
  // takes the picture's size.
  const gui::Bitmap* Graphic() const { return graphic_.get(); }
  void SetGraphic(const gui::Bitmap* picture);

  bool Animate() const { return player_.Animate(); }
  void SetAnimate(bool v) { player_.SetAnimate(v); }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v) { Store(center_, v); }
  int CurrentFrame() const { return player_.CurrentFrame(); }
  void SetCurrentFrame(int i) { player_.SetCurrentFrame(i); }
  int FrameCount() const { return player_.FrameCount(); }
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool v) { doubleBuffered_ = v; }
  bool FirstImageOnly() const { return player_.FirstImageOnly; }
  void SetFirstImageOnly(bool v) { player_.FirstImageOnly = v; }
  bool Loop() const { return player_.Loop(); }
  void SetLoop(bool v) { player_.SetLoop(v); }
  bool Opaque() const { return opaque_; }
  void SetOpaque(bool v) { Store(opaque_, v); }
  int Speed() const { return player_.Speed(); }
  void SetSpeed(int v) { player_.SetSpeed(v); }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v) { Store(stretch_, v); }
  bool StretchRatio() const { return stretchRatio_; }
  void SetStretchRatio(bool v) { Store(stretchRatio_, v); }
  bool StretchBigOnly() const { return stretchBigOnly_; }
  void SetStretchBigOnly(bool v) { Store(stretchBigOnly_, v); }
  bool Tile() const { return tile_; }
  void SetTile(bool v) { Store(tile_, v); }
  bool Threaded() const { return player_.Threaded(); }
  void SetThreaded(bool v) { player_.SetThreaded(v); }
  TThreadPriority ThreadPriority() const { return player_.ThreadPriority(); }
  void SetThreadPriority(TThreadPriority v) { player_.SetThreadPriority(v); }
  TGIFVersion Version() const { return player_.Version(); }

  // The decoder, the composed picture and the animation (tests drive its
  // ticks and clock through it).
  TGIFPlayer& Player() { return player_; }
  // The composed picture as bitmaps (nullptr without a GIF; no mask when
  // no frame is transparent).
  const gui::Bitmap* ImageBitmap() const { return image_.get(); }
  const gui::Bitmap* MaskBitmap() const { return mask_.get(); }
  // The off-screen picture of DoubleBuffered painting (nullptr before the
  // first such paint).
  gui::Bitmap* BufferBitmap() const { return buffer_.get(); }

  TGIFImageEvent OnChanging, OnChange, OnWrapAnimation;
  TGIFProgressEvent OnProgress;

 protected:
  void Paint(gui::Canvas& canvas, const gui::Rect& clip) override;
  bool HitTest(gui::Point client) const override;
  void Loaded() override;

 private:
  // Shows the GIF of bytes (replacing what was shown); the error code.
  int Decode(const std::vector<uint8_t>& bytes);
  // Where the GIF's image goes in the client area, and whether it is
  // stretched (tiling aside).
  gui::Rect ImageRect(bool* stretched) const;
  void AdjustSize();
  void PaintImage(gui::Canvas& c);
  void DrawComposed(gui::Canvas& c, const gui::Rect& dest, bool stretched);
  // The composed picture changed: the bitmaps follow and the control repaints.
  void Composed();
  void Store(bool& field, bool v);
  // Fires e with the control and args; false when the handler destroyed
  // the control.
  template <class Event, class... Args>
  bool Fire(const Event& e, Args&&... args) {
    if (!e) return true;
    const Event call = e;  // the handler may free the control, e with it
    const std::shared_ptr<bool> alive = alive_;
    call(this, std::forward<Args>(args)...);
    return *alive;
  }
  static std::vector<gui::Color> PaletteOf(const TGIFData& data);

  TGIFPlayer player_;
  std::unique_ptr<gui::Bitmap> graphic_;
  std::unique_ptr<gui::Bitmap> image_;
  std::unique_ptr<gui::Bitmap> mask_;
  std::unique_ptr<gui::Bitmap> buffer_;  // DoubleBuffered painting
  std::vector<uint8_t> loadedData_;      // "Data" read while loading
  std::vector<gui::Color> palette_;      // the GIF's colours
  int targetBits_ = 32;                  // colour depth of the device painted
  bool autoSize_ = false;
  bool center_ = false;
  bool doubleBuffered_ = true;
  bool opaque_ = false;
  bool stretch_ = false;
  bool stretchRatio_ = false;
  bool stretchBigOnly_ = false;
  bool tile_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
