#include "core/mpeg_header.h"

const char* const MPEGChannelName[5] = {"Stereo", "Joint-Stereo", "Dual-Channel",
                                        "Single-Channel", "Unknown"};
const char* const MPEGCustomText = "Custom";
const char* const MPEGCatalogueText = "Catalogue";
const char* const MPEGOrderFormText = "Order form";
