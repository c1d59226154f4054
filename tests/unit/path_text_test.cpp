#include "platform/path_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(PathText, JoinAndTrimTakeEitherSeparator) {
  const struct { const wchar_t* base; const wchar_t* more; const wchar_t* joined; } joins[] = {
      {L"C:\\a", L"b.dll", L"C:\\a\\b.dll"},
      {L"C:\\a\\", L"\\/b.dll", L"C:\\a\\b.dll"},  // never two separators, never an absolute `more`
      {L"C:\\a/", L"b.dll", L"C:\\a/b.dll"},
      {L"C:\\a", L"", L"C:\\a\\"},
      {L"", L"\\b.dll", L"b.dll"},
  };
  for (const auto& c : joins) EXPECT_EQ(JoinPath(c.base, c.more), c.joined) << c.base << " + " << c.more;
  EXPECT_EQ(std::wstring(TrimTrailingSeparators(L"/C:\\a\\/")), L"/C:\\a");
  EXPECT_EQ(std::wstring(TrimLeadingSeparators(L"\\/a\\")), L"a\\");
  EXPECT_EQ(std::wstring(TrimTrailingSeparators(L"\\/")), L"");
}

TEST(PathText, ComparisonFoldsEveryLetterNotJustAscii) {
  const struct { const wchar_t* path; const wchar_t* prefix; bool starts; bool equal; } cases[] = {
      {L"C:\\Suite\\a.dll", L"c:\\SUITE", true, false},
      {L"C:\\\u00dcber", L"c:\\\u00fcBER", true, true},
      {L"NetCore.dll", L"NETCORE.DLL", true, true},
      {L"C:\\Su", L"C:\\Suite", false, false},  // a prefix longer than the path
      {L"C:\\a", L"", false, false},            // nothing starts with an empty folder
      {L"", L"", false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathStartsWithIgnoreCase(c.path, c.prefix), c.starts) << c.path << " / " << c.prefix;
    EXPECT_EQ(PathEqualsIgnoreCase(c.path, c.prefix), c.equal) << c.path << " / " << c.prefix;
  }
}

TEST(PathText, RemovingElementsStopsAtTheRoot) {
  const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\x";  // beyond MAX_PATH
  const struct { std::wstring path; unsigned count; std::wstring left; } cases[] = {
      {L"C:\\a\\b\\c.exe", 2, L"C:\\a"},
      {L"C:\\a\\b", 9, L"C:\\"},
      {deep, 1, L"C:\\" + std::wstring(300, L'd')},
      {L"", 1, L""},
  };
  for (auto c : cases) {
    RemoveTrailingElements(c.path, c.count);
    EXPECT_EQ(c.path, c.left);
  }
}

TEST(AppendPathComponents, ClimbingStopsAtTheRoot) {
  const struct { const wchar_t* base; const wchar_t* relative; const wchar_t* joined; } cases[] = {
      {L"C:\\setup.exe", L"..\\..\\..\\components\\", L"C:\\components\\"},
      {L"C:\\a\\b", L"..\\..\\..", L"C:\\"},
      {L"\\\\server\\share\\setup.exe", L"..\\..\\x", L"\\\\server\\share\\x"},
      {L"C:/a/./b//c", L"..\\d", L"C:\\a\\b\\d"},
      {L"a\\b", L"..\\..\\..\\c", L"..\\c"},  // a relative path keeps what it cannot climb
  };
  for (const auto& c : cases) EXPECT_EQ(AppendPathComponents(c.base, c.relative), c.joined) << c.base;
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(CanonicalLocalPath, WhatTheSystemWillOpenForLocalPathsOnly) {
  const struct {
    const wchar_t* path;
    const wchar_t* canonical;  // null: refused
  } cases[] = {
      {L"C:\\Suite\\Utils\\x.exe", L"C:\\Suite\\Utils\\x.exe"},
      {L"C:/Suite/Utils/x.exe", L"C:\\Suite\\Utils\\x.exe"},
      // A "/" after the folder name is a separator too: this leaves the folder.
      {L"C:\\Suite/../Evil/x.exe", L"C:\\Evil\\x.exe"},
      {L"C:\\Suite\\.\\Utils\\..\\x.exe", L"C:\\Suite\\x.exe"},
      {L"C:\\..\\..\\x.exe", L"C:\\x.exe"},
      {L"\\\\server\\share\\x.exe", nullptr},
      {L"//server/share/x.exe", nullptr},
      {L"\\\\?\\C:\\Suite\\x.exe", nullptr},
      {L"\\\\.\\C:\\Suite\\x.exe", nullptr},
      {L"\\\\.\\pipe\\x", nullptr},
      {L"C:x.exe", nullptr},
      {L"x.exe", nullptr},
      {L"\\Suite\\x.exe", nullptr},
      {L"", nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<std::wstring> canonical = CanonicalLocalPath(c.path);
    if (c.canonical) {
      EXPECT_EQ(canonical, std::optional<std::wstring>(c.canonical)) << c.path;
    } else {
      EXPECT_EQ(canonical, std::nullopt) << c.path;
    }
  }
  EXPECT_EQ(CanonicalLocalPath(L"C:\\" + std::wstring(MAX_PATH, L'x')), std::nullopt);
  EXPECT_EQ(CanonicalLocalPath(std::wstring(L"C:\\a\0b", 6)), std::nullopt);
}

}  // namespace
}  // namespace velmora
