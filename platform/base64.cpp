#include "platform/base64.h"

#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <limits>

namespace velmora {

std::string Base64Encode(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<DWORD>::max() / 2) return {};
  const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
  const DWORD size = static_cast<DWORD>(bytes.size());
  constexpr DWORD kFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
  DWORD chars = 0;  // on the sizing call: characters including the terminating zero
  if (!::CryptBinaryToStringA(data, size, kFlags, nullptr, &chars) || chars == 0) return {};
  std::string text(chars, '\0');
  if (!::CryptBinaryToStringA(data, size, kFlags, text.data(), &chars)) return {};
  text.resize(std::min<size_t>(chars, text.size()));
  // Codecs that ignore CRYPT_STRING_NOCRLF break the text every 64 characters.
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }),
             text.end());
  return text;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.empty()) return std::string();
  if (text.size() > std::numeric_limits<DWORD>::max()) return std::nullopt;
  const DWORD chars = static_cast<DWORD>(text.size());
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text.data(), chars, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)) {
    return std::nullopt;
  }
  std::string bytes(size, '\0');
  if (size > 0 &&
      !::CryptStringToBinaryA(text.data(), chars, CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(bytes.data()), &size,
                              nullptr, nullptr)) {
    return std::nullopt;
  }
  bytes.resize(std::min<size_t>(size, bytes.size()));
  return bytes;
}

}  // namespace velmora
