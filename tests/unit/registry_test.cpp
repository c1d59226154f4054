#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry_watch.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora {
namespace {

// Names longer than asked for are skipped; a key deleted while it is open (which answers
// ERROR_KEY_DELETED at every index) ends the enumeration instead of spinning through them all.
TEST(RegistrySubkeyNames, LongNamesAreSkippedAndADeletedKeyEndsTheList) {
  const std::wstring path = L"Software\\VelmoraSubkeyNamesTest";
  ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  for (const wchar_t* name : {L"a", L"bbbbbb", L"c"}) {
    ScopedRegKey sub;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (path + L"\\" + name).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                sub.receive(), nullptr),
              ERROR_SUCCESS);
  }
  ScopedRegKey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.receive()), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(key.get(), 3), (std::vector<std::wstring>{L"a", L"c"}));
  ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
  for (const DWORD index : {0u, 1000u}) {
    wchar_t name[8];
    DWORD chars = 8;
    EXPECT_EQ(::RegEnumKeyExW(key.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  }
  EXPECT_TRUE(SubkeyNames(key.get(), 255).empty());
}

// A change another process makes reaches the watched copy without the reader asking the registry
// every time; the copy's own writer sees its write at once.
class WatchedKeyTest : public ::testing::Test {
 protected:
  static constexpr wchar_t kKey[] = L"Software\\VelmoraTest\\Watched";
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

  // reg.exe, another process, run to its end.
  static void Reg(const std::wstring& arguments) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(system) + L"\\reg.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                 &startup, &started));
    ::WaitForSingleObject(started.hProcess, 60000);
    DWORD code = 1;
    ::GetExitCodeProcess(started.hProcess, &code);
    ::CloseHandle(started.hProcess);
    ::CloseHandle(started.hThread);
    ASSERT_EQ(code, 0u) << WideToUtf8(line);
  }
  // Whether the copy answers `expected` within five seconds; prints how long it took.
  static bool Reaches(CWatchedKey& key, std::optional<DWORD> expected) {
    const DWORD start = ::GetTickCount();
    while (key.Dword(L"n") != expected) {
      if (::GetTickCount() - start > 5000) return false;
      ::Sleep(1);
    }
    std::printf("reached after %lu ms\n", ::GetTickCount() - start);
    return true;
  }
};

TEST_F(WatchedKeyTest, OtherProcessesChangesReachTheNextReads) {
  CWatchedKey key(HKEY_CURRENT_USER, kKey);
  EXPECT_EQ(key.Dword(L"n"), std::nullopt);  // no key yet
  Reg(L"add HKCU\\Software\\VelmoraTest\\Watched /v n /t REG_DWORD /d 7 /f");
  EXPECT_TRUE(Reaches(key, 7)) << "a key made after the first read";
  Reg(L"add HKCU\\Software\\VelmoraTest\\Watched /v n /t REG_DWORD /d 8 /f");
  EXPECT_TRUE(Reaches(key, 8)) << "a changed value";
  Reg(L"add HKCU\\Software\\VelmoraTest\\Watched /v n /t REG_SZ /d 9 /f");
  EXPECT_TRUE(Reaches(key, std::nullopt)) << "a value of another type";
  Reg(L"delete HKCU\\Software\\VelmoraTest\\Watched /f");
  Reg(L"add HKCU\\Software\\VelmoraTest\\Watched /v n /t REG_DWORD /d 10 /f");
  EXPECT_TRUE(Reaches(key, 10)) << "the key deleted and made anew";
}

TEST_F(WatchedKeyTest, TheWriterThatForgetsReadsItsOwnWriteAtOnce) {
  CWatchedKey key(HKEY_CURRENT_USER, kKey);
  for (DWORD value = 1; value <= 50; ++value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"n", REG_DWORD, &value, sizeof(value));
    key.Forget();
    ASSERT_EQ(key.Dword(L"n"), std::optional<DWORD>(value));
  }
}

}  // namespace
}  // namespace velmora
