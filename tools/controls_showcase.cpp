#include "tools/controls_showcase.h"

#include <fstream>

using namespace gui;
using namespace std::string_literals;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

std::string ShowcaseSquareBmp() {
  Bitmap b(16, 16);
  b.Fill(clWhite);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (InShowcaseSquare(x, y)) b.SetPixel(x, y, kShowcaseRed);
  return b.SaveToBytes();
}

std::string ShowcaseSquareIco() {
  std::string s;
  auto u16 = [&](unsigned v) { s += char(v & 0xFF), s += char((v >> 8) & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  const uint32_t colours = 16 * 16 * 4, mask = 16 * 4;
  u16(0), u16(1), u16(1);  // the directory
  s += "\x10\x10\0\0"s, u16(1), u16(32), u32(40 + colours + mask), u32(6 + 16);
  u32(40), u32(16), u32(32), u16(1), u16(32), u32(0), u32(colours + mask), u32(0), u32(0), u32(0), u32(0);
  for (int y = 15; y >= 0; --y)
    for (int x = 0; x < 16; ++x) s += InShowcaseSquare(x, y) ? "\xFF\0\0\xFF"s : "\0\0\0\0"s;
  for (int y = 15; y >= 0; --y) {
    unsigned bits = 0;
    for (int x = 0; x < 16; ++x)
      if (!InShowcaseSquare(x, y)) bits |= 0x8000u >> x;
    s += char(bits >> 8), s += char(bits & 0xFF), s += "\0\0"s;
  }
  return s;
}

TControlsShowcase::TControlsShowcase(const std::string& folder) {
  form.SetBounds(40, 40, 440, 320);
  images = new TManagedImageList(&form, 16, 16);
  WriteFile(folder + "square.bmp", ShowcaseSquareBmp());
  WriteFile(folder + "square.ico", ShowcaseSquareIco());
  bmpIndex = images->AddImage(folder + "square.bmp");
  icoIndex = images->AddImage(folder + "square.ico");

  bar = new TCoolBarControl(&form);
  bar->SetBounds(0, 0, 420, 40);
  bar->SetBorderStyle(csSingle);
  bar->SetStyle(bsRight);
  bar->SetHotImageList(images);
  bar->SetColdImageList(images);
  bar->SetDisabledImageList(images);
  bar->SetParent(&form);
  for (const char* caption : {"&Alpha", "Beta"}) {
    TBarButton* b = bar->Add();
    b->SetColdImageIndex(bmpIndex);
    b->SetHotImageIndex(bmpIndex);
    b->SetDisabledImageIndex(bmpIndex);
    b->SetCaption(caption);
  }
  bar->GetButton(1)->SetEnabled(false);

  side = new TWaymarkControl(&form);
  side->SetBounds(0, 40, 140, 200);
  side->SetScrollStyle(nssAlways);
  side->SetImageList(images);
  side->SetParent(&form);
  for (int i = 0; i < 2; ++i) {
    TWaymarkButton* b = side->Add();
    b->SetCaption(i ? "Beta" : "Alpha");
    b->SetImageIndex(i ? icoIndex : bmpIndex);
  }
  side->GetButton(0)->SetDown(true);

  graph = new TGraph(&form);
  graph->SetBounds(140, 40, 280, 200);
  graph->SetsSuffix(" b/s");
  graph->SetbLabelGraph(true);
  graph->SetParent(&form);
  for (int i = 0; i < 40; ++i) graph->AddValue(i % 10 * 10);
  form.HandleNeeded();
}
