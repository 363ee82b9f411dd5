// The server window: how the local gateway's two networks are doing (the
// health of Gnutella and of Duskwire as two bars from 0 to 100 beside
// their peer counts, read on the window's timer every second while it is
// shown) and the open sessions with the figures their servers last sent.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/form.h"
#include "gui/timer.h"
#include "gui/win32/std_controls.h"

class TNapsterServerForm : public gui::Form {
 public:
  explicit TNapsterServerForm(gui::Component* owner);

  // Reads the gateway's health and peer counts and the sessions' rows.
  void Timer1Timer();

  gui::Timer* Timer1;
  gui::ProgressBar* GnutellaBar;
  gui::ProgressBar* DuskwireBar;
  gui::Label* GnutellaPeers;
  gui::Label* DuskwirePeers;
  gui::ListView* Sessions;

  // One row per session: server, nick, state, users, files, gigabytes.
  std::function<std::vector<std::vector<std::string>>()> SessionRows;
};
