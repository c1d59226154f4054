#include "tests/e2e/copied_suite.h"

#include <fstream>

#include "platform/build_constants.h"
#include "platform/module_path.h"
#include "tests/support/file_tree.h"

namespace velmora::test {

void CopiedSuite::SetUp() {
  ASSERT_FALSE(temp_.path().empty());
  built_suite_ = ParentFolder(ParentFolder(VelmoraUnderTest()));
  built_browser_ = ParentFolder(built_suite_) + L"\\browser";
  suite_ = temp_.path() + L"\\suite";
  browser_ = temp_.path() + L"\\browser";
  ASSERT_TRUE(CopyTree(built_suite_, suite_));
  ASSERT_TRUE(CopyTree(built_browser_, browser_));
  log_ = temp_.path() + L"\\standins.log";
  load_log_ = temp_.path() + L"\\loads.log";
  page_ = temp_.path() + L"\\page.txt";
  appdata_ = temp_.path() + L"\\appdata";
  ::CreateDirectoryW(appdata_.c_str(), nullptr);
  registration_.emplace(suite_, RegistryViewOf(VelmoraUnderTest()));
  const std::wstring setup = Folder(Root::kEngine) + L"\\Installer\\setup.exe";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}", 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(setup.c_str()),
                   static_cast<DWORD>((setup.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);

  server_.Route("/", Reply(200, "up"));
  std::ofstream map((suite_ + L"\\NetCore.hosts").c_str(), std::ios::binary | std::ios::trunc);
  for (const char* host : kProbeHosts) map << host << " " << server_.Origin() << "\n";
  map << "weather.vuq.com " << server_.Origin() << "\n";
}

std::wstring CopiedSuite::Folder(Root root) const {
  if (root == Root::kSuite) return suite_;
  if (root == Root::kBrowser) return browser_ + L"\\Application";
  return browser_ + L"\\Application\\" VELMORA_ENGINE_VERSION_TEXT;
}

std::wstring CopiedSuite::BuiltFolder(Root root) const {
  if (root == Root::kSuite) return built_suite_;
  if (root == Root::kBrowser) return built_browser_ + L"\\Application";
  return built_browser_ + L"\\Application\\" VELMORA_ENGINE_VERSION_TEXT;
}

void CopiedSuite::Page(const std::vector<std::string>& steps) const {
  std::ofstream page(page_.c_str(), std::ios::binary | std::ios::trunc);
  for (const std::string& step : steps) page << step << "\n";
}

EnvironmentOverrides CopiedSuite::Environment() const {
  return {{L"APPDATA", appdata_},
          {L"VELMORA_STANDIN_LOG", log_},
          {L"VELMORA_STANDIN_LOAD_LOG", load_log_},
          {L"VELMORA_SHELL_PAGE", page_},
          {L"VELMORA_STANDIN_ACCOUNT", temp_.path() + L"\\account.txt"},
          {L"VELMORA_BROWSER_SOURCE", temp_.path() + L"\\no-browser"},
          {L"VELMORA_BROWSER_TARGET", temp_.path() + L"\\installed-browser"}};
}

HANDLE CopiedSuite::StartSideBar(const std::wstring& arguments) const {
  return StartChild(suite_ + L"\\Utils\\Velmora.exe", arguments, Environment());
}

void CopiedSuite::ClearLogs() const {
  ::DeleteFileW(log_.c_str());
  ::DeleteFileW(load_log_.c_str());
}

}  // namespace velmora::test
