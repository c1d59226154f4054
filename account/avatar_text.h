// The avatar text sent to the page: the signed-in account's avatar image file in Base64, built
// once per sign-in and kept until the sign-out.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Avatar files larger than this are not sent (the text goes into one page script).
inline constexpr uint64_t kMaxAvatarFileBytes = 8u << 20;

// Base64 with the standard alphabet, no "=" padding, no line breaks. Pure.
std::string EncodeBase64NoPadding(std::string_view bytes);

// The whole file `path`, or nullopt when it is missing, unreadable or over kMaxAvatarFileBytes.
std::optional<std::string> ReadAvatarFile(const std::wstring& path);

class CAvatarText {
 public:
  // The process-wide avatar text.
  static CAvatarText& Instance();

  // The kept text; when it is empty, built anew from the file `head_image` (left empty when
  // that path is empty or the file cannot be read). Any thread.
  std::string Get(const std::wstring& head_image);
  // Forgets the text (sign-out). Any thread.
  void Clear();

 private:
  std::mutex lock_;
  std::string text_;
};

}  // namespace velmora
