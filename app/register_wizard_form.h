// The setup wizard of a first start, shown modally before the main window
// while the registry value "SetupComplete18" under the program's key is
// absent. Its pages, walked with Back and Next:
// 1. the agreement, which the user accepts to go on;
// 2. the port check: whether this computer can be reached from outside,
//    asked of the port-check server of the settings (the maker's unless
//    another is set); a server that cannot be reached or says nothing is a
//    check that failed, not a closed port; leaving the page or the wizard
//    cancels a check that runs;
// 3. a nick registered on a Napster server (through the wizard's own
//    client component; the page may be passed over); the settings page
//    then proposes that nick, and Finish adds the server, nick and
//    password to the networks list;
// 4. the first settings: nick, download folder, data port, connection and
//    the types of files to share;
// 5. the first disk search on the wizard's own share manager: the download
//    folder is shared as "Downloads" (no subfolders, every file), the
//    scanning rules are read, and the fixed drives are searched for the
//    chosen types until the search ends or the user stops it.
// Finish writes the settings to the settings store and its file
// ("Application4.cfg") and the wizard's share tree to the share file
// ("Shared.dat"), which the main window then loads. When they cannot be
// written the wizard says so and stays; Finish pressed again goes on
// without them, and the set-up is not marked complete (it runs again at
// the next start). Cancel (or closing the window) changes nothing and the
// program ends.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "app/nick_registration_page.h"
#include "core/port_check_client.h"
#include "core/share_manager.h"
#include "gui/form.h"
#include "gui/win32/std_controls.h"
#include "peer/napster/napster_client.h"

class TRegisterWizardForm : public gui::Form {
 public:
  enum TPage { pgAgreement, pgPortCheck, pgRegistration, pgSettings, pgScan, pgCount };
  static constexpr int kPortCheckPort = 8890;

  // programFolder: where the share file and the scanning rules are.
  TRegisterWizardForm(gui::Component* owner, const std::string& programFolder);
  ~TRegisterWizardForm() override;

  // The wizard's own parts: port check, registration, disk search.
  TPortCheckClient PortCheckClient1;
  TNickRegistrationPage RegistrationPage;
  TNapsterClient& NapsterClient1 = RegistrationPage.Client;
  TShareManager ShareManager1;
  // The port-check server's port (tests point it at their own server).
  int PortCheckPort = kPortCheckPort;

  TPage Page() const { return page_; }
  // Next: false (staying) when the page cannot be left yet; on the last
  // page it finishes (modal result OK).
  bool Next();
  void Back();
  // Cancel: the port check and the disk search stop; modal result Cancel.
  void CancelWizard();

  gui::CheckBox* AcceptBox;
  // The port check's outcome as shown, and whether a check runs.
  void StartPortCheck();
  const std::string& PortCheckText() const { return portText_; }
  // The registration page's entries.
  gui::Edit* ServerEdit() const { return RegistrationPage.ServerEdit; }
  gui::Edit* ServerPortEdit() const { return RegistrationPage.PortEdit; }
  gui::Edit* RegisterNickEdit() const { return RegistrationPage.NickEdit; }
  gui::Edit* PasswordEdit() const { return RegistrationPage.PasswordEdit; }
  gui::Edit* EmailEdit() const { return RegistrationPage.EmailEdit; }
  void Register() { RegistrationPage.Register(); }
  TNickRegistration& Registration() { return RegistrationPage.Registration(); }
  gui::Edit* NickEdit;
  gui::Edit* DownloadFolderEdit;
  gui::Edit* DataPortEdit;
  gui::ComboBox* LinkTypeCombo;
  gui::Edit* FileTypesEdit;
  // The first disk search (the Downloads share added first).
  void StartScan();
  void StopScan();
  bool Scanning() { return ShareManager1.Scanning(); }
  int ScanEnds() const { return scanEnds_; }
  gui::ListView* FoundList() const { return found_; }
  const std::string& ScanText() const { return scanText_; }
  const std::string& StatusText() const { return status_; }

  // Writes the settings, the share file and a registered account (Finish
  // does); false when a file could not be written.
  bool SaveResults();
  // Whether Finish saved what the wizard set.
  bool Saved() const { return saved_; }

 private:
  gui::Panel* NewPage(const std::string& title);
  void BuildAgreement(gui::Panel* p);
  void BuildPortCheck(gui::Panel* p);
  void BuildRegistration(gui::Panel* p);
  void BuildSettings(gui::Panel* p);
  void BuildScan(gui::Panel* p);
  void ShowPage(TPage p);
  void Leaving(TPage p);
  void SetPortText(const std::string& t);
  void SetScanText(const std::string& t);
  void SetStatus(const std::string& t);
  void AddDownloadsShare();
  std::string FileTypes();

  std::string folder_;
  std::string portCheckHost_;
  TPage page_ = pgAgreement;
  std::vector<gui::Panel*> pages_;
  gui::Button* back_;
  gui::Button* next_;
  gui::Label* portLabel_;
  gui::Label* scanLabel_;
  gui::Label* statusLabel_;
  gui::Button* scanButton_;
  gui::ListView* found_;
  std::string portText_, scanText_, status_;
  TShareDirectory* downloads_ = nullptr;
  int scanEnds_ = 0;
  bool cancellingCheck_ = false;
  bool saved_ = false;
  bool saveFailed_ = false;  // Finish found the files could not be written
};

// Runs the wizard when the setup of this user is not complete; true when
// the program goes on (complete, or the wizard finished - which marks the
// setup complete when its files were written), false when the user
// cancelled it.
bool RunSetupWizardIfNeeded(const std::string& programFolder);
// The registry key and value that mark the setup complete.
constexpr const char* kProgramRegistryKey = "Software\\Tarnwick_26";
constexpr const char* kSetupCompleteValue = "SetupComplete18";
