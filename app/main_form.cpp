#include "app/main_form.h"

#include "gui/application.h"

TMainForm::TMainForm() : gui::Form(nullptr, kMainFormClass) {
  SetCaption("Tarnwick");
  SetBounds(100, 80, 800, 600);
  menu_ = new gui::MainMenu(this);
  gui::MenuItem* file = menu_->Items().AddItem("&File");
  file->AddItem("E&xit", [this](gui::Component*) { Close(); });
  SetMenu(menu_);
  // The menu bar only, in the system's colours and menu font.
  menuSkin_ = new TMenuSkin(this);
  gui::Font tahoma;
  tahoma.SetName("Tahoma");
  tahoma.SetHeight(-11);
  tahoma.SetColor(gui::clMenuText);
  menuSkin_->SetFont(tahoma);
  menuSkin_->SetSkinContainers(SkinBit(sccForm));
  menuSkin_->SetSkinControls(SkinBit(scMainMenu));
  menuSkin_->SetActive(true);

  status_ = new gui::StatusBar(this);
  status_->SetParent(this);
  status_->SetSimpleText("Ready");

  client_ = new gui::Panel(this);
  client_->SetBevel(gui::Panel::Bevel::Lowered);
  client_->SetColor(gui::clWindow);
  client_->SetAlign(gui::alClient);
  client_->SetParent(this);
}

void TMainForm::WndProc(gui::Message& m) {
  if (m.Msg == WM_TARNWICK_WAKE) {
    ShowAndActivate();
    return;
  }
  gui::Form::WndProc(m);
}
