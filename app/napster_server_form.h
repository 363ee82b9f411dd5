// The server window. A button bar switches between its two views:
// - Networks: how the local gateway's two networks are doing (the health
//   of Gnutella and of Duskwire as two bars from 0 to 100 beside their
//   peer counts);
// - Sessions: the open sessions with the figures their servers last sent.
// Both are read on the window's timer every second while it is shown.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/form.h"
#include "gui/timer.h"
#include "gui/win32/std_controls.h"

class TCoolBarControl;

class TNapsterServerForm : public gui::Form {
 public:
  enum TView { vNetworks, vSessions, vViewCount };

  explicit TNapsterServerForm(gui::Component* owner);

  // Reads the gateway's health and peer counts and the sessions' rows.
  void Timer1Timer();
  // Shows a view (as its button on the bar does).
  void ShowView(TView v);
  TView CurrentView() const { return view_; }

  gui::Timer* Timer1;
  TCoolBarControl* ButtonBar;
  gui::ProgressBar* GnutellaBar;
  gui::ProgressBar* DuskwireBar;
  gui::Label* GnutellaPeers;
  gui::Label* DuskwirePeers;
  gui::ListView* Sessions;

  // One row per session: server, nick, state, users, files, gigabytes.
  std::function<std::vector<std::vector<std::string>>()> SessionRows;

 private:
  gui::Control* views_[vViewCount] = {};
  TView view_ = vNetworks;
};
