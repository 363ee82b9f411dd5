// A canvas that draws nothing and logs every call with its arguments as a
// readable line, with the state that affects it, e.g.
//   FillRect(0,0,10,10) brush=#FF0000
//   LineTo(10,0) pen=clBtnShadow
//   TextOut(2,3,"abc") font=MS Sans Serif/-11 text=#000000 bk=transparent
// Coordinates are logged as given (logical); origin, clip and save/restore
// changes are logged too. Colours show as "#RRGGBB" or the system colour's
// name; resolving clDefault throws, as it does on the real surface. Text
// is measured with the given measurer (the installed one by default).
// Natively a bitmap's canvas is a recording canvas whose Pixel/SetPixel
// reach the bitmap's memory.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/canvas.h"
#include "gui/text_measurer.h"

namespace gui {

// "DT_SINGLELINE|DT_END_ELLIPSIS" ("DT_LEFT" for 0); unknown bits in hex.
std::string DrawTextFlagsText(unsigned flags);
// "SRCCOPY", "PATINVERT"... or "0x00E20746".
std::string RopText(uint32_t rop);

class RecordingCanvas : public Canvas {
 public:
  // size: the surface's size (ClipBox without a clip).
  explicit RecordingCanvas(Size size = {}, std::string name = "canvas",
                           const TextMeasurer* measurer = nullptr);

  const std::vector<std::string>& Log() const { return *sink_; }
  // The log as lines joined by '\n' (each line ended).
  std::string LogText() const;
  void ClearLog() { sink_->clear(); }
  // Appends to another log instead of its own (several canvases, one log).
  void SetSink(std::vector<std::string>* sink) { sink_ = sink ? sink : &own_; }
  // Adds a line of the caller's (markers in tests).
  void Note(const std::string& line) { sink_->push_back(line); }

  void SetName(std::string n) { name_ = std::move(n); }
  void SetSurfaceSize(Size s) { size_ = s; }
  // The device's colour depth the canvas reports (32 unless set).
  void SetBitsPerPixel(int bits) { bits_ = bits; }
  int BitsPerPixel() const override { return bits_; }
  // The area a paint session may draw on (surface coordinates); without
  // it the whole surface.
  void SetPaintArea(const Rect& r) { paintArea_ = r; hasPaintArea_ = true; }
  // Where Pixel and SetPixel read and write (a bitmap's memory).
  void SetPixelAccess(std::function<Color(int, int)> get, std::function<void(int, int, Color)> set);
  const TextMeasurer& GetMeasurer() const;

  void SetStretchMode(int mode) override;
  void SelectPalette(std::span<const Color> colors) override;
  void SetViewportOrigin(Point p) override;
  int Save() override;
  void Restore(int saved) override;

  void SelectClip(const Region* r) override;
  void IntersectClip(const Rect& r) override;
  void ExcludeClip(const Rect& r) override;
  bool GetClip(Region& out) const override;
  Rect ClipBox() const override;
  bool RectVisible(const Rect& r) const override;

  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void Polyline(std::span<const Point> points) override;
  void PolyPolyline(std::span<const Point> points, std::span<const int> counts) override;
  void Polygon(std::span<const Point> points) override;
  void Rectangle(const Rect& r) override;
  void Ellipse(const Rect& r) override;
  void FillRect(const Rect& r) override;
  void FrameRect(const Rect& r) override;
  void InvertRect(const Rect& r) override;
  void DrawFocusRect(const Rect& r) override;
  void DrawEdge(Rect& r, unsigned edge, unsigned flags) override;
  void PatBlt(const Rect& r, uint32_t rop) override;
  void BitBlt(const Rect& dest, Canvas& src, Point srcPos, uint32_t rop) override;
  void StretchBlt(const Rect& dest, Canvas& src, const Rect& srcRect, uint32_t rop) override;
  void TransparentBlt(const Rect& dest, Canvas& src, Point srcPos, Color key) override;
  void Draw(int x, int y, const Bitmap& b) override;
  void StretchDraw(const Rect& dest, const Bitmap& b) override;
  void DrawMasked(int x, int y, const Bitmap& image, const Bitmap& mask) override;
  void DrawIcon(int x, int y, const Icon& icon, int w, int h) override;
  Color Pixel(int x, int y) const override;
  void SetPixel(int x, int y, Color c) override;
  void TextOut(int x, int y, std::string_view text) override;
  void ExtTextOut(int x, int y, unsigned options, const Rect* r, std::string_view text) override;
  void TextRect(const Rect& r, int x, int y, std::string_view text) override;
  int DrawText(std::string_view text, Rect& r, unsigned flags) override;
  Size TextExtent(std::string_view text) const override;
  int TextFitCount(std::string_view text, int maxExtent) const override;
  Size SurfaceSize() const override { return size_; }
  std::string Describe() const override { return name_; }

 protected:
  void SaveBackend(int level) override;
  void RestoreBackend(int level) override;

 private:
  void Add(std::string line);
  std::string PenText() const;
  std::string BrushText() const;
  std::string TextState() const;
  Rect SurfaceRect() const;  // the paint area or the whole surface
  std::vector<std::string> own_;
  std::vector<std::string>* sink_ = &own_;
  std::string name_;
  Size size_;
  int bits_ = 32;
  Rect paintArea_;
  bool hasPaintArea_ = false;
  bool hasClip_ = false;
  Region clip_;  // surface coordinates
  std::vector<std::pair<bool, Region>> savedClips_;
  const TextMeasurer* measurer_;
  std::function<Color(int, int)> getPixel_;
  std::function<void(int, int, Color)> setPixel_;
};

}  // namespace gui
