#include "gui/color.h"

#include <cstdio>
#include <stdexcept>

#include "gui/services.h"

namespace gui {

namespace {

// The classic scheme.
constexpr Color kClassic[kSystemColorCount] = {
    MakeRGB(192, 192, 192), MakeRGB(0, 128, 128),   MakeRGB(0, 0, 128),
    MakeRGB(128, 128, 128), MakeRGB(192, 192, 192), MakeRGB(255, 255, 255),
    MakeRGB(0, 0, 0),       MakeRGB(0, 0, 0),       MakeRGB(0, 0, 0),
    MakeRGB(255, 255, 255), MakeRGB(192, 192, 192), MakeRGB(192, 192, 192),
    MakeRGB(128, 128, 128), MakeRGB(0, 0, 128),     MakeRGB(255, 255, 255),
    MakeRGB(192, 192, 192), MakeRGB(128, 128, 128), MakeRGB(128, 128, 128),
    MakeRGB(0, 0, 0),       MakeRGB(192, 192, 192), MakeRGB(255, 255, 255),
    MakeRGB(64, 64, 64),    MakeRGB(224, 224, 224), MakeRGB(0, 0, 0),
    MakeRGB(255, 255, 225), MakeRGB(192, 192, 192), MakeRGB(0, 0, 255),
    MakeRGB(16, 132, 208),  MakeRGB(181, 181, 181), MakeRGB(0, 0, 128),
    MakeRGB(192, 192, 192)};

constexpr const char* kNames[kSystemColorCount] = {
    "clScrollBar",      "clBackground",      "clActiveCaption",
    "clInactiveCaption", "clMenu",           "clWindow",
    "clWindowFrame",    "clMenuText",        "clWindowText",
    "clCaptionText",    "clActiveBorder",    "clInactiveBorder",
    "clAppWorkSpace",   "clHighlight",       "clHighlightText",
    "clBtnFace",        "clBtnShadow",       "clGrayText",
    "clBtnText",        "clInactiveCaptionText", "clBtnHighlight",
    "cl3DDkShadow",     "cl3DLight",         "clInfoText",
    "clInfoBk",         "clSystemColor25",   "clHotLight",
    "clGradientActiveCaption", "clGradientInactiveCaption", "clMenuHighlight",
    "clMenuBar"};

}  // namespace

FixedSystemColorTable::FixedSystemColorTable() {
  for (int i = 0; i < kSystemColorCount; ++i) values_[i] = kClassic[i];
}

Color FixedSystemColorTable::RGBOf(int index) const {
  return index >= 0 && index < kSystemColorCount ? values_[index] : 0;
}

void FixedSystemColorTable::Set(int index, Color rgb) {
  if (index >= 0 && index < kSystemColorCount) values_[index] = rgb & 0xFFFFFF;
}

Color ColorToRGB(Color c) {
  if (c == clDefault) throw std::logic_error("the default-colour marker reached a drawing call");
  if (IsSystemColor(c)) return Service<SystemColorTable>::Get().RGBOf(SystemColorIndex(c)) & 0xFFFFFF;
  return c & 0xFFFFFF;
}

std::string ColorText(Color c) {
  if (c == clDefault) return "clDefault";
  if (IsSystemColor(c)) {
    const int i = SystemColorIndex(c);
    if (i < kSystemColorCount) return kNames[i];
    return "clSystemColor" + std::to_string(i);
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", RedOf(c), GreenOf(c), BlueOf(c));
  return buf;
}

}  // namespace gui
