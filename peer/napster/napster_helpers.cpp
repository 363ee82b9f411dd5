#include "peer/napster/napster_helpers.h"

#include <cmath>
#include <vector>

#include "platform/clock.h"
#include "platform/system.h"
#include "platform/text.h"

std::string LinkSpeedToText(int code) {
  static const char* const kNames[] = {
      "Unknown", "14.4 Kbps", "28.8 Kbps", "33.6 Kbps", "56.7 Kbps", "64K ISDN",
      "128K ISDN", "Cable", "DSL", "T1", "T3 or Greater"};
  if (code < 0 || code >= int(std::size(kNames))) return kNames[0];
  return kNames[code];
}

namespace {
constexpr std::string_view kNonMp3Mark = "|||";
constexpr std::string_view kNonMp3Ext = ".mp3";

std::string Replaced(std::string_view s, char from, char to) {
  std::string out(s);
  for (char& c : out)
    if (c == from) c = to;
  return out;
}
}  // namespace

std::string EncodeNonMp3Name(std::string_view name) {
  return std::string(kNonMp3Mark) + Replaced(name, '.', '|') + std::string(kNonMp3Ext);
}

std::string DecodeNonMp3Name(std::string_view name) {
  std::string_view body = name.substr(std::min(name.size(), kNonMp3Mark.size()));
  body = body.substr(0, body.size() - std::min(body.size(), kNonMp3Ext.size()));
  return Replaced(body, '|', '.');
}

bool IsMp3Name(std::string_view name) { return name.substr(0, kNonMp3Mark.size()) != kNonMp3Mark; }

bool UsableNick(std::string_view nick) {
  return !nick.empty() && nick.find_first_of(" \t\"") == std::string_view::npos;
}

int64_t SecondsOfDay() { return plat::SecondsOfDayNow(); }

std::string NapsterSessionID(std::string_view host, int port, int64_t secondsOfDay, int64_t serial) {
  if (plat::Trim(host) == "127.0.0.1" && port == 10000) return "P2P";
  return plat::IntToStr(secondsOfDay) + "-" + plat::IntToStr(serial);
}

std::string FormatSongLength(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  int64_t rest = seconds % 60;
  return plat::IntToStr(seconds / 60) + ":" + (rest < 10 ? "0" : "") + plat::IntToStr(rest);
}

std::string DurationToText(int64_t seconds) {
  struct Part {
    int64_t size;
    const char* name;
  };
  static constexpr Part kParts[] = {{365 * 86400LL, " Year(s) "},
                                    {86400, " Day(s) "},
                                    {3600, " Hour(s) "},
                                    {60, " Minute(s) "},
                                    {1, " Sec"}};
  std::string text;
  for (const Part& p : kParts) {
    if (seconds <= 0) break;
    int64_t n = seconds / p.size;
    seconds -= n * p.size;
    if (n > 0) text += plat::IntToStr(n) + p.name;
  }
  return text;
}

std::string TimeLeftText(int64_t bytesLeft, int64_t bytesPerSecond) {
  if (bytesLeft <= 0 || bytesPerSecond <= 0) return "Unknown";
  // Halves go to the even neighbour, as the rest of the program rounds.
  double secs = std::nearbyint(double(bytesLeft) / double(bytesPerSecond));
  return DurationToText(int64_t(secs));
}

std::string ProgramFolder() {
  std::string folder = plat::ProgramFolder();
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::string StripTrailingBackslash(std::string_view folder) {
  std::string text(folder);
  std::string trimmed = plat::Trim(folder);
  if (!trimmed.empty() && trimmed.back() == '\\') {
    // The character to drop is the last backslash of the text itself.
    std::size_t at = text.rfind('\\');
    text.erase(at, 1);
  }
  return text;
}

namespace {

// Both trimmed and upper-cased; equal length, and equal wherever the
// pattern side does not hold "?".
bool SameShape(std::string_view pattern, std::string_view text) {
  std::string a = plat::UpperCase(plat::Trim(pattern));
  std::string b = plat::UpperCase(plat::Trim(text));
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != '?' && a[i] != b[i]) return false;
  return true;
}

std::string Without(std::string_view s, char c) {
  std::string out;
  for (char ch : s)
    if (ch != c) out += ch;
  return out;
}

}  // namespace

bool MatchesWildcard(std::string_view patternIn, std::string_view textIn) {
  std::string pattern = plat::UpperCase(patternIn);
  std::string rest = plat::UpperCase(textIn);
  if (pattern.find('*') == std::string::npos) return SameShape(pattern, rest);
  std::string bare = Without(pattern, '*');
  if (bare.empty()) return true;  // "*" alone (or only stars) matches all

  std::vector<std::string> segments;
  std::size_t from = 0;
  for (;;) {
    std::size_t star = pattern.find('*', from);
    segments.push_back(pattern.substr(from, star == std::string::npos ? std::string::npos : star - from));
    if (star == std::string::npos) break;
    from = star + 1;
  }
  std::string collected;
  for (const std::string& seg : segments) {
    std::size_t at = rest.find(Without(seg, '?'));
    if (at == std::string::npos) continue;
    std::size_t take = std::min(seg.size(), rest.size() - at);
    collected += rest.substr(at, take);
    rest.erase(at, take);
  }
  return SameShape(bare, collected);
}
