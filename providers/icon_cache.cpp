#include "providers/icon_cache.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "platform/native_system_path.h"
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
  // A program in the system folder shows its own icon, not its 32-bit twin's (or none).
  const std::wstring path = NativeSystemPath(NormalizeIconPath(key.first));
  if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
  Entry entry;
  entry.large.reset(ExtractSized(path, index, 48));
  entry.medium.reset(ExtractSized(path, index, 32));
  entry.small.reset(ExtractSized(path, index, 16));
  return entries_.emplace(std::move(key), std::move(entry)).first->second.medium.get();
}

}  // namespace velmora
