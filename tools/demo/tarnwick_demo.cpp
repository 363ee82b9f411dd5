// tarnwick_demo: the program's main window in a state worth a picture. A
// scripted Napster-protocol server on 127.0.0.1 knows a few users and their
// files, and a Gnutella host on 127.0.0.1 serves one; the window (its files
// in a fresh temporary folder, its gateway on a free port of 127.0.0.1)
// logs in to that server, downloads the Gnutella file, asks who one user
// is and what the user shares, joins a channel where a second client talks
// (and keeps that user on its hot list), searches for "blue" and is shown
// with the results in its grid. `./build.sh shot` takes its picture; it runs until
// its window is closed with File, Exit.
//
//   tarnwick_demo [main] [search|downloads|uploads|shares|messages|networks|servers]
//                 the view shown (the search view without a word), or the
//                 networks or the server window over it
//   tarnwick_demo wizard      the setup wizard instead
//   tarnwick_demo settings    the settings dialog over the main window
//   ... small                 the main window at its smallest size
//   ... N                     the wizard's page, the settings dialog's or the
//                             server window's view number N (from 0)
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/legacy_settings_form.h"
#include "app/main_form.h"
#include "app/message_view.h"
#include "app/register_wizard_form.h"
#include "app/settings_form.h"
#include "app/program_files.h"
#include "app/napster_server_form.h"
#include "app/search_view.h"
#include "app/transfer_view.h"
#include "gui/application.h"
#include "platform/dispatcher.h"
#include "tools/fake_napster_server.h"
#include "tools/gnutella_http_host.h"

namespace {

void AddUser(FakeNapsterServer& server, const std::string& nick, int linkType,
             std::initializer_list<FakeNapsterServer::File> files) {
  FakeNapsterServer::User u;
  u.nick = nick;
  u.linkType = linkType;
  u.files = files;
  server.AddUser(u);
}

constexpr auto Song = &FakeNapsterServer::Song;

std::string FreshFolder() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tarnwick-demo-" + std::to_string(GetCurrentProcessId()));
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  return dir.string() + "\\";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  // The words: what to show ("main" is the main window), and "small".
  std::string what;
  bool small = false;
  int page = 0;
  std::istringstream words(commandLine ? commandLine : "");
  for (std::string w; words >> w;) {
    if (w == "small")
      small = true;
    else if (!w.empty() && std::isdigit(static_cast<unsigned char>(w[0])))
      page = std::atoi(w.c_str());
    else if (w != "main")
      what = w;
  }
  plat::MainLoop::Init();
  gui::Application& app = gui::App();
  app.Initialize();
  LoadProgramFiles(app.ProgramFolder());  // the language texts shipped beside it

  if (what == "wizard") {
    const std::string folder = FreshFolder();
    {
      TRegisterWizardForm wizard(nullptr, folder);
      wizard.AcceptBox->SetChecked(true);
      while (wizard.Page() < page && wizard.Next()) {
      }
      wizard.ShowModal();
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
  }

  FakeNapsterServer server;
  AddUser(server, "nightowl", 7,
          {Song("C:\\Music\\Blue Harbour - Evening Tide.mp3", 4812331, 192, 200),
           Song("C:\\Music\\Blue Harbour - Salt Road.mp3", 6120044, 192, 255)});
  AddUser(server, "marisol", 8,
          {Song("D:\\mp3\\Old Blue Chair.mp3", 3577210, 128, 223), Song("D:\\mp3\\Blue Room (live).mp3", 8814102, 160, 441)});
  AddUser(server, "pjotr", 4, {Song("Deep Blue Sea.mp3", 2911080, 112, 208)});
  AddUser(server, "kestrel", 9,
          {Song("E:\\Audio\\Blue Monday Rehearsal.mp3", 10240977, 256, 320),
           Song("E:\\Audio\\Blue Lines.mp3", 5300012, 128, 331), Song("E:\\Audio\\Blue in Green.mp3", 5501121, 128, 337)});
  FakeNapsterServer::Channel lounge;
  lounge.name = "#lounge";
  lounge.topic = "Music and talk";
  lounge.members = {"nightowl", "marisol"};
  server.AddChannel(lounge);
  // A Gnutella host with one file, offered first to the search for it.
  GnutellaHttpHost gnutella(std::string(3400000, 'x'));
  server.Start();

  const std::string folder = FreshFolder();
  TMainFormOptions options;
  options.ProgramFolder = folder;
  options.AdjustGateway = [](TGatewaySettings& g) {
    g.ClientPort = 0;  // a free port: a running program keeps its own
    g.DuskwireAddress = g.GnutellaAddress = "127.0.0.1";
    g.DuskwirePort = 0;
    g.GnutellaSeedHost.clear();
  };
  int code = 0;
  {
    TMainForm form(options);
    app.SetMainForm(&form);
    TLegacyServer demo;
    demo.Host = "127.0.0.1";
    demo.Port = server.Port();
    demo.Nick = "demo";
    demo.Password = "demo";
    form.LegacySettings->Connect(form.LegacySettings->Add(demo));
    plat::MainLoop::PumpUntil([&] { return form.NapsterClient.LoggedInCount() > 0; }, 10000);
    form.ExecuteCommand("DOWNLOAD_GNUTELLA " + form.LegacySettings->Server(1).ID +
                        " @#!GNUTELLA:4:16777343 \"Harbour Lights (demo).ogg\" 127.0.0.1 " +
                        std::to_string(gnutella.Port()) + " 4");
    plat::MainLoop::PumpUntil([&] { return form.DownloadView->Finished(form.DownloadView->Grid()->Items(0)); }, 10000);
    form.ExecuteCommand("WHOIS kestrel");
    form.ExecuteCommand("BROWSE marisol");
    // A channel, with a second user who talks in it and is on the hot list.
    TNapsterClient wren;
    ApplyMainWindowProperties(wren);
    wren.VersionText = "demo client";
    std::string wrenId;
    wren.StartSession("127.0.0.1", server.Port(), "wren", "demo", "", false, false, wrenId);
    form.ExecuteCommand("JOIN #lounge");
    form.ExecuteCommand("HOTLIST wren");
    plat::MainLoop::PumpUntil([&] { return wren.IsLoggedIn(wrenId) && !form.MessageView->Channel().empty(); }, 10000);
    wren.Join(wrenId, "#lounge");
    wren.PubMsg(wrenId, "#lounge", "anyone heard the new Blue Harbour record?");
    plat::MainLoop::PumpUntil([&] { return form.MessageView->Text().find("<wren>") != std::string::npos; }, 10000);
    form.ExecuteCommand("SAY #lounge yes - Salt Road is the one");
    form.ExecuteCommand("ME hums along");
    plat::MainLoop::PumpUntil([&] { return form.MessageView->Text().find("* demo hums") != std::string::npos; }, 10000);
    form.SearchView->SearchBox()->SetText("blue");
    form.SearchView->Start("blue", false, 100);
    plat::MainLoop::PumpUntil([&] { return !form.SearchView->Searching(); }, 10000);
    form.StatisticsTimerTimer();
    const char* views[] = {"search", "downloads", "uploads", "shares", "messages"};
    TMainForm::TView shown = TMainForm::vSearch;
    for (int v = 0; v < TMainForm::vViewCount; ++v)
      if (what == views[v]) shown = TMainForm::TView(v);
    form.ShowView(shown);
    if (small) {
      MINMAXINFO limits{};
      SendMessageA(reinterpret_cast<HWND>(form.Handle()), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
      form.SetBounds(form.Left(), form.Top(), limits.ptMinTrackSize.x, limits.ptMinTrackSize.y);
    }
    form.ShowAndActivate();
    if (what == "settings") {
      form.SharedItemList().AddDirectory(folder, "Demo", true, "*.mp3,*.ogg");
      form.SharesChanged();
      form.SettingsForm->Pages()->SetPageIndex(page);
      form.ShowSettings();
    }
    if (what == "networks") form.LegacySettings->ShowAndActivate();
    if (what == "servers") {
      form.ServerForm->ShowView(TNapsterServerForm::TView(page));
      form.ServerForm->ShowAndActivate();
    }
    code = app.Run();
  }
  server.Stop();
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return code;
}
