#include "account/login_cookie_records.h"

#include <algorithm>
#include <cstring>

namespace velmora {
namespace {

constexpr size_t kLongestShortCookie = 254;

void CopyText(char* field, size_t size, const std::string& text) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

}  // namespace

CookieRecord MakeCookieRecord(const std::string& url, const std::string& name, const std::string& value,
                              const std::string& domain) {
  CookieRecord record{};
  CopyText(record.url, sizeof(record.url), url);
  CopyText(record.name, sizeof(record.name), name);
  CopyText(record.value, sizeof(record.value), value);
  CopyText(record.domain, sizeof(record.domain), domain);
  CopyText(record.path, sizeof(record.path), "/");
  return record;
}

bool NeedsLongCookieRecord(const std::string& value) { return value.size() > kLongestShortCookie; }

LongCookieRecord MakeLongCookieRecord(const std::string& url, const std::string& name, const std::string& domain,
                                      const std::string& value) {
  LongCookieRecord record{};
  record.size = kLongCookieRecordSize;
  CopyText(record.url, sizeof(record.url), url);
  CopyText(record.name, sizeof(record.name), name);
  CopyText(record.domain, sizeof(record.domain), domain);
  CopyText(record.path, sizeof(record.path), "/");
  record.value_length = static_cast<uint32_t>(value.size());
  record.value = value.data();
  return record;
}

}  // namespace velmora
