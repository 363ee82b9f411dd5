#include "app/main_form.h"

#include "app/advertise_manager.h"
#include "app/language.h"
#include "app/network_settings.h"
#include "app/settings_form.h"
#include "app/legacy_settings_form.h"
#include "app/message_view.h"
#include "app/napster_server_form.h"
#include "app/program_files.h"
#include "app/search_view.h"
#include "app/share_view.h"
#include "app/transfer_view.h"
#include "app/view_parts.h"
#include "controls/graph.h"
#include "controls/managed_image_list.h"
#include "controls/menu_skin.h"
#include "controls/tray.h"
#include "controls/waymark_control.h"
#include "core/global_functions.h"
#include "core/globals.h"
#include "gui/application.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/files.h"

namespace {

constexpr const char* kSection = "MainForm";
constexpr int kSideWidth = 170;
constexpr int kMinClientHeight = 470;
// The status bar's panels: the connection, what just happened (what is
// left), the files shared and the transfer rates.
constexpr int kConnectionPanel = 180, kSharingPanel = 140, kRatesPanel = 190;
// The networks' bar shows this many at most (more scroll).
constexpr int kMostServiceRows = 6;

// SC_MINIMIZE of WM_SYSCOMMAND, and the end-of-session messages.
constexpr unsigned kSysCommand = 0x0112;
constexpr uintptr_t kScMinimize = 0xF020;
constexpr unsigned kQueryEndSession = 0x0011;
constexpr unsigned kEndSession = 0x0016;

// A bold caption over a part of the side panel.
gui::Panel* Heading(gui::Control* parent, const std::string& caption, gui::AlignMode align) {
  gui::Panel* p = view::Strip(parent, align, 20);
  p->SetCaption(caption);
  p->SetParentFont(false);
  p->Font().SetStyle(gui::fsBold);
  return p;
}

TGraph* RateGraph(gui::Control* parent) {
  auto* g = new TGraph(parent);
  g->SetsLineColor(gui::clBtnShadow);
  g->SetsGridColor(gui::clActiveBorder);
  g->SetsBackColor(gui::clBtnHighlight);
  g->SetiGridSize(12);
  g->SetiMaximum(100);
  g->SetsSuffix(" b/s");
  g->SetbLabelGraph(true);
  view::PlaceLast(g, gui::alTop, 56);
  g->SetParent(parent);
  return g;
}

TWaymarkControl* SideBar(gui::Control* parent, int outsideSpacing) {
  auto* w = new TWaymarkControl(parent);
  w->SetScrollStyle(nssAutomatic);
  w->SetBorderStyle(nbsNone);
  w->SetButtonHeight(20);
  w->SetButtonSpacing(1);
  w->SetInsideSpacing(1);
  w->SetOutsideSpacing(outsideSpacing);
  w->Font().SetName("MS Sans Serif");
  w->Font().SetHeight(-11);
  w->SetParent(parent);
  return w;
}

}  // namespace

TMainForm::TMainForm(TMainFormOptions options) : gui::Form(nullptr, kMainFormClass), options_(std::move(options)) {
  folder_ = plat::IncludeTrailingDelim(options_.ProgramFolder.empty() ? AppDirectory() : options_.ProgramFolder);
  settings_ = TAppSettings::Load(folder_);
  plat::ForceDirectories(settings_.DownloadFolder);

  SetCaption("Tarnwick");
  SetBounds(80, 60, 880, 640);
  // Small enough for a small screen, large enough that every view and the
  // side panel show all their parts.
  SetMinClientSize(kSideWidth + TSearchView::kMinWidth, kMinClientHeight);

  ApplyMainWindowProperties(NapsterClient);
  TNetworkSettings::Load().ApplyTo(NapsterClient);
  NapsterClient.VersionText = kOwnVersionText;
  NapsterClient.ShareManager = &ShareManager1;
  ShareManager1.OnAddDirectory = [this](TShareManager* m, TShareDirectory* d) { ShareManager1AddDirectory(m, d); };
  ShareManager1.OnAddFile = [this](TShareManager* m, TShareFile* f) { ShareManager1AddFile(m, f); };

  BuildMenu();
  BuildBars();
  StatusBar = new gui::StatusBar(this);
  StatusBar->SetParent(this);
  LayOutStatusBar();
  auto* side = new gui::Panel(this);
  side->SetBevel(gui::Panel::Bevel::None);
  side->SetBounds(0, 0, kSideWidth, 400);
  side->SetAlign(gui::alLeft);
  side->SetParent(this);
  BuildSidePanel(side);
  auto* client = new gui::Panel(this);
  client->SetBevel(gui::Panel::Bevel::None);
  client->SetAlign(gui::alClient);
  client->SetParent(this);
  Advertising = new TAdvertiseManager(this, client);
  BuildViews(client);

  LegacySettings = new TLegacySettingsForm(this, NapsterClient, folder_, settings_.Nick);
  LegacySettings->OnServersChanged = [this] { ServersChanged(); };
  ServerForm = new TNapsterServerForm(this);
  SettingsForm = new TNapsterSettingsForm(this, *this);
  ServerForm->SessionRows = [this] {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < LegacySettings->Count(); ++i) {
      const TLegacyServer& s = LegacySettings->Server(i);
      if (s.State == TLegacyServer::Offline) continue;
      const TServerStats st = stats_.count(s.ID) ? stats_.at(s.ID) : TServerStats();
      rows.push_back({s.Address(), s.Nick, LegacyStateText(s), FormatThousands(st.Users), FormatThousands(st.Files),
                      FormatThousands(st.GB)});
    }
    return rows;
  };

  onlineTrayIcon_.LoadFromResourceName("MAINICON");
  offlineTrayIcon_.LoadFromResourceName("OFFLINEICON");
  TrayManager = new TTray(this);
  TrayManager->BeginLoading();
  TrayManager->SetActive(false);
  TrayManager->SetIconIndex(0);
  TrayManager->SetPopupMenu(trayMenu_);
  TrayManager->SetTip("Tarnwick (Beta 2)");
  TrayManager->SimpleFunction = [this](TTray*) { Restore(); };
  TrayManager->DefaultFunction = [this](TTray*) { Restore(); };
  // The icon goes into the tray when the window is first shown: its window
  // is made then, not while the rest is built (a second start looks for it
  // and posts to it).
  OnShow = [this](gui::Component*) {
    if (TrayManager->Loading()) TrayManager->EndLoading();
  };

  // Closing hides the window to the tray; only Exit ends the program.
  OnClose = [](gui::Component*, gui::CloseAction& action) { action = gui::CloseAction::Hide; };

  StatisticsTimer = new gui::Timer(this);
  StatisticsTimer->SetInterval(kStatisticsMs);
  StatisticsTimer->OnTimer = [this](gui::Component*) { StatisticsTimerTimer(); };

  BindClient();
  BindChat();
  BindTransfers();

  // Peers reach this side on the data port; when it is taken, on any free one.
  if (!NapsterClient.SetPort(settings_.DataPort)) {
    NapsterClient.SetPort(0);
    Log("The data port " + std::to_string(settings_.DataPort) + " is in use; peers reach this side on port " +
        std::to_string(NapsterClient.DataPort()) + ".");
  }
  const std::string shareFile = folder_ + "Shared.dat";
  if (!plat::FileExists(shareFile)) {
    // A first start shares the download folder.
    items_.AddDirectory(settings_.DownloadFolder, "Downloads", false, "*.*");
  } else if (!LoadSharedItems()) {
    KeepDamagedShareFile();
  }
  ShareView->Refresh();
  Announce();

  const TApplicationConfig config = LoadApplicationConfig();
  TGatewaySettings gateway;
  gateway.ClientPort = TNapsterClient::kGatewayPort;
  gateway.LoginWait = 180;
  gateway.DuskwirePort = 6016;
  gateway.CacheHost = config.CacheHost;
  gateway.CachePort = config.CachePort;
  if (options_.AdjustGateway) options_.AdjustGateway(gateway);
  gatewayLoginWait_ = gateway.LoginWait;
  gatewayStarted_ = StartGateway(gateway);

  ServersChanged();
  ShowView(vSearch);
}

TMainForm::~TMainForm() {
  ShutdownProgram();
  MarkDestroying();
  DestroyComponents();
}

void TMainForm::ShutdownProgram() {
  if (shutDown_) return;
  shutDown_ = true;
  closing_ = true;  // the events that the ending sessions still fire change nothing
  StatisticsTimer->SetEnabled(false);
  SearchView->SearchTimer()->SetEnabled(false);
  TrayManager->SetActive(false);
  // The files first: stopping the networks may wait on a name lookup, and
  // at the end of the session Windows ends a program that does not answer.
  SaveSharedItems();
  SaveSettings();
  // The gateway before the component: its session then ends from the
  // gateway's side, and nothing of the component is left to answer it.
  if (gatewayStarted_) StopGateway();
  gatewayStarted_ = false;
  NapsterClient.Shutdown();
  NapsterClient.DisconnectAll();
}

TApplicationConfig TMainForm::LoadApplicationConfig() { return ReadApplicationConfig(folder_ + "Application.cfg"); }

// ------------------------------------------------------------------ layout

void TMainForm::BuildMenu() {
  menu_ = new gui::MainMenu(this);
  gui::MenuItem* file = menu_->Items().AddItem(LangText(kSection, "00000", "&File"));
  file->AddItem(LangText(kSection, "00001", "&Networks..."), [this](gui::Component*) { LegacySettings->ShowAndActivate(); });
  file->AddItem(LangText(kSection, "00002", "&Server window..."), [this](gui::Component*) { ServerForm->ShowAndActivate(); });
  file->AddItem(LangText(kSection, "00013", "S&ettings..."), [this](gui::Component*) { ShowSettings(); });
  file->AddItem("-");
  file->AddItem(LangText(kSection, "00003", "E&xit"), [this](gui::Component*) { Exit(); });
  gui::MenuItem* views = menu_->Items().AddItem(LangText(kSection, "00004", "&View"));
  const char* names[vViewCount][2] = {{"00005", "&Search"}, {"00006", "&Downloads"}, {"00007", "&Uploads"},
                                      {"00008", "S&hares"}, {"00009", "&Messages"}};
  for (int v = 0; v < vViewCount; ++v)
    views->AddItem(LangText(kSection, names[v][0], names[v][1]), [this, v](gui::Component*) { ShowView(TView(v)); });
  BuildChatMenu();
  gui::MenuItem* help = menu_->Items().AddItem(LangText(kSection, "00010", "&Help"));
  help->AddItem(LangText(kSection, "00011", "&About Tarnwick..."), [](gui::Component*) {
    gui::App().MessageBox(
        "Tarnwick 2.0\r\n\r\nA file-sharing client for Napster-protocol servers and the Tarnwick P2P "
        "networks (Duskwire and Gnutella) through its own local gateway.",
        "Tarnwick", 0x40 /* MB_ICONINFORMATION */);
  });
  SetMenu(menu_);
  // The menu bar only, in the system's colours and menu font.
  MenuSkin1 = new TMenuSkin(this);
  gui::Font tahoma;
  tahoma.SetName("Tahoma");
  tahoma.SetHeight(-11);
  tahoma.SetColor(gui::clMenuText);
  MenuSkin1->SetFont(tahoma);
  MenuSkin1->SetSkinContainers(SkinBit(sccForm));
  MenuSkin1->SetSkinControls(SkinBit(scMainMenu));
  MenuSkin1->SetActive(true);

  trayMenu_ = new gui::PopupMenu(this);
  gui::MenuItem* show = trayMenu_->Items().AddItem(LangText(kSection, "00012", "&Show Tarnwick"),
                                                   [this](gui::Component*) { Restore(); });
  show->SetDefault(true);
  trayMenu_->Items().AddItem("-");
  trayMenu_->Items().AddItem(LangText(kSection, "00003", "E&xit"), [this](gui::Component*) { Exit(); });
}

void TMainForm::BuildSidePanel(gui::Control* side) {
  ServiceImages = new TManagedImageList(this, 16, 16);
  ServiceImages->OnIndexChange = [this](TManagedImageList*, int position) {
    // A picture left the list: the buttons above it move down one.
    for (TWaymarkControl* bar : {ServiceBar, ServerBar})
      for (int i = 0; i < bar->Count(); ++i)
        if (bar->GetButton(i)->ImageIndex() > position)
          bar->GetButton(i)->SetImageIndex(bar->GetButton(i)->ImageIndex() - 1);
  };
  if (serviceIcon_.LoadFromResourceName("MAINICON"))
    serviceImage_ = ServiceImages->AddImage("RESOURCE://" + std::to_string(serviceIcon_.Handle()));
  if (openNapIcon_.LoadFromResourceName("OPENNAPICON"))
    openNapImage_ = ServiceImages->AddImage("RESOURCE://" + std::to_string(openNapIcon_.Handle()));

  Heading(side, LangText(kSection, "00030", "Networks"), gui::alTop);
  ServiceBar = SideBar(side, 0);
  ServiceBar->SetImageList(ServiceImages);
  view::PlaceLast(ServiceBar, gui::alTop, 130);
  ServiceBar->OnCheck = [this](TWaymarkControl*, TWaymarkButton* b, int index) {
    if (b->Checked())
      LegacySettings->Connect(index);
    else
      LegacySettings->Disconnect(index);
  };
  ServiceBar->OnClick = [this](TWaymarkControl*, TWaymarkButton*, int) { LegacySettings->ShowAndActivate(); };

  auto* graphs = new gui::Panel(side);
  graphs->SetBevel(gui::Panel::Bevel::None);
  view::PlaceLast(graphs, gui::alBottom, 152);
  graphs->SetParent(side);
  Heading(graphs, LangText(kSection, "00032", "Download rate"), gui::alTop);
  DownloadGraph = RateGraph(graphs);
  Heading(graphs, LangText(kSection, "00033", "Upload rate"), gui::alTop);
  UploadGraph = RateGraph(graphs);

  Heading(side, LangText(kSection, "00031", "Sessions"), gui::alTop);
  ServerBar = SideBar(side, 1);
  ServerBar->SetImageList(ServiceImages);
  ServerBar->SetAlign(gui::alClient);
  ServerBar->OnClick = [this](TWaymarkControl*, TWaymarkButton*, int) { ServerForm->ShowAndActivate(); };
  // Checked while logged in: taking the mark off ends the session, and a
  // mark put on a session that is not logged in (yet) is taken back.
  ServerBar->OnCheck = [this](TWaymarkControl*, TWaymarkButton* b, int index) {
    if (index >= int(serverBarSessions_.size())) return;
    const int server = LegacySettings->IndexOfSession(serverBarSessions_[size_t(index)]);
    if (!b->Checked())
      LegacySettings->Disconnect(server);
    else if (server < 0 || LegacySettings->Server(server).State != TLegacyServer::Online)
      b->SetChecked(false);
  };
}

void TMainForm::BuildViews(gui::Control* parent) {
  SearchView = new TSearchView(parent, NapsterClient);
  SearchView->MaxResults = settings_.MaxResults;
  SearchView->OnCommand = [this](const std::string& line) { ExecuteCommand(line); };
  SearchView->OnStatus = [this](const std::string& text) { SetStatus(text); };
  DownloadView = new TTransferView(parent, NapsterClient, true);
  UploadView = new TTransferView(parent, NapsterClient, false);
  ShareView = new TShareView(parent, ShareManager1, items_);
  ShareView->FileTypes = settings_.FileTypes;
  // The user changed the shares here: a share file that cannot be written
  // is told here too.
  ShareView->OnChanged = [this](const std::vector<std::string>& withdrawn) {
    if (!SaveSharedItems()) view::ShowMessage(sharesUnsaved_);
    Announce(withdrawn);
  };
  ShareView->OnSharing = [this](bool on) { on ? StartSharing() : StopSharing(); };
  MessageView = new TMessageView(parent);
  MessageView->OnCommand = [this](const std::string& line) { return ExecuteCommand(line); };
  views_[vSearch] = SearchView;
  views_[vDownloads] = DownloadView;
  views_[vUploads] = UploadView;
  views_[vShares] = ShareView;
  views_[vMessages] = MessageView;
  for (gui::Control* v : views_) {
    v->SetAlign(gui::alClient);
    v->SetVisible(false);
    v->SetParent(parent);
  }
}

void TMainForm::ShowView(TView v) {
  view_ = v;
  for (int i = 0; i < vViewCount; ++i) views_[i]->SetVisible(i == v);
  SyncButtonBar();
}

// ------------------------------------------------------------------ state

void TMainForm::SetStatus(const std::string& text) {
  lastStatus_ = text;
  StatusBar->SetPartText(1, text);
}

void TMainForm::Log(const std::string& line) { MessageView->Add(line); }

std::string TMainForm::ServerName(const std::string& id) const {
  const int i = LegacySettings->IndexOfSession(id);
  return i >= 0 ? LegacySettings->Server(i).Address() : id;
}

void TMainForm::ShowConnection() {
  const int online = NapsterClient.LoggedInCount();
  const std::string left = LegacySettings->Server(LegacySettings->IndexOfGateway()).Waiting;
  connectionText_ = online > 0 ? LangText(kSection, "00041", "Online:") + " " + std::to_string(online) + " " +
                                     LangText(kSection, "00042", "server(s)")
                    : left.empty() ? LangText(kSection, "00040", "Offline")
                                   : LangText(kSection, "00202", "Connecting,") + " " + left;
  StatusBar->SetPartText(0, connectionText_);
  // The tray shows the online state by its picture too (a picture that
  // stays the same changes nothing in the tray).
  TrayManager->SetIcon(online > 0 ? onlineTrayIcon_ : offlineTrayIcon_);
  TrayManager->SetTip("Tarnwick - " + connectionText_);
}

void TMainForm::ServersChanged() {
  if (closing_) return;
  // One service button per network of the provider, checked while it is
  // connected; one button per open session below.
  while (ServiceBar->Count() > LegacySettings->Count()) ServiceBar->GetButton(ServiceBar->Count() - 1)->Remove();
  while (ServiceBar->Count() < LegacySettings->Count()) ServiceBar->Add();
  while (ServerBar->Count() > 0) ServerBar->GetButton(0)->Remove();
  serverBarSessions_.clear();
  // The gateway's login wait starts with its session.
  const TLegacyServer& gateway = LegacySettings->Server(LegacySettings->IndexOfGateway());
  if (gateway.State != TLegacyServer::Connecting)
    gatewayWaitSince_ = -1;
  else if (gatewayWaitSince_ < 0)
    gatewayWaitSince_ = Now();
  for (int i = 0; i < LegacySettings->Count(); ++i) {
    const TLegacyServer& s = LegacySettings->Server(i);
    TWaymarkButton* b = ServiceBar->GetButton(i);
    // Two rows of one server differ in their nicks.
    bool shared = false;
    for (int j = 0; j < LegacySettings->Count(); ++j)
      shared = shared || (j != i && plat::SameText(LegacySettings->Server(j).Address(), s.Address()));
    b->SetCaption(s.Gateway ? LangText(kSection, "00034", "Tarnwick P2P")
                            : shared ? s.Address() + " (" + s.Nick + ")" : s.Address());
    b->SetImageIndex(s.Gateway ? serviceImage_ : openNapImage_);
    b->SetChecked(s.State != TLegacyServer::Offline);
    if (s.State == TLegacyServer::Offline) continue;
    TWaymarkButton* open = ServerBar->Add();
    open->SetCaption(b->Caption() + (s.State == TLegacyServer::Online ? "" : " ..."));
    open->SetImageIndex(b->ImageIndex());
    open->SetChecked(s.State == TLegacyServer::Online);
    serverBarSessions_.push_back(s.ID);
  }
  // The services' bar as high as its buttons (a few at least).
  const int rows = std::max(3, std::min(ServiceBar->Count(), kMostServiceRows));
  ServiceBar->SetHeight(rows * (ServiceBar->ButtonHeight() + ServiceBar->ButtonSpacing()) + 6);
  ShowGatewayWait();
}

int64_t TMainForm::Now() const { return options_.Clock ? options_.Clock() : plat::MonotonicMs(); }

std::string TMainForm::GatewayTimeLeft() const {
  if (gatewayWaitSince_ < 0) return "";
  const int64_t left = std::max<int64_t>(0, gatewayLoginWait_ - (Now() - gatewayWaitSince_) / 1000);
  return FormatSongLength(left) + " " + LangText(kSection, "00208", "left");
}

std::string TMainForm::GatewayWaitText() const {
  if (gatewayWaitSince_ < 0) return "";
  // Its login ends with three Gnutella links or one Duskwire peer.
  return LangText(kSection, "00203", "Looking for peers:") + " Gnutella " + std::to_string(GatewayGnutellaPeers()) +
         "/" + std::to_string(kGatewayEnoughGnutellaLinks) + ", Duskwire " + std::to_string(GatewayDuskwirePeers()) +
         "/1, " + GatewayTimeLeft();
}

void TMainForm::ShowGatewayWait() {
  // The networks window's and the server window's rows, the connection's
  // panel and the session's button say how long the wait may still be; the
  // status line says what it waits for.
  const std::string text = GatewayWaitText();
  const std::string left = GatewayTimeLeft();  // "2:38 left"
  const int gateway = LegacySettings->IndexOfGateway();
  LegacySettings->SetWaiting(gateway, left);
  for (size_t i = 0; i < serverBarSessions_.size(); ++i)
    if (LegacySettings->IndexOfSession(serverBarSessions_[i]) == gateway)
      ServerBar->GetButton(int(i))->SetCaption(LangText(kSection, "00034", "Tarnwick P2P") +
                                              (left.empty() ? "" : " (" + left + ")"));
  if (!text.empty() && text != gatewayWait_ && NapsterClient.LoggedInCount() == 0) SetStatus(text);
  gatewayWait_ = text;
  ShowConnection();
}

void TMainForm::StatisticsTimerTimer() {
  const int64_t down = NapsterClient.DownloadRate();
  const int64_t up = NapsterClient.UploadRate();
  DownloadGraph->AddValue(int(std::min<int64_t>(down, INT32_MAX)));
  UploadGraph->AddValue(int(std::min<int64_t>(up, INT32_MAX)));
  StatusBar->SetPartText(3, LangText(kSection, "00043", "Down") + " " + FormatByteSize(down) + "/s  " +
                                LangText(kSection, "00044", "Up") + " " + FormatByteSize(up) + "/s");
  ShowSharing();
  if (scansRunning_ > 0) ShowAnnouncing();
  if (gatewayWaitSince_ >= 0) ShowGatewayWait();
  Advertising->Poll();
}

void TMainForm::ShowSharing() {
  const int files = NapsterClient.SharedCount();
  sharingText_ = !sharing_ ? LangText(kSection, "00200", "Sharing stopped")
                           : LangText(kSection, "00045", "Sharing") + " " + FormatThousands(files) + " " +
                                 (files == 1 ? LangText(kSection, "00046", "file") : LangText(kSection, "00052", "files"));
  StatusBar->SetPartText(2, sharingText_);
  ShareView->SetAnnounced(files);
}

// ------------------------------------------------------------------ shares

void TMainForm::ShareManager1AddDirectory(TShareManager*, TShareDirectory* directory) { items_.Attach(directory); }

void TMainForm::ShareManager1AddFile(TShareManager*, TShareFile* file) { items_.Attach(file); }

bool TMainForm::LoadSharedItems() { return ::LoadSharedItems(ShareManager1, items_, folder_ + "Shared.dat"); }

bool TMainForm::SaveSharedItems() {
  const std::string file = folder_ + "Shared.dat";
  if (shareFileHeld_) {
    sharesUnsaved_ = LangText(kSection, "00213", "The shares are not saved: the share file") + " " + file + " " +
                     LangText(kSection, "00214", "could not be read and is kept as it is.");
  } else if (::SaveSharedItems(ShareManager1, file)) {
    sharesUnsaved_.clear();
    return true;
  } else {
    sharesUnsaved_ = LangText(kSection, "00210", "The shares could not be saved to") + " " + file + ".";
  }
  SaveFailed(sharesUnsaved_);
  return false;
}

bool TMainForm::SaveSettings(bool stored) {
  stored = settings_.Save() && stored;
  if (!SaveSettingsFile(folder_)) {
    SaveFailed(LangText(kSection, "00211", "The settings could not be saved to") + " " + folder_ + "Application4.cfg.");
    return false;
  }
  if (stored) return true;
  // The file keeps the old value of what it cannot hold.
  SaveFailed(LangText(kSection, "00218", "A setting holds a double quote or a line break: the file keeps its old value."));
  return false;
}

void TMainForm::SaveFailed(const std::string& text) {
  Log(text);
  SetStatus(text);
}

void TMainForm::KeepDamagedShareFile() {
  // What could be read is shared. The file goes aside under a name not yet
  // taken (an older damaged file keeps its own).
  const std::string shareFile = folder_ + "Shared.dat";
  auto taken = [](const std::string& n) { return plat::FileExists(n); };
  const std::string aside = taken(shareFile + ".bad") ? FreeFileName(shareFile + ".bad", taken) : shareFile + ".bad";
  if (plat::RenameFile(shareFile, aside)) {
    Log(LangText(kSection, "00215", "The share file could not be read; it is kept as") + " " +
        plat::ExtractFileName(aside) + ".");
    return;
  }
  shareFileHeld_ = true;
  sharesUnsaved_ = LangText(kSection, "00216", "The share file could not be read nor set aside; it is left as it is") +
                   " (" + shareFile + ").";
  SaveFailed(sharesUnsaved_);
}

void TMainForm::SetAnnouncingStatus(const std::string& text) {
  if (sharesUnsaved_.empty()) SetStatus(text);
}

bool TMainForm::SharesChanged(const std::vector<std::string>& withdrawn) {
  ShareView->Refresh();
  const bool saved = SaveSharedItems();
  Announce(withdrawn);
  return saved;
}

void TMainForm::StopSharing() {
  if (!sharing_) return;
  sharing_ = false;
  NapsterClient.StopScan();
  NapsterClient.ClearSharedFiles();
  ShareView->SetSharing(false);
  ShowSharing();
  SetStatus(LangText(kSection, "00217", "Sharing stopped: no file is offered to anyone."));
}

void TMainForm::StartSharing() {
  if (sharing_) return;
  sharing_ = true;
  ShareView->SetSharing(true);
  // Everything the share tree lists, afresh.
  BeginAnnouncing();
  NapsterClient.ScanAllDrives(settings_.FileTypes);
}

// ------------------------------------------------------------------ settings

void TMainForm::ShowSettings() {
  if (!SettingsForm->Visible()) SettingsForm->Execute();
}

bool TMainForm::ApplySettings(const TAppSettings& app, const TNetworkSettings& net) {
  const bool portChanged = app.DataPort != settings_.DataPort;
  if (app.Nick != settings_.Nick) LegacySettings->SetGatewayNick(app.Nick);
  settings_ = app;
  plat::ForceDirectories(settings_.DownloadFolder);
  SearchView->MaxResults = settings_.MaxResults;
  ShareView->FileTypes = settings_.FileTypes;
  net.ApplyTo(NapsterClient);
  if (portChanged && !NapsterClient.SetPort(settings_.DataPort)) {
    NapsterClient.SetPort(0);
    Log("The data port " + std::to_string(settings_.DataPort) + " is in use; peers reach this side on port " +
        std::to_string(NapsterClient.DataPort()) + ".");
  }
  return SaveSettings(net.Save());
}

void TMainForm::Announce(const std::vector<std::string>& withdrawn) {
  // While sharing is stopped nothing is announced (nor left to withdraw).
  if (!sharing_) return;
  // A finished download is withdrawn only when the user removes it.
  for (const std::string& path : withdrawn) NapsterClient.UnshareFile(path);
  BeginAnnouncing();
  NapsterClient.ScanFolders(settings_.FileTypes, true);
}

void TMainForm::BeginAnnouncing() {
  // One listing at a time: a newer one covers what an older one had left.
  NapsterClient.StopScan();
  if (scansRunning_++ == 0) announcedInScans_ = 0;
  SetAnnouncingStatus(LangText(kSection, "00063", "Announcing shared files..."));
}

void TMainForm::ShowAnnouncing() {
  SetAnnouncingStatus(LangText(kSection, "00064", "Announcing shared files:") + " " + FormatThousands(announcedInScans_));
  ShareView->SetAnnounced(NapsterClient.SharedCount());
}

void TMainForm::AnnounceEnded() {
  if (scansRunning_ > 0 && --scansRunning_ > 0) return;
  // The count stands beside it, in its own panel.
  ShowSharing();
  SetAnnouncingStatus(LangText(kSection, "00065", "Shared files announced"));
}

// ------------------------------------------------------------------ window

void TMainForm::Exit() {
  // The user is still here to read what could not be saved.
  std::string unsaved;
  if (!SaveSharedItems()) unsaved = sharesUnsaved_;
  if (!SaveSettings()) unsaved += (unsaved.empty() ? "" : "\r\n") + lastStatus_;
  if (!unsaved.empty()) view::ShowMessage(unsaved);
  // The end of the loop destroys the window, which closes everything down.
  Hide();
  gui::App().Terminate();
}

void TMainForm::Restore() {
  ShowAndActivate();
}

void TMainForm::Resize() {
  gui::Form::Resize();
  LayOutStatusBar();
}

void TMainForm::Notification(gui::Component* c, gui::Operation op) {
  // The window's size may change while its parts go.
  if (op == gui::Operation::Remove && c == StatusBar) StatusBar = nullptr;
  gui::Form::Notification(c, op);
}

void TMainForm::LayOutStatusBar() {
  if (!StatusBar) return;  // not made yet, or gone
  const int w = ClientWidth();
  StatusBar->SetParts({kConnectionPanel, std::max(kConnectionPanel, w - kSharingPanel - kRatesPanel),
                       std::max(kConnectionPanel, w - kRatesPanel), -1});
}

void TMainForm::WndProc(gui::Message& m) {
  switch (m.Msg) {
    case WM_TARNWICK_WAKE:
      Restore();
      return;
    case kSysCommand:
      if ((m.WParam & 0xFFF0) == kScMinimize) {
        Hide();  // to the tray
        return;
      }
      break;
    case kQueryEndSession:
      m.Result = 1;
      return;
    case kEndSession:
      if (m.WParam) {
        // The session ends: the program's files are written now.
        ShutdownProgram();
        gui::App().Terminate();
      }
      return;
    default:
      break;
  }
  gui::Form::WndProc(m);
}
