// The MP3 description record the Napster-protocol client fills, with the
// texts it shows for its fields.
#pragma once
#include <string>

extern const char* const MPEGChannelName[5];  // by channel mode; 4 = unknown
extern const char* const MPEGCustomText;
extern const char* const MPEGCatalogueText;
extern const char* const MPEGOrderFormText;

struct TMPEGHeader {
  std::string Artist = "Unknown Artist";
  std::string Title = "Unknown Title";
};
