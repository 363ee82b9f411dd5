// The settings dialog. Three pages:
// - Shares: a row for each share (its name, folder, file types and whether
//   folders below it count) and each individually shared file of the main
//   window's share tree. Rows are added (a folder, a file, or what a disk
//   search finds), edited and removed here; OK applies them to the main
//   window's tree - names, folders, types and the subfolder flag of the
//   rows that were there, the new rows added, the removed rows withdrawn -
//   while the share tree and the shared-item list are locked (in that
//   order), then the tree is saved.
//   The disk search runs on the dialog's own share manager by the scanning
//   rules ("SharedRules.dat"), with a progress window showing each file it
//   finds; what it finds becomes rows unless they are listed already.
//   Closing the progress window stops the search, keeping the rows found;
//   the dialog's status line then sums up what it found.
// - Network: the nick, the data port, the download folder and the
//   component's transfer properties, applied to the main window's client
//   component on OK and kept in the settings store.
// - Registration: a nick registered on a server through the dialog's own
//   client component.
// Numbers are read from their texts by their digits (EasyStrToInt64); an
// entry without any keeps the value it had, and a time-out of 0 (which
// would end every transfer at once) is refused. What OK applied but could
// not be saved is said in the status line, and the dialog stays open.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/nick_registration_page.h"
#include "core/share_manager.h"
#include "gui/form.h"
#include "gui/win32/std_controls.h"
#include "peer/napster/napster_client.h"

class TMainForm;
class TExtendedEdit;

// One row of the shares page.
struct TSettingsShareRow {
  bool IsDirectory = true;
  std::string Name;
  std::string Path;
  std::string Masks;  // folders only
  bool IncludeSubfolders = true;
  // The main tree's node the row stands for; neither for a new row.
  TShareDirectory* Directory = nullptr;
  TShareFile* File = nullptr;
};

// The disk search's progress: how many folders and files it found so far
// and the path of the last, and a Stop button, which stops the search at
// once. Closing it stops the search.
class TScanProgressForm : public gui::Form {
 public:
  explicit TScanProgressForm(gui::Component* owner);
  // A new search: nothing found yet.
  void Begin();
  // One more folder or file found.
  void SetPath(const std::string& path);
  const std::string& Path() const { return path_; }
  int Found() const { return found_; }
  const std::string& FoundText() const { return foundText_; }
  gui::Button* StopButton() const { return stop_; }
  // The Stop button was pressed (before the window closes).
  std::function<void()> OnStop;

 private:
  std::string path_;
  std::string foundText_;
  int found_ = 0;
  gui::Label* count_;
  gui::Label* label_;
  gui::Button* stop_;
};

class TNapsterSettingsForm : public gui::Form {
 public:
  enum TPage { pgShares, pgNetwork, pgRegistration };
  enum TShareColumn { scName, scPath, scTypes, scSubfolders };

  TNapsterSettingsForm(gui::Component* owner, TMainForm& main);
  ~TNapsterSettingsForm() override;

  // The disk search's own tree and the registration's own component.
  TShareManager ShareManager1;
  TNickRegistrationPage RegistrationPage;
  TNapsterClient& NapsterClient1 = RegistrationPage.Client;

  // Shows the dialog with the main window's values; OK applies them.
  // Answers the modal result.
  int Execute();
  gui::Button* OkButton;
  // Reads the main window's shares and settings into the pages.
  void LoadFromMain();
  // Applies every page to the main window; false (and nothing applied)
  // when a row or an entry cannot be used: the reason is the status text.
  bool Apply();
  // Whether what the last Apply applied was saved too.
  bool Saved() const { return saved_; }

  // ------------------------------------------------------------ shares
  const std::vector<TSettingsShareRow>& Rows() const { return rows_; }
  gui::ListView* ShareList() const { return list_; }
  void SelectRow(int i);
  int SelectedRow() const { return selected_; }
  gui::Edit* NameEdit;
  gui::Edit* PathEdit;
  gui::Edit* MasksEdit;
  gui::CheckBox* SubfoldersBox;
  // New rows: a folder under a name of its own, a file.
  void AddFolderRow(const std::string& path);
  void AddFileRow(const std::string& path);
  void RemoveSelectedRow();
  // The disk search, with its modal progress window.
  void DiskSearch();
  TScanProgressForm* Progress;

  // ------------------------------------------------------------ network
  gui::Edit* NickEdit;
  gui::Edit* DataPortEdit;
  gui::Edit* DownloadFolderEdit;
  gui::Edit* FileTypesEdit;
  gui::Edit* MaxResultsEdit;
  TExtendedEdit* MaxDownloadBPSEdit;
  TExtendedEdit* MaxUploadBPSEdit;
  gui::Edit* MaxDownloadsEdit;
  gui::Edit* MaxUploadsEdit;
  gui::Edit* MaxUploadsPerNickEdit;
  gui::Edit* DownloadTimeoutEdit;
  gui::Edit* UploadTimeoutEdit;
  gui::CheckBox* AutoResumeBox;
  gui::Edit* MaxResumeEdit;
  gui::ComboBox* LinkTypeCombo;
  gui::Edit* PortCheckHostEdit;

  // ------------------------------------------------------------ registration
  gui::Edit* RegisterHostEdit() const { return RegistrationPage.ServerEdit; }
  gui::Edit* RegisterPortEdit() const { return RegistrationPage.PortEdit; }
  gui::Edit* RegisterNickEdit() const { return RegistrationPage.NickEdit; }
  gui::Edit* RegisterPasswordEdit() const { return RegistrationPage.PasswordEdit; }
  gui::Edit* RegisterEmailEdit() const { return RegistrationPage.EmailEdit; }
  void Register() { RegistrationPage.Register(); }
  TNickRegistration& Registration() { return RegistrationPage.Registration(); }

  gui::TabControl* Pages() const { return pages_; }
  const std::string& StatusText() const { return status_; }

 private:
  void BuildShares(gui::Control* page);
  void BuildNetwork(gui::Control* page);
  void BuildRegistration(gui::Control* page);
  void LoadRows();
  void LoadNetwork();
  int AddRow(const TSettingsShareRow& row);
  void ShowRow(int i);
  void RowEdited();
  // Whether a folder or file row with this path is listed.
  bool Listed(bool directory, const std::string& path) const;
  std::string FreeShareName(const std::string& base) const;
  std::string CheckRows() const;
  std::string CheckNetwork() const;
  // Applies the rows to the main window's tree; the disk paths of the
  // files that left the shares (or may have: a share whose folder, types
  // or subfolders changed is listed again).
  std::vector<std::string> ApplyShares();
  void SetStatus(const std::string& text);

  TMainForm& main_;
  std::vector<TSettingsShareRow> rows_;
  // The main tree's nodes that had rows when the dialog was filled.
  std::vector<TSettingsShareRow> original_;
  int selected_ = -1;
  bool filling_ = false;
  bool saved_ = true;
  std::string status_;
  gui::TabControl* pages_;
  gui::ListView* list_;
  gui::Label* statusLabel_;
};
