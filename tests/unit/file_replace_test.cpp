#include "providers/file_replace.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "platform/process_facts.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "tests/e2e/child_process.h"
#include "tests/support/file_tree.h"

namespace velmora {
namespace {

using test::ReadAll;

// Files in `folder` (without "." and ".."), long names included.
int CountEntries(const std::wstring& folder) {
  int count = 0;
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do count += std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..";
  while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return count;
}

// Each case starts from a folder holding the target with "old" in it (unless the case removes it),
// replaces it with "new", and looks at what is left: the old content or the new one, never a
// part, and never a temporary file beside it.
TEST(ReplaceFileContents, TheTargetIsWholeOldOrWholeNewAndNoTemporaryFileStays) {
  const struct {
    const char* name;
    std::function<ScopedFileHandle(const std::wstring& target)> arrange;
    std::optional<bool> replaced;  // none: either, as long as it is whole
    int own_entries = 0;  // what the case itself put beside the target
  } cases[] = {
      {"an existing file", [](const std::wstring&) { return ScopedFileHandle(); }, true},
      {"no file yet",
       [](const std::wstring& target) {
         ::DeleteFileW(target.c_str());
         return ScopedFileHandle();
       },
       true},
      {"a read-only file",
       [](const std::wstring& target) {
         ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
         return ScopedFileHandle();
       },
       std::nullopt},  // Windows refuses to replace it, Wine replaces it
      {"a reader holding it without delete sharing",
       [](const std::wstring& target) {
         return ScopedFileHandle(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
       },
       false},
      // A name the user could guess and take beforehand (a file, or a link to another) is not the
      // one used: the planted file stays as it is.
      {"a file planted under a guessable temporary name",
       [](const std::wstring& target) {
         std::ofstream(FormatW(L"%ls.%lu.tmp", target.c_str(), ::GetCurrentThreadId()).c_str()) << "planted";
         return ScopedFileHandle();
       },
       true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScopedTempFolder folder;
    const std::wstring target = folder.path() + L"\\LastWeather.dat";
    std::ofstream(target.c_str(), std::ios::binary) << "old";
    bool existed_before = false, replaced = false;
    {
      const ScopedFileHandle hold = c.arrange(target);
      existed_before = ::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
      replaced = ReplaceFileContents(target, "new", 3);
    }
    if (c.replaced) {
      EXPECT_EQ(replaced, *c.replaced);
    }
    EXPECT_EQ(ReadAll(target), replaced ? "new" : (existed_before ? "old" : ""));
    EXPECT_EQ(CountEntries(folder.path()), (replaced || existed_before ? 1 : 0) + c.own_entries);
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(ReplaceFileContents, RefusesWhatCannotBeAFileAndWritesEmptyContent) {
  test::ScopedTempFolder folder;
  EXPECT_FALSE(ReplaceFileContents(L"", "x", 1));
  EXPECT_FALSE(ReplaceFileContents(folder.path() + L"\\missing\\LastWeather.dat", "x", 1));
  EXPECT_FALSE(ReplaceFileContents(folder.path(), "x", 1));  // a folder is no file to replace
  EXPECT_EQ(CountEntries(folder.path()), 0);
  const std::wstring target = folder.path() + L"\\empty.dat";
  std::ofstream(target.c_str(), std::ios::binary) << "old";
  EXPECT_TRUE(ReplaceFileContents(target, "", 0));
  EXPECT_EQ(ReadAll(target), "");
}

// Elevated (every process under Wine), nothing is written through a link on the way: Wine makes
// the user's Desktop a link to the Linux home folder.
TEST(ReplaceFileContents, AnElevatedWriteNeverGoesThroughALink) {
  ASSERT_TRUE(IsProcessElevated()) << "the tests run elevated, as every process does under Wine";
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, /*fCreate=*/TRUE));
  const std::wstring name = FormatW(L"VelmoraReplace%lu", ::GetCurrentProcessId());
  EXPECT_FALSE(ReplaceFileContents(std::wstring(desktop) + L"\\" + name + L".dat", "new", 3));
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileW((std::wstring(desktop) + L"\\" + name + L"*").c_str(), &entry);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "left behind: " << WideToUtf8(entry.cFileName);
  if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
}

// A data folder as long as paths get: the target's own path fits MAX_PATH, and so must its
// replacement, although the temporary name beside it does not.
TEST(ReplaceFileContents, ATargetAtThePathLimitIsReplaced) {
  test::ScopedTempFolder base;
  std::wstring folder = base.path() + L"\\";
  folder.append(MAX_PATH - 1 - folder.size() - std::wstring(L"\\LastWeather.dat").size(), L'd');
  ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
  const std::wstring target = folder + L"\\LastWeather.dat";
  ASSERT_EQ(target.size(), static_cast<size_t>(MAX_PATH - 1));
  std::ofstream(target.c_str(), std::ios::binary) << "old";
  EXPECT_TRUE(ReplaceFileContents(target, "new", 3));
  EXPECT_EQ(ReadAll(target), "new");
  EXPECT_EQ(CountEntries(folder), 1);
  ::DeleteFileW((L"\\\\?\\" + target).c_str());
  ::RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
}

}  // namespace
}  // namespace velmora
