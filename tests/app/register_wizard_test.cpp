// The setup wizard in this process under Wine: its pages against the fake
// port-check server (reachable, not reachable, a check cut short by
// leaving the page, the maker's server asked when none is set, a server
// that cannot be reached), a nick registered on the fake Napster server
// and remembered, the first disk search over a temporary tree with its
// stop and the share file Finish leaves for the main window, and a folder
// that cannot be written.
#include "tests/app/app_fixture.h"
#include "tests/app/layout_check.h"

#include <mutex>
#include <set>

#include "app/legacy_settings_form.h"
#include "app/network_settings.h"
#include "app/register_wizard_form.h"
#include "platform/files.h"
#include "tools/fake_napster_server.h"
#include "tools/fake_port_check_server.h"

namespace {

class WizardTest : public testapp::MainFormTest {
 protected:
  // portCheckHost "": none set. lookup: the host names the port check
  // looks up go there (none: every name is 127.0.0.1).
  std::unique_ptr<TRegisterWizardForm> MakeWizard(const std::string& portCheckHost, TEasyResolver lookup = nullptr) {
    SettingsStore().SetSection("Advanced");
    SettingsStore().WriteString("PortCheckHost", portCheckHost);
    auto w = std::make_unique<TRegisterWizardForm>(nullptr, folder);
    w->PortCheckClient1.SetResolverForTesting(lookup ? lookup : [this](const std::string& host, uint32_t* addr, int*) {
      looked.push_back(host);
      *addr = 0x7F000001;
      return true;
    });
    w->HandleNeeded();
    return w;
  }
  std::vector<std::string> looked;
  // From the agreement to page p.
  static void GoTo(TRegisterWizardForm& w, TRegisterWizardForm::TPage p) {
    w.AcceptBox->SetChecked(true);
    while (w.Page() < p) ASSERT_TRUE(w.Next()) << w.StatusText();
  }
};

TEST_F(WizardTest, PortCheckPageTellsFoundNotFoundCancelledAndUnavailable) {
  FakePortCheckServer found;
  FakePortCheckOptions refusing;
  refusing.portReply = "500 Port Closed";
  FakePortCheckServer notFound(refusing);
  FakePortCheckOptions quiet;
  quiet.silent = true;
  FakePortCheckServer silent(quiet);

  auto w = MakeWizard("127.0.0.1");
  EXPECT_FALSE(w->Next());  // the terms not accepted
  EXPECT_EQ(w->Page(), TRegisterWizardForm::pgAgreement);

  w->PortCheckPort = found.Port();
  GoTo(*w, TRegisterWizardForm::pgPortCheck);
  ASSERT_TRUE(WaitFor([&] { return !w->PortCheckClient1.Busy(); }));
  EXPECT_EQ(w->PortCheckText(), "Other users can reach this computer: transfers work both ways.");
  EXPECT_EQ(found.Checks(), 1);

  w->PortCheckPort = notFound.Port();
  w->StartPortCheck();
  ASSERT_TRUE(WaitFor([&] { return !w->PortCheckClient1.Busy(); }));
  EXPECT_EQ(w->PortCheckText().rfind("Other users cannot reach this computer", 0), 0u) << w->PortCheckText();

  // Leaving the page while the server says nothing cancels the check.
  w->PortCheckPort = silent.Port();
  w->StartPortCheck();
  ASSERT_TRUE(w->PortCheckClient1.Busy());
  ASSERT_TRUE(w->Next());
  ASSERT_TRUE(WaitFor([&] { return !w->PortCheckClient1.Busy(); }));
  EXPECT_EQ(w->PortCheckText(), "The check was cancelled.");

  // A first start has no server set: the maker's is asked.
  looked.clear();
  auto first = MakeWizard("");
  first->PortCheckPort = found.Port();
  GoTo(*first, TRegisterWizardForm::pgPortCheck);
  ASSERT_TRUE(WaitFor([&] { return !first->PortCheckClient1.Busy(); }));
  EXPECT_EQ(looked, std::vector<std::string>{TNetworkSettings::kDefaultPortCheckHost});
  EXPECT_EQ(first->PortCheckText(), "Other users can reach this computer: transfers work both ways.");

  // A server that cannot be reached tells nothing about the port.
  auto unknown = MakeWizard("nowhere.example", [](const std::string&, uint32_t*, int* error) {
    *error = 11001;  // host not found
    return false;
  });
  GoTo(*unknown, TRegisterWizardForm::pgPortCheck);
  ASSERT_TRUE(WaitFor([&] { return !unknown->PortCheckClient1.Busy(); }));
  EXPECT_EQ(unknown->PortCheckText(),
            "The check failed: the port-check server nowhere.example could not be reached or did not answer. Whether "
            "other users can reach you is not known.");
}

// The wizard's component names no client: the login says the program's
// own name, which the server (as real ones) requires.
TEST_F(WizardTest, RegistersANickOnTheServer) {
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  auto w = MakeWizard("");
  // Register pressed: the answer once the server has given it.
  auto registered = [&] {
    w->Register();
    EXPECT_TRUE(WaitFor([&] { return w->Registration().State() != TNickRegistration::Busy; }));
    return w->Registration().State();
  };
  GoTo(*w, TRegisterWizardForm::pgRegistration);
  EXPECT_EQ(w->RegisterNickEdit()->GetText(), "alice");  // from the settings
  w->ServerEdit()->SetText("127.0.0.1");
  w->ServerPortEdit()->SetText(std::to_string(server.Port()));
  w->RegisterNickEdit()->SetText("fresh");
  w->PasswordEdit()->SetText("secret");
  EXPECT_EQ(registered(), TNickRegistration::Registered) << w->Registration().StatusText();
  ASSERT_TRUE(server.WaitForClientGone(1, 20000));

  // The nick registered is the one the settings page proposes, and Finish
  // puts the server with that account in the networks list.
  ASSERT_TRUE(w->Next());
  EXPECT_EQ(w->NickEdit->GetText(), "fresh");
  ASSERT_TRUE(w->SaveResults());
  TNapsterClient unused;
  TLegacySettingsForm networks(nullptr, unused, folder, "fresh");
  ASSERT_EQ(networks.Count(), 2);
  EXPECT_EQ(networks.Server(1).Address(), "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_EQ(networks.Server(1).Nick, "fresh");
  EXPECT_EQ(networks.Server(1).Password, "secret");
  w->Back();

  // The server keeps that nick now; a refusal shows what the server said.
  EXPECT_EQ(registered(), TNickRegistration::Taken);
  server.SetNewUserReply(0, "This e-mail address is not allowed here.");
  w->RegisterNickEdit()->SetText("newcomer");
  EXPECT_EQ(registered(), TNickRegistration::Refused);
  EXPECT_TRUE(WaitFor([&] {
    return w->Registration().StatusText() ==
           "The server refused the registration: This e-mail address is not allowed here.";
  })) << w->Registration().StatusText();

  w->ServerPortEdit()->SetText("none");
  w->Register();
  EXPECT_EQ(w->Registration().State(), TNickRegistration::Invalid);
}

TEST_F(WizardTest, FirstSearchSharesTheDownloadFolderAndWhatItFindsAndFinishLeavesTheShareFile) {
  const std::string tree = testutil::TempFolder("wizard-tree");
  testapp::PutFile(tree + "Downloads\\got.mp3", "g");
  testapp::PutFile(tree + "Downloads\\Music\\inner.mp3", "i");  // below the share: not its own
  testapp::PutFile(tree + "MyMusic\\a.mp3", "a");
  testapp::PutFile(tree + "misc\\b.mp3", "b");
  testapp::PutFile(tree + "misc\\b.txt", "t");
  testapp::PutFile(folder + "SharedRules.dat",
                           "<!SCANNING_RULES><RULE KEYWORD=\"*MUSIC\" DESCRIPTION=\"Music\"><!/SCANNING_RULES>");
  testapp::ScanRoots roots({tree});

  auto w = MakeWizard("");
  GoTo(*w, TRegisterWizardForm::pgSettings);
  w->NickEdit->SetText("carol");
  w->DownloadFolderEdit->SetText(tree + "Downloads");
  w->FileTypesEdit->SetText("*.mp3");
  ASSERT_TRUE(w->Next());
  ASSERT_EQ(w->Page(), TRegisterWizardForm::pgScan);

  w->StartScan();
  ASSERT_TRUE(WaitFor([&] { return w->ScanEnds() == 1; }));
  std::set<std::string> rows;
  for (int i = 0; i < w->FoundList()->RowCount(); ++i) rows.insert(w->FoundList()->Text(i, 1));
  EXPECT_EQ(rows, (std::set<std::string>{tree + "Downloads", tree + "Downloads\\Music", tree + "MyMusic",
                                         tree + "misc\\b.mp3"}));

  // Cancel during a search stops it.
  w->StartScan();
  w->CancelWizard();
  EXPECT_FALSE(w->Scanning());
  EXPECT_EQ(w->ScanEnds(), 2);

  ASSERT_TRUE(w->Next());  // Finish
  EXPECT_EQ(w->ModalResult(), gui::mrOk);
  TShareManager back;
  ASSERT_TRUE(back.LoadFromFile(folder + "Shared.dat"));
  std::lock_guard<plat::CriticalSection> g(back.Lock());
  std::set<std::string> shares;
  for (int i = 0; i < back.Root()->DirectoryCount(); ++i) {
    TShareDirectory* d = back.Root()->Directory(i);
    shares.insert(d->Name);
    if (d->Name == "Downloads") {
      EXPECT_FALSE(d->IncludeSubfolders);
      EXPECT_EQ(d->MaskText, "*.*");
    }
  }
  EXPECT_EQ(shares, (std::set<std::string>{"Downloads", "Music", "Music (1)"}));
  SettingsStore().SetSection("Advanced");
  EXPECT_EQ(SettingsStore().ReadString("Nick"), "carol");
  // The settings file is written by Finish: a crash before the program's
  // end does not lose what the wizard set.
  EXPECT_NE(testutil::ReadFileBytes(folder + "Application4.cfg").find("Nick = \"carol\""), std::string::npos);
  EXPECT_TRUE(w->Saved());
}

// The settings and networks files cannot hold a double quote or a line
// break: the registration page's Register and the settings page's Next
// refuse an entry typed with one, naming it, and stay; nothing is sent,
// and Finish keeps what was typed without one.
TEST_F(WizardTest, AnEntryTheFilesCannotHoldIsRefusedWhereItIsTyped) {
  FakeNapsterServer server;
  ASSERT_TRUE(server.Start());
  auto w = MakeWizard("");
  auto click = [&](const std::string& caption) {
    gui::Button* b = testapp::ButtonIn(w.get(), caption);
    ASSERT_NE(b, nullptr) << caption;
    SendMessageA(reinterpret_cast<HWND>(b->Handle()), BM_CLICK, 0, 0);
  };
  GoTo(*w, TRegisterWizardForm::pgRegistration);
  w->ServerEdit()->SetText("127.0.0.1");
  w->ServerPortEdit()->SetText(std::to_string(server.Port()));
  w->RegisterNickEdit()->SetText("fresh");
  testapp::Type(w->PasswordEdit(), "se\"cret");
  click("Re&gister");
  EXPECT_EQ(w->Registration().State(), TNickRegistration::Invalid);
  EXPECT_EQ(w->Registration().StatusText(), "Password cannot hold a double quote or a line break.");
  w->PasswordEdit()->SetText("secret");
  testapp::Type(w->EmailEdit(), "\"");
  click("Re&gister");
  EXPECT_EQ(w->Registration().StatusText(), "E-mail cannot hold a double quote or a line break.");
  Pump();
  EXPECT_EQ(server.Accepted(), 0) << "nothing was sent";

  click("&Next >");
  ASSERT_EQ(w->Page(), TRegisterWizardForm::pgSettings);
  w->NickEdit->SetText("carol");
  const std::string downloads = w->DownloadFolderEdit->GetText();
  const std::pair<gui::Edit*, std::string> entries[] = {
      {w->NickEdit, "Nick"}, {w->DownloadFolderEdit, "Download folder"}, {w->FileTypesEdit, "File types to share"}};
  for (const auto& [entry, name] : entries) {
    const std::string kept = entry->GetText();
    testapp::Type(entry, "\"");
    click("&Next >");
    EXPECT_EQ(w->Page(), TRegisterWizardForm::pgSettings);
    EXPECT_EQ(w->StatusText(), name + " cannot hold a double quote or a line break.");
    EXPECT_EQ(testapp::LayoutFaults(w.get()), std::vector<std::string>{}) << "the line is read whole";
    entry->SetText(kept);
  }
  w->DownloadFolderEdit->SetText(downloads + "\r\nC:\\");
  click("&Next >");
  EXPECT_EQ(w->StatusText(), "Download folder cannot hold a double quote or a line break.");
  w->DownloadFolderEdit->SetText(downloads);
  GoTo(*w, TRegisterWizardForm::pgScan);
  ASSERT_TRUE(w->Next());  // Finish
  EXPECT_TRUE(w->Saved());
  TSimpleConfig saved;
  ASSERT_TRUE(saved.LoadFromFile(folder + "Application4.cfg"));
  saved.SetSection("Advanced");
  EXPECT_EQ(saved.ReadString("Nick"), "carol");
  saved.SetSection("Downloads");
  EXPECT_EQ(saved.ReadString("Folder"), downloads);
}

// Finish in a folder that cannot be written says so and stays; Finish
// again goes on, with nothing marked as saved.
TEST_F(WizardTest, FinishInAFolderThatCannotBeWrittenSaysSoAndGoesOnOnlyWhenPressedAgain) {
  folder = testapp::UnwritableFolder();
  auto w = MakeWizard("");
  GoTo(*w, TRegisterWizardForm::pgScan);
  EXPECT_FALSE(w->Next());
  EXPECT_EQ(w->ModalResult(), 0);
  EXPECT_EQ(w->StatusText(), "Not saved: see the message.");
  Pump();
  EXPECT_EQ(testapp::LayoutFaults(w.get()), std::vector<std::string>{}) << "the line is read whole";
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Your settings and shares could not be saved in " + folder, 0), 0u) << messages[0];
  EXPECT_TRUE(w->Next());
  EXPECT_EQ(w->ModalResult(), gui::mrOk);
  EXPECT_FALSE(w->Saved());
}

}  // namespace
