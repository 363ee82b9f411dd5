// What window tests of the Win32 build stand on: the window system's
// bitmaps and windows, colours from a fixed table of the layer (never the
// system's), fixed-width text measuring, and errors that handlers let
// escape recorded instead of shown.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/application.h"
#include "gui/bitmap.h"
#include "gui/color.h"
#include "gui/control.h"
#include "gui/graphics_backend.h"
#include "gui/text_measurer.h"
#include "gui/win32/gdi_objects.h"
#include "gui/win32/win32_peer.h"
#include "platform/dispatcher.h"

namespace testwin {

// Distinct colours for the system colours the tests draw with.
constexpr gui::Color kFace = gui::MakeRGB(10, 20, 30);
constexpr gui::Color kShadow = gui::MakeRGB(40, 50, 60);
constexpr gui::Color kWindow = gui::MakeRGB(70, 80, 90);

class Win32Test : public testing::Test {
 protected:
  Win32Test()
      : graphics_(backend_), measurer_(fixedMeasurer_), colorsIn_(colors_), peers_(factory_) {
    colors_.Set(COLOR_BTNFACE, kFace);
    colors_.Set(COLOR_BTNSHADOW, kShadow);
    colors_.Set(COLOR_WINDOW, kWindow);
    previous_ = gui::SetExceptionReporter([this](const std::string& what, gui::Control* where) {
      reported.push_back(what);
      reportedAt.push_back(where);
    });
  }
  ~Win32Test() override { gui::SetExceptionReporter(previous_); }

  // Pumps the thread's messages until pred holds (false after 20 s: the
  // event never came).
  static bool WaitFor(const std::function<bool()>& pred) {
    return plat::MainLoop::PumpUntil(pred, 20000);
  }

  // Every message pending now, through the application's loop (key
  // preview included).
  static void Pump() { gui::App().ProcessMessages(); }

  // A system colour as the layer resolves it in this test.
  void SetSystemColor(int index, gui::Color rgb) { colors_.Set(index, rgb); }

  std::vector<std::string> reported;
  std::vector<gui::Control*> reportedAt;

 private:
  gui::GdiGraphicsBackend backend_;
  gui::FixedTextMeasurer fixedMeasurer_;
  gui::FixedSystemColorTable colors_;
  gui::Win32PeerFactory factory_;
  gui::ScopedService<gui::GraphicsBackend> graphics_;
  gui::ScopedService<gui::TextMeasurer> measurer_;
  gui::ScopedService<gui::SystemColorTable> colorsIn_;
  gui::ScopedService<gui::PeerFactory> peers_;
  gui::ExceptionReporter previous_;

 protected:
  gui::FixedSystemColorTable& Colors() { return colors_; }
};

}  // namespace testwin
