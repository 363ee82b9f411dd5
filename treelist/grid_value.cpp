#include "treelist/grid_value.h"

#include <cmath>
#include <cstdio>
#include <cstring>

TGridValue TGridValue::FromInteger(int64_t v) {
  TGridValue r;
  r.kind_ = Integer;
  r.int_ = v;
  return r;
}

TGridValue TGridValue::FromFloat(double v) {
  TGridValue r;
  r.kind_ = Float;
  r.float_ = v;
  return r;
}

TGridValue TGridValue::FromDate(double days) {
  TGridValue r = FromFloat(days);
  r.kind_ = Date;
  return r;
}

TGridValue TGridValue::FromText(std::string text) {
  TGridValue r;
  r.kind_ = Text;
  r.text_ = std::move(text);
  return r;
}

std::string TGridValue::ToString() const {
  char buf[40];
  switch (kind_) {
    case Null: return {};
    case Integer: std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(int_)); return buf;
    case Float:
    case Date: std::snprintf(buf, sizeof buf, "%.15g", float_); return buf;
    case Text: return text_;
  }
  return {};
}

int CompareTextBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

int Sign(bool less, bool greater) { return less ? -1 : (greater ? 1 : 0); }

// NaN sorts before every number and equals itself, so the order stays total.
int CompareDoubles(double a, double b) {
  const bool an = std::isnan(a), bn = std::isnan(b);
  if (an || bn) return Sign(an && !bn, bn && !an);
  return Sign(a < b, a > b);
}

// Exact: a whole number far beyond 2^53 is not rounded to the nearest
// double first (which would make the order intransitive).
int CompareIntDouble(int64_t i, double d) {
  if (std::isnan(d)) return 1;
  constexpr double kTwo63 = 9223372036854775808.0;
  if (d >= kTwo63) return -1;
  if (d < -kTwo63) return 1;
  const double whole = std::floor(d);
  const int64_t w = static_cast<int64_t>(whole);
  if (i != w) return Sign(i < w, i > w);
  return d > whole ? -1 : 0;
}

int Rank(const TGridValue& v) { return v.IsNull() ? 0 : (v.IsText() ? 2 : 1); }

}  // namespace

int CompareGridValues(const TGridValue& a, const TGridValue& b, TGridTextCompare textCompare) {
  const int ra = Rank(a), rb = Rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra == 0) return 0;
  if (ra == 2) {
    const int c = textCompare(a.AsText(), b.AsText());
    return Sign(c < 0, c > 0);
  }
  const bool ai = a.GetKind() == TGridValue::Integer, bi = b.GetKind() == TGridValue::Integer;
  if (ai && bi) return Sign(a.AsInteger() < b.AsInteger(), a.AsInteger() > b.AsInteger());
  if (ai) return CompareIntDouble(a.AsInteger(), b.AsFloat());
  if (bi) return -CompareIntDouble(b.AsInteger(), a.AsFloat());
  return CompareDoubles(a.AsFloat(), b.AsFloat());
}
