// Base64 (standard alphabet, "=" padding, no line breaks) through the system codec in crypt32.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The Base64 text of `bytes`, one line. Empty bytes give the empty text; so does a codec failure.
std::string Base64Encode(std::string_view bytes);

// The bytes of a Base64 text; the empty text gives no bytes. nullopt when the codec refuses the
// text.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace velmora
