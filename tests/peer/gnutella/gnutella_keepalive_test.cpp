// test-label: concurrency
// Servents today ping their neighbours with TTL 1 and drop a link that
// leaves several of those pings unanswered. A leaf link to such a servent
// must last.

#include <gtest/gtest.h>

#include "peer/gnutella/gnutella.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "tools/gnutella_servent.h"

TEST(GnutellaKeepAlive, LeafLinkOutlivesFiftyKeepAlivePings) {
  TServentScript script;
  script.KeepAliveMs = 50;  // a minute's worth of pings, quickly
  script.MaxUnansweredPings = 3;
  TGnutellaServent servent(script);
  ASSERT_TRUE(servent.Start());

  TGnutella node;
  node.SetBindAddress("127.0.0.1");
  TGnutellaSettings s;
  s.bFirewalled = true;
  s.sUltraPeerMode = umLeaf;
  node.SetSettings(s);
  node.AddSeedHost("127.0.0.1", servent.Port());
  node.Start(0);

  // Until fifty pings were answered, or the link went (the bound only ends
  // a failing run).
  const int64_t start = plat::MonotonicMs();
  bool up = false;
  while (plat::MonotonicMs() - start < 60000) {
    up = node.ConnectionCount() == 1 && servent.OpenLinks() == 1;
    if (servent.CountReceived(kDescPong) >= 50) break;
    if (!servent.Links().empty() && servent.Links()[0].ClosedForPings) break;
    plat::Thread::Sleep(20);
  }
  EXPECT_TRUE(up);
  ASSERT_EQ(servent.Links().size(), 1u);
  EXPECT_FALSE(servent.Links()[0].ClosedForPings);
  EXPECT_GE(servent.CountReceived(kDescPong), 50);  // the keep-alive pings were answered
  node.Stop();
}
