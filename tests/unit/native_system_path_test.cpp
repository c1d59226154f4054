#include "platform/native_system_path.h"

#include <gtest/gtest.h>

#include "platform/text.h"

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

}  // namespace
}  // namespace velmora
