// The main window's files under Wine: what closing writes, and when, with
// the networks still running and the user's hands still on the windows; a
// program folder that cannot be written, told where the user acted and
// never passed over as saved; a share file that cannot be read, set aside
// or, when even that fails, left as it is.
#include "tests/app/app_fixture.h"
#include "tests/app/layout_check.h"

#include "app/legacy_settings_form.h"
#include "app/message_view.h"
#include "app/settings_form.h"
#include "app/share_view.h"
#include "peer/gateway/gateway.h"
#include "platform/files.h"
#include "tools/fake_napster_server.h"

namespace {

using MainFormFilesTest = testapp::MainFormTest;

// Closing writes the share file and the settings before it stops the
// networks (the gateway's stop may wait long on a name lookup), and stops
// the gateway before the client component shuts down. While the gateway
// stops the window still answers messages: the networks window's Connect
// (which asks for the gateway's port) among them.
TEST_F(MainFormFilesTest, ClosingWritesTheFilesFirstThenStopsTheGatewayThenTheClient) {
  FakeNapsterServer server;
  server.SetScript(203, {});  // the download request stays unanswered
  ASSERT_TRUE(server.Start());
  auto form = MakeForm();
  TLegacySettingsForm& networks = *form->LegacySettings;
  const int gateway = networks.IndexOfGateway();
  // The gateway's row learns where the gateway listens, and goes offline.
  networks.Connect(gateway);
  networks.Disconnect(gateway);
  ASSERT_TRUE(WaitFor([&] { return networks.Server(gateway).State == TLegacyServer::Offline; }));
  const int i = networks.Add(testapp::LocalServer(server.Port()));
  networks.Connect(i);
  ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.LoggedInCount() == 1; }));
  ASSERT_TRUE(form->ExecuteCommand("DOWNLOAD " + networks.Server(i).ID + " bob \"Blue.mp3\""));
  ASSERT_TRUE(GatewayRunning());

  for (const char* f : {"Shared.dat", "Application4.cfg"}) plat::DeleteFile(folder + f);
  bool written = false, connectReturned = false;
  plat::MessageTarget user;
  user.Post([&] {
    written = plat::FileExists(folder + "Shared.dat") && plat::FileExists(folder + "Application4.cfg");
    networks.Connect(gateway);
    connectReturned = true;
  });
  // The client component ends its transfers when it shuts down.
  bool gatewayRanAtClientShutdown = true;
  form->NapsterClient.OnDownloadFinish = [&](TNapsterClient*, TNapsterClientData&) {
    gatewayRanAtClientShutdown = GatewayRunning();
  };
  form.reset();
  EXPECT_TRUE(connectReturned) << "the message waiting during the gateway's stop was handled";
  EXPECT_TRUE(written) << "the files are on disk before the networks are stopped";
  EXPECT_FALSE(gatewayRanAtClientShutdown);
  EXPECT_FALSE(GatewayRunning());
}

// A program folder that cannot be written: each save the user caused is
// told in the status bar, in the messages view and in a message; the
// settings dialog stays open and says its settings are in use but not
// saved, and so does the networks window.
TEST_F(MainFormFilesTest, ASaveIntoAFolderThatCannotBeWrittenIsToldWhereTheUserActed) {
  folder = testapp::UnwritableFolder();
  auto form = MakeForm();
  const std::string music = testutil::TempFolder("files-music");
  form->ShareView->AddFolder(music, "*.mp3");
  const std::string told = "The shares could not be saved to " + folder + "Shared.dat.";
  EXPECT_EQ(form->LastStatus(), told);
  EXPECT_NE(form->MessageView->Text().find(told), std::string::npos);
  EXPECT_EQ(messages, std::vector<std::string>{told});

  TNapsterSettingsForm* dialog = form->SettingsForm;
  dialog->HandleNeeded();
  dialog->LoadFromMain();
  dialog->MaxUploadsEdit->SetText("7");
  EXPECT_TRUE(dialog->Apply());
  EXPECT_FALSE(dialog->Saved());
  EXPECT_EQ(form->NapsterClient.MaxUploads, 7) << "in use all the same";
  EXPECT_EQ(dialog->StatusText(), "In use now, but not saved: a file cannot be written.");
  EXPECT_EQ(testapp::LayoutFaults(dialog), std::vector<std::string>{}) << "the line is read whole";
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[1].find("The settings could not be saved to " + folder + "Application4.cfg."), std::string::npos)
      << messages[1];
  EXPECT_NE(messages[1].find(told), std::string::npos) << messages[1];
  // OK leaves the dialog open to read it.
  plat::MessageTarget user;
  bool stillShown = false;
  user.Post([&] {
    SendMessageA(reinterpret_cast<HWND>(dialog->OkButton->Handle()), BM_CLICK, 0, 0);
    stillShown = dialog->Visible();
    dialog->SetModalResult(gui::mrCancel);
  });
  form->ShowSettings();
  EXPECT_TRUE(stillShown);

  // The networks window's Add and Remove: the server is in use (and then
  // gone) all the same, and the file not written is told.
  TLegacySettingsForm& networks = *form->LegacySettings;
  const int servers = networks.Count();
  networks.HostBox()->SetText("127.0.0.1");
  auto click = [&](const std::string& caption) {
    SendMessageA(reinterpret_cast<HWND>(testapp::ButtonIn(&networks, caption)->Handle()), BM_CLICK, 0, 0);
  };
  for (const char* button : {"&Add", "&Remove"}) {
    messages.clear();
    click(button);
    EXPECT_EQ(networks.Count(), servers + (button == std::string("&Add") ? 1 : 0)) << button;
    EXPECT_EQ(networks.StatusText(), "In use now, but not saved: the networks file cannot be written.") << button;
    EXPECT_EQ(messages, std::vector<std::string>{"The networks could not be saved to " + folder + "Legacy\\Legacy.cfg."});
    networks.List()->SetSelected(servers);
  }
  EXPECT_EQ(testapp::LayoutFaults(&networks), std::vector<std::string>{}) << "the line is read whole";
}

// A share file that cannot be read goes aside under a name of its own (an
// older damaged file keeps its name); one that cannot even be set aside
// stays as it is and is never written over.
TEST_F(MainFormFilesTest, AShareFileThatCannotBeReadIsNeverWrittenOver) {
  const std::string garbage = "SHARE_1_0" + std::string(40, '\x7f');  // a record cut short
  testutil::WriteFileBytes(folder + "Shared.dat.bad", "an older one");
  testutil::WriteFileBytes(folder + "Shared.dat", garbage);
  auto form = MakeForm();
  EXPECT_NE(form->MessageView->Text().find("kept as Shared.dat (2).bad"), std::string::npos)
      << form->MessageView->Text();
  form.reset();
  EXPECT_EQ(testutil::ReadFileBytes(folder + "Shared.dat.bad"), "an older one");
  EXPECT_TRUE(testutil::ReadFileBytes(folder + "Shared.dat (2).bad") == garbage);
  EXPECT_EQ(testutil::ReadFileBytes(folder + "Shared.dat"), "SHARE_1_0");

  // Another program holds it open: it cannot be moved.
  testutil::WriteFileBytes(folder + "Shared.dat", garbage);
  HANDLE held = CreateFileA((folder + "Shared.dat").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  form = MakeForm();
  EXPECT_NE(form->LastStatus().find("could not be read nor set aside"), std::string::npos) << form->LastStatus();
  CloseHandle(held);
  form->ShareView->AddFolder(testutil::TempFolder("files-more"), "*.mp3");
  EXPECT_EQ(form->LastStatus().rfind("The shares are not saved", 0), 0u) << form->LastStatus();
  form.reset();
  EXPECT_TRUE(testutil::ReadFileBytes(folder + "Shared.dat") == garbage);
}

}  // namespace
