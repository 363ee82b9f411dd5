// The settings dialog over a main window in this process under Wine: the
// disk search over a temporary tree (each folder listed once, a stopped
// search keeping what it found), OK applying renames, new shares and the
// network settings to the main window (the share file read back), and the
// one folder picker its buttons and the share view's ask.
#include "tests/app/app_fixture.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include <shlobj.h>

#include "app/settings_form.h"
#include "app/share_view.h"
#include "app/shared_item.h"
#include "controls/win32/extended_edit.h"
#include "platform/files.h"
#include "platform/text.h"

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

// The button with this caption inside a control.
gui::Button* ButtonIn(gui::Control* in, const std::string& caption) {
  for (int i = 0; i < in->ControlCount(); ++i) {
    gui::Control* c = in->Controls(i);
    if (auto* b = dynamic_cast<gui::Button*>(c); b && b->Caption() == caption) return b;
    if (gui::Button* b = ButtonIn(c, caption)) return b;
  }
  return nullptr;
}

void Click(gui::Control* in, const std::string& caption) {
  gui::Button* b = ButtonIn(in, caption);
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
      if (a->confirm_) PostMessageA(m.hwnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, w, l);
  }
  static inline FolderPickerAnswer* current_ = nullptr;
  HHOOK hook_;
  bool confirm_ = false;
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
  ASSERT_TRUE(dialog->Apply()) << dialog->StatusText();

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

// The records and the nodes are changed with the share tree held first:
// a thread that holds the tree (a scan step, a load announcing its nodes)
// and then wants the list never meets an editor holding the list alone.
TEST_F(SettingsFormTest, EditingTheSharedItemsHoldsTheShareTreeFirst) {
  TSharedItemList::Editing editing(form->SharedItemList());
  bool treeTaken = true;
  std::thread([&] {
    treeTaken = !form->ShareManager1.Lock().try_lock();
    if (!treeTaken) form->ShareManager1.Lock().unlock();
  }).join();
  EXPECT_TRUE(treeTaken);
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
