// The program's main window. It owns the one share tree every network
// answers from (ShareManager1, with a shared-item record on each share and
// file, loaded from and saved to "Shared.dat"), the one Napster-protocol
// client component (NapsterClient) and, for as long as it exists, the local
// gateway. It shows:
// - a menu bar (drawn flat by the menu skin), a button bar that switches
//   the views, and a status bar;
// - on the left the services side bar (the networks of the OpenNap provider,
//   each checked while it is connected), the side bar of the sessions open
//   now, and the download and upload rate graphs, fed every 2 seconds from
//   the component's rate totals;
// - the search, downloads, uploads, shares and messages views.
// Every event of the component shows where a user looks for it: search
// results and transfers in their views, the sessions in the side bars and
// the status bar, what servers and users say in the messages view.
//
// One text-command interpreter (ExecuteCommand) turns the lines the views
// speak (DOWNLOAD, DOWNLOAD_GNUTELLA, the chat verbs MSG, WHOIS, BROWSE,
// JOIN, HOTLIST, KICK... of every request of the client component, and the
// popups USER_POPUP and CHANNEL_POPUP) into requests; the Chat menu speaks
// it too.
//
// Closing or minimising the window hides it to the tray; File, Exit and
// the tray menu's Exit end the program. The program's files (the share
// file and the settings) are written before the networks are stopped: the
// gateway's stop may wait on a name lookup, and Windows ends a program
// that does not answer at the end of the session. A file that cannot be
// written is told in the status bar, in the messages view and in a message
// where the user acted; it is never passed over as saved.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/application_config.h"
#include "app/file_exists_form.h"
#include "app/shared_item.h"
#include "controls/menu_skin.h"
#include "core/share_manager.h"
#include "gui/bitmap.h"
#include "gui/form.h"
#include "gui/menu.h"
#include "gui/timer.h"
#include "gui/win32/std_controls.h"
#include "peer/gateway/gateway.h"
#include "peer/napster/napster_client.h"

// The button bar's header and the grid's declare enumerators of the same
// names: no file of the main window sees both (the bar is built in
// main_form_bars.cpp).
class TCoolBarControl;
class TGraph;
class TManagedImageList;
class TMenuSkin;
class TTray;
class TWaymarkControl;
class TSearchView;
class TTransferView;
class TShareView;
class TMessageView;
class TLegacySettingsForm;
class TNapsterServerForm;
class TNapsterSettingsForm;
class TAdvertiseManager;
struct TNetworkSettings;

// Posted by a second start of the program to wake the running one.
constexpr unsigned WM_TARNWICK_WAKE = 0x0400 + 100;  // WM_USER + 100
constexpr const char* kMainFormClass = "TMainForm";

struct TMainFormOptions {
  // Where the program's files are ("": the program's own folder).
  std::string ProgramFolder;
  // The clock of the gateway's login wait, in milliseconds (tests give
  // their own; none: the monotonic clock).
  std::function<int64_t()> Clock;
  // Changes the gateway's settings before it starts (tests keep it on
  // loopback addresses of their own, without a Gnutella seed).
  std::function<void(TGatewaySettings&)> AdjustGateway;
};

class TMainForm : public gui::Form {
 public:
  static constexpr unsigned kStatisticsMs = 2000;
  enum TView { vSearch, vDownloads, vUploads, vShares, vMessages, vViewCount };

  explicit TMainForm(TMainFormOptions options = {});
  ~TMainForm() override;

  // ------------------------------------------------------------ published
  TShareManager ShareManager1;
  TNapsterClient NapsterClient;
  void ShareManager1AddDirectory(TShareManager* sender, TShareDirectory* directory);
  void ShareManager1AddFile(TShareManager* sender, TShareFile* file);
  // "Shared.dat" in the program folder, with the shared-item records. A
  // failed save is told in the status bar and the messages view; a share
  // file that could not be read nor set aside is never written over.
  bool LoadSharedItems();
  bool SaveSharedItems();
  // The settings in the store and in "Application4.cfg"; a failure is told
  // as above, and so is a value the store cannot hold (stored: false when
  // the caller's own values met one).
  bool SaveSettings(bool stored = true);
  // The CACHE tag of "Application.cfg".
  TApplicationConfig LoadApplicationConfig();

  // ------------------------------------------------------------ commands
  // Runs one text command; true when it did what it says (a download is
  // queued or runs, a message or request went out), false when it is
  // unknown, lacks words, cannot run or the user cancelled it.
  bool ExecuteCommand(const std::string& line);
  // What a download does with a local file that exists already (the
  // dialog unless replaced).
  std::function<TFileExistsChoice(const std::string& path)> AskFileExists;

  // Ends the program (File, Exit); a file that cannot be written is told
  // in a message first.
  void Exit();
  // Shows the window again from the tray.
  void Restore();
  void ShowView(TView v);
  TView CurrentView() const { return view_; }

  // ------------------------------------------------------------ parts
  TSearchView* SearchView;
  TTransferView* DownloadView;
  TTransferView* UploadView;
  TShareView* ShareView;
  TMessageView* MessageView;
  TLegacySettingsForm* LegacySettings;
  TNapsterServerForm* ServerForm;
  TCoolBarControl* ButtonBar;
  TWaymarkControl* ServiceBar;
  TWaymarkControl* ServerBar;
  TGraph* DownloadGraph;
  TGraph* UploadGraph;
  TManagedImageList* ServiceImages;
  TTray* TrayManager;
  TMenuSkin* MenuSkin1;  // the menu bar and its drop-downs, drawn flat
  gui::StatusBar* StatusBar = nullptr;
  gui::Timer* StatisticsTimer;
  // Feeds the rate graphs and the status bar (every 2 seconds).
  void StatisticsTimerTimer();

  // The settings dialog (File, Settings...), and what its OK applies:
  // the settings (the data port, the download folder, the component's
  // properties; stored at once, in the store and its file) and the share
  // tree's records, changed under the share tree's and the shared-item
  // list's locks; then the tree is saved, listed and announced.
  TNapsterSettingsForm* SettingsForm;
  void ShowSettings();
  // False when the settings, applied, could not be saved (the status says so).
  bool ApplySettings(const TAppSettings& app, const TNetworkSettings& net);
  TSharedItemList& SharedItemList() { return items_; }
  // The share tree changed: the tree is saved and listed, the files that
  // left it (withdrawn: their disk paths) are withdrawn, and what it holds
  // now is announced; the rest of what is announced stays. False when the
  // share file could not be written.
  bool SharesChanged(const std::vector<std::string>& withdrawn = {});
  // Sharing stopped (the shares view's Stop sharing): every file is
  // withdrawn from every server, and nothing is announced until sharing
  // starts again, which lists the share tree afresh.
  void StopSharing();
  void StartSharing();
  bool Sharing() const { return sharing_; }
  // What the gateway's session waits for while it logs in ("" when it
  // does not wait): the links its networks have so far and the time left.
  std::string GatewayWaitText() const;
  // The advertising banner above the views.
  TAdvertiseManager* Advertising;

  const TAppSettings& Settings() const { return settings_; }
  const std::string& ProgramFolder() const { return folder_; }
  const TSharedItemList& SharedItems() const { return items_; }
  // The status bar's texts: the connection, the last thing that happened.
  const std::string& ConnectionText() const { return connectionText_; }
  const std::string& LastStatus() const { return lastStatus_; }
  const std::string& SharingText() const { return sharingText_; }

 protected:
  void WndProc(gui::Message& m) override;
  void Resize() override;
  void Notification(gui::Component* c, gui::Operation op) override;

 private:
  void BuildMenu();
  void BuildBars();
  // The button bar's view buttons follow the view shown.
  void SyncButtonBar();
  void BuildSidePanel(gui::Control* parent);
  void BuildViews(gui::Control* parent);
  void BindClient();
  void BindTransfers();
  void ServersChanged();
  void SetStatus(const std::string& text);
  void ShowConnection();
  // The number of files shared, in its panel of the status bar.
  void ShowSharing();
  // The status bar's panels for the window's width.
  void LayOutStatusBar();
  std::string ServerName(const std::string& id) const;
  void Log(const std::string& line);
  // A file that could not be written: the status bar and the messages view.
  void SaveFailed(const std::string& text);
  // A line about the announcement of the shares, unless one says they
  // are not saved.
  void SetAnnouncingStatus(const std::string& text);
  // The share file that could not be read goes aside; when it cannot, it
  // stays where it is and is never written over.
  void KeepDamagedShareFile();
  // The gateway session's wait, as the windows show it (every 2 seconds).
  void ShowGatewayWait();
  int64_t Now() const;
  // "2:38 left" while the gateway's session waits, else "".
  std::string GatewayTimeLeft() const;
  bool Download(const std::vector<std::string>& words);

  // The chat (main_form_chat.cpp): a chat verb's line, the channels joined
  // (by name, with the sessions joined to each and their users) and the
  // hot list (sent to each chat server as it logs in).
  struct TChannel {
    std::string Name;
    std::vector<std::string> Sessions;
    std::vector<std::string> Users;
  };
  void BuildChatMenu();
  void BindChat();
  bool Chat(const std::string& line);
  // The sessions logged in to chat servers (all but the gateway's).
  std::vector<std::string> ChatServers() const;
  void ShowHotList();
  // Tells a chat server the hot list's nicks still untold, in order, as
  // far as its queue of requests has room (the rest when it has more).
  void TellHotList(const std::string& id);
  TChannel* FindChannel(const std::string& name);
  void ChannelsChanged(const std::string& shown = "");
  void ShowUsers(const std::string& channel);
  void LeaveChannel(const std::string& id, const std::string& channel);
  // Withdraws those files and lists the share tree for the client: what
  // it shares already (a finished download too) stays.
  void Announce(const std::vector<std::string>& withdrawn = {});
  // The client's listing of the shares begins (an older one stops).
  void BeginAnnouncing();
  // The status bar while files are announced, and once they are.
  void ShowAnnouncing();
  void AnnounceEnded();
  void ShutdownProgram();
  template <class F>
  auto Live(F f) {
    return [this, f](auto&&... args) {
      if (!closing_) f(args...);
    };
  }

  TMainFormOptions options_;
  std::string folder_;
  TAppSettings settings_;
  TSharedItemList items_{ShareManager1};
  bool gatewayStarted_ = false;
  int gatewayLoginWait_ = 0;        // seconds
  int64_t gatewayWaitSince_ = -1;   // when its session began connecting (-1: it does not)
  std::string gatewayWait_;         // as last shown
  bool shareFileHeld_ = false;      // the damaged share file stayed in place
  // Why the share tree is not saved ("": it is); the announcements' lines
  // leave it standing in the status bar.
  std::string sharesUnsaved_;
  bool sharing_ = true;
  bool closing_ = false;
  bool shutDown_ = false;
  TView view_ = vSearch;
  gui::Control* views_[vViewCount] = {};
  gui::MainMenu* menu_;
  gui::PopupMenu* trayMenu_;
  std::string connectionText_;
  std::string lastStatus_;
  std::string sharingText_;
  int scansRunning_ = 0;      // the client's share scans not yet ended
  int announcedInScans_ = 0;  // files the running scans reported
  struct TServerStats {
    int Users = 0, Files = 0, GB = 0;
  };
  std::map<std::string, TServerStats> stats_;  // by session ID
  std::set<std::string> statsAsked_;  // sessions whose figures the user asked for, not yet come
  std::vector<TChannel> channels_;  // joined, in order
  std::vector<std::string> hotList_;
  std::vector<std::string> hotOnline_;  // the hot list's users a server said are online
  // The nicks each chat server that logged in is still to be told, in order.
  std::map<std::string, std::vector<std::string>> hotListUntold_;  // by session ID
  std::vector<std::string> serverBarSessions_;  // the server bar's sessions, in order
  int serviceImage_ = -1;
  int openNapImage_ = -1;
  gui::Icon serviceIcon_;
  gui::Icon openNapIcon_;
  // The tray's pictures while some network is online and while none is.
  gui::Icon onlineTrayIcon_;
  gui::Icon offlineTrayIcon_;
};
