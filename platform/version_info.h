// File versions and descriptions read from version resources, and comparison of dotted versions.
// Every function here is safe on any thread and answers failure with an empty text (or "0.0.0.0");
// none throws.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The file version of `path` as "a.b.c.d". Empty when `path` is empty, the file has no version
// resource, or the resource is larger than 16383 bytes.
std::wstring GetFileVersionText(const std::wstring& path);

// The same text for `path`, or for this program's own executable when `path` is empty; "0.0.0.0"
// on any failure. Reads through the system directory's Version.dll, loaded for the call.
std::wstring GetFileVersionOrZero(const std::wstring& path = std::wstring());

// True when `left` stands in relation `op` ("<", "<=", ">", ">=", "=", "!=") to `right`.
// Up to four dotted decimal fields, missing ones 0; the first and third fields weigh 16 bits
// above the second and fourth, which count by their low 16 bits only; the first pair is compared
// as a signed 32-bit number, the second as unsigned. An empty side or an unknown operator gives
// false. Pure.
bool CompareVersions(std::wstring_view left, std::wstring_view right, std::wstring_view op);

// The "FileDescription" string of the file's version resource: the system default language's
// translation first, then every translation in table order; empty when none has one.
std::wstring GetFileDescription(const std::wstring& path);

}  // namespace velmora
