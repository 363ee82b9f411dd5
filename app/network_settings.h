// The transfer and network settings of the settings store ("Application4.cfg",
// sections Uploads, Downloads and Advanced) that the main window's client
// component runs with: speed limits, upload and download counts, automatic
// resume, time-outs, the own link type, and the port-check server the setup
// wizard asks. A value the store lacks keeps the component's default, and
// so does a time-out of 0 (which would end every transfer at once).
#pragma once
#include <string>

class TNapsterClient;

struct TNetworkSettings {
  int MaxDownloadBPS = 0;  // 0: no limit
  int MaxUploadBPS = 0;
  int MaxUploads = 20;
  int MaxUploadsPerNick = 20;
  int MaxDownloads = 1;
  int MaxResume = 0;
  bool EnableAutoResume = false;
  int LinkType = 2;
  int UploadTimeout = 500;  // seconds
  int DownloadTimeout = 500;
  // The host of the outside port-check server ([Advanced] PortCheckHost;
  // the maker's own when that is empty).
  static constexpr const char* kDefaultPortCheckHost = "portcheck.tarnwick.net";
  std::string PortCheckHost = kDefaultPortCheckHost;

  static TNetworkSettings Load();
  // Into the settings store; false when a value cannot be held there (the
  // port-check host with a double quote or a line break), which then keeps
  // the value it had.
  bool Save() const;
  // The properties of the component (its data port is set apart).
  void ApplyTo(TNapsterClient& client) const;
};
