#include "standins/browser_shell/page_files.h"

#include <windows.h>

#include <cstdint>

namespace standin {
namespace {

constexpr size_t kMaxFileBytes = 64 * 1024 * 1024;

uint32_t Le(const std::string& data, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(data[at + i])) << (8 * i);
  return value;
}

std::wstring Widen(std::string_view text) {
  const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

}  // namespace

bool IsSafeRelativePath(std::string_view path) {
  if (path.empty()) return false;
  bool segment_start = true;
  for (const char c : path) {
    if (c == '/') {
      if (segment_start) return false;  // empty segment or leading '/'
      segment_start = true;
      continue;
    }
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                         c == '-' || c == '_';
    if (!allowed || (segment_start && c == '.')) return false;
    segment_start = false;
  }
  return !segment_start;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  std::optional<std::string> content;
  if (::GetFileSizeEx(file, &size) && size.QuadPart >= 0 && static_cast<uint64_t>(size.QuadPart) <= kMaxFileBytes) {
    std::string data(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (data.empty() || (::ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr) && read == data.size())) {
      content = std::move(data);
    }
  }
  ::CloseHandle(file);
  return content;
}

std::optional<PageFiles> PageFiles::FromPackage(const std::wstring& zip_path) {
  const std::optional<std::string> zip = ReadWholeFile(zip_path);
  if (!zip || zip->size() < 22) return std::nullopt;
  const std::string& data = *zip;
  // The end-of-directory record is the last 22 bytes plus a comment of at most 65535 bytes.
  size_t end = std::string::npos;
  const size_t lowest = data.size() > 22 + 65535 ? data.size() - 22 - 65535 : 0;
  for (size_t at = data.size() - 22 + 1; at-- > lowest;) {
    if (Le(data, at, 4) == 0x06054b50) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) return std::nullopt;
  const size_t count = Le(data, end + 10, 2);
  size_t at = Le(data, end + 16, 4);
  PageFiles files;
  for (size_t i = 0; i < count; ++i) {
    if (at + 46 > data.size() || Le(data, at, 4) != 0x02014b50) return std::nullopt;
    const uint32_t method = Le(data, at + 10, 2), packed = Le(data, at + 20, 4), size = Le(data, at + 24, 4);
    const size_t name_length = Le(data, at + 28, 2), extra = Le(data, at + 30, 2), comment = Le(data, at + 32, 2);
    const size_t local = Le(data, at + 42, 4);
    if (at + 46 + name_length > data.size()) return std::nullopt;
    std::string name = data.substr(at + 46, name_length);
    at += 46 + name_length + extra + comment;
    if (!name.empty() && name.back() == '/') continue;  // a folder entry
    if (method != 0 || packed != size) return std::nullopt;  // only stored entries are read
    if (local + 30 > data.size() || Le(data, local, 4) != 0x04034b50) return std::nullopt;
    const size_t start = local + 30 + Le(data, local + 26, 2) + Le(data, local + 28, 2);
    if (start > data.size() || data.size() - start < size) return std::nullopt;
    files.package_[std::move(name)] = data.substr(start, size);
  }
  return files;
}

PageFiles PageFiles::FromFolder(const std::wstring& folder) {
  PageFiles files;
  files.folder_ = folder;
  return files;
}

std::optional<std::string> PageFiles::Read(std::string_view relative) const {
  if (!IsSafeRelativePath(relative)) return std::nullopt;
  if (folder_.empty()) {
    const auto found = package_.find(relative);
    if (found == package_.end()) return std::nullopt;
    return found->second;
  }
  std::wstring path = folder_ + L"\\" + Widen(relative);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return ReadWholeFile(path);
}

}  // namespace standin
