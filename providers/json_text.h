// Reading JSON texts the way the providers need it: comments allowed, any value at the root, and
// the reader stops after the first complete value (trailing bytes are not looked at).
#pragma once

#include <cstddef>

#include <json/value.h>

namespace velmora {

// False for text that does not hold a JSON value; never throws.
bool ParseJsonText(const char* text, size_t length, Json::Value* value);

// The same for text that must be exactly one JSON value: no comments, and nothing after the value
// but white space. For text that is handed on as it stands (the page runs it as script).
bool ParseStrictJsonText(const char* text, size_t length, Json::Value* value);

}  // namespace velmora
