#include "providers/json_text.h"

#include <exception>
#include <memory>
#include <string>

#include <json/reader.h>

namespace velmora {

namespace {

bool Parse(const char* text, size_t length, bool strict, Json::Value* value) {
  if (!text) return false;
  try {
    Json::CharReaderBuilder builder;
    if (strict) {
      builder["allowComments"] = false;
      builder["failIfExtra"] = true;
    }
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text, text + length, value, &errors);
  } catch (const std::exception&) {
    return false;  // nesting too deep, out of memory
  }
}

}  // namespace

bool ParseJsonText(const char* text, size_t length, Json::Value* value) {
  return Parse(text, length, /*strict=*/false, value);
}

bool ParseStrictJsonText(const char* text, size_t length, Json::Value* value) {
  return Parse(text, length, /*strict=*/true, value);
}

}  // namespace velmora
