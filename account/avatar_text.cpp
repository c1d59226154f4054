#include "account/avatar_text.h"

#include <windows.h>

#include "platform/scoped_handle.h"

namespace velmora {

std::string EncodeBase64NoPadding(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                           static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    out += kAlphabet[group >> 6 & 63];
    out += kAlphabet[group & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    if (rest == 2) out += kAlphabet[group >> 6 & 63];
  }
  return out;
}

std::optional<std::string> ReadAvatarFile(const std::wstring& path) {
  if (path.empty()) return std::nullopt;
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kMaxAvatarFileBytes) {
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t filled = 0;
  while (filled < bytes.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled), &read, nullptr)) {
      return std::nullopt;
    }
    if (read == 0) break;  // the file shrank meanwhile: what was there is the image
    filled += read;
  }
  bytes.resize(filled);
  return bytes;
}

CAvatarText& CAvatarText::Instance() {
  static CAvatarText* const instance = new CAvatarText();
  return *instance;
}

std::string CAvatarText::Get(const std::wstring& head_image) {
  std::lock_guard<std::mutex> hold(lock_);
  if (text_.empty()) {
    if (std::optional<std::string> image = ReadAvatarFile(head_image)) text_ = EncodeBase64NoPadding(*image);
  }
  return text_;
}

void CAvatarText::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  text_.clear();
}

}  // namespace velmora
