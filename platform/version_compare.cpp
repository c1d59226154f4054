#include "platform/version_compare.h"

#include <cstdint>
#include <vector>

namespace velmora {
namespace {

// Reads up to four fields the way "%u.%u.%u.%u" does: blanks before a number are skipped, a sign
// is accepted (a negative number wraps), digits accumulate modulo 2^32, and the first text that
// does not fit stops the reading with the remaining fields left at 0.
void ParseVersionFields(std::wstring_view text, uint32_t (&fields)[4]) {
  auto is_blank = [](wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); };
  auto is_digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != L'.') return;
      ++pos;
    }
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
      negative = text[pos] == L'-';
      ++pos;
    }
    if (pos >= text.size() || !is_digit(text[pos])) return;
    uint32_t value = 0;
    while (pos < text.size() && is_digit(text[pos])) {
      value = value * 10u + static_cast<uint32_t>(text[pos] - L'0');
      ++pos;
    }
    fields[i] = negative ? 0u - value : value;
  }
}

// -1, 0 or 1 as `left` is below, equal to or above `right`, as file versions.
int CompareParsed(std::wstring_view left, std::wstring_view right) {
  uint32_t a[4] = {};
  uint32_t b[4] = {};
  ParseVersionFields(left, a);
  ParseVersionFields(right, b);
  const auto high = [](const uint32_t (&f)[4]) {
    return static_cast<int32_t>((f[0] << 16) | (f[1] & 0xFFFFu));
  };
  const auto low = [](const uint32_t (&f)[4]) { return (f[2] << 16) | (f[3] & 0xFFFFu); };
  if (high(a) != high(b)) return high(a) < high(b) ? -1 : 1;
  if (low(a) != low(b)) return low(a) < low(b) ? -1 : 1;
  return 0;
}

// Every "."-separated field of `text` (empty ones read as 0), each saturating at UINT64_MAX.
std::vector<uint64_t> SaturatedFields(std::wstring_view text) {
  std::vector<uint64_t> values;
  if (text.empty()) return values;
  for (;;) {
    const size_t dot = text.find(L'.');
    uint64_t value = 0;
    for (const wchar_t c : text.substr(0, dot)) {
      if (c < L'0' || c > L'9') break;
      const uint64_t digit = static_cast<uint64_t>(c - L'0');
      value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
    }
    values.push_back(value);
    if (dot == std::wstring_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return values;
}

}  // namespace

bool CompareVersions(std::wstring_view left, std::wstring_view right, VersionRelation relation) {
  if (left.empty() || right.empty()) return false;
  const int order = CompareParsed(left, right);
  switch (relation) {
    case VersionRelation::kLess:
      return order < 0;
    case VersionRelation::kLessOrEqual:
      return order <= 0;
    case VersionRelation::kGreater:
      return order > 0;
    case VersionRelation::kGreaterOrEqual:
      return order >= 0;
    case VersionRelation::kEqual:
      return order == 0;
    case VersionRelation::kNotEqual:
      return order != 0;
  }
  return false;
}

int CompareVersionsFieldByField(std::wstring_view left, std::wstring_view right) {
  const std::vector<uint64_t> a = SaturatedFields(left);
  const std::vector<uint64_t> b = SaturatedFields(right);
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace velmora
