#include "gui/number_format.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "platform/system.h"

namespace gui {

int64_t Round(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (v <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  const double f = std::floor(v);
  const double diff = v - f;  // exact
  int64_t r = int64_t(f);
  if (diff > 0.5 || (diff == 0.5 && (r % 2 != 0))) ++r;
  return r;
}

namespace {

// The pattern's sections split at ';' outside quotes.
std::vector<std::string> Sections(const std::string& p) {
  std::vector<std::string> out(1);
  char quote = 0;
  for (char c : p) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  return out;
}

bool IsPlaceholder(char c) { return c == '0' || c == '#' || c == ',' || c == '.'; }

// Digits of a non-negative value rounded to decimals places (halves to
// even at the last place): integer part and fraction part.
void Digits(double v, int decimals, std::string& whole, std::string& frac) {
  const double scaled = v * std::pow(10.0, decimals);
  char buf[400];
  if (scaled < 9.0e18) {
    std::snprintf(buf, sizeof buf, "%lld", (long long)Round(scaled));
  } else {
    std::snprintf(buf, sizeof buf, "%.0f", scaled);
  }
  std::string d = buf;
  if (int(d.size()) <= decimals) d.insert(0, size_t(decimals) + 1 - d.size(), '0');
  whole = d.substr(0, d.size() - size_t(decimals));
  frac = d.substr(d.size() - size_t(decimals));
  if (whole == "0") whole.clear();
}

std::string Format(const std::string& section, double v, bool minus) {
  // Literal text around the placeholders; quotes taken off.
  std::string prefix, suffix;
  int intZeros = 0, fracZeros = 0, fracAll = 0;
  bool grouping = false, point = false, inCore = false, afterCore = false;
  char quote = 0;
  for (char c : section) {
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        (afterCore || inCore ? suffix : prefix) += c;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    if (IsPlaceholder(c) && !afterCore) {
      inCore = true;
      if (c == '.') {
        point = true;
      } else if (c == ',') {
        if (!point) grouping = true;
      } else if (point) {
        ++fracAll;
        if (c == '0') fracZeros = fracAll;
      } else if (c == '0') {
        ++intZeros;
      }
      continue;
    }
    if (inCore) afterCore = true;
    (afterCore ? suffix : prefix) += c;
  }
  std::string whole, frac;
  Digits(v, fracAll, whole, frac);
  while (int(frac.size()) > fracZeros && !frac.empty() && frac.back() == '0') frac.pop_back();
  if (int(whole.size()) < intZeros) whole.insert(0, size_t(intZeros) - whole.size(), '0');
  if (grouping && whole.size() > 3) {
    const char sep = plat::ThousandsSeparator();
    std::string g;
    for (size_t i = 0; i < whole.size(); ++i) {
      if (i && (whole.size() - i) % 3 == 0) g += sep;
      g += whole[i];
    }
    whole = g;
  }
  std::string number = whole;
  if (!frac.empty()) number += plat::DecimalSeparator() + frac;
  const bool zero = number.find_first_of("123456789") == std::string::npos;
  return (minus && !zero ? "-" : "") + prefix + number + suffix;
}

}  // namespace

std::string FormatFloat(const std::string& pattern, double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (pattern.empty()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    for (char& c : s)
      if (c == '.') c = plat::DecimalSeparator();
    return s;
  }
  const std::vector<std::string> sec = Sections(pattern);
  if (value < 0 && sec.size() >= 2 && !sec[1].empty()) return Format(sec[1], -value, false);
  if (value == 0 && sec.size() >= 3 && !sec[2].empty()) return Format(sec[2], 0, false);
  return Format(sec[0], std::fabs(value), value < 0);
}

}  // namespace gui
