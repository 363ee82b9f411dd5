#include "app/settings_form.h"

#include <algorithm>
#include <climits>
#include <mutex>

#include "app/app_settings.h"
#include "app/language.h"
#include "app/main_form.h"
#include "app/network_settings.h"
#include "app/shared_item.h"
#include "app/view_parts.h"
#include "controls/win32/extended_edit.h"
#include "core/file_scan.h"
#include "core/global_functions.h"
#include "core/globals.h"
#include "peer/napster/napster_helpers.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "Settings";

// The number of a text (its digits), kept to the int range.
int Number(gui::Edit* e) { return int(std::min<int64_t>(EasyStrToInt64(e->GetText()), INT_MAX)); }
bool HasDigits(gui::Edit* e) { return e->GetText().find_first_of("0123456789") != std::string::npos; }
// An entry that holds no number keeps the value it had.
int NumberOr(gui::Edit* e, int previous) { return HasDigits(e) ? Number(e) : previous; }

using view::LabelledEdit;

template <class E>
E* Place(E* e, gui::Control* page, int left, int top, int width) {
  e->SetBounds(left, top, width, 21);
  e->SetParent(page);
  return e;
}

// A share's name cannot be empty or hold a path separator (its virtual
// path is "/" + name).
bool UsableName(const std::string& n) { return !plat::Trim(n).empty() && n.find_first_of("/\\") == std::string::npos; }

}  // namespace

// ------------------------------------------------------------------ progress

TScanProgressForm::TScanProgressForm(gui::Component* owner) : gui::Form(owner, "TScanProgressForm") {
  SetCaption(LangText(kSection, "00100", "Searching the disks"));
  SetBorderStyle(gui::FormBorder::Dialog);
  SetBounds(200, 220, 420, 120);
  SetCenterOnScreen(true);
  count_ = view::AddLabel(this, "", 10, 12, 390);
  label_ = view::AddPathLabel(this, 10, 32, 390);
  stop_ = view::AddButton(this, LangText(kSection, "00102", "&Stop"), 320, 58, 80, [this] {
    if (OnStop) OnStop();
    Close();
  });
  stop_->SetCancel(true);
}

void TScanProgressForm::Begin() {
  found_ = 0;
  path_.clear();
  foundText_ = LangText(kSection, "00205", "Searching the disks for files of the shared types...");
  count_->SetCaption(foundText_);
  label_->SetCaption("");
}

void TScanProgressForm::SetPath(const std::string& path) {
  path_ = path;
  ++found_;
  foundText_ = LangText(kSection, "00101", "Found:") + " " + FormatThousands(found_);
  count_->SetCaption(foundText_);
  label_->SetCaption(path);
}

// ------------------------------------------------------------------ dialog

TNapsterSettingsForm::TNapsterSettingsForm(gui::Component* owner, TMainForm& main)
    : gui::Form(owner, "TNapsterSettingsForm"), main_(main) {
  NapsterClient1.VersionText = "v2.0 BETA 7";
  NapsterClient1.BuildNumber = 100002100;

  SetCaption(LangText(kSection, "00000", "Settings"));
  SetBorderStyle(gui::FormBorder::Dialog);
  SetBounds(120, 90, 560, 470);
  pages_ = new gui::TabControl(this);
  pages_->SetBounds(8, 8, 536, 384);
  pages_->SetParent(this);
  BuildShares(pages_->AddPage(LangText(kSection, "00001", "Shares")));
  BuildNetwork(pages_->AddPage(LangText(kSection, "00002", "Network")));
  BuildRegistration(pages_->AddPage(LangText(kSection, "00003", "Registration")));
  pages_->SetPageIndex(pgShares);

  statusLabel_ = view::AddText(this, "", 8, 398, 364, 2);
  OkButton = view::AddButton(this, LangText(kSection, "00004", "OK"), 380, 400, 78, [this] {
    if (Apply() && saved_) SetModalResult(gui::mrOk);
  });
  OkButton->SetDefault(true);
  gui::Button* cancel = view::AddButton(this, LangText(kSection, "00005", "Cancel"), 466, 400, 78, [] {});
  cancel->SetCancel(true);
  cancel->SetModalResult(gui::mrCancel);

  Progress = new TScanProgressForm(this);
  // Stop takes effect before the scan's next step; the close waits for its end.
  Progress->OnStop = [this] { ShareManager1.CancelScan(); };
  Progress->OnClose = [this](gui::Component*, gui::CloseAction&) { ShareManager1.StopScan(); };
  ShareManager1.OnScanStatus = [this](TShareManager*, const std::string& path) { Progress->SetPath(path); };
  ShareManager1.OnAddDirectory = [this](TShareManager*, TShareDirectory* d) {
    Progress->SetPath(d->Path);
    if (Listed(true, d->Path)) return;
    TSettingsShareRow r;
    r.Name = FreeShareName(d->Name);
    r.Path = d->Path;
    r.Masks = d->MaskText;
    r.IncludeSubfolders = d->IncludeSubfolders;
    AddRow(r);
  };
  ShareManager1.OnAddFile = [this](TShareManager*, TShareFile* f) {
    if (Listed(false, f->Path)) return;
    TSettingsShareRow r;
    r.IsDirectory = false;
    r.Name = f->Name;
    r.Path = f->Path;
    AddRow(r);
  };
  ShareManager1.OnScanEnd = [this](TShareManager*) {
    if (Progress->Modal()) Progress->SetModalResult(gui::mrOk);
  };
}

TNapsterSettingsForm::~TNapsterSettingsForm() {
  ShareManager1.StopScan();
  ShareManager1.OnScanStatus = nullptr;
  ShareManager1.OnAddDirectory = nullptr;
  ShareManager1.OnAddFile = nullptr;
  ShareManager1.OnScanEnd = nullptr;
}

void TNapsterSettingsForm::BuildShares(gui::Control* page) {
  list_ = new gui::ListView(this);
  list_->SetBounds(8, 8, 512, 180);
  list_->AddColumn(LangText(kSection, "00010", "Name"), 110);
  list_->AddColumn(LangText(kSection, "00011", "Folder or file"), 220);
  list_->AddColumn(LangText(kSection, "00012", "File types"), 80);
  list_->AddColumn(LangText(kSection, "00013", "Subfolders"), 76);
  list_->SetParent(page);
  list_->OnSelect = [this](gui::Control*, int row) { ShowRow(row); };

  NameEdit = LabelledEdit(page, LangText(kSection, "00014", "Name:"), 8, 198, 70, 180);
  PathEdit = LabelledEdit(page, LangText(kSection, "00015", "Folder:"), 8, 226, 70, 350);
  view::AddBrowseButton(this, page, LangText(kSection, "00016", "&Browse..."), 434, 225, PathEdit);
  MasksEdit = LabelledEdit(page, LangText(kSection, "00017", "File types:"), 8, 254, 70, 180);
  SubfoldersBox = new gui::CheckBox(this);
  SubfoldersBox->SetCaption(LangText(kSection, "00018", "Include subfolders"));
  SubfoldersBox->SetBounds(270, 256, 160, 17);
  SubfoldersBox->SetParent(page);
  for (gui::Edit* e : {NameEdit, PathEdit, MasksEdit}) e->OnChange = [this](gui::Control*) { RowEdited(); };
  SubfoldersBox->OnClick = [this](gui::Control*) { RowEdited(); };

  view::AddButton(page, LangText(kSection, "00019", "Add &folder..."), 8, 296, 100, [this] {
    std::string chosen;
    if (view::ChooseFolder(this, "", chosen)) AddFolderRow(chosen);
  });
  view::AddButton(page, LangText(kSection, "00020", "Add f&ile..."), 114, 296, 100, [this] {
    std::string chosen;
    if (view::ChooseFile(LangText(kSection, "00021", "Share a File"), chosen)) AddFileRow(chosen);
  });
  view::AddButton(page, LangText(kSection, "00022", "&Remove"), 220, 296, 90, [this] { RemoveSelectedRow(); });
  view::AddButton(page, LangText(kSection, "00023", "&Search disks..."), 400, 296, 120, [this] { DiskSearch(); });
}

void TNapsterSettingsForm::BuildNetwork(gui::Control* page) {
  // Two columns of labelled entries: labels W wide, entries after them.
  constexpr int L = 8, R = 270, W = 136, E = 110;
  DataPortEdit = LabelledEdit(page, LangText(kSection, "00030", "Data port:"), L, 10, W, 70);
  NickEdit = LabelledEdit(page, LangText(kSection, "00200", "Nick:"), R, 10, W, E);
  DownloadFolderEdit = LabelledEdit(page, LangText(kSection, "00031", "Download folder:"), L, 38, W, 284);
  view::AddBrowseButton(this, page, LangText(kSection, "00016", "&Browse..."), 434, 37, DownloadFolderEdit);
  FileTypesEdit = LabelledEdit(page, LangText(kSection, "00032", "Shared file types:"), L, 66, W, 284);
  MaxDownloadBPSEdit = Place(new TExtendedEdit(this), page, L + W, 94, E);
  view::AddLabel(page, LangText(kSection, "00033", "Download limit (B/s):"), L, 98, W);
  MaxUploadBPSEdit = Place(new TExtendedEdit(this), page, R + W, 94, E);
  view::AddLabel(page, LangText(kSection, "00034", "Upload limit (B/s):"), R, 98, W);
  for (TExtendedEdit* e : {MaxDownloadBPSEdit, MaxUploadBPSEdit}) e->SetsMask("#,###");
  MaxDownloadsEdit = LabelledEdit(page, LangText(kSection, "00035", "Downloads at once:"), L, 122, W, 60);
  MaxUploadsEdit = LabelledEdit(page, LangText(kSection, "00036", "Uploads at once:"), R, 122, W, 60);
  DownloadTimeoutEdit = LabelledEdit(page, LangText(kSection, "00037", "Download time-out (s):"), L, 150, W, 60);
  MaxUploadsPerNickEdit = LabelledEdit(page, LangText(kSection, "00038", "Uploads per user:"), R, 150, W, 60);
  MaxResumeEdit = LabelledEdit(page, LangText(kSection, "00039", "Resumes at most:"), L, 178, W, 60);
  UploadTimeoutEdit = LabelledEdit(page, LangText(kSection, "00040", "Upload time-out (s):"), R, 178, W, 60);
  AutoResumeBox = new gui::CheckBox(this);
  AutoResumeBox->SetCaption(LangText(kSection, "00041", "Resume unfinished downloads by themselves"));
  AutoResumeBox->SetBounds(L, 208, 300, 17);
  AutoResumeBox->SetParent(page);
  view::AddLabel(page, LangText(kSection, "00042", "Connection:"), L, 240, W);
  LinkTypeCombo = view::AddLinkTypeCombo(this, page, L + W, 236);
  LinkTypeCombo->SetWidth(R - 8 - (L + W));
  MaxResultsEdit = LabelledEdit(page, LangText(kSection, "00043", "Search results:"), R, 236, W, 60);
  PortCheckHostEdit = LabelledEdit(page, LangText(kSection, "00044", "Port-check server:"), L, 268, W, 200);
}

void TNapsterSettingsForm::BuildRegistration(gui::Control* page) {
  // Server and port on one line, the nick, password and e-mail below.
  RegistrationPage.Build(page, {LangText(kSection, "00050", "Register a nick on a Napster server:"), 10, 500,
                                {LangText(kSection, "00051", "Server:"), 8, 36, 80, 200},
                                {LangText(kSection, "00052", "Port:"), 300, 36, 50, 70},
                                {LangText(kSection, "00053", "Nick:"), 8, 64, 80, 200},
                                {LangText(kSection, "00054", "Password:"), 8, 92, 80, 200},
                                TNickRegistrationPage::TEntry{LangText(kSection, "00201", "E-mail:"), 8, 120, 80, 200},
                                LangText(kSection, "00055", "Re&gister"), 88, 150, 184});
}

// ------------------------------------------------------------------ values

int TNapsterSettingsForm::Execute() {
  LoadFromMain();
  return ShowModal();
}

void TNapsterSettingsForm::LoadFromMain() {
  LoadRows();
  LoadNetwork();
  SetStatus("");
}

void TNapsterSettingsForm::LoadRows() {
  rows_.clear();
  {
    std::lock_guard<plat::CriticalSection> g(main_.ShareManager1.Lock());
    TShareDirectory* root = main_.ShareManager1.Root();
    for (int i = 0; i < root->DirectoryCount(); ++i) {
      if (root->DirectoryRemoved(i)) continue;
      TShareDirectory* d = root->Directory(i);
      rows_.push_back({true, d->Name, d->Path, d->MaskText, d->IncludeSubfolders, d, nullptr});
    }
    for (int i = 0; i < root->FileCount(); ++i) {
      if (root->FileRemoved(i)) continue;
      TShareFile* f = root->File(i);
      rows_.push_back({false, f->Name, f->Path, "", false, nullptr, f});
    }
  }
  original_ = rows_;
  list_->ClearRows();
  const std::vector<TSettingsShareRow> rows = std::move(rows_);
  rows_.clear();
  for (const TSettingsShareRow& r : rows) AddRow(r);
  SelectRow(rows_.empty() ? -1 : 0);
}

void TNapsterSettingsForm::LoadNetwork() {
  const TAppSettings& app = main_.Settings();
  const TNetworkSettings net = TNetworkSettings::Load();
  NickEdit->SetText(app.Nick);
  DataPortEdit->SetText(std::to_string(app.DataPort));
  DownloadFolderEdit->SetText(app.DownloadFolder);
  FileTypesEdit->SetText(app.FileTypes);
  MaxResultsEdit->SetText(std::to_string(app.MaxResults));
  MaxDownloadBPSEdit->SetiValue(main_.NapsterClient.MaxDownloadBPS);
  MaxUploadBPSEdit->SetiValue(main_.NapsterClient.MaxUploadBPS);
  MaxDownloadsEdit->SetText(std::to_string(main_.NapsterClient.MaxDownloads));
  MaxUploadsEdit->SetText(std::to_string(main_.NapsterClient.MaxUploads));
  MaxUploadsPerNickEdit->SetText(std::to_string(main_.NapsterClient.MaxUploadsPerNick));
  DownloadTimeoutEdit->SetText(std::to_string(main_.NapsterClient.DownloadTimeout));
  UploadTimeoutEdit->SetText(std::to_string(main_.NapsterClient.UploadTimeout));
  MaxResumeEdit->SetText(std::to_string(main_.NapsterClient.MaxResume));
  AutoResumeBox->SetChecked(main_.NapsterClient.EnableAutoResume);
  view::SelectLinkType(LinkTypeCombo, main_.NapsterClient.LinkType);
  PortCheckHostEdit->SetText(net.PortCheckHost);
  RegisterNickEdit()->SetText(app.Nick);
}

bool TNapsterSettingsForm::Apply() {
  const std::string problem = CheckRows();
  if (!problem.empty()) {
    SetStatus(problem);
    pages_->SetPageIndex(pgShares);
    return false;
  }
  const std::string wrong = CheckNetwork();
  if (!wrong.empty()) {
    SetStatus(wrong);
    pages_->SetPageIndex(pgNetwork);
    return false;
  }
  const std::vector<std::string> withdrawn = ApplyShares();

  const TNapsterClient& was = main_.NapsterClient;
  TAppSettings app = main_.Settings();
  app.Nick = plat::Trim(NickEdit->GetText());
  app.TakeEntries(DataPortEdit->GetText(), DownloadFolderEdit->GetText(), FileTypesEdit->GetText());
  if (Number(MaxResultsEdit) > 0) app.MaxResults = Number(MaxResultsEdit);
  TNetworkSettings net;
  net.MaxDownloadBPS = int(std::min<int64_t>(MaxDownloadBPSEdit->iValue(), INT_MAX));
  net.MaxUploadBPS = int(std::min<int64_t>(MaxUploadBPSEdit->iValue(), INT_MAX));
  net.MaxDownloads = std::max(1, NumberOr(MaxDownloadsEdit, was.MaxDownloads));
  net.MaxUploads = NumberOr(MaxUploadsEdit, was.MaxUploads);
  net.MaxUploadsPerNick = NumberOr(MaxUploadsPerNickEdit, was.MaxUploadsPerNick);
  net.DownloadTimeout = NumberOr(DownloadTimeoutEdit, was.DownloadTimeout);
  net.UploadTimeout = NumberOr(UploadTimeoutEdit, was.UploadTimeout);
  net.MaxResume = NumberOr(MaxResumeEdit, was.MaxResume);
  net.EnableAutoResume = AutoResumeBox->Checked();
  net.LinkType = std::max(0, LinkTypeCombo->ItemIndex());
  net.PortCheckHost = plat::Trim(PortCheckHostEdit->GetText());
  std::string unsaved;
  if (!main_.ApplySettings(app, net)) unsaved = main_.LastStatus();
  // Announced once, with the file types just set.
  if (!main_.SharesChanged(withdrawn)) unsaved += (unsaved.empty() ? "" : " ") + main_.LastStatus();
  saved_ = unsaved.empty();
  if (!saved_) {
    // The whole story in the message; the status line keeps to its room.
    const std::string inUse = LangText(kSection, "00202", "In use now, but not saved:");
    SetStatus(inUse + " " + LangText(kSection, "00210", "a file cannot be written."));
    view::ShowMessage(inUse + "\r\n" + unsaved);
  }
  return true;
}

std::string TNapsterSettingsForm::CheckNetwork() const {
  const std::string unstorable =
      UnstorableEntry({{LangText(kSection, "00200", "Nick:"), NickEdit->GetText()},
                       {LangText(kSection, "00031", "Download folder:"), DownloadFolderEdit->GetText()},
                       {LangText(kSection, "00032", "Shared file types:"), FileTypesEdit->GetText()},
                       {LangText(kSection, "00044", "Port-check server:"), PortCheckHostEdit->GetText()}});
  if (!unstorable.empty()) return unstorable;
  if (!UsableNick(plat::Trim(NickEdit->GetText())))
    return LangText(kSection, "00203", "Give a nick without blanks.");
  for (gui::Edit* e : {DownloadTimeoutEdit, UploadTimeoutEdit})
    if (HasDigits(e) && Number(e) == 0)
      return LangText(kSection, "00204", "Give a time-out of 1 second or more.");
  return "";
}

void TNapsterSettingsForm::SetStatus(const std::string& text) {
  status_ = text;
  statusLabel_->SetCaption(text);
}

// ------------------------------------------------------------------ shares

int TNapsterSettingsForm::AddRow(const TSettingsShareRow& row) {
  rows_.push_back(row);
  const bool dir = row.IsDirectory;
  return list_->AddRow({row.Name, row.Path, dir ? row.Masks : "",
                        dir ? (row.IncludeSubfolders ? LangText(kSection, "00024", "Yes") : LangText(kSection, "00025", "No"))
                            : LangText(kSection, "00026", "(file)")});
}

void TNapsterSettingsForm::SelectRow(int i) {
  list_->SetSelected(i);
  ShowRow(i);
}

void TNapsterSettingsForm::ShowRow(int i) {
  selected_ = i >= 0 && i < int(rows_.size()) ? i : -1;
  filling_ = true;
  const TSettingsShareRow* r = selected_ >= 0 ? &rows_[size_t(selected_)] : nullptr;
  NameEdit->SetText(r ? r->Name : "");
  PathEdit->SetText(r ? r->Path : "");
  MasksEdit->SetText(r && r->IsDirectory ? r->Masks : "");
  SubfoldersBox->SetChecked(r && r->IsDirectory && r->IncludeSubfolders);
  for (gui::Control* c : std::initializer_list<gui::Control*>{NameEdit, PathEdit}) c->SetEnabled(r != nullptr);
  MasksEdit->SetEnabled(r && r->IsDirectory);
  SubfoldersBox->SetEnabled(r && r->IsDirectory);
  filling_ = false;
}

void TNapsterSettingsForm::RowEdited() {
  if (filling_ || selected_ < 0) return;
  TSettingsShareRow& r = rows_[size_t(selected_)];
  r.Name = NameEdit->GetText();
  r.Path = PathEdit->GetText();
  if (r.IsDirectory) {
    r.Masks = MasksEdit->GetText();
    r.IncludeSubfolders = SubfoldersBox->Checked();
  }
  list_->SetText(selected_, scName, r.Name);
  list_->SetText(selected_, scPath, r.Path);
  if (r.IsDirectory) {
    list_->SetText(selected_, scTypes, r.Masks);
    list_->SetText(selected_, scSubfolders,
                   r.IncludeSubfolders ? LangText(kSection, "00024", "Yes") : LangText(kSection, "00025", "No"));
  }
}

bool TNapsterSettingsForm::Listed(bool directory, const std::string& path) const {
  const std::string p = plat::ExcludeTrailingDelim(plat::Trim(path));
  return std::any_of(rows_.begin(), rows_.end(), [&](const TSettingsShareRow& r) {
    return r.IsDirectory == directory && plat::SameText(plat::ExcludeTrailingDelim(plat::Trim(r.Path)), p);
  });
}

std::string TNapsterSettingsForm::FreeShareName(const std::string& base) const {
  return ::FreeShareName(base.empty() ? LangText(kSection, "00027", "Share") : base, [&](const std::string& n) {
    return std::any_of(rows_.begin(), rows_.end(), [&](const TSettingsShareRow& r) {
      return r.IsDirectory && plat::SameText(plat::Trim(r.Name), plat::Trim(n));
    });
  });
}

void TNapsterSettingsForm::AddFolderRow(const std::string& path) {
  if (Listed(true, path)) return;
  TSettingsShareRow r;
  r.Path = plat::ExcludeTrailingDelim(path);
  r.Name = FreeShareName(plat::ExtractFileName(r.Path));
  r.Masks = main_.Settings().FileTypes;
  SelectRow(AddRow(r));
}

void TNapsterSettingsForm::AddFileRow(const std::string& path) {
  if (Listed(false, path)) return;
  TSettingsShareRow r;
  r.IsDirectory = false;
  r.Path = path;
  r.Name = plat::ExtractFileName(path);
  r.IncludeSubfolders = false;
  SelectRow(AddRow(r));
}

void TNapsterSettingsForm::RemoveSelectedRow() {
  if (selected_ < 0) return;
  const int i = selected_;
  rows_.erase(rows_.begin() + i);
  list_->DeleteRow(i);
  SelectRow(std::min(i, int(rows_.size()) - 1));
}

void TNapsterSettingsForm::DiskSearch() {
  ShareManager1.StopScan();
  ShareManager1.ClearFiles();
  ShareManager1.ClearDirectories();
  ReloadScanningRules(&ShareManager1, main_.ProgramFolder() + "SharedRules.dat");
  Progress->Begin();
  const size_t before = rows_.size();
  ShareManager1.StartScan(plat::Trim(FileTypesEdit->GetText()).empty() ? main_.Settings().FileTypes
                                                                         : plat::Trim(FileTypesEdit->GetText()));
  // The end of the scan (or the user) closes the window; closing stops it.
  const bool ended = Progress->ShowModal() == gui::mrOk;
  ShareManager1.StopScan();
  // What it came to, where the user looks next.
  SetStatus((ended ? LangText(kSection, "00206", "The disk search ended:")
                   : LangText(kSection, "00207", "The disk search was stopped:")) +
            " " + FormatThousands(Progress->Found()) + " " +
            LangText(kSection, "00208", "folders and files found,") + " " +
            FormatThousands(int64_t(rows_.size() - before)) + " " + LangText(kSection, "00209", "new rows."));
}

// Two shares of one name would hide one of them behind the other's path.
std::string TNapsterSettingsForm::CheckRows() const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    const TSettingsShareRow& r = rows_[i];
    if (!UsableName(r.Name))
      return LangText(kSection, "00060", "A name may not be empty or hold \\ or /:") + " \"" + r.Name + "\"";
    if (plat::Trim(r.Path).empty()) return LangText(kSection, "00061", "Give a folder or file for") + " " + r.Name;
    for (size_t j = 0; j < i; ++j)
      if (r.IsDirectory == rows_[j].IsDirectory && plat::SameText(plat::Trim(r.Name), plat::Trim(rows_[j].Name)))
        return LangText(kSection, "00062", "Two shares have the name") + " " + plat::Trim(r.Name);
  }
  return "";
}

std::vector<std::string> TNapsterSettingsForm::ApplyShares() {
  TSharedItemList& items = main_.SharedItemList();
  std::vector<std::string> withdrawn;
  auto withdraw = [&](TShareDirectory* d, TShareFile* f) {
    if (f) withdrawn.push_back(f->Path);
    if (!d) return;
    const std::vector<std::string> paths = SharedFilePaths(main_.ShareManager1, d);
    withdrawn.insert(withdrawn.end(), paths.begin(), paths.end());
  };
  {
    TSharedItemList::Editing editing(items);
    // What the user removed is withdrawn.
    for (const TSettingsShareRow& o : original_) {
      const bool kept = std::any_of(rows_.begin(), rows_.end(), [&](const TSettingsShareRow& r) {
        return r.Directory == o.Directory && r.File == o.File;
      });
      if (kept) continue;
      withdraw(o.Directory, o.File);
      if (o.Directory) items.Remove(o.Directory);
      if (o.File) items.Remove(o.File);
    }
    for (const TSettingsShareRow& r : rows_) {
      const std::string name = plat::Trim(r.Name), path = plat::Trim(r.Path);
      if (TShareDirectory* d = r.Directory) {
        if (d->Path != path || d->MaskText != r.Masks || d->IncludeSubfolders != r.IncludeSubfolders)
          withdraw(d, nullptr);
        items.Rename(d, name, path);
        if (d->MaskText != r.Masks) d->SetMasks(r.Masks);
        if (d->IncludeSubfolders != r.IncludeSubfolders) d->SetIncludeSubfolders(r.IncludeSubfolders);
      } else if (TShareFile* f = r.File) {
        if (f->Path != path) withdraw(nullptr, f);
        items.Rename(f, name, path);
      } else if (r.IsDirectory) {
        items.AddDirectory(path, name, r.IncludeSubfolders, r.Masks);
      } else {
        items.AddFile(path, name);
      }
    }
  }
  // The rows now stand for the tree as it is.
  LoadRows();
  return withdrawn;
}
