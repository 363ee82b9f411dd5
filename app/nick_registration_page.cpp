#include "app/nick_registration_page.h"

#include "app/view_parts.h"

namespace {

gui::Edit* Entry(gui::Control* page, const TNickRegistrationPage::TEntry& e, bool masked = false) {
  return view::LabelledEdit(page, e.Caption, e.Left, e.Top, e.LabelWidth, e.Width, masked);
}

}  // namespace

void TNickRegistrationPage::Build(gui::Control* page, const TLayout& l) {
  view::AddLabel(page, l.Intro, 8, l.IntroTop, l.Width);
  ServerEdit = Entry(page, l.Server);
  PortEdit = Entry(page, l.Port);
  PortEdit->SetText("8888");
  NickEdit = Entry(page, l.Nick);
  PasswordEdit = Entry(page, l.Password, true);
  if (l.Email) EmailEdit = Entry(page, *l.Email);
  view::AddButton(page, l.Button, l.ButtonLeft, l.ButtonTop, 100, [this] { Register(); });
  // What the server answered: room for a few lines of its words.
  answer_ = view::AddText(page, "", 8, l.AnswerTop, l.Width, 3);
  registration_.OnChanged = [this] {
    answer_->SetCaption(registration_.StatusText());
    if (registration_.State() == TNickRegistration::Registered && OnRegistered) OnRegistered();
  };
}

void TNickRegistrationPage::Register() {
  registration_.Start(ServerEdit->GetText(), PortEdit->GetText(), NickEdit->GetText(), PasswordEdit->GetText(),
                      EmailEdit ? EmailEdit->GetText() : kDefaultEmail);
}
