// The side bar where its files and settings are hard to reach: a settings key nobody may open,
// cache files held by another program so that they cannot be replaced, and a data folder as deep
// as paths get. Each time it answers the page, ends with 0, and leaves every cache file whole.
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "tests/e2e/copied_suite.h"
#include "tests/support/cloud_list_signer.h"
#include "tests/support/file_tree.h"

namespace velmora::test {
namespace {

constexpr DWORD kTimeoutMs = 120 * 1000;
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\VuqAppMgr\\Velmora";

// Replaces the access list of the settings key: null opens it to everyone, an empty list closes it.
bool SetSettingsAccess(bool open) {
  ACL empty;
  if (!::InitializeAcl(&empty, sizeof(empty), ACL_REVISION)) return false;
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, WRITE_DAC, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD result = ::SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                         open ? nullptr : &empty, nullptr);
  ::RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

class Pressure : public CopiedSuite {
 protected:
  void SetUp() override {
    CopiedSuite::SetUp();
    server_.Route("/main/cdn_client/v1/relations/e", Reply(200, WrapSignedDocument(kNewList)));
    server_.Route("/deskhelper/weather", Reply(200, "{\"temp\":21}"));
    Page({R"(call Show {"width":300,"height":300})", "wait 1500", R"(call getRecommendedTools {"callbackName":"tools"})",
          R"(call getWeather {"callbackName":"weather"})", R"(call getSettings {"callbackName":"settings"})",
          R"(call setSettings {"callbackName":"saved","autoHide":0})",
          R"(call getCommonlyUsedData {"callbackName":"used"})", R"(call Close {})"});
  }

  // Runs the side bar with APPDATA at `appdata` and checks what every run must do.
  void RunAndCheck(const std::wstring& appdata) {
    ClearLogs();
    EnvironmentOverrides environment = Environment();
    for (auto& [name, value] : environment) {
      if (name == L"APPDATA") value = appdata;
    }
    const ChildResult result = RunChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", kTimeoutMs, environment);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 0u);
    const std::vector<LogEntry> log = Log();
    for (const char* reply : {"script tools(", "script weather(", "script settings(", "script saved(", "script used("}) {
      EXPECT_TRUE(std::any_of(log.begin(), log.end(), [reply](const LogEntry& entry) {
        return entry.component == "shell" && entry.text.rfind(reply, 0) == 0;
      })) << "no answer: " << reply;
    }
  }

  static constexpr char kNewList[] = R"([{"sec_time":5,"list":[{"suffix":"pdf"}]}])";
  static constexpr char kOldList[] = "{\"data\":\"previous\",\"sign\":\"list\"}";
  static constexpr char kOldWeather[] = "{\"temp\":7}";
};

TEST_F(Pressure, ASettingsKeyNobodyMayOpenLeavesTheDefaults) {
  const DWORD off = 0;
  ASSERT_EQ(::SHSetValueW(HKEY_CURRENT_USER, kSettingsKey, L"sidebar_autohide", REG_DWORD, &off, sizeof(off)),
            ERROR_SUCCESS);
  ASSERT_TRUE(SetSettingsAccess(false));
  RunAndCheck(appdata_);
  // The owner may always change the access list: the key is opened again for the backup to restore.
  EXPECT_TRUE(SetSettingsAccess(true));
  const auto log = Log();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const LogEntry& entry) {
    return entry.text.rfind("script settings(", 0) == 0 && entry.text.find("\"autoHide\":true") != std::string::npos;
  })) << "the stored setting was read through the closed key";
  DWORD stored = 1, size = sizeof(stored);
  EXPECT_EQ(::SHGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"sidebar_autohide", nullptr, &stored, &size), ERROR_SUCCESS);
  EXPECT_EQ(stored, 0u);  // and nothing was written through it
}

TEST_F(Pressure, CacheFilesHeldByAnotherProgramKeepTheirPreviousContent) {
  const std::wstring data = appdata_ + L"\\Vuqsafe\\Velmora";
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, (data + L"\\Config").c_str(), nullptr), ERROR_SUCCESS);
  WriteAll(data + L"\\Config\\aisidebar.dat", kOldList);
  WriteAll(data + L"\\LastWeather.dat", kOldWeather);
  {
    // A scanner reading both files, letting others read but not delete or rename them.
    std::vector<ScopedFileHandle> held;
    for (const wchar_t* name : {L"\\Config\\aisidebar.dat", L"\\LastWeather.dat"}) {
      held.emplace_back(::CreateFileW((data + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held.back());
    }
    RunAndCheck(appdata_);
  }
  EXPECT_EQ(ReadAll(data + L"\\Config\\aisidebar.dat"), kOldList);
  EXPECT_EQ(ReadAll(data + L"\\LastWeather.dat"), kOldWeather);
  for (const wchar_t* folder : {L"", L"\\Config"}) {
    WIN32_FIND_DATAW entry;
    const HANDLE find = ::FindFirstFileW((data + folder + L"\\*.tmp").c_str(), &entry);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << WideToUtf8(entry.cFileName);
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
}

// The data folder so deep that "LastWeather.dat" in it ends at the last character a path may
// have: the weather is cached there whole; "Config\aisidebar.dat" does not fit and is not written.
TEST_F(Pressure, ADataFolderAtThePathLimitStillTakesTheFilesThatFit) {
  const std::wstring tail = L"\\Vuqsafe\\Velmora\\LastWeather.dat";
  std::wstring appdata = temp_.path() + L"\\";
  appdata.append(MAX_PATH - 1 - appdata.size() - tail.size(), L'a');
  ASSERT_EQ((appdata + tail).size(), static_cast<size_t>(MAX_PATH - 1));
  ASSERT_TRUE(::CreateDirectoryW(Long(appdata).c_str(), nullptr));
  RunAndCheck(appdata);
  const std::wstring data = appdata + L"\\Vuqsafe\\Velmora";
  EXPECT_EQ(ReadAll(data + L"\\LastWeather.dat").find("{\"temp\":21}"), 0u);
  EXPECT_EQ(::GetFileAttributesW(Long(data + L"\\Config\\aisidebar.dat").c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteTree(appdata);
}

}  // namespace
}  // namespace velmora::test
