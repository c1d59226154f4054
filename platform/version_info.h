// File versions and descriptions read from version resources (comparing them: version_compare.h).
// Every function here is safe on any thread and answers failure with an empty text (or "0.0.0.0");
// none throws.
#pragma once

#include <string>

namespace velmora {

// The file version of `path` as "a.b.c.d". Empty when `path` is empty, the file has no version
// resource, or the resource is larger than 16383 bytes.
std::wstring GetFileVersionText(const std::wstring& path);

// What GetFileVersionOrZero answers on failure.
inline constexpr wchar_t kZeroVersion[] = L"0.0.0.0";

// The same text for `path`, or for this program's own executable when `path` is empty;
// kZeroVersion on any failure. Reads through the system directory's Version.dll, loaded for the call.
std::wstring GetFileVersionOrZero(const std::wstring& path = std::wstring());

// The "FileDescription" string of the file's version resource: the system default language's
// translation first, then every translation in table order; empty when none has one.
std::wstring GetFileDescription(const std::wstring& path);

}  // namespace velmora
