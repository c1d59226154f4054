// The side bar ended from every way in, each one twice, while its workers are halfway through
// slow fetches of the cloud list and the weather: the process ends by itself with 0, the cache
// files from before are kept whole (no temporary file left), the browser is released once, and
// nothing reaches the page after that.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "tests/e2e/copied_suite.h"
#include "tests/support/file_tree.h"
#include "tests/support/registry_backup.h"

namespace velmora::test {
namespace {

constexpr DWORD kEndTimeoutMs = 60 * 1000;
constexpr char kShow[] = R"(call Show {"width":300,"height":300})";
constexpr char kStay[] = "wait 600000";  // the page never ends the side bar by itself

enum class Trigger { kPage, kUninstall, kSessionEnd };

struct Way {
  const char* name;
  Trigger trigger;
  std::vector<std::string> page;
  size_t releases = 1;  // a browser the shell reports gone is forgotten, not released
};

const Way kWays[] = {
    {"page Close", Trigger::kPage, {kShow, "wait 1000", R"(call Close {"callbackName":"bye"})", "call Close {}", kStay}},
    {"page closeModal", Trigger::kPage, {kShow, "wait 1000", "call closeModal {}", "call closeModal {}", kStay}},
    {"Alt+F4", Trigger::kPage, {kShow, "wait 1000", "key alt-f4", "key alt-f4", kStay}},
    {"engine event 13", Trigger::kPage, {kShow, "wait 1000", "event 13", "event 13", kStay}},
    {"engine event 26", Trigger::kPage, {kShow, "wait 1000", "event 26", "event 26", kStay}, 0},
    {"engine event 31", Trigger::kPage, {kShow, "wait 1000", "event 31", "event 31", kStay}},
    {"event 34 before Show", Trigger::kPage, {"wait 1000", "event 34", "event 34", kStay}},
    {"two /uninst", Trigger::kUninstall, {kShow, kStay}},
    {"session end", Trigger::kSessionEnd, {kShow, kStay}},
    // Nothing shows the page: the page-load timeout ends the side bar after 15 s.
    {"page-load timeout", Trigger::kPage, {kStay}},
};

// Ends the process when the scope is left while it still runs.
struct EndOnLeave {
  HANDLE process;
  ~EndOnLeave() {
    if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) ::TerminateProcess(process, 1);
  }
};

class ShutdownWays : public CopiedSuite {
 protected:
  void SetUp() override {
    CopiedSuite::SetUp();
    // Both fetches take half a minute: every way in lands while they are under way.
    HttpRoute slow = Reply(200, std::string(3000, ' ') + "{}");
    slow.drip_bytes = 30;
    slow.drip_interval_ms = 300;
    server_.Route("/main/cdn_client/v1/relations/e", slow);
    server_.Route("/deskhelper/weather", slow);
    data_ = appdata_ + L"\\Vuqsafe\\Velmora";
    ::CreateDirectoryW((appdata_ + L"\\Vuqsafe").c_str(), nullptr);
    ::CreateDirectoryW(data_.c_str(), nullptr);
    ::CreateDirectoryW((data_ + L"\\Config").c_str(), nullptr);
  }

  // The cache files a previous run left.
  void SeedCaches() const {
    std::ofstream((data_ + L"\\Config\\aisidebar.dat").c_str(), std::ios::binary | std::ios::trunc) << kOldList;
    std::ofstream((data_ + L"\\LastWeather.dat").c_str(), std::ios::binary | std::ios::trunc) << kOldWeather;
  }

  bool WaitForLogLine(const std::string& component, const std::string& text) const {
    for (int i = 0; i < 600; ++i) {
      if (Count(Log(), component, text) > 0) return true;
      ::Sleep(100);
    }
    return false;
  }

  // Leftover temporary files of a replacement under the data folder.
  std::vector<std::wstring> TemporaryFiles() const {
    std::vector<std::wstring> found;
    for (const std::wstring& folder : {data_, data_ + L"\\Config"}) {
      WIN32_FIND_DATAW entry;
      const HANDLE find = ::FindFirstFileW((folder + L"\\*.tmp").c_str(), &entry);
      if (find == INVALID_HANDLE_VALUE) continue;
      do found.push_back(entry.cFileName);
      while (::FindNextFileW(find, &entry));
      ::FindClose(find);
    }
    return found;
  }

  static constexpr char kOldList[] = "{\"data\":\"previous\",\"sign\":\"list\"}";
  static constexpr char kOldWeather[] = "{\"temp\":7}";
  ScopedRegistryBackup run_{HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
  std::wstring data_;
};

TEST_F(ShutdownWays, EveryWayInEndsTheSideBarOnceAndCleanlyMidFetch) {
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.name);
    ClearLogs();
    SeedCaches();
    Page(way.page);
    const size_t requests_before = server_.RequestCount();
    ScopedHandle side_bar(StartSideBar());
    ASSERT_TRUE(side_bar);
    // A side bar that outlives a failed check would hold the instance for every later run.
    const EndOnLeave end_on_leave{side_bar.get()};

    if (way.trigger != Trigger::kPage) {
      ASSERT_TRUE(WaitForLogLine("shell", "step call Show"));
      ::Sleep(1000);  // the workers' fetches are under way
    }
    if (way.trigger == Trigger::kUninstall) {
      ScopedHandle first(StartChild(suite_ + L"\\Utils\\Velmora.exe", L"/uninst", Environment()));
      ScopedHandle second(StartChild(suite_ + L"\\Utils\\Velmora.exe", L"/uninst", Environment()));
      for (const ScopedHandle* uninstall : {&first, &second}) {
        ASSERT_TRUE(*uninstall);
        ASSERT_EQ(::WaitForSingleObject(uninstall->get(), kEndTimeoutMs), WAIT_OBJECT_0);
        DWORD code = 1;
        ::GetExitCodeProcess(uninstall->get(), &code);
        EXPECT_EQ(code, 0u);
      }
    }
    if (way.trigger == Trigger::kSessionEnd) {
      const HWND window = ::FindWindowW(L"QVuqVelmoraViewClass", nullptr);
      ASSERT_TRUE(window);
      for (int i = 0; i < 2; ++i) {
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer);
        ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer);
      }
    }

    ASSERT_EQ(::WaitForSingleObject(side_bar.get(), kEndTimeoutMs), WAIT_OBJECT_0) << "the side bar did not end";
    DWORD code = 1;
    ::GetExitCodeProcess(side_bar.get(), &code);
    EXPECT_EQ(code, 0u);

    // Halfway through a fetch, the previous caches are what is there, and nothing half-made.
    const std::vector<RecordedRequest> requests = server_.Requests();
    EXPECT_TRUE(std::any_of(requests.begin() + requests_before, requests.end(), [](const RecordedRequest& request) {
      return request.line.find("/main/cdn_client/") != std::string::npos ||
             request.line.find("/deskhelper/weather") != std::string::npos;
    })) << "no fetch was under way: " << [&] {
      std::string lines;
      for (const RecordedRequest& request : requests) lines += request.line + "\n";
      return lines;
    }();
    EXPECT_EQ(ReadAll(data_ + L"\\Config\\aisidebar.dat"), kOldList);
    EXPECT_EQ(ReadAll(data_ + L"\\LastWeather.dat"), kOldWeather);
    EXPECT_TRUE(TemporaryFiles().empty());

    // The browser is released once, and no script reaches the page after it.
    const std::vector<LogEntry> log = Log();
    const auto release = std::find_if(log.begin(), log.end(), [](const LogEntry& entry) {
      return entry.component == "shell" && entry.text == "release";
    });
    EXPECT_EQ(Count(log, "shell", "release"), way.releases);
    if (release != log.end()) {
      EXPECT_TRUE(std::none_of(release, log.end(), [](const LogEntry& entry) {
        return entry.component == "shell" && entry.text.rfind("script ", 0) == 0;
      }));
    }
    EXPECT_EQ(Count(log, "shell", "loop ended"), 0u) << "the shell's loop returned instead of the side bar ending";
    std::printf("shutdown-table | %-20s | exit %lu, caches kept, released %u time(s)\n", way.name, code,
                static_cast<unsigned>(Count(log, "shell", "release")));
  }
}

}  // namespace
}  // namespace velmora::test
