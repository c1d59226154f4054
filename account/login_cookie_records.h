// The records in which a login cookie is handed to the browser shell's factory: kind 1 always,
// kind 7 as well for a value too long for kind 1. The layouts are the shell's, so they carry
// size and offset checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// Text fields are zero-terminated UTF-8, the rest of each array zero.
struct CookieRecord {  // kind 1
  char url[2048];
  char name[256];
  char value[256];
  char domain[256];
  char path[256];
  char reserved[256];
};
static_assert(sizeof(CookieRecord) == 3328, "kind 1 record");

struct LongCookieRecord {  // kind 7: for values longer than 254 characters
  uint32_t size;  // kLongCookieRecordSize
  char url[2048];
  char name[256];
  char domain[256];
  char path[256];
  char reserved[256];
  uint32_t reserved2;
  uint32_t value_length;  // bytes at `value`, not terminated
  const char* value;
};
constexpr uint32_t kLongCookieRecordSize = 3088;
#if !defined(_WIN64)
static_assert(sizeof(LongCookieRecord) == 3088, "kind 7 record");
static_assert(offsetof(LongCookieRecord, value_length) == 3080, "kind 7 value length");
static_assert(offsetof(LongCookieRecord, value) == 3084, "kind 7 value pointer");
#endif

// The kind 1 record for one cookie, path "/". Texts longer than their field are cut (always
// terminated). Pure.
CookieRecord MakeCookieRecord(const std::string& url, const std::string& name, const std::string& value,
                              const std::string& domain);

// Whether `value` needs the kind 7 record as well: longer than 254 characters. Pure.
bool NeedsLongCookieRecord(const std::string& value);

// The kind 7 record; it points into `value`, which the caller keeps alive while the record is in
// use. Pure.
LongCookieRecord MakeLongCookieRecord(const std::string& url, const std::string& name, const std::string& domain,
                                      const std::string& value);

}  // namespace velmora
