// A fixture for end-to-end runs that change the installed files: the build's suite and browser
// copied into a temporary folder, registered where the program looks for them, every service host
// sent to a loopback server, and the stand-ins' call and load logs in the temporary folder.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/support/http_test_server.h"
#include "tests/support/registry_backup.h"

namespace velmora::test {

// Where a file of the installation lives.
enum class Root { kSuite, kBrowser /* the browser's Application folder */, kEngine /* its engine folder */ };

class CopiedSuite : public ::testing::Test {
 protected:
  void SetUp() override;

  std::wstring Folder(Root root) const;       // in the copy
  std::wstring BuiltFolder(Root root) const;  // in the build

  // The page script the stand-in shell plays, one step a line.
  void Page(const std::vector<std::string>& steps) const;
  // The environment of a run: this fixture's data folder, logs and page, and an engine installer
  // that finds nothing to install.
  EnvironmentOverrides Environment() const;
  // Starts the side bar past both relaunches; the caller owns the process handle.
  HANDLE StartSideBar(const std::wstring& arguments = L"/rerun /lowrun") const;

  std::vector<LogEntry> Log() const { return ReadLog(log_); }
  std::vector<LogEntry> Loads() const { return ReadLog(load_log_); }
  void ClearLogs() const;

  ScopedTempFolder temp_;
  ScopedRegistryBackup browser_keys_{HKEY_CURRENT_USER, L"Software\\Vuq"};
  ScopedRegistryBackup settings_{HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora"};
  std::optional<ScopedSuiteRegistration> registration_;
  HttpTestServer server_;
  std::wstring built_suite_, built_browser_, suite_, browser_, log_, load_log_, page_, appdata_;
};

}  // namespace velmora::test
