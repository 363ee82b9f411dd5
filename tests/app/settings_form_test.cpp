// The settings dialog over a main window in this process under Wine: the
// disk search over a temporary tree (each folder listed once, a stopped
// search keeping what it found), OK applying renames, new shares and the
// network settings to the main window (the share file read back), and the
// one folder picker its buttons and the share view's ask.
#include "tests/app/app_fixture.h"
#include "tests/app/layout_check.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include <shlobj.h>
#include <commctrl.h>

#include "app/network_settings.h"
#include "app/settings_form.h"
#include "app/share_view.h"
#include "app/shared_item.h"
#include "controls/win32/extended_edit.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/fake_napster_server.h"

namespace {

std::set<std::string> ShareNames(TShareManager& m) {
  std::set<std::string> names;
  std::lock_guard<plat::CriticalSection> g(m.Lock());
  for (int i = 0; i < m.Root()->DirectoryCount(); ++i)
    if (!m.Root()->DirectoryRemoved(i)) names.insert(m.Root()->Directory(i)->Name);
  for (int i = 0; i < m.Root()->FileCount(); ++i)
    if (!m.Root()->FileRemoved(i)) names.insert("file " + m.Root()->File(i)->Name);
  return names;
}

void Click(gui::Control* in, const std::string& caption) {
  gui::Button* b = testapp::ButtonIn(in, caption);
  ASSERT_NE(b, nullptr) << caption;
  b->Click();
}

// Answers the program's folder pickers of this thread as they are made:
// notes the folder each is asked to open at ("" for none) and cancels it,
// or confirms the folder it opens at (the picker must have one).
class FolderPickerAnswer {
 public:
  FolderPickerAnswer() : hook_(SetWindowsHookExA(WH_CALLWNDPROC, &Watch, nullptr, GetCurrentThreadId())) {
    current_ = this;
  }
  ~FolderPickerAnswer() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }

  void Answer(bool confirm) {
    confirm_ = confirm;
    openedAt = "(not shown)";
  }
  std::string openedAt;

 private:
  static LRESULT CALLBACK Watch(int code, WPARAM w, LPARAM l) {
    const auto& m = *reinterpret_cast<const CWPSTRUCT*>(l);
    FolderPickerAnswer* a = current_;
    if (code == HC_ACTION && a && m.message == WM_INITDIALOG) {
      a->openedAt.clear();
      if (!a->confirm_) PostMessageA(m.hwnd, WM_COMMAND, IDCANCEL, 0);
    } else if (code == HC_ACTION && a && m.message == BFFM_SETSELECTIONA && m.wParam) {
      a->openedAt = reinterpret_cast<const char*>(m.lParam);
      if (a->confirm_) {
        // The picker's tree may reach the folder after the message has
        // returned: confirm once its selection shows the folder.
        std::string leaf = a->openedAt;
        while (!leaf.empty() && leaf.back() == '\\') leaf.pop_back();
        a->leaf_ = leaf.substr(leaf.find_last_of('\\') + 1);
        a->polls_ = 0;
        SetTimer(m.hwnd, kConfirmTimer, 10, &ConfirmWhenSelected);
      }
    }
    return CallNextHookEx(nullptr, code, w, l);
  }
  static void CALLBACK ConfirmWhenSelected(HWND dialog, UINT, UINT_PTR, DWORD) {
    FolderPickerAnswer* a = current_;
    HWND tree = FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr);
    char text[MAX_PATH] = "";
    if (tree) {
      TVITEMA item{};
      item.mask = TVIF_TEXT;
      item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
      item.pszText = text;
      item.cchTextMax = sizeof text;
      if (item.hItem) SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    // Bounded: a picker that never shows the folder is confirmed as it
    // stands, and the test's check of the entry tells what it chose.
    if (!a || a->leaf_ == text || ++a->polls_ > 1000) {
      KillTimer(dialog, kConfirmTimer);
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
  }
  static constexpr UINT_PTR kConfirmTimer = 0x7A11;
  static inline FolderPickerAnswer* current_ = nullptr;
  HHOOK hook_;
  bool confirm_ = false;
  std::string leaf_;
  int polls_ = 0;
};

class SettingsFormTest : public testapp::MainFormTest {
 protected:
  SettingsFormTest() {
    tree = testutil::TempFolder("settings-tree");
    testapp::PutFile(folder + "SharedRules.dat",
                             "<!SCANNING_RULES><RULE KEYWORD=\"*MUSIC\" DESCRIPTION=\"Music\"><!/SCANNING_RULES>");
    form = MakeForm();
    dialog = form->SettingsForm;
    dialog->HandleNeeded();
  }

  int RowOf(const std::string& path) {
    const auto& rows = dialog->Rows();
    for (size_t i = 0; i < rows.size(); ++i)
      if (plat::SameText(plat::ExcludeTrailingDelim(rows[i].Path), plat::ExcludeTrailingDelim(path))) return int(i);
    return -1;
  }

  std::string tree;
  std::unique_ptr<TMainForm> form;
  TNapsterSettingsForm* dialog = nullptr;
};

TEST_F(SettingsFormTest, DiskSearchListsEachFolderOnceAndOkAppliesRenamesNewSharesAndSettings) {
  testapp::PutFile(tree + "MyMusic\\a.mp3", "a");
  testapp::PutFile(tree + "OldMusic\\b.mp3", "b");
  testapp::PutFile(tree + "misc\\c.mp3", "c");
  testapp::PutFile(tree + "misc\\notes.txt", "n");
  testapp::ScanRoots roots({tree});
  form->SharedItemList().AddDirectory(tree + "OldMusic", "Old", true, "*.mp3");
  dialog->LoadFromMain();
  ASSERT_EQ(dialog->Rows().size(), 2u);  // the download folder and OldMusic
  dialog->FileTypesEdit->SetText("*.mp3");

  // Twice: what the first search found is listed already the second time.
  for (int round = 0; round < 2; ++round) {
    dialog->DiskSearch();
    EXPECT_FALSE(dialog->ShareManager1.Scanning());
    EXPECT_FALSE(dialog->Progress->Visible());
    ASSERT_EQ(dialog->Rows().size(), 4u) << "round " << round;
    EXPECT_EQ(dialog->ShareManager1.Rules().size(), 1u) << "each search reads the rules afresh";
    // What it came to, where the user looks once the window has gone.
    EXPECT_EQ(dialog->StatusText(), round == 0 ? "The disk search ended: 3 folders and files found, 2 new rows."
                                               : "The disk search ended: 3 folders and files found, 0 new rows.");
  }
  EXPECT_EQ(dialog->Progress->Path(), tree + "misc\\c.mp3");
  const int found = RowOf(tree + "MyMusic"), file = RowOf(tree + "misc\\c.mp3"), old = RowOf(tree + "OldMusic");
  ASSERT_GE(found, 0);
  ASSERT_GE(file, 0);
  EXPECT_EQ(dialog->Rows()[size_t(found)].Name, "Music");
  EXPECT_FALSE(dialog->Rows()[size_t(file)].IsDirectory);

  // Renaming through the row's edits; a name another share has is refused.
  dialog->SelectRow(old);
  EXPECT_EQ(dialog->NameEdit->GetText(), "Old");
  dialog->NameEdit->SetText("Music");
  EXPECT_EQ(dialog->ShareList()->Text(old, TNapsterSettingsForm::scName), "Music");
  EXPECT_FALSE(dialog->Apply());
  EXPECT_EQ(dialog->StatusText(), "Two shares have the name Music");
  EXPECT_EQ(ShareNames(form->ShareManager1), (std::set<std::string>{"Downloads", "Old"}));
  dialog->NameEdit->SetText("Old Tunes");
  dialog->MasksEdit->SetText("*.mp3,*.ogg");

  // Network settings, read by their digits.
  dialog->MaxUploadsEdit->SetText("7 uploads");
  dialog->MaxDownloadBPSEdit->SetText("12,000");
  dialog->LinkTypeCombo->SetItemIndex(8);
  // The client's announcement walks the tree on its thread while OK
  // changes the tree's nodes and their records: both end, and what is
  // announced is the tree as OK left it.
  form->SharesChanged();
  ASSERT_TRUE(dialog->Apply()) << dialog->StatusText();
  EXPECT_TRUE(dialog->Saved());
  ASSERT_TRUE(WaitFor([&] { return form->LastStatus() == "Shared files announced"; }));
  EXPECT_EQ(form->NapsterClient.SharedCount(), 3);  // a.mp3, b.mp3 and c.mp3

  const std::set<std::string> expected{"Downloads", "Old Tunes", "Music", "file c.mp3"};
  EXPECT_EQ(ShareNames(form->ShareManager1), expected);
  EXPECT_EQ(form->ShareManager1.Query("/Old Tunes", false)->Next(), true);
  EXPECT_EQ(form->SharedItems().Count(), 4);
  EXPECT_EQ(form->NapsterClient.MaxUploads, 7);
  EXPECT_EQ(form->NapsterClient.MaxDownloadBPS, 12000);
  EXPECT_EQ(form->NapsterClient.LinkType, 8);
  SettingsStore().SetSection("Uploads");
  EXPECT_EQ(SettingsStore().ReadString("MaxUploads"), "7");
  // ... and in the settings file at once, not only when the program ends.
  EXPECT_NE(testutil::ReadFileBytes(folder + "Application4.cfg").find("MaxUploads = \"7\""), std::string::npos);

  // What OK applied was saved: the share file reads back the same.
  TShareManager back;
  ASSERT_TRUE(back.LoadFromFile(folder + "Shared.dat"));
  EXPECT_EQ(ShareNames(back), expected);
  std::lock_guard<plat::CriticalSection> g(back.Lock());
  for (int i = 0; i < back.Root()->DirectoryCount(); ++i)
    if (back.Root()->Directory(i)->Name == "Old Tunes") EXPECT_EQ(back.Root()->Directory(i)->MaskText, "*.mp3,*.ogg");
}

TEST_F(SettingsFormTest, TheProgressWindowsStopEndsTheSearchAtOnceAndKeepsTheRowsFound) {
  // More files than one batch of the scan's announcements by far. The
  // press arrives while the scan waits for its announcements to be shown:
  // the scan takes no step after it, however the threads are scheduled.
  for (int i = 0; i < 1000; ++i) testapp::PutFile(tree + "misc\\f" + std::to_string(i) + ".mp3", "x");
  testapp::ScanRoots roots({tree});
  dialog->LoadFromMain();
  const size_t before = dialog->Rows().size();
  int seen = 0;
  const TShareOnScanStatus shown = dialog->ShareManager1.OnScanStatus;
  dialog->ShareManager1.OnScanStatus = [&](TShareManager* m, const std::string& path) {
    shown(m, path);
    if (++seen == 3) SendMessageA(reinterpret_cast<HWND>(dialog->Progress->StopButton()->Handle()), BM_CLICK, 0, 0);
  };
  dialog->DiskSearch();
  EXPECT_FALSE(dialog->ShareManager1.Scanning());
  const size_t found = dialog->Rows().size() - before;
  EXPECT_GE(found, 3u);
  EXPECT_LT(found, 1000u);
  EXPECT_FALSE(dialog->Progress->Visible());
  // The rows found are kept and applied like any others.
  ASSERT_TRUE(dialog->Apply());
  EXPECT_EQ(form->SharedItems().Count(), int(before + found));
}

// Every folder the windows ask for comes from the one picker: Browse opens
// it at the folder its entry holds and puts the folder confirmed there
// (Cancel leaves the entry); Add folder, in the dialog and in the share
// view, asks it too, and a cancelled pick adds nothing.
TEST_F(SettingsFormTest, EveryFolderComesFromTheOnePicker) {
  const std::string start = tree + "Start Here";
  plat::ForceDirectories(start);
  FolderPickerAnswer picker;
  dialog->LoadFromMain();
  gui::Control* network = dialog->DownloadFolderEdit->Parent();
  dialog->DownloadFolderEdit->SetText(start + "\\");
  picker.Answer(false);
  Click(network, "&Browse...");
  EXPECT_EQ(picker.openedAt, start + "\\");
  EXPECT_EQ(dialog->DownloadFolderEdit->GetText(), start + "\\");
  picker.Answer(true);
  Click(network, "&Browse...");
  EXPECT_TRUE(plat::SameText(dialog->DownloadFolderEdit->GetText(), start)) << dialog->DownloadFolderEdit->GetText();

  const size_t rows = dialog->Rows().size();
  picker.Answer(false);
  Click(dialog->PathEdit->Parent(), "Add &folder...");
  EXPECT_EQ(picker.openedAt, "");
  EXPECT_EQ(dialog->Rows().size(), rows);
  picker.Answer(false);
  Click(form->ShareView, "Add &folder...");
  EXPECT_EQ(picker.openedAt, "");
  EXPECT_EQ(form->ShareView->Grid()->Count(), 1);
}

// The Network page's entries: the nick (the gateway's session logs in with
// it), an entry without a number keeping the value it had, and a time-out
// of 0 refused with nothing applied (the program's time-outs are 1 second
// or more). The registration page sends the e-mail
// typed.
TEST_F(SettingsFormTest, TheNetworkPageKeepsWhatIsNoNumberAndRefusesATimeOutOfZero) {
  dialog->LoadFromMain();
  const TNapsterClient& c = form->NapsterClient;
  const int downloadTimeout = c.DownloadTimeout, uploadTimeout = c.UploadTimeout, uploads = c.MaxUploads;
  EXPECT_EQ(dialog->NickEdit->GetText(), "alice");
  dialog->NickEdit->SetText("carol");
  dialog->DownloadTimeoutEdit->SetText("");
  dialog->UploadTimeoutEdit->SetText("soon");
  dialog->MaxUploadsEdit->SetText("");
  ASSERT_TRUE(dialog->Apply()) << dialog->StatusText();
  EXPECT_EQ(c.DownloadTimeout, downloadTimeout);
  EXPECT_EQ(c.UploadTimeout, uploadTimeout);
  EXPECT_EQ(c.MaxUploads, uploads);
  EXPECT_EQ(form->Settings().Nick, "carol");
  EXPECT_EQ(form->LegacySettings->Server(form->LegacySettings->IndexOfGateway()).Nick, "carol");

  for (gui::Edit* timeout : {dialog->DownloadTimeoutEdit, dialog->UploadTimeoutEdit}) {
    dialog->Pages()->SetPageIndex(TNapsterSettingsForm::pgShares);
    timeout->SetText("0");
    dialog->MaxUploadsEdit->SetText(std::to_string(uploads + 1));
    EXPECT_FALSE(dialog->Apply());
    EXPECT_EQ(dialog->StatusText(), "Give a time-out of 1 second or more.");
    EXPECT_EQ(dialog->Pages()->PageIndex(), TNapsterSettingsForm::pgNetwork);
    EXPECT_EQ(c.MaxUploads, uploads) << "nothing applied";
    timeout->SetText("90");
  }
  dialog->NickEdit->SetText("two words");
  EXPECT_FALSE(dialog->Apply());
  EXPECT_EQ(dialog->StatusText(), "Give a nick without blanks.");
  dialog->NickEdit->SetText("carol");
  ASSERT_TRUE(dialog->Apply());
  EXPECT_EQ(c.DownloadTimeout, 90);
  // A time-out of 0 in the settings file (an earlier version wrote what it
  // was given) is read as the default.
  SettingsStore().SetSection("Downloads");
  SettingsStore().WriteString("Timeout", "0");
  EXPECT_EQ(TNetworkSettings::Load().DownloadTimeout, TNetworkSettings().DownloadTimeout);

  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  dialog->RegisterHostEdit()->SetText("127.0.0.1");
  dialog->RegisterPortEdit()->SetText(std::to_string(server.Port()));
  dialog->RegisterNickEdit()->SetText("carol");
  dialog->RegisterEmailEdit()->SetText("carol@example.org");
  dialog->Register();
  ASSERT_TRUE(WaitFor([&] { return dialog->Registration().State() != TNickRegistration::Busy; }));
  EXPECT_EQ(dialog->Registration().State(), TNickRegistration::Registered);
  ASSERT_TRUE(WaitFor([&] { return server.CountOfType(6) == 1; }));
  EXPECT_NE(server.Received()[1].Text.find(" carol@example.org "), std::string::npos) << server.Received()[1].Text;
}

// The settings file cannot hold a double quote or a line break: OK refuses
// an entry typed with one, naming it, and applies and writes nothing. A
// value that meets one on its way to the file all the same is told, and
// the file keeps what it held.
TEST_F(SettingsFormTest, AnEntryTheSettingsFileCannotHoldIsRefusedAndNothingIsApplied) {
  dialog->LoadFromMain();
  const std::string file = folder + "Application4.cfg";
  ASSERT_TRUE(form->SaveSettings());
  const std::string before = testutil::ReadFileBytes(file);
  const TAppSettings was = form->Settings();
  const int uploads = form->NapsterClient.MaxUploads;
  dialog->MaxUploadsEdit->SetText(std::to_string(uploads + 1));
  auto ok = [&] { SendMessageA(reinterpret_cast<HWND>(dialog->OkButton->Handle()), BM_CLICK, 0, 0); };
  struct Typed {
    gui::Edit* entry;
    std::string text;  // what the entry holds (typed, or set: a line break cannot be typed)
    std::string told;
  };
  for (const Typed& t : {Typed{dialog->DownloadFolderEdit, "", "Download folder"},
                         Typed{dialog->NickEdit, "", "Nick"},
                         Typed{dialog->FileTypesEdit, "*.mp3\r\n*.ogg", "Shared file types"},
                         Typed{dialog->PortCheckHostEdit, "check\nhost", "Port-check server"}}) {
    const std::string kept = t.entry->GetText();
    if (t.text.empty())
      testapp::Type(t.entry, "\"");
    else
      t.entry->SetText(t.text);
    dialog->Pages()->SetPageIndex(TNapsterSettingsForm::pgShares);
    ok();
    EXPECT_EQ(dialog->StatusText(), t.told + " cannot hold a double quote or a line break.");
    EXPECT_EQ(dialog->Pages()->PageIndex(), TNapsterSettingsForm::pgNetwork);
    EXPECT_EQ(dialog->ModalResult(), 0) << "the dialog stays";
    EXPECT_EQ(testapp::LayoutFaults(dialog), std::vector<std::string>{}) << "the line is read whole";
    t.entry->SetText(kept);
  }
  EXPECT_EQ(form->NapsterClient.MaxUploads, uploads) << "nothing applied";
  EXPECT_EQ(form->Settings().Nick, was.Nick);
  EXPECT_EQ(form->Settings().DownloadFolder, was.DownloadFolder);
  EXPECT_EQ(form->Settings().FileTypes, was.FileTypes);
  EXPECT_EQ(testutil::ReadFileBytes(file), before) << "nothing written";
  EXPECT_EQ(messages, std::vector<std::string>{});

  TNetworkSettings net = TNetworkSettings::Load();
  net.PortCheckHost = "check\"host";
  TAppSettings app = was;
  app.Nick = "bob";
  EXPECT_FALSE(form->ApplySettings(app, net));
  EXPECT_EQ(form->LastStatus(), "A setting holds a double quote or a line break: the file keeps its old value.");
  const std::string after = testutil::ReadFileBytes(file);
  EXPECT_NE(after.find("PortCheckHost = \"127.0.0.1\"\r\n"), std::string::npos) << after;
  EXPECT_NE(after.find("Nick = \"bob\"\r\n"), std::string::npos) << after;
  TSimpleConfig read;
  ASSERT_TRUE(read.LoadFromFile(file));
  read.SetSection("Advanced");
  EXPECT_EQ(read.ReadString("PortCheckHost"), "127.0.0.1");
}

TEST_F(SettingsFormTest, OkAnnouncesTheSharesOnceWithTheFileTypesChanged) {
  auto announced = [&] { return form->LastStatus() == "Shared files announced"; };
  ASSERT_TRUE(WaitFor(announced));
  int scans = 0;
  const TNapsterClientOnScanFinished ended = form->NapsterClient.OnScanFinished;
  form->NapsterClient.OnScanFinished = [&](TNapsterClient* c) {
    ++scans;
    ended(c);
  };
  // Typed into the Network page and confirmed with OK, as a user does.
  plat::MessageTarget user;
  user.Post([&] {
    SendMessageA(reinterpret_cast<HWND>(dialog->FileTypesEdit->Handle()), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>("*.ogg, *.mp3"));
    SendMessageA(reinterpret_cast<HWND>(dialog->OkButton->Handle()), BM_CLICK, 0, 0);
  });
  form->ShowSettings();
  EXPECT_EQ(form->Settings().FileTypes, "*.ogg, *.mp3");
  ASSERT_TRUE(WaitFor(announced));
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(form->NapsterClient.ScanMask(), "*.ogg, *.mp3");
}

}  // namespace
