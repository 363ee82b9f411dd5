// test-label: concurrency
// Two programs on one machine, as far as the peer side goes: each runs a
// gateway (127.0.0.1 and 127.0.0.2, joined over Duskwire by the harness
// cache server) and a Napster-protocol client component logged in to it.
// One finds the other's file, asks for it, and it arrives byte for byte.
#include <gtest/gtest.h>

#include "peer/napster/napster_client.h"
#include "peer/napster/napster_helpers.h"
#include "tests/support/test_util.h"
#include "tools/gateway_simulation.h"
#include "tools/napster_client_harness.h"

namespace {

constexpr int kWaitMs = 15000;

struct Program : TNapsterEventLines {  // the lines first: the component logs into them until it is gone
  TGatewayNode node;
  TNapsterClient c;
  std::string id;
  std::string dir;

  Program(const std::string& address, const std::string& nick, int cachePort)
      : node([&] {
          TGatewayNodeOptions o;
          o.Address = address;
          o.CachePort = cachePort;
          return o;
        }()) {
    ApplyMainWindowProperties(c);
    Attach(c);
    dir = testutil::TempFolder("gateway-" + nick);
    c.SetPort(0);
    c.StartSession(address, node.Gateway().ListeningPort(), nick, "pw", "", false, false, id);
  }
  ~Program() { c.Shutdown(); }
};

}  // namespace

TEST(GatewayProgram, TwoProgramsFindAndDownloadEachOthersFiles) {
  TDWFakeCacheServer cache;
  StartPairedCache(cache);
  Program alice("127.0.0.1", "alice", cache.Port());
  Program bob("127.0.0.2", "bob", cache.Port());
  ASSERT_TRUE(alice.Wait("OnLogin", 1, kWaitMs)) << alice.Text();
  ASSERT_TRUE(bob.Wait("OnLogin", 1, kWaitMs)) << bob.Text();

  const std::string content = testutil::PatternBytes(300000, 7);
  const std::string shared = alice.dir + "Lonely Blue Song.ogg";
  testutil::WriteFileBytes(shared, content);
  alice.c.ShareFile(shared, true);

  // The announcement may still be on its way: search until it is found.
  bool found = false;
  for (int attempt = 0; attempt < 20 && !found; ++attempt) {
    bob.c.SearchNonMp3("", 100, "lonely blue", "", "", "", "");
    found = bob.Wait("OnSearchItem", 1, 1000);
  }
  ASSERT_TRUE(found) << bob.Text();
  const std::string item = bob.Find("OnSearchItem");
  EXPECT_NE(item.find("alice"), std::string::npos) << item;

  bob.c.PrivMsg(bob.id, "alice", "your song, please");
  ASSERT_TRUE(alice.Wait("OnPrivMsg", 1, kWaitMs)) << alice.Text();
  EXPECT_NE(alice.Find("OnPrivMsg").find("your song, please"), std::string::npos) << alice.Find("OnPrivMsg");

  const std::string local = bob.dir + "song.ogg";
  ASSERT_TRUE(bob.c.Download(bob.id, "alice", EncodeNonMp3Name(shared), local, false, 0, "", 0, false, ""));
  ASSERT_TRUE(bob.Wait("OnDownloadFinish", 1, kWaitMs)) << bob.Text() << alice.Text();
  EXPECT_NE(bob.Find("OnDownloadFinish").find("COMPLETE=TRUE"), std::string::npos) << bob.Text();
  EXPECT_TRUE(testutil::ReadFileBytes(local) == content);
  EXPECT_TRUE(alice.Wait("OnUploadFinish", 1, kWaitMs)) << alice.Text();
  cache.Stop();
}
