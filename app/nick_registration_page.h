// The page on which the user registers a nick on a Napster server (in the
// setup wizard and in the settings dialog): a line that says what the page
// is for, server, port ("8888" at first), nick and password entries, an
// e-mail entry where the page has one, a Register button and a line that
// tells what the server answered. Each page registers through a client
// component of its own.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "app/nick_registration.h"
#include "gui/win32/std_controls.h"
#include "peer/napster/napster_client.h"

class TNickRegistrationPage {
 public:
  // A labelled entry: its caption, where its label starts, the label's
  // width and the entry's width.
  struct TEntry {
    std::string Caption;
    int Left, Top, LabelWidth, Width;
  };
  // Where the page's parts stand, and their texts.
  struct TLayout {
    std::string Intro;
    int IntroTop, Width;  // the intro's and the answer's width
    TEntry Server, Port, Nick, Password;
    std::optional<TEntry> Email;  // none: the page registers with kDefaultEmail
    std::string Button;
    int ButtonLeft, ButtonTop, AnswerTop;
  };
  static constexpr const char* kDefaultEmail = "user@tarnwick";

  TNickRegistrationPage() : registration_(Client) {}
  // Places the parts on page.
  void Build(gui::Control* page, const TLayout& layout);

  TNapsterClient Client;
  gui::Edit* ServerEdit = nullptr;
  gui::Edit* PortEdit = nullptr;
  gui::Edit* NickEdit = nullptr;
  gui::Edit* PasswordEdit = nullptr;
  gui::Edit* EmailEdit = nullptr;  // nullptr: the page has none
  // Starts a registration with what the entries say.
  void Register();
  // The server has registered the account (Registration().Account()).
  std::function<void()> OnRegistered;
  TNickRegistration& Registration() { return registration_; }

 private:
  gui::Label* answer_ = nullptr;
  TNickRegistration registration_;
};
