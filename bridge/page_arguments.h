// The arguments of a page call: a JSON array whose element 1 is a string holding the JSON text of
// the argument object. Decoded afresh for each command; anything malformed reads as absent.
// Never throws.
#pragma once

#include <string>

#include <json/value.h>

namespace velmora {

class PageArguments {
 public:
  // `text` may be null (no arguments text).
  explicit PageArguments(const char* text);

  // Whether an argument object was read.
  bool has_object() const { return has_object_; }
  // A member that is a JSON string, as UTF-16; anything else reads as "".
  std::wstring String(const char* key) const;
  // A member that is a JSON number, as an integer (truncated, clamped to int); anything else 0.
  int Integer(const char* key) const;
  // A member read as a switch: a boolean as it is; a number true when not zero; a string true
  // when "true" (any case) or a non-zero decimal number; anything else false.
  bool Boolean(const char* key) const;
  // The member itself (null when absent or when nothing was read).
  const Json::Value& Member(const char* key) const;

 private:
  Json::Value object_;
  bool has_object_ = false;
};

// Parses `text` as JSON with the page's limits (depth, no exceptions). False when it is not JSON.
bool ParsePageJson(const std::string& text, Json::Value* out);

}  // namespace velmora
