// The main window with the program's own gateway (on 127.0.0.1, its
// Duskwire side too) beside a second program's gateway on
// 127.0.0.2 in the same process, joined by the harness cache server: the
// window logs in to its gateway, finds the other program's file, downloads
// it byte for byte through the results grid's DOWNLOAD command, shows the
// networks in its server window, and leaves its share file when it closes.
#include "tests/app/app_fixture.h"

#include "app/legacy_settings_form.h"
#include "app/napster_server_form.h"
#include "app/search_view.h"
#include "app/transfer_view.h"
#include "controls/graph.h"
#include "peer/napster/napster_helpers.h"
#include "tools/gateway_simulation.h"
#include "tools/napster_client_harness.h"

namespace {

using MainFormGatewayTest = testapp::MainFormTest;

TEST_F(MainFormGatewayTest, FindsAndDownloadsAPeersFileThroughTheProgramsOwnGateway) {
  TDWFakeCacheServer cache;
  StartPairedCache(cache);
  // The other program: its gateway on 127.0.0.2 and its client logged in there.
  TNapsterEventLines bobLog;
  TGatewayNodeOptions o;
  o.Address = "127.0.0.2";
  o.CachePort = cache.Port();
  auto bobNode = std::make_unique<TGatewayNode>(o);
  auto bob = std::make_unique<TNapsterClient>();
  ApplyMainWindowProperties(*bob);
  bobLog.Attach(*bob);
  bob->SetPort(0);
  std::string bobId;
  bob->StartSession("127.0.0.2", bobNode->Gateway().ListeningPort(), "bob", "pw", "", false, false, bobId);

  auto form = MakeForm(cache.Port());
  TLegacySettingsForm& provider = *form->LegacySettings;
  provider.Connect(provider.IndexOfGateway());
  EXPECT_EQ(provider.Server(0).Port, GatewayListeningPort());
  ASSERT_TRUE(WaitFor([&] { return form->NapsterClient.IsLoggedIn(provider.Server(0).ID); }))
      << provider.StatusText();
  ASSERT_TRUE(bobLog.Wait("OnLogin", 1, 20000)) << bobLog.Text();

  const std::string content = testutil::PatternBytes(400000, 11);
  const std::string bobDir = testutil::TempFolder("main-form-bob");
  testutil::WriteFileBytes(bobDir + "Lonely Blue Song.ogg", content);
  bob->ShareFile(bobDir + "Lonely Blue Song.ogg", true);

  // The announcement may still be on its way: search until it is found.
  TSearchView& search = *form->SearchView;
  for (int attempt = 0; attempt < 20 && search.ResultCount() == 0; ++attempt) {
    ASSERT_TRUE(search.Start("lonely blue", true, 100));
    plat::MainLoop::PumpUntil([&] { return search.ResultCount() > 0; }, 1000);
  }
  ASSERT_EQ(search.ResultCount(), 1) << bobLog.Text();
  TGridTreeListNode* result = search.Grid()->Items(0);
  EXPECT_EQ(result->Strings(TSearchView::colFile), "Lonely Blue Song.ogg");
  EXPECT_EQ(result->Strings(TSearchView::colUser), "bob");
  EXPECT_EQ(result->Strings(TSearchView::colBitRate), "") << "no audio figures for other files";

  search.Grid()->SetNodeSelected(result, true);
  search.DownloadChosen();
  TTransferView& down = *form->DownloadView;
  ASSERT_EQ(down.RowCount(), 1);
  TGridTreeListNode* row = down.Grid()->Items(0);
  EXPECT_EQ(row->Strings(TTransferView::colFile), "Lonely Blue Song.ogg");
  ASSERT_TRUE(WaitFor([&] { return down.Finished(row); })) << bobLog.Text();
  EXPECT_EQ(row->Strings(TTransferView::colState), "Complete");
  const std::string local = form->Settings().DownloadFolder + "Lonely Blue Song.ogg";
  EXPECT_TRUE(testutil::ReadFileBytes(local) == content);
  EXPECT_TRUE(bobLog.Wait("OnUploadFinish", 1, 20000)) << bobLog.Text();
  form->StatisticsTimerTimer();
  EXPECT_EQ(form->DownloadGraph->Samples().back(), form->NapsterClient.DownloadRate());

  // The server window reads the gateway's health and peers on its timer.
  ASSERT_TRUE(WaitFor([] { return GatewayDuskwirePeers() >= 1; }));
  form->ServerForm->Timer1Timer();
  EXPECT_EQ(form->ServerForm->DuskwireBar->Position(), GatewayDuskwireHealth());
  EXPECT_GT(form->ServerForm->DuskwireBar->Position(), 0);
  EXPECT_EQ(form->ServerForm->GnutellaBar->Position(), GatewayGnutellaHealth());
  EXPECT_EQ(form->ServerForm->DuskwirePeers->Caption(), std::to_string(GatewayDuskwirePeers()) + " peers");
  EXPECT_EQ(form->ServerForm->Sessions->RowCount(), 1);

  form.reset();  // the gateway stops before the component, and the share file is written
  EXPECT_FALSE(GatewayRunning());
  TShareManager saved;
  ASSERT_TRUE(saved.LoadFromFile(folder + "Shared.dat"));
  auto files = saved.Query("/Downloads", false);
  ASSERT_TRUE(files->Next());
  EXPECT_EQ(files->Name, "Lonely Blue Song.ogg");
  files.reset();
  bob->Shutdown();
  bob.reset();
  bobNode.reset();
  cache.Stop();
}

}  // namespace
