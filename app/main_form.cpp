#include "app/main_form.h"

#include "gui/application.h"

TMainForm::TMainForm() : gui::Form(nullptr, kMainFormClass) {
  SetCaption("Tarnwick");
  SetBounds(100, 80, 800, 600);
  menu_ = new gui::MainMenu(this);
  gui::MenuItem* file = menu_->Items().AddItem("&File");
  file->AddItem("E&xit", [this](gui::Component*) { Close(); });
  SetMenu(menu_);

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
