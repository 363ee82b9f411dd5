// A Duskwire connection over memory instead of a socket: reads come from a
// given text in pieces of a chosen size, writes are collected. For tests of
// the packet reader and writer.
#pragma once
#include <string>

#include "peer/duskwire/duskwire.h"

class TMemoryDuskwire : public TDuskwire {
 public:
  explicit TMemoryDuskwire(std::string input = "", int piece = 1 << 30)
      : input_(std::move(input)), piece_(piece < 1 ? 1 : piece) {}
  void Feed(const std::string& more) { input_ += more; }
  const std::string& Output() const { return output_; }
  void ClearOutput() { output_.clear(); }
  // Bytes of the input not yet handed to the reader.
  size_t Unread() const { return input_.size() - taken_; }

 protected:
  int RecvSome(void* buf, int count) override;
  void SendAll(const void* buf, int count) override;

 private:
  std::string input_;
  size_t taken_ = 0;
  int piece_;
  std::string output_;
};
