#include "bridge/page_arguments.h"

#include <cmath>
#include <limits>
#include <memory>

#include <json/reader.h>

#include "platform/text.h"

namespace velmora {
namespace {

// Deep enough for any argument object the page sends; a deeper text is refused before the
// parser's recursion could exhaust the stack.
constexpr int kMaxJsonDepth = 64;

}  // namespace

bool ParsePageJson(const std::string& text, Json::Value* out) {
  try {
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = kMaxJsonDepth;
    builder["collectComments"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, nullptr)) return false;
    *out = std::move(value);
    return true;
  } catch (...) {
    return false;  // the reader throws when the depth limit is passed
  }
}

PageArguments::PageArguments(const char* text) {
  if (!text) return;
  Json::Value array;
  if (!ParsePageJson(text, &array) || !array.isArray() || array.size() < 2 || !array[1].isString()) return;
  Json::Value object;
  if (!ParsePageJson(array[1].asString(), &object) || !object.isObject()) return;
  object_ = std::move(object);
  has_object_ = true;
}

const Json::Value& PageArguments::Member(const char* key) const {
  static const Json::Value kNull;
  if (!has_object_) return kNull;
  const Json::Value* found = object_.find(key, key + std::char_traits<char>::length(key));
  return found ? *found : kNull;
}

std::wstring PageArguments::String(const char* key) const {
  const Json::Value& value = Member(key);
  return value.isString() ? Utf8ToWide(value.asString()) : std::wstring();
}

int PageArguments::Integer(const char* key) const {
  const Json::Value& value = Member(key);
  if (value.isInt()) return value.asInt();
  if (!value.isNumeric()) return 0;
  const double number = value.asDouble();
  if (std::isnan(number)) return 0;
  if (number >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (number <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(number);
}

bool PageArguments::Boolean(const char* key) const {
  const Json::Value& value = Member(key);
  if (value.isBool()) return value.asBool();
  if (value.isNumeric()) return value.asDouble() != 0.0;
  if (!value.isString()) return false;
  const std::wstring text = AsciiLower(Utf8ToWide(value.asString()));
  if (text == L"true") return true;
  if (text.empty() || text == L"false") return false;
  // A decimal number: an optional sign, digits, and a fraction after "." (digits on at least one
  // side), nothing else; true when any digit is not zero.
  const size_t first = text[0] == L'-' || text[0] == L'+' ? 1 : 0;
  const size_t point = text.find(L'.', first);
  const std::wstring digits =
      point == std::wstring::npos ? text.substr(first) : text.substr(first, point - first) + text.substr(point + 1);
  if (digits.empty() || digits.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
  return digits.find_first_not_of(L'0') != std::wstring::npos;
}

}  // namespace velmora
