// The custom controls together in one form: the scrolling button bar (two
// buttons with the square picture, the second disabled), the side bar of
// service buttons (scroll buttons always shown, the first button down) and
// the rate graph with labels, fed 40 samples; the images come from a named
// image list that loads a .bmp and an .ico file written into a folder. The
// controls' window test drives it; tools/demo/controls_demo.cpp shows it
// for a picture.
#pragma once
#include <string>

#include "controls/cool_bar_control.h"
#include "controls/graph.h"
#include "controls/managed_image_list.h"
#include "controls/waymark_control.h"
#include "gui/form.h"

// The pictures: 16 x 16, a square (pixels 4..11 both ways) in red on
// white (the .bmp, white its transparent colour) or in blue on
// transparent (the .ico, 32 bits).
constexpr gui::Color kShowcaseRed = gui::MakeRGB(255, 0, 0);
constexpr gui::Color kShowcaseBlue = gui::MakeRGB(0, 0, 255);
inline bool InShowcaseSquare(int x, int y) { return x >= 4 && x < 12 && y >= 4 && y < 12; }
std::string ShowcaseSquareBmp();
std::string ShowcaseSquareIco();

class TControlsShowcase {
 public:
  // folder (ending in a separator) receives square.bmp and square.ico.
  // The form's window is made before the constructor returns.
  explicit TControlsShowcase(const std::string& folder);

  gui::Form form;
  TManagedImageList* images;
  TCoolBarControl* bar;
  TWaymarkControl* side;
  TGraph* graph;
  int bmpIndex = -1, icoIndex = -1;
};
