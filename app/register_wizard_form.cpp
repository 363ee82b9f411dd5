#include "app/register_wizard_form.h"

#include <algorithm>

#include "app/app_settings.h"
#include "app/language.h"
#include "app/legacy_settings_form.h"
#include "app/network_settings.h"
#include "app/program_files.h"
#include "app/view_parts.h"
#include "core/file_scan.h"
#include "core/global_functions.h"
#include "gui/registry_ini_file.h"
#include "peer/napster/napster_helpers.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "RegisterWizard";
constexpr int kPageLeft = 8, kPageTop = 8, kPageWidth = 484, kPageHeight = 300;

// The pages' entries stand in one column, their labels on the left.
constexpr int kLabelWidth = 122;

gui::Edit* LabelledEdit(gui::Control* page, const std::string& caption, int top, int width) {
  return view::LabelledEdit(page, caption, 8, top, kLabelWidth, width);
}

}  // namespace

TRegisterWizardForm::TRegisterWizardForm(gui::Component* owner, const std::string& programFolder)
    : gui::Form(owner, "TRegisterWizardForm"),
      folder_(plat::IncludeTrailingDelim(programFolder)) {
  SetCaption(LangText(kSection, "00000", "Tarnwick Setup"));
  SetBorderStyle(gui::FormBorder::Dialog);
  SetBounds(150, 110, 506, 392);
  SetCenterOnScreen(true);

  BuildAgreement(NewPage(LangText(kSection, "00001", "Welcome to Tarnwick")));
  BuildPortCheck(NewPage(LangText(kSection, "00002", "Can other users reach you?")));
  BuildRegistration(NewPage(LangText(kSection, "00003", "Register your nick")));
  BuildSettings(NewPage(LangText(kSection, "00004", "Your settings")));
  BuildScan(NewPage(LangText(kSection, "00005", "Find files to share")));

  // Room for two lines beside the buttons (an entry refused names itself).
  statusLabel_ = view::AddText(this, "", 8, 314, 226, 2);
  back_ = view::AddButton(this, LangText(kSection, "00006", "< &Back"), 240, 330, 78, [this] { Back(); });
  next_ = view::AddButton(this, LangText(kSection, "00007", "&Next >"), 322, 330, 78, [this] { Next(); });
  next_->SetDefault(true);
  gui::Button* cancel = view::AddButton(this, LangText(kSection, "00008", "Cancel"), 414, 330, 78, [] {});
  cancel->SetCancel(true);
  cancel->SetModalResult(gui::mrCancel);
  // However the wizard closes, nothing it started goes on.
  OnClose = [this](gui::Component*, gui::CloseAction&) {
    cancellingCheck_ = true;
    PortCheckClient1.Cancel();
    cancellingCheck_ = false;
    ShareManager1.StopScan();
  };

  PortCheckClient1.OnFound = [this](TPortCheckClient*) {
    SetPortText(LangText(kSection, "00020", "Other users can reach this computer: transfers work both ways."));
  };
  PortCheckClient1.OnNotFound = [this](TPortCheckClient* c) {
    SetPortText(cancellingCheck_ ? LangText(kSection, "00021", "The check was cancelled.")
                : !c->Answered()
                    ? LangText(kSection, "00200", "The check failed: the port-check server") + " " + portCheckHost_ +
                          " " + LangText(kSection, "00201", "could not be reached or did not answer. Whether other users can reach you is not known.")
                    : LangText(kSection, "00022",
                               "Other users cannot reach this computer (a firewall or router is in the way): "
                               "you can still fetch files from users who can be reached."));
  };

  ShareManager1.OnScanStatus = [this](TShareManager*, const std::string& path) { SetScanText(path); };
  ShareManager1.OnAddDirectory = [this](TShareManager*, TShareDirectory* d) {
    found_->AddRow({d->Name, d->Path});
  };
  ShareManager1.OnAddFile = [this](TShareManager*, TShareFile* f) { found_->AddRow({f->Name, f->Path}); };
  ShareManager1.OnScanEnd = [this](TShareManager*) {
    ++scanEnds_;
    SetScanText(LangText(kSection, "00040", "Search ended:") + " " + std::to_string(found_->RowCount()) + " " +
                LangText(kSection, "00041", "folder(s) and file(s) found."));
    scanButton_->SetCaption(LangText(kSection, "00042", "&Search again"));
  };
  ShowPage(pgAgreement);
}

TRegisterWizardForm::~TRegisterWizardForm() {
  PortCheckClient1.OnFound = nullptr;
  PortCheckClient1.OnNotFound = nullptr;
  ShareManager1.StopScan();
  ShareManager1.OnScanStatus = nullptr;
  ShareManager1.OnAddDirectory = nullptr;
  ShareManager1.OnAddFile = nullptr;
  ShareManager1.OnScanEnd = nullptr;
}

gui::Panel* TRegisterWizardForm::NewPage(const std::string& title) {
  auto* p = new gui::Panel(this);
  p->SetBevel(gui::Panel::Bevel::None);
  p->SetBounds(kPageLeft, kPageTop, kPageWidth, kPageHeight);
  p->SetVisible(false);
  p->SetParent(this);
  gui::Label* heading = view::AddLabel(p, title, 8, 4, 460);
  heading->SetParentFont(false);
  heading->Font().SetStyle(gui::fsBold);
  pages_.push_back(p);
  return p;
}

void TRegisterWizardForm::BuildAgreement(gui::Panel* p) {
  auto* text = new gui::Memo(this);
  text->SetBounds(8, 28, 468, 200);
  text->SetReadOnly(true);
  text->SetText(LangText(kSection, "00013", "Tarnwick lets you share files with other people and fetch files they share.") +
                "\r\n\r\n" +
                LangText(kSection, "00014",
                         "You alone decide which folders and files you share, and you are responsible for them: "
                         "share only what you have the right to share, and fetch only what you have the right "
                         "to have.") +
                "\r\n\r\n" +
                LangText(kSection, "00015",
                         "Other users see your nick, your address and the names of the files you share. The "
                         "program comes without any warranty; you use it at your own risk."));
  text->SetParent(p);
  AcceptBox = new gui::CheckBox(this);
  AcceptBox->SetCaption(LangText(kSection, "00011", "I &accept these terms"));
  AcceptBox->SetBounds(8, 240, 300, 17);
  AcceptBox->SetParent(p);
  // The reminder goes once the box is ticked.
  AcceptBox->OnClick = [this](gui::Control*) {
    if (AcceptBox->Checked()) SetStatus("");
  };
}

void TRegisterWizardForm::BuildPortCheck(gui::Panel* p) {
  portCheckHost_ = plat::Trim(TNetworkSettings::Load().PortCheckHost);
  gui::Label* intro = view::AddText(
      p, LangText(kSection, "00023", "Users who cannot be reached from outside can only fetch files from users who can."),
      8, 32, 468);
  // The answers are set later: room for the longest.
  portLabel_ = view::AddText(p, "", 8, view::Bottom(intro) + 12, 468, 3);
  view::AddButton(p, LangText(kSection, "00024", "&Check again"), 8, view::Bottom(portLabel_) + 8, 110,
                  [this] { StartPortCheck(); });
}

void TRegisterWizardForm::BuildRegistration(gui::Panel* p) {
  auto entry = [](const std::string& caption, int top, int width) {
    return TNickRegistrationPage::TEntry{caption, 8, top, kLabelWidth, width};
  };
  RegistrationPage.Build(
      p, {LangText(kSection, "00030", "A nick registered on a server is yours there (you may skip this)."), 32, 468,
          entry(LangText(kSection, "00031", "Server:"), 60, 200),
          entry(LangText(kSection, "00032", "Port:"), 88, 70),
          entry(LangText(kSection, "00033", "Nick:"), 116, 200),
          entry(LangText(kSection, "00034", "Password:"), 144, 200),
          entry(LangText(kSection, "00035", "E-mail:"), 172, 200),
          LangText(kSection, "00036", "Re&gister"), 130, 204, 240});
  // The nick registered is the one to use.
  RegistrationPage.OnRegistered = [this] { NickEdit->SetText(Registration().Account().Nick); };
}

void TRegisterWizardForm::BuildSettings(gui::Panel* p) {
  const TAppSettings app = TAppSettings::Load(folder_);
  NickEdit = LabelledEdit(p, LangText(kSection, "00050", "Nick:"), 32, 200);
  NickEdit->SetText(app.Nick);
  DownloadFolderEdit = LabelledEdit(p, LangText(kSection, "00051", "Download folder:"), 60, 250);
  DownloadFolderEdit->SetText(app.DownloadFolder);
  view::AddBrowseButton(this, p, LangText(kSection, "00052", "&Browse..."), 388, 59, DownloadFolderEdit);
  DataPortEdit = LabelledEdit(p, LangText(kSection, "00053", "Data port:"), 88, 70);
  DataPortEdit->SetText(std::to_string(app.DataPort));
  view::AddLabel(p, LangText(kSection, "00054", "Connection:"), 8, 120, 120);
  LinkTypeCombo = view::AddLinkTypeCombo(this, p, 130, 116);
  view::SelectLinkType(LinkTypeCombo, TNetworkSettings::Load().LinkType);
  FileTypesEdit = LabelledEdit(p, LangText(kSection, "00055", "File types to share:"), 148, 250);
  FileTypesEdit->SetText(app.FileTypes == "*.*" ? "*.mp3" : app.FileTypes);
}

void TRegisterWizardForm::BuildScan(gui::Panel* p) {
  gui::Label* intro = view::AddText(
      p,
      LangText(kSection, "00043",
               "Your download folder is shared. The search looks through your disks for more to share."),
      8, 32, 468);
  const int top = view::Bottom(intro) + 8;
  scanButton_ = view::AddButton(p, LangText(kSection, "00044", "&Search"), 8, top, 100, [this] {
    if (Scanning())
      StopScan();
    else
      StartScan();
  });
  // The paths searched, cut in the middle when long.
  scanLabel_ = view::AddPathLabel(p, 116, top + 5, 360);
  found_ = new gui::ListView(this);
  found_->SetBounds(8, top + 32, 468, kPageHeight - 8 - (top + 32));
  found_->AddColumn(LangText(kSection, "00045", "Shared as"), 140);
  found_->AddColumn(LangText(kSection, "00046", "Folder or file"), 300);
  found_->SetParent(p);
}

// ------------------------------------------------------------------ pages

void TRegisterWizardForm::ShowPage(TPage p) {
  page_ = p;
  for (int i = 0; i < pgCount; ++i) pages_[size_t(i)]->SetVisible(i == p);
  back_->SetEnabled(p != pgAgreement);
  next_->SetCaption(p == pgScan ? LangText(kSection, "00009", "&Finish") : LangText(kSection, "00007", "&Next >"));
  SetStatus("");
  if (p == pgPortCheck) StartPortCheck();
  if (p == pgRegistration && plat::Trim(RegisterNickEdit()->GetText()).empty())
    RegisterNickEdit()->SetText(NickEdit->GetText());
  if (p == pgScan) AddDownloadsShare();
}

void TRegisterWizardForm::Leaving(TPage p) {
  if (p == pgPortCheck && PortCheckClient1.Busy()) {
    cancellingCheck_ = true;
    PortCheckClient1.Cancel();
    cancellingCheck_ = false;
  }
}

bool TRegisterWizardForm::Next() {
  if (page_ == pgAgreement && !AcceptBox->Checked()) {
    SetStatus(LangText(kSection, "00012", "Accept the terms to go on."));
    return false;
  }
  if (page_ == pgSettings) {
    const std::string unstorable =
        UnstorableEntry({{LangText(kSection, "00050", "Nick:"), NickEdit->GetText()},
                         {LangText(kSection, "00051", "Download folder:"), DownloadFolderEdit->GetText()},
                         {LangText(kSection, "00055", "File types to share:"), FileTypesEdit->GetText()}});
    if (!unstorable.empty()) {
      SetStatus(unstorable);
      return false;
    }
    const std::string nick = plat::Trim(NickEdit->GetText());
    if (!UsableNick(nick)) {
      SetStatus(LangText(kSection, "00056", "Give a nick without blanks."));
      return false;
    }
  }
  if (page_ == pgScan) {
    StopScan();
    if (!SaveResults() && !saveFailed_) {
      // Told once; Finish again goes on without the files.
      saveFailed_ = true;
      SetStatus(LangText(kSection, "00202", "Not saved: see the message."));
      view::ShowMessage(LangText(kSection, "00203", "Your settings and shares could not be saved in") + " " + folder_ +
                        ".\r\n" +
                        LangText(kSection, "00204",
                                 "Press Finish again to start without them; the setup then runs again at the next start."));
      return false;
    }
    SetModalResult(gui::mrOk);
    return true;
  }
  Leaving(page_);
  ShowPage(TPage(page_ + 1));
  return true;
}

void TRegisterWizardForm::Back() {
  if (page_ == pgAgreement) return;
  Leaving(page_);
  if (page_ == pgScan) StopScan();
  ShowPage(TPage(page_ - 1));
}

void TRegisterWizardForm::CancelWizard() { Close(); }

void TRegisterWizardForm::SetPortText(const std::string& t) {
  portText_ = t;
  portLabel_->SetCaption(t);
}

void TRegisterWizardForm::SetScanText(const std::string& t) {
  scanText_ = t;
  scanLabel_->SetCaption(t);
}

void TRegisterWizardForm::SetStatus(const std::string& t) {
  status_ = t;
  statusLabel_->SetCaption(t);
}

// ------------------------------------------------------------------ port check

void TRegisterWizardForm::StartPortCheck() {
  if (PortCheckClient1.Busy()) return;
  if (PortCheckClient1.Check(portCheckHost_, PortCheckPort, 0))
    SetPortText(LangText(kSection, "00026", "Checking with") + " " + portCheckHost_ + " ...");
  else
    SetPortText(LangText(kSection, "00027", "The check could not start: no port could be opened here."));
}

// ------------------------------------------------------------------ registration

// ------------------------------------------------------------------ disk search

std::string TRegisterWizardForm::FileTypes() { return TAppSettings::SharedTypes(FileTypesEdit->GetText()); }

void TRegisterWizardForm::AddDownloadsShare() {
  const std::string folder = plat::ExcludeTrailingDelim(plat::Trim(DownloadFolderEdit->GetText()));
  if (folder.empty()) return;
  plat::ForceDirectories(folder);
  if (downloads_ && plat::SameText(downloads_->Path, folder)) return;
  if (downloads_) downloads_->Remove();
  downloads_ = ShareManager1.AddDirectory(folder, "Downloads", false, "*.*");
  if (found_->RowCount() == 0 || found_->Text(0, 1) != folder) {
    found_->ClearRows();
    found_->AddRow({"Downloads", folder});
  }
}

void TRegisterWizardForm::StartScan() {
  ReloadScanningRules(&ShareManager1, folder_ + "SharedRules.dat");
  AddDownloadsShare();
  SetScanText(LangText(kSection, "00047", "Searching..."));
  scanButton_->SetCaption(LangText(kSection, "00048", "&Stop"));
  ShareManager1.StartScan(FileTypes());
}

void TRegisterWizardForm::StopScan() { ShareManager1.StopScan(); }

bool TRegisterWizardForm::SaveResults() {
  TAppSettings app = TAppSettings::Load(folder_);
  app.Nick = plat::Trim(NickEdit->GetText());
  app.TakeEntries(DataPortEdit->GetText(), DownloadFolderEdit->GetText(), FileTypesEdit->GetText());
  bool saved = app.Save();
  TNetworkSettings net = TNetworkSettings::Load();
  net.LinkType = std::max(0, LinkTypeCombo->ItemIndex());
  saved = net.Save() && saved;
  saved = SaveSettingsFile(folder_) && saved;
  AddDownloadsShare();
  saved = ShareManager1.SaveToFile(folder_ + "Shared.dat") && saved;
  // The account just registered is there to log in with.
  if (Registration().State() == TNickRegistration::Registered) {
    const TNickRegistration::TAccount& a = Registration().Account();
    TLegacyServer s;
    s.Host = a.Host;
    s.Port = a.Port;
    s.Nick = a.Nick;
    s.Password = a.Password;
    s.Redirect = a.Redirect;
    saved = AddLegacyServer(folder_, s) && saved;
  }
  saved_ = saved;
  return saved;
}

// ------------------------------------------------------------------ start-up

bool RunSetupWizardIfNeeded(const std::string& programFolder) {
  std::string done;
  if (gui::Registry().ReadValue(kProgramRegistryKey, kSetupCompleteValue, done)) return true;
  TRegisterWizardForm wizard(nullptr, programFolder);
  if (wizard.ShowModal() != gui::mrOk) return false;
  if (wizard.Saved()) gui::Registry().WriteValue(kProgramRegistryKey, kSetupCompleteValue, "1");
  return true;
}
