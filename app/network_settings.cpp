#include "app/network_settings.h"

#include "core/simple_config.h"
#include "peer/napster/napster_client.h"
#include "platform/text.h"

namespace {

struct Field {
  const char* Section;
  const char* Key;
  int TNetworkSettings::*Value;
};

constexpr Field kFields[] = {
    {"Downloads", "MaxDownloadBPS", &TNetworkSettings::MaxDownloadBPS},
    {"Uploads", "MaxUploadBPS", &TNetworkSettings::MaxUploadBPS},
    {"Uploads", "MaxUploads", &TNetworkSettings::MaxUploads},
    {"Uploads", "MaxUploadsPerNick", &TNetworkSettings::MaxUploadsPerNick},
    {"Downloads", "MaxDownloads", &TNetworkSettings::MaxDownloads},
    {"Downloads", "MaxResume", &TNetworkSettings::MaxResume},
    {"Advanced", "LinkType", &TNetworkSettings::LinkType},
    {"Uploads", "Timeout", &TNetworkSettings::UploadTimeout},
    {"Downloads", "Timeout", &TNetworkSettings::DownloadTimeout},
};

}  // namespace

TNetworkSettings TNetworkSettings::Load() {
  TNetworkSettings n;
  TSimpleConfig& s = SettingsStore();
  for (const Field& f : kFields) {
    s.SetSection(f.Section);
    if (!s.ReadString(f.Key).empty()) n.*f.Value = s.ReadInteger(f.Key);
  }
  const TNetworkSettings defaults;
  if (n.UploadTimeout <= 0) n.UploadTimeout = defaults.UploadTimeout;
  if (n.DownloadTimeout <= 0) n.DownloadTimeout = defaults.DownloadTimeout;
  s.SetSection("Downloads");
  if (!s.ReadString("AutoResume").empty()) n.EnableAutoResume = s.ReadBool("AutoResume");
  s.SetSection("Advanced");
  const std::string host = plat::Trim(s.ReadString("PortCheckHost"));
  if (!host.empty()) n.PortCheckHost = host;
  return n;
}

bool TNetworkSettings::Save() const {
  TSimpleConfig& s = SettingsStore();
  for (const Field& f : kFields) {
    s.SetSection(f.Section);
    s.WriteInteger(f.Key, this->*f.Value);
  }
  s.SetSection("Downloads");
  s.WriteBool("AutoResume", EnableAutoResume);
  s.SetSection("Advanced");
  return s.WriteString("PortCheckHost", PortCheckHost);
}

void TNetworkSettings::ApplyTo(TNapsterClient& c) const {
  c.MaxDownloadBPS = MaxDownloadBPS;
  c.MaxUploadBPS = MaxUploadBPS;
  c.MaxUploads = MaxUploads;
  c.MaxUploadsPerNick = MaxUploadsPerNick;
  c.MaxDownloads = MaxDownloads;
  c.MaxResume = MaxResume;
  c.EnableAutoResume = EnableAutoResume;
  c.LinkType = LinkType;
  c.UploadTimeout = UploadTimeout;
  c.DownloadTimeout = DownloadTimeout;
}
