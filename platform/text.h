// Text helpers shared by every layer: ASCII case folding, UTF-8 <-> UTF-16 conversion,
// and printf-style formatting into std::wstring.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Folds A-Z only. Windows file names and our switch names compare this way; folding other
// letters would make "İ" and "i" equal on some locales and not others.
wchar_t AsciiToLower(wchar_t c);
std::wstring AsciiLower(std::wstring_view text);
std::wstring AsciiUpper(std::wstring_view text);
bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b);
bool StartsWithIgnoreAsciiCase(std::wstring_view text, std::wstring_view prefix);

// Removes spaces, tabs, CR and LF from both ends.
std::wstring_view TrimWhitespace(std::wstring_view text);

// Conversions through the system's UTF-8 code page; invalid input converts with replacement
// characters, never fails.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

// swprintf into a growing buffer. Never truncates.
std::wstring FormatW(const wchar_t* format, ...);

}  // namespace velmora
