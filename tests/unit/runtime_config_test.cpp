#include "platform/runtime_config.h"
#include "platform/trust.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/module_path.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "tests/support/file_tree.h"
#include "tests/support/registry_values.h"

namespace velmora {
namespace {

using namespace std::string_literals;

using test::WriteAll;

// `path` extended by folders of at most 150 characters to exactly `length` characters.
std::wstring PathOfLength(std::wstring path, size_t length) {
  for (size_t left; (left = length - path.size()) > 0;) {
    path += L'\\' + std::wstring(left <= 151 ? left - 1 : 100, L'd');
  }
  return path;
}

// Each test has its own folder (the profile functions cache files by name) and registry key.
class RuntimeConfigTest : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
  void SetValue(const wchar_t* name, DWORD type, const std::wstring& text) {
    test::SetRegistryText(HKEY_CURRENT_USER, key_, name, text, type);
  }

  test::TempFolder folder_{L"VelmoraRuntimeConfig"};
  const std::wstring root_ = folder_.path();
  std::wstring key_ = FormatW(L"Software\\VelmoraRuntimeConfigTest%lu", GetCurrentProcessId());
};

TEST_F(RuntimeConfigTest, NearestIniWalkingUpWins) {
  WriteAll(folder_ / L"SVuq.ini", "");
  WriteAll(folder_ / L"a\\SVuq.ini", "");
  WriteAll(folder_ / L"a\\b\\SVuq.ini\\not-an-ini", "");  // a folder of that name is no ini
  const std::wstring deep = root_ + L"\\a\\b";
  EXPECT_EQ(FindRuntimeConfigFile(deep), root_ + L"\\a\\SVuq.ini");
  EXPECT_EQ(FindRuntimeConfigFile(deep + L"\\"), root_ + L"\\a\\SVuq.ini");
  EXPECT_EQ(FindRuntimeConfigFile(root_), root_ + L"\\SVuq.ini");
  EXPECT_EQ(FindRuntimeConfigFile(L"a\\b"), L"");  // relative: the profile functions would read the Windows folder
  // "\SVuq.ini" is 9 characters: a 502-character folder gives a 511-character candidate, 503 one too many.
  const std::wstring fits = PathOfLength(root_ + L"\\f", 502), too_long = PathOfLength(root_ + L"\\g", 503);
  for (const auto& folder : {fits, too_long}) WriteAll(folder + L"\\SVuq.ini", "");
  EXPECT_EQ(FindRuntimeConfigFile(fits), fits + L"\\SVuq.ini");
  EXPECT_EQ(FindRuntimeConfigFile(too_long), root_ + L"\\SVuq.ini");
}

TEST_F(RuntimeConfigTest, ReadsTheThreeSections) {
  const std::string missing = "<REGISTRY:HKCU\\" + WideToUtf8(key_) + "@missing>";
  WriteAll(folder_ / L"ini\\SVuq.ini",
            "[Runtime\\DefaultDllDirectories]\r\nsub\r\n..\\up\\\r\nC:\\Abs\\Dir\r\n" + missing + "\\x\r\n"
            "[Runtime\\KnownDLLs]\r\nNetCore.dll=C:\\A\\NetCore.dll;;rel\\NetCore.dll;\r\nNoEquals\r\nEmpty=\r\n"
            "HostKit.dll=" + missing + ";\\\\srv\\share\\HostKit.dll\r\nUnusable.dll=" + missing + "\r\n"
            "[Environment]\r\nA=1\r\nPATH_EXTRA=C:\\x;C:\\y\r\n");
  const std::wstring ini = root_ + L"\\ini";
  const RuntimeConfig config = LoadRuntimeConfig(ini);
  EXPECT_EQ(config.default_dll_directories,
            (std::vector<std::wstring>{ini + L"\\sub\\", root_ + L"\\up\\", L"C:\\Abs\\Dir\\"}));
  ASSERT_EQ(config.known_dlls.size(), 2u);
  EXPECT_EQ(config.known_dlls[0].name, L"NetCore.dll");
  const std::vector<std::wstring> net_core = {L"C:\\A\\NetCore.dll", ini + L"\\rel\\NetCore.dll"};
  EXPECT_EQ(config.known_dlls[0].paths, net_core);
  EXPECT_EQ(config.known_dlls[1].name, L"HostKit.dll");
  EXPECT_EQ(config.known_dlls[1].paths, std::vector<std::wstring>{L"\\\\srv\\share\\HostKit.dll"});
  EXPECT_EQ(config.environment, L"A=1\0PATH_EXTRA=C:\\x;C:\\y\0"s);

  // Missing sections and a missing file leave their parts empty.
  WriteAll(folder_ / L"env\\SVuq.ini", "[Environment]\r\nX=1\r\n");
  const RuntimeConfig only_environment = LoadRuntimeConfig(root_ + L"\\env");
  EXPECT_TRUE(only_environment.default_dll_directories.empty() && only_environment.known_dlls.empty());
  EXPECT_EQ(only_environment.environment, L"X=1\0"s);
  const RuntimeConfig none = ReadRuntimeConfigFile(root_ + L"\\NoSuch\\SVuq.ini");
  EXPECT_TRUE(none.default_dll_directories.empty() && none.known_dlls.empty() && none.environment.empty());
}

TEST_F(RuntimeConfigTest, HugeSectionIsReadWhole) {
  std::string text = "[Runtime\\KnownDLLs]\r\n";
  for (int i = 0; i < 10000; ++i) text += "Lib" + std::to_string(i) + ".dll=C:\\Libs\\" + std::to_string(i) + "\r\n";
  WriteAll(folder_ / L"SVuq.ini", text + "[Environment]\r\nLAST=1\r\n");
  const RuntimeConfig config = LoadRuntimeConfig(root_);
  ASSERT_EQ(config.known_dlls.size(), 10000u);
  EXPECT_EQ(config.known_dlls.back().name, L"Lib9999.dll");
  EXPECT_EQ(config.known_dlls.back().paths, std::vector<std::wstring>{L"C:\\Libs\\9999"});
  EXPECT_EQ(config.environment, L"LAST=1\0"s);
}

TEST_F(RuntimeConfigTest, EntryToPath) {
  SetEnvironmentVariableW(L"VELMORA_RC_DIR", L"C:\\Env\\Dir");
  SetEnvironmentVariableW(L"VELMORA_RC_REL", L"rel");
  SetEnvironmentVariableW(L"VELMORA_RC_LONG", std::wstring(MAX_PATH, L'x').c_str());
  SetValue(L"dir", REG_SZ, L"C:\\Reg\\Dir");
  SetValue(L"expand", REG_EXPAND_SZ, L"D:\\Exp");
  SetValue(L"drive", REG_SZ, L"E:");
  SetValue(L"tail", REG_SZ, L"\\Two");
  SetValue(L"relative", REG_SZ, L"relreg");
  SetValue(L"empty", REG_SZ, L"");
  SetValue(L"binary", REG_BINARY, L"C:\\Bin");
  SetValue(L"long", REG_SZ, L"C:\\" + std::wstring(MAX_PATH - 3, L'l'));  // MAX_PATH characters
  const std::wstring ini = L"C:\\Ini\\Dir", at = L"HKCU\\" + key_ + L"@";
  const std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 4, L'a');  // MAX_PATH - 1 characters

  const struct { std::wstring entry; bool directory; std::wstring expected; } cases[] = {
      {L"sub", true, L"C:\\Ini\\Dir\\sub\\"},
      {L" ..\\up ", true, L"C:\\Ini\\up\\"},
      {L".\\a\\..\\b.dll", false, L"C:\\Ini\\Dir\\b.dll"},
      {L"\\rooted.dll", false, L"C:\\Ini\\Dir\\rooted.dll"},
      {L"d:\\abs\\", true, L"d:\\abs\\"},
      {L"\\\\srv\\share\\d", true, L"\\\\srv\\share\\d\\"},
      {L"%VELMORA_RC_DIR%\\x.dll", false, L"C:\\Env\\Dir\\x.dll"},
      {L"%velmora_rc_rel%\\x.dll", false, L"C:\\Ini\\Dir\\rel\\x.dll"},
      {L"<REGISTRY:" + at + L"dir>\\reg", true, L"C:\\Reg\\Dir\\reg\\"},
      {L"<registry:hkey_current_user\\" + key_ + L"@dir>", true, L"C:\\Reg\\Dir\\"},
      {L"<Registry:" + at + L"expand>", false, L"D:\\Exp"},
      {L"<REGISTRY:" + at + L"drive><REGISTRY:" + at + L"tail>\\x", false, L"E:\\Two\\x"},
      {L"<REGISTRY:" + at + L"relative>", false, L"C:\\Ini\\Dir\\relreg"},
      {longest, true, longest + L"\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConfigEntryToPath(c.entry, ini, c.directory), c.expected) << c.entry;

  const std::wstring unusable[] = {
      L"   ",
      longest + L"a",
      L"%VELMORA_RC_LONG%",
      L"<REGISTRY:" + at + L"missing>",
      L"<REGISTRY:HKCU\\" + key_ + L"Gone@dir>",
      L"<REGISTRY:" + at + L"empty>\\x",
      L"<REGISTRY:" + at + L"binary>",
      L"<REGISTRY:" + at + L"long>",
      L"<REGISTRY:" + at + L"dir",
      L"<REGISTRY:" + at + L"dir><REGISTRY:" + at + L"missing>",
      L"<HKCU\\" + key_ + L"@dir>",
      L"<REGISTRY:HKXX\\" + key_ + L"@dir>",
      L"<REGISTRY:HKCU\\" + key_ + L">",
  };
  for (const auto& entry : unusable) EXPECT_EQ(ConfigEntryToPath(entry, ini, false), std::nullopt) << entry;
  for (const wchar_t* name : {L"VELMORA_RC_DIR", L"VELMORA_RC_REL", L"VELMORA_RC_LONG"}) {
    SetEnvironmentVariableW(name, nullptr);
  }
}

TEST(RuntimeConfig, ConcurrentFirstCallersShareOneRead) {
  std::vector<const RuntimeConfig*> seen(8);
  std::vector<std::thread> threads;
  for (auto& result : seen) threads.emplace_back([&result] { result = &GetRuntimeConfig(); });
  for (auto& thread : threads) thread.join();
  for (const RuntimeConfig* result : seen) EXPECT_EQ(result, seen[0]);
  EXPECT_EQ(seen[0]->environment, LoadRuntimeConfig(ParentFolder(GetModulePath(nullptr))).environment);
}

// The per-user copy reads the registered suite's configuration, never one in or above its own
// user-writable folder, and none without a registered suite; any other program reads its own.
TEST(RuntimeConfig, TheCopyReadsOnlyTheRegisteredSuitesConfiguration) {
  const std::wstring copy = L"C:\\Users\\u\\AppData\\Roaming\\Vuqsafe\\Velmora";
  const struct { std::wstring program; const wchar_t* suite; std::wstring start; } cases[] = {
      {L"C:\\Suite\\Utils", L"C:\\Suite", L"C:\\Suite\\Utils"},
      {L"C:\\Suite\\Utils", L"", L"C:\\Suite\\Utils"},
      {L"D:\\Elsewhere", L"C:\\Suite", L"D:\\Elsewhere"},
      {copy, L"C:\\Suite", L"C:\\Suite\\Utils"},
      {copy + L"\\", L"C:\\Suite\\", L"C:\\Suite\\Utils"},
      {L"C:\\Users\\u\\AppData\\Roaming\\VUQSAFE\\velmora", L"C:\\Suite", L"C:\\Suite\\Utils"},
      {copy, L"", L""},
      {L"C:\\x\\MyVuqsafe\\Velmora", L"", L"C:\\x\\MyVuqsafe\\Velmora"},  // only the whole folder name counts
      {L"Vuqsafe\\Velmora", L"", L"Vuqsafe\\Velmora"},
  };
  for (const auto& c : cases) EXPECT_EQ(RuntimeConfigStartFolder(c.program, c.suite), c.start) << c.program;
}

}  // namespace
}  // namespace velmora
