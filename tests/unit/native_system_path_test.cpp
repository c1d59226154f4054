#include "platform/native_system_path.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/module_path.h"
#include "platform/text.h"
#include "tests/support/redirection_watch.h"

namespace velmora {
namespace {

TEST(NativeSystemPath, OnlyTheSystemFolderItselfIsRespelled) {
  const wchar_t system[] = L"C:\\Windows\\system32";
  const wchar_t native[] = L"C:\\Windows\\Sysnative";
  const struct {
    const wchar_t* path;
    const wchar_t* respelled;
  } cases[] = {
      {L"C:\\Windows\\system32\\calc.exe", L"C:\\Windows\\Sysnative\\calc.exe"},
      {L"c:\\WINDOWS\\System32\\drivers\\etc\\hosts", L"C:\\Windows\\Sysnative\\drivers\\etc\\hosts"},
      {L"C:/Windows/System32/calc.exe", L"C:\\Windows\\Sysnative/calc.exe"},
      {L"C:\\Windows\\system32", L"C:\\Windows\\Sysnative"},
      {L"C:\\Windows\\system32\\", L"C:\\Windows\\Sysnative\\"},
      {L"C:\\Windows\\system32x\\calc.exe", L"C:\\Windows\\system32x\\calc.exe"},
      {L"C:\\Windows\\SysWOW64\\calc.exe", L"C:\\Windows\\SysWOW64\\calc.exe"},
      {L"D:\\Windows\\system32\\calc.exe", L"D:\\Windows\\system32\\calc.exe"},
      {L"\\\\?\\C:\\Windows\\system32\\calc.exe", L"\\\\?\\C:\\Windows\\system32\\calc.exe"},
      {L"C:\\Windows", L"C:\\Windows"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(RespellSystemFolder(c.path, system, native), c.respelled) << WideToUtf8(c.path);
  EXPECT_EQ(RespellSystemFolder(cases[0].path, L"", native), cases[0].path);
}

// What the respelled path opens is the native system folder's file, not its 32-bit twin.
TEST(NativeSystemPath, ReachesTheNativeSystemFolder) {
  const std::wstring kernel = SystemFolderFile(L"kernel32.dll");
  EXPECT_EQ(NativeSystemPath(L"C:\\elsewhere\\kernel32.dll"), L"C:\\elsewhere\\kernel32.dll");
  const HANDLE file = ::CreateFileW(NativeSystemPath(kernel).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  wchar_t opened[MAX_PATH] = {};
  ASSERT_GT(::GetFinalPathNameByHandleW(file, opened, MAX_PATH, 0), 0u);
  ::CloseHandle(file);
  EXPECT_TRUE(EqualsIgnoreAsciiCase(std::wstring(opened + 4), kernel)) << WideToUtf8(opened);
}

}  // namespace
}  // namespace velmora
