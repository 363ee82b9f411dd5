// The main window's button bar. This file sees the bar's header and not
// the grid's (both declare enumerators of the same names).
#include "app/language.h"
#include "app/legacy_settings_form.h"
#include "app/main_form.h"
#include "app/napster_server_form.h"
#include "controls/cool_bar_control.h"
#include "app/view_parts.h"
#include "gui/image_list.h"

namespace {

constexpr const char* kSection = "MainForm";
constexpr const char* kViewGroup = "VIEWS";
constexpr int kNetworksImage = view::bpNetworks;
constexpr int kServersImage = view::bpServers;

}  // namespace

void TMainForm::BuildBars() {
  ButtonBar = new TCoolBarControl(this);
  ButtonBar->SetGrabHandle(true);
  ButtonBar->SetStyle(bsBottom);
  ButtonBar->SetScrollStyle(ssAutoMatic);
  ButtonBar->SetButtonSpacing(0);
  ButtonBar->SetBorderStyle(csNone);
  ButtonBar->SetBounds(0, 0, 800, 46);
  ButtonBar->SetAlign(gui::alTop);
  gui::ImageList* images = view::ButtonPictures(this);
  ButtonBar->SetHotImageList(images);
  ButtonBar->SetColdImageList(images);
  ButtonBar->SetDisabledImageList(images);
  const char* captions[][2] = {{"00020", "Search"},   {"00021", "Downloads"}, {"00022", "Uploads"},
                               {"00023", "Shares"},   {"00024", "Messages"},  {"00025", "Networks"},
                               {"00026", "Servers"}};
  for (int i = 0; i < 7; ++i) {
    if (i == vViewCount) ButtonBar->Add()->SetSeparator(true);
    TBarButton* b = ButtonBar->Add();
    b->SetCaption(LangText(kSection, captions[i][0], captions[i][1]));
    b->SetColdImageIndex(i);
    b->SetHotImageIndex(i);
    b->SetDisabledImageIndex(i);
    if (i < vViewCount) b->SetGroup(kViewGroup);
  }
  ButtonBar->OnChange = [this](TCoolBarControl*, TBarButton* b, int index) {
    if (index < 0) return;  // a scroll button
    if (!b->Group().empty()) {
      if (b->Down()) ShowView(TView(b->ColdImageIndex()));
    } else if (b->ColdImageIndex() == kNetworksImage) {
      LegacySettings->ShowAndActivate();
    } else if (b->ColdImageIndex() == kServersImage) {
      ServerForm->ShowAndActivate();
    }
  };
  ButtonBar->SetParent(this);
}

void TMainForm::SyncButtonBar() {
  // Pressing a button from here comes back through OnChange to the view
  // shown already.
  for (int i = 0; i < ButtonBar->Count(); ++i) {
    TBarButton* b = ButtonBar->GetButton(i);
    if (!b->Group().empty() && b->ColdImageIndex() == view_ && !b->Down()) b->SetDown(true);
  }
}
