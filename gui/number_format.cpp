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

// v formatted by one section; exact: the whole value's digits given as an
// integer (no rounding through a double on the way).
std::string Format(const std::string& section, double v, bool minus, const uint64_t* exact = nullptr) {
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
  if (exact) {
    whole = *exact ? std::to_string(*exact) : "";
    frac.assign(size_t(fracAll), '0');
  } else {
    Digits(v, fracAll, whole, frac);
  }
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

// The section of pattern that serves a value (the negative one without
// its sign, the zero one) formatted by format(section, minus).
template <class F>
std::string FormatBySection(const std::string& pattern, bool negative, bool zero, F format) {
  const std::vector<std::string> sec = Sections(pattern);
  if (negative && sec.size() >= 2 && !sec[1].empty()) return format(sec[1], false);
  if (zero && sec.size() >= 3 && !sec[2].empty()) return format(sec[2], false);
  return format(sec[0], negative);
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
  return FormatBySection(pattern, value < 0, value == 0, [&](const std::string& sec, bool minus) {
    return Format(sec, std::fabs(value), minus);
  });
}

std::string FormatInteger(const std::string& pattern, int64_t value) {
  if (pattern.empty()) return std::to_string(value);
  const uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  return FormatBySection(pattern, value < 0, value == 0, [&](const std::string& sec, bool minus) {
    return Format(sec, double(magnitude), minus, &magnitude);
  });
}

}  // namespace gui
