// Feeds arbitrary bytes to the readers of peer transfer input: the reply to
// a GET or SEND request, a request arriving on the data port, and the head
// of a Gnutella host's HTTP answer (status line and header lines), and
// checks what they promise: consumed bytes within the block, numbers never
// above the largest size, a size read the same however it was split, a
// download plan (and its part) that never runs backwards, and a size read
// past the first segment that loses or repeats no byte.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "peer/napster/napster_client_data_thread.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool mp3 = data[0] & 1;
  std::string_view block(reinterpret_cast<const char*>(data + 1), size - 1);

  TPeerReply reply = ReadPeerReply(block, mp3);
  if (reply.Consumed > block.size()) std::abort();
  if (reply.Number < 0 || reply.Number > kMaxTransferSize) std::abort();
  if (reply.MarkConsumed && (mp3 || !reply.IsNumber)) std::abort();

  // The same reply when only its first byte came in the first segment, as
  // a download at an offset reads it (with or without an announced size).
  const int64_t resumeAt = int64_t(data[0] >> 2) * 997;
  const int64_t announced = (data[0] & 2) ? 4801096 : 0;
  size_t at = 1;
  std::string leftover;
  TPeerReply split = ReadPeerReply(block.substr(0, 1), mp3, resumeAt, announced, [&](char& c) {
    if (at >= block.size()) return false;
    c = block[at++];
    return true;
  }, leftover);
  if (split.Number < 0 || split.Number > kMaxTransferSize || leftover.size() > block.size()) std::abort();
  if (split.Unclear && (!mp3 || resumeAt == 0 || split.Valid)) std::abort();
  // No byte lost or taken twice: the digits of the size, then the rest.
  if (split.IsNumber && split.Valid && mp3) {
    const std::string_view taken = block.substr(0, std::min(at, block.size()));
    if (leftover.size() > taken.size()) std::abort();
    const std::string_view digits = taken.substr(0, taken.size() - leftover.size());
    if (taken.substr(digits.size()) != leftover) std::abort();
    int64_t value = 0;
    if (!ParseTransferNumber(digits, value) || value != split.Number) std::abort();
  }

  TPeerRequest request = ParsePeerRequest(block);
  if (request.Number < 0 || request.Number > kMaxTransferSize) std::abort();
  // A request whose number has not come yet is never read as whole (the
  // nick, before the first blank, holds no quote of the name).
  const size_t open = block.find('"');
  const size_t close = open == std::string_view::npos ? open : block.find('"', open + 1);
  if (PeerRequestState(block) == TRequestState::kPartial && request.Valid && close != std::string_view::npos &&
      block.substr(0, open).find(' ') != std::string_view::npos)
    std::abort();

  // The block as an HTTP head: its first line the status, the rest headers.
  size_t eol = block.find('\n');
  THttpDownloadHead head;
  head.SetStatusLine(block.substr(0, eol));
  if (head.Status < 0 || head.Status > 999) std::abort();
  while (eol != std::string_view::npos) {
    size_t next = block.find('\n', eol + 1);
    head.AddHeader(block.substr(eol + 1, next == std::string_view::npos ? std::string_view::npos : next - eol - 1));
    eol = next;
  }
  const int64_t offset = int64_t(data[0]) * 1000;
  THttpDownloadPlan plan = PlanHttpDownload(head, offset);
  if (plan.What == THttpDownloadPlan::kReceive) {
    if (plan.Target < plan.Start || plan.Target > kMaxTransferSize) std::abort();
    if (plan.PieceEnd < plan.Start || plan.PieceEnd > plan.Target) std::abort();
    if (!plan.Truncate && plan.Start != offset) std::abort();
  }
  return 0;
}
