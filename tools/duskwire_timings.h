// Pacing of Duskwire overlay nodes that keeps tests and simulations short:
// the same steps as the product's, only brisker.
#pragma once
#include "peer/duskwire/duskwire_peer_router.h"

inline TDWTimings BriskDuskwireTimings() {
  TDWTimings t;
  t.addPeerDelayMs = 20;
  t.connectPacingMs = 10;
  t.refreshTickMs = 50;
  t.acceptPauseMs = 10;
  t.peerPollMs = 5;
  t.peerSendPauseMs = 3;
  t.peerWaitMs = 100;
  t.cacheRetryWaitMs = 200;
  t.getNodeWaitMs = 50;
  t.stopPollMs = 10;
  t.maxGetNodeAttempts = 20;
  return t;
}
