#include "providers/icon_cache.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <utility>

#include "platform/native_system_path.h"
#include "platform/path_text.h"
#include "platform/process_facts.h"
#include "platform/text.h"

namespace velmora {
namespace {

std::wstring WideLower(std::wstring_view text) {
  std::wstring lower(text);
  if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  return lower;
}

void CutBefore(std::wstring& text, std::wstring_view marker) {
  const size_t at = text.find(marker);
  if (at != std::wstring::npos) text.resize(at);
}

void DropThrough(std::wstring& text, std::wstring_view marker) {
  const size_t at = text.find(marker);
  if (at != std::wstring::npos && at + marker.size() < text.size()) text.erase(0, at + marker.size());
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// ExtractIconW answers 1 for a file that is not a program or icon file, not an icon.
HICON ExtractOne(const std::wstring& path, int index) {
  const HICON icon = ::ExtractIconW(nullptr, path.c_str(), static_cast<UINT>(index));
  return reinterpret_cast<UINT_PTR>(icon) == 1 ? nullptr : icon;
}

// The icon that the file's type gives, for a file whose own resources gave none.
HICON IconByFileType(const std::wstring& path, int index, int size) {
  const wchar_t* found = ::PathFindExtensionW(path.c_str());
  std::wstring extension = found && *found ? found : (IsFolder(path) ? L"?dir" : L"?RES");
  HICON icon = nullptr;
  if (index == -3) {
    if (EqualsIgnoreAsciiCase(extension, L".exe")) {
      if (size == 32) icon = ExtractOne(path, 0);
    } else if (StartsWithIgnoreAsciiCase(extension, L".ICO") || StartsWithIgnoreAsciiCase(extension, L"?RES") ||
               StartsWithIgnoreAsciiCase(extension, L".ime")) {
      if (size == 32) icon = ExtractOne(path, 0);
      if (!icon) {
        icon = static_cast<HICON>(::LoadImageW(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
      }
    }
  } else {
    // A negative index is a resource id, which PrivateExtractIconsW has already looked for; given
    // -1, ExtractIconW answers the number of icons, not one. The file's first icon stands in.
    icon = ExtractOne(path, index < 0 ? 0 : index);
  }
  if (!icon) {
    SHFILEINFOW info = {};
    const UINT flags = SHGFI_ICON | (size == 32 ? 0 : SHGFI_SMALLICON);
    if (::SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), flags)) icon = info.hIcon;
  }
  return icon;
}

HICON ExtractSized(const std::wstring& path, int index, int size) {
  HICON icon = nullptr;
  const UINT count = ::PrivateExtractIconsW(path.c_str(), index, size, size, &icon, nullptr, 1, LR_LOADFROMFILE);
  if (count == 0 || count == 0xFFFFFFFF || !icon) icon = IconByFileType(path, index, size);
  return icon;
}

}  // namespace

bool IsIconPathAllowed(std::wstring_view path, const std::function<bool(const std::wstring&)>& is_local_drive) {
  if (path.size() < 3 || path[1] != L':' || !IsPathSeparator(path[2])) return false;  // servers, devices, relative
  const wchar_t letter = path[0] | 0x20;
  return letter >= L'a' && letter <= L'z' && is_local_drive && is_local_drive(std::wstring(path.substr(0, 2)));
}

CIconCache::CIconCache(std::function<bool(const std::wstring&)> is_local_drive)
    : is_local_drive_(DriveTestAskingOnce(std::move(is_local_drive))) {}

std::wstring CleanIconSource(std::wstring_view source) {
  std::wstring text = WideLower(source);
  DropThrough(text, L"rundll32.exe ");
  DropThrough(text, L"rundll32 ");
  CutBefore(text, L" //");
  CutBefore(text, L" --");
  const size_t dash = text.find(L" -");
  if (dash != std::wstring::npos && text.find(L"- \x526F\x672C") == std::wstring::npos && dash > 4 &&
      text[dash - 4] == L'.') {
    text.resize(dash);
  }
  CutBefore(text, L" %");
  CutBefore(text, L" ,");
  CutBefore(text, L",");
  return std::wstring(TrimWhitespace(text));
}

std::wstring NormalizeIconPath(std::wstring_view path) {
  std::wstring out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c == L'"') continue;
    const bool separator = c == L'\\' || c == L'/';
    // A leading "\\" of a server path stays.
    if (separator && out.size() > 1 && (out.back() == L'\\' || out.back() == L'/')) continue;
    out.push_back(c);
  }
  return out;
}

HICON CIconCache::GetIcon(std::wstring_view source, int index) {
  std::pair<std::wstring, int> key(CleanIconSource(source), index);
  if (const auto found = entries_.find(key); found != entries_.end()) return found->second.medium.get();
  const std::wstring normalized = NormalizeIconPath(key.first);
  if (!IsIconPathAllowed(normalized, is_local_drive_)) return nullptr;
  // A program in the system folder shows its own icon, not its 32-bit twin's (or none).
  const std::wstring path = NativeSystemPath(normalized);
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
  Entry entry;
  entry.large.reset(ExtractSized(path, index, 48));
  entry.medium.reset(ExtractSized(path, index, 32));
  entry.small.reset(ExtractSized(path, index, 16));
  return entries_.emplace(std::move(key), std::move(entry)).first->second.medium.get();
}

}  // namespace velmora
