// The Napster-protocol frame: a 16-bit little-endian length of the text, a
// 16-bit little-endian message type, then the text itself (8-bit bytes,
// fields separated by single blanks, no terminator). The client sessions
// and the local gateway read and write the same frame, each with its own
// limit on the text length.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct NapsterMessage {
  uint16_t Type = 0;
  std::string Text;
};

constexpr std::size_t kNapsterHeaderSize = 4;
// The most text a client session sends or accepts in one frame.
constexpr std::size_t kNapsterClientMaxText = 31000;

// The frame of one message. False (and frame untouched) when the text is
// longer than maxText or than the 16-bit length can say.
bool EncodeNapsterMessage(uint16_t type, std::string_view text, std::size_t maxText,
                          std::string& frame);

// The text length announced by the first two bytes of a frame.
uint16_t NapsterTextLength(const unsigned char* header);

// A message from the bytes that follow the length: the 2-byte type and the
// text (body holds length + 2 bytes). A received text ends at its first
// NUL byte.
NapsterMessage DecodeNapsterBody(const unsigned char* body, std::size_t size);

// Cuts a byte stream into messages, for readers that get bytes in pieces of
// any size (servers, tests, fuzzing).
class NapsterFrameReader {
 public:
  enum class Result {
    kMessage,   // out holds the next message
    kNeedMore,  // no whole frame buffered yet
    kTooLong,   // the next frame announces more text than allowed; the
                // stream cannot be trusted any more
  };
  explicit NapsterFrameReader(std::size_t maxText) : maxText_(maxText) {}
  void Feed(const void* data, std::size_t size);
  Result Next(NapsterMessage& out);
  std::size_t Buffered() const { return buffer_.size() - start_; }

 private:
  std::size_t maxText_;
  std::string buffer_;
  std::size_t start_ = 0;
};
