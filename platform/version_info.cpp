#include "platform/version_info.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/module_path.h"
#include "platform/scoped_handle.h"
#include "platform/system_functions.h"
#include "platform/text.h"

namespace velmora {
namespace {

// GetFileVersionText refuses larger resources; the other readers only guard against absurd sizes.
constexpr DWORD kMaxVersionTextResource = 16383;
constexpr DWORD kMaxVersionResource = 16u << 20;

// The three Version.dll entry points, either the ones linked in or the ones of a loaded copy.
struct VersionApi {
  decltype(&::GetFileVersionInfoSizeW) get_size = nullptr;
  decltype(&::GetFileVersionInfoW) get_info = nullptr;
  decltype(&::VerQueryValueW) query = nullptr;
};

VersionApi LinkedVersionApi() { return {&::GetFileVersionInfoSizeW, &::GetFileVersionInfoW, &::VerQueryValueW}; }

// The whole version resource of `path`; empty when there is none or it exceeds `max_bytes`.
std::vector<BYTE> ReadVersionResource(const VersionApi& api, const std::wstring& path, DWORD max_bytes) {
  if (path.empty()) return {};
  DWORD ignored = 0;
  const DWORD size = api.get_size(path.c_str(), &ignored);
  if (size == 0 || size > max_bytes) return {};
  std::vector<BYTE> data(size);
  if (!api.get_info(path.c_str(), 0, size, data.data())) return {};
  return data;
}

// A value inside the resource. `length` is what the query reports (bytes for binary values,
// characters for strings); `available` is how many bytes remain before the end of the copy, the
// limit on what is read whatever the reported length.
struct Block {
  const BYTE* bytes = nullptr;
  size_t length = 0;
  size_t available = 0;
};

Block QueryBlock(const VersionApi& api, const std::vector<BYTE>& data, const wchar_t* sub_block) {
  if (data.empty()) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!api.query(data.data(), sub_block, &value, &length) || value == nullptr) return {};
  const BYTE* bytes = static_cast<const BYTE*>(value);
  const BYTE* end = data.data() + data.size();
  if (bytes < data.data() || bytes >= end) return {};
  return {bytes, length, static_cast<size_t>(end - bytes)};
}

std::wstring FixedVersionText(const VersionApi& api, const std::vector<BYTE>& data) {
  const Block block = QueryBlock(api, data, L"\\");
  if (block.length < sizeof(VS_FIXEDFILEINFO) || block.available < sizeof(VS_FIXEDFILEINFO)) return {};
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, block.bytes, sizeof(info));
  return FormatW(L"%d.%d.%d.%d", HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                 HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS));
}

std::wstring DescriptionForTranslation(const VersionApi& api, const std::vector<BYTE>& data, WORD language,
                                       WORD code_page) {
  const std::wstring key = FormatW(L"\\StringFileInfo\\%04x%04x\\FileDescription", language, code_page);
  const Block block = QueryBlock(api, data, key.c_str());
  // The reported length counts characters, the terminator usually included but not always.
  const size_t chars = std::min(block.length, block.available / sizeof(wchar_t));
  if (chars == 0) return {};
  std::wstring text(chars, L'\0');
  std::memcpy(&text[0], block.bytes, text.size() * sizeof(wchar_t));
  text.resize(std::wcslen(text.c_str()));
  return text;
}

}  // namespace

std::wstring GetFileVersionText(const std::wstring& path) {
  try {
    const VersionApi api = LinkedVersionApi();
    return FixedVersionText(api, ReadVersionResource(api, path, kMaxVersionTextResource));
  } catch (...) {
    return {};
  }
}

std::wstring GetFileVersionOrZero(const std::wstring& path) {
  try {
    const std::wstring target = path.empty() ? GetModulePath(nullptr) : path;
    if (target.empty()) return kZeroVersion;
    const ScopedLibrary library(LoadSystemLibrary(L"Version.dll"));
    if (!library) return kZeroVersion;
    VersionApi api;
    api.get_size = GetProcAddressAs<decltype(api.get_size)>(library.get(), "GetFileVersionInfoSizeW");
    api.get_info = GetProcAddressAs<decltype(api.get_info)>(library.get(), "GetFileVersionInfoW");
    api.query = GetProcAddressAs<decltype(api.query)>(library.get(), "VerQueryValueW");
    if (!api.get_size || !api.get_info || !api.query) return kZeroVersion;
    std::wstring text = FixedVersionText(api, ReadVersionResource(api, target, kMaxVersionResource));
    return text.empty() ? kZeroVersion : text;
  } catch (...) {
    return kZeroVersion;
  }
}

std::wstring GetFileDescription(const std::wstring& path) {
  try {
    const VersionApi api = LinkedVersionApi();
    const std::vector<BYTE> data = ReadVersionResource(api, path, kMaxVersionResource);
    const Block table = QueryBlock(api, data, L"\\VarFileInfo\\Translation");
    // Each entry is a language id followed by a code page, two WORDs.
    const size_t count = std::min(table.length, table.available) / (2 * sizeof(WORD));
    if (count == 0) return {};
    std::vector<WORD> entries(count * 2);
    std::memcpy(entries.data(), table.bytes, entries.size() * sizeof(WORD));

    const LANGID system_language = ::GetSystemDefaultLangID();
    for (size_t i = 0; i < count; ++i) {
      if (entries[2 * i] != system_language) continue;
      std::wstring text = DescriptionForTranslation(api, data, entries[2 * i], entries[2 * i + 1]);
      if (!text.empty()) return text;
      break;
    }
    for (size_t i = 0; i < count; ++i) {
      std::wstring text = DescriptionForTranslation(api, data, entries[2 * i], entries[2 * i + 1]);
      if (!text.empty()) return text;
    }
    return {};
  } catch (...) {
    return {};
  }
}

}  // namespace velmora
