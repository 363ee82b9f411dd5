#include "tools/duskwire_memory.h"

#include <algorithm>
#include <cstring>

int TMemoryDuskwire::RecvSome(void* buf, int count) {
  size_t left = input_.size() - taken_;
  if (left == 0) throw EDuskwireNetwork("End of input");
  size_t n = std::min({left, size_t(count), size_t(piece_)});
  std::memcpy(buf, input_.data() + taken_, n);
  taken_ += n;
  return int(n);
}

void TMemoryDuskwire::SendAll(const void* buf, int count) {
  output_.append(static_cast<const char*>(buf), size_t(count));
}
