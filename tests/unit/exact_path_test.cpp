#include "platform/exact_path.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "platform/module_path.h"
#include "platform/text.h"

namespace velmora {
namespace {

// What the handle opened must be the file asked for: the folder as it resolves, then no link on
// the way. Wine makes each user's Desktop a link to the Linux home folder, which serves as the
// link planted on the way; on Windows a junction a user puts there is refused the same way.
TEST(ExactDelete, OnlyTheFileAskedForIsDeletedThroughItsHandle) {
  const struct {
    const wchar_t* expected;
    const wchar_t* opened;
    bool same;
  } names[] = {{L"C:\\Users\\u\\..\\u\\Velmora.exe", L"\\\\?\\C:\\users\\U\\VELMORA.EXE", true},
               {L"C:\\Users\\u\\Velmora.exe", L"C:\\Windows\\System32\\Velmora.exe", false},
               {L"C:\\Users\\u\\Velmora.exe", L"\\\\?\\UNC\\host\\share\\Velmora.exe", false}};
  for (const auto& c : names) EXPECT_EQ(IsSameFileName(c.expected, c.opened), c.same) << WideToUtf8(c.opened);

  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, /*fCreate=*/TRUE));
  const std::wstring name = FormatW(L"VelmoraExactDelete%lu.lnk", ::GetCurrentProcessId());
  const std::wstring file = std::wstring(desktop) + L"\\" + name;
  const auto make = [&] { ASSERT_TRUE(::CopyFileW(GetModulePath(nullptr).c_str(), file.c_str(), FALSE)); };
  const auto gone = [&] { return ::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES; };
  make();
  EXPECT_FALSE(DeleteFileExactly(ParentFolder(desktop), L"Desktop\\" + name)) << "the Desktop link is on the way";
  EXPECT_FALSE(gone());
  EXPECT_FALSE(DeleteFileExactly(desktop, L"..\\" + name));  // out of the folder
  EXPECT_FALSE(DeleteFileExactly(ParentFolder(desktop), L"Desktop"));  // a folder is not a file
  EXPECT_TRUE(DeleteFileExactly(desktop, L"sub\\..\\" + name));
  EXPECT_TRUE(gone());
  EXPECT_FALSE(DeleteFileExactly(desktop, name));  // gone already
}

}  // namespace
}  // namespace velmora
