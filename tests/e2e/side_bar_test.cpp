// The side bar on screen, end to end: the real Velmora.exe in a suite folder of its own, the
// stand-in browser (registered where the program looks for it) whose shell plays a page script,
// and the reachability probe answered by a loopback server through the NetCore host map. What
// the program did to the shell is read back from the stand-ins' log.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <gdiplus.h>

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "platform/build_constants.h"
#include "platform/module_path.h"
#include "platform/version_info.h"
#include "providers/system_info.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "tests/e2e/child_process.h"
#include "tests/support/cloud_list_signer.h"
#include "tests/support/file_tree.h"
#include "tests/support/http_test_server.h"
#include "tests/support/message_box.h"
#include "tests/support/registry_backup.h"

namespace velmora::test {
namespace {

constexpr DWORD kTimeoutMs = 120 * 1000;
constexpr wchar_t kBrowserClientState[] =
    L"Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}";

std::vector<std::string> ShellLines(const std::vector<LogEntry>& log, const std::string& prefix = "") {
  std::vector<std::string> lines;
  for (const LogEntry& entry : log) {
    if (entry.component == "shell" && entry.text.rfind(prefix, 0) == 0) lines.push_back(entry.text);
  }
  return lines;
}

bool HasLine(const std::vector<LogEntry>& log, const std::string& component, const std::string& text) {
  return Count(log, component, text) > 0;
}

class SideBar : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    built_suite_ = ParentFolder(ParentFolder(VelmoraUnderTest()));
    built_browser_ = ParentFolder(built_suite_) + L"\\browser";
    suite_ = temp_.path() + L"\\suite";
    ASSERT_TRUE(CopyTree(built_suite_, suite_));
    log_ = temp_.path() + L"\\standins.log";
    page_ = temp_.path() + L"\\page.txt";
    appdata_ = temp_.path() + L"\\appdata";
    ::CreateDirectoryW(appdata_.c_str(), nullptr);
    registration_.emplace(suite_, RegistryViewOf(VelmoraUnderTest()));
    RegisterBrowser(built_browser_ + L"\\Application\\" VELMORA_ENGINE_VERSION_TEXT L"\\Installer\\setup.exe");
    Online(true);
  }

  void RegisterBrowser(const std::wstring& installer) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kBrowserClientState, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(installer.c_str()),
                     static_cast<DWORD>((installer.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }

  // The probe's four hosts go to the loopback server, or to a port nobody listens on.
  void Online(bool online) {
    server_.Route("/", Reply(200, "up"));
    std::ofstream map((suite_ + L"\\NetCore.hosts").c_str(), std::ios::binary | std::ios::trunc);
    const std::string target = online ? server_.Origin() : "http://127.0.0.1:" + std::to_string(ClosedPort());
    for (const char* host : kProbeHosts) map << host << " " << target << "\n";
    // The weather service too, so that no request leaves the machine.
    map << "weather.vuq.com " << target << "\n";
  }

  static uint16_t ClosedPort() {
    HttpTestServer closed;
    const uint16_t port = closed.port();
    closed.Stop();
    return port;
  }

  void Page(const std::vector<std::string>& steps) {
    std::ofstream page(page_.c_str(), std::ios::binary | std::ios::trunc);
    for (const std::string& step : steps) page << step << "\n";
  }

  EnvironmentOverrides Environment() const {
    return {{L"APPDATA", appdata_}, {L"VELMORA_STANDIN_LOG", log_}, {L"VELMORA_SHELL_PAGE", page_}};
  }

  // The side bar, started past both relaunches (this test is about the window).
  ChildResult Run(const std::wstring& arguments = L"/rerun /lowrun") {
    return RunChild(suite_ + L"\\Utils\\Velmora.exe", arguments, kTimeoutMs, Environment());
  }

  std::vector<LogEntry> Log() const { return ReadLog(log_); }

  ScopedTempFolder temp_;
  ScopedRegistryBackup browser_keys_{HKEY_CURRENT_USER, L"Software\\Vuq"};
  ScopedRegistryBackup settings_{HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora"};
  std::optional<ScopedSuiteRegistration> registration_;
  HttpTestServer server_;
  std::wstring built_suite_, built_browser_, suite_, log_, page_, appdata_;
};

TEST_F(SideBar, OnlinePageShowsItselfCentredAndClosesFromThePage) {
  Page({R"(call Show {"callbackName":"shown","width":320,"height":480})",
        R"(call Close {"callbackName":"bye"})"});
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);

  const auto log = Log();
  const std::string suite = WideToUtf8(suite_);
  EXPECT_TRUE(HasLine(log, "shell", "user_data=" + WideToUtf8(appdata_) + "\\Vuqsafe\\Velmora\\chromeshell"));
  EXPECT_TRUE(HasLine(log, "shell", "query1001=" + suite + "\\Utils\\VelmoraLocalWeb.zip"));
  const auto created = ShellLines(log, "create_browser");
  ASSERT_EQ(created.size(), 1u);
  const std::string page = "create_browser url=https://" + WideToUtf8(kPageHost) + "/trevalis-desktop-ai-toolbar/index.html?t=";
  EXPECT_EQ(created[0].substr(0, page.size()), page);
  EXPECT_NE(created[0].find(" args=0,1,1"), std::string::npos);
  // The window appears hidden, then the page shows it at 320 x 480 in the middle of the
  // 1024 x 768 work area, replies, and the side bar ends from the page's Close, hiding and
  // releasing its browser on the way out.
  const std::vector<std::string> expected = {"hide",           "bounds 0 0 320 480", "show at 352 144 320 480",
                                             "script shown()", "script bye()",       "hide",
                                             "release"};
  std::vector<std::string> seen;
  for (const std::string& line : ShellLines(log)) {
    if (std::find(expected.begin(), expected.end(), line) != expected.end()) seen.push_back(line);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(HasLine(log, "shell", "loop ended"));  // the side bar ended the process itself
  // The probe's first host answered (the other requests are the cloud list's and the weather's).
  const auto requests = server_.Requests();
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                          [](const RecordedRequest& request) { return request.line == "GET / HTTP/1.1"; }),
            1);
}

TEST_F(SideBar, TheSignedCloudListAndTheWeatherReachThePage) {
  const std::string document = ToolListDocument(R"([{"sec_time":5,"list":[{"suffix":"pdf"}]}])");
  const std::string wrapped = WrapSignedDocument(document);
  server_.Route("/main/cdn_client/v1/relations/e", Reply(200, wrapped));
  server_.Route("/deskhelper/weather", Reply(200, "{\"temp\":21}"));
  Page({R"(call Show {"width":300,"height":300})", "wait 1500",
        R"(call getWeather {"callbackName":"w","retry":true})", "wait 1500",
        R"(call getRecommendedTools {"callbackName":"tools"})", R"(call getWeather {"callbackName":"cached"})",
        R"(call Close {})"});
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);

  const auto scripts = ShellLines(Log(), "script ");
  auto has = [&](const std::string& line) {
    return std::find(scripts.begin(), scripts.end(), line) != scripts.end();
  };
  EXPECT_TRUE(has("script tools(" + document + ")"));
  EXPECT_TRUE(has(R"(script _updateWeatherCallback_listener({"code":0,"data":{"temp":21},"msg":""}))"));
  EXPECT_TRUE(has(R"(script cached({"code":0,"data":{"temp":21},"msg":""}\n))"));
  EXPECT_FALSE(std::any_of(scripts.begin(), scripts.end(), [](const std::string& line) {
    return line.rfind("script w(", 0) == 0;  // a retry answers through the event only
  }));
  std::ifstream cache((appdata_ + L"\\Vuqsafe\\Velmora\\Config\\aisidebar.dat").c_str(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(cache), {}), wrapped);
  const auto requests = server_.Requests();
  EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const RecordedRequest& request) {
    return request.line.rfind("GET /main/cdn_client/v1/relations/e?m2=VELMORA-TEST-M2-0001&mid=VELMORA-TEST-MID-0001", 0) == 0;
  }));
}

TEST_F(SideBar, OfflineLoadsTheLocalPageAndSwitchesOnlineOnRequest) {
  Online(false);
  Page({"callnull navigateOnline", "wait 500", "event 13"});
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  const auto created = ShellLines(Log(), "create_browser");
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0], "create_browser url=ravida://zivudiduvoz/index.html args=0,1,1");
  EXPECT_EQ(created[1].rfind("create_browser url=https://" + WideToUtf8(kPageHost), 0), 0u);
}

TEST_F(SideBar, OfflineWithoutTheLocalPageEndsBeforeAnyBrowser) {
  Online(false);
  ASSERT_TRUE(::DeleteFileW((suite_ + L"\\Utils\\VelmoraLocalWeb.zip").c_str()));
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  const auto log = Log();
  EXPECT_TRUE(ShellLines(log, "create_browser").empty());
  EXPECT_TRUE(HasLine(log, "shell", "query1001=" + WideToUtf8(suite_) + "\\Utils\\VelmoraLocalWeb.zip"));
}

// Each of these ends a side bar whose page has shown itself; without it, the side bar would
// stay until the test gives up on it.
TEST_F(SideBar, KeysAndShellEventsEndTheSideBar) {
  for (const char* ending : {"key alt-f4", "event 13", "event 31", "event 26"}) {
    SCOPED_TRACE(ending);
    ::DeleteFileW(log_.c_str());
    Page({R"(call Show {"width":300,"height":300})", "event 34", "key ctrl-f12", "wait 300",
          R"(call IsInClient {"callbackName":"alive"})", ending});
    const ChildResult result = Run();
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 0u);
    const auto log = Log();
    // Event 34 after the page showed itself changes nothing; Ctrl+F12 opens the developer tools.
    EXPECT_TRUE(HasLine(log, "shell", "script alive({\"data\": 1})"));
    EXPECT_TRUE(HasLine(log, "shell", "tool 4 0"));
  }
}

TEST_F(SideBar, APageThatNeverShowsItselfEndsTheSideBar) {
  Page({"event 21", "event 34"});  // event 34 while the page has not shown itself
  ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(HasLine(Log(), "shell", "event 21 result=0"));
  EXPECT_FALSE(HasLine(Log(), "shell", "event 34 result"));  // it never came back

  // No page call at all: the page-load timeout ends it.
  ::DeleteFileW(log_.c_str());
  Page({"wait 600000"});
  result = Run();
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_TRUE(HasLine(Log(), "shell", "release"));
}

// The counts the stand-in shell logs from inside the side bar ("counts <label> handles=..").
struct ProcessCounts {
  unsigned long handles = 0, gdi = 0, user = 0, windows = 0;
  unsigned long long private_bytes = 0, heap = 0;
};
std::optional<ProcessCounts> CountsLine(const std::vector<LogEntry>& log, const std::string& label) {
  for (const std::string& line : ShellLines(log, "counts " + label + " ")) {
    ProcessCounts counts;
    if (std::sscanf(line.c_str() + 8 + label.size(), "handles=%lu gdi=%lu user=%lu windows=%lu private=%llu heap=%llu",
                    &counts.handles, &counts.gdi, &counts.user, &counts.windows, &counts.private_bytes,
                    &counts.heap) == 6) {
      return counts;
    }
  }
  return std::nullopt;
}

// Hostile page calls through the running side bar: VELMORA_FUZZ_CALLS of them (20,000 unless
// told; scripts/stress asks for a million). The side bar survives them, still answers, reports no
// call that threw, and holds no more handles, objects or memory at the end than after the first
// 10,000 calls, give or take what caches settle at and a few bytes a call. Launches land on the
// suite's stand-in tools, which record and end.
TEST_F(SideBar, HostilePageCallsLeaveTheSideBarAnsweringWithoutGrowth) {
  wchar_t text[32] = {};
  const unsigned long calls =
      ::GetEnvironmentVariableW(L"VELMORA_FUZZ_CALLS", text, 32) ? std::wcstoul(text, nullptr, 10) : 20000;
  ASSERT_GE(calls, 10000ul);
  ScopedRegistryBackup autostart{HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
  wchar_t desktop[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop);
  const std::wstring shortcut = std::wstring(desktop) + L"\\VuqVelmora.lnk";
  const bool had_shortcut = ::GetFileAttributesW(shortcut.c_str()) != INVALID_FILE_ATTRIBUTES;

  Page({R"(call Show {"callbackName":"shown","width":360,"height":640})", "wait 500",
        "fuzz " + std::to_string(calls) + " 20261208", R"(call IsInClient {"callbackName":"stillHere"})",
        R"(call Close {"callbackName":"bye"})"});
  const ChildResult result =
      RunChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", kTimeoutMs + 3 * calls, Environment());
  if (!had_shortcut) ::DeleteFileW(shortcut.c_str());
  const auto log = Log();
  if (!result.finished) {
    for (size_t i = log.size() > 15 ? log.size() - 15 : 0; i < log.size(); ++i) {
      std::printf("%s pid=%lu %s\n", log[i].component.c_str(), log[i].pid, log[i].text.substr(0, 300).c_str());
    }
  }
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);

  const auto done = ShellLines(log, "fuzz done ");
  ASSERT_EQ(done.size(), 1u) << "the side bar did not live through the calls";
  EXPECT_EQ(done[0].rfind("fuzz done calls=" + std::to_string(calls) + " ", 0), 0u) << done[0];
  std::printf("%s\n", done[0].c_str());
  EXPECT_TRUE(HasLine(log, "shell", "script stillHere({\"data\": 1})"));
  // Every call answered without a throw (a command that throws is reported by the program).
  EXPECT_TRUE(HasLine(log, "shell", "fuzz watch sees reports")) << "the shell cannot see the program's reports";
  EXPECT_NE(done[0].find(" faults=0 "), std::string::npos) << done[0];
  for (const std::string& line : ShellLines(log, "fuzz first fault ")) ADD_FAILURE() << line;

  const auto settled = CountsLine(log, "after=10000");
  const auto end = CountsLine(log, "end");
  ASSERT_TRUE(settled && end);
  const unsigned long later = calls - 10000;
  for (const auto& [when, counts] : {std::pair{std::string("10000"), *settled}, {std::to_string(calls), *end}}) {
    std::printf("after %s calls: handles %lu, GDI %lu, USER %lu, windows %lu, private %llu bytes, heap %llu bytes\n",
                when.c_str(), counts.handles, counts.gdi, counts.user, counts.windows, counts.private_bytes, counts.heap);
    // A counter that was not read says 0: nothing could be compared.
    EXPECT_GT(counts.handles, 0ul);
    EXPECT_GT(counts.windows, 0ul);
    EXPECT_GT(counts.private_bytes, 0ull);
    EXPECT_GT(counts.heap, 0ull);
  }
  std::printf("growth a call over the last %lu calls: heap %.1f bytes, private %.1f bytes\n", later,
              (static_cast<double>(end->heap) - settled->heap) / later,
              (static_cast<double>(end->private_bytes) - settled->private_bytes) / later);
  for (const std::string& line : ShellLines(log, "fuzz slow ")) std::printf("%s\n", line.c_str());
  EXPECT_LE(end->handles, settled->handles + 16);
  EXPECT_LE(end->windows, settled->windows + 4);
  if (settled->gdi || end->gdi || settled->user || end->user) {
    EXPECT_LE(end->gdi, settled->gdi + 16);
    EXPECT_LE(end->user, settled->user + 16);
  } else {
    std::printf("GDI and USER objects: not counted by this system\n");
  }
  // Heap in use has no high-water mark: what caches settle at, then 16 bytes a call, finds a leak
  // of about 120 bytes a call here and of 17 in a stress run's million. Private bytes keep the
  // heap's high-water mark (a rare large call may grow it once by a few MB) and, under emulation,
  // the translated code; they bound what the heap does not see.
  EXPECT_LE(end->heap, settled->heap + 1024ull * 1024 + 16ull * later);
  EXPECT_LE(end->private_bytes, settled->private_bytes + 8ull * 1024 * 1024 + 64ull * later);
}

TEST_F(SideBar, SignInAndOutReachThePageWithTheirCookies) {
  const std::wstring avatar = temp_.path() + L"\\avatar.png";
  std::ofstream(avatar.c_str(), std::ios::binary) << std::string("\x01\x02\x03\x04", 4);
  const std::string long_token(300, 't');
  Page({R"(call Show {"width":300,"height":300})",
        "signin someone 0 nike_name=Ann|qid=42|real_email=a@b.c|account_type=1|head_image=" + WideToUtf8(avatar) +
            "|cookie=Q=q1;T=" + long_token + ";S=s1;",
        "wait 500", "signout", "wait 500", R"(call Close {})"});
  EnvironmentOverrides environment = Environment();
  environment.emplace_back(L"VELMORA_STANDIN_ACCOUNT", temp_.path() + L"\\account.txt");
  const ChildResult result = RunChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", kTimeoutMs, environment);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);

  const std::string origin = "https://" + WideToUtf8(kPageHost), parent = ".vuq.com";
  auto cookie = [&](const std::string& url, const char* name, const std::string& value) {
    return "cookie kind=1 url=" + url + " name=" + name + " value=" + value + " domain=" + parent + " path=/";
  };
  const std::string cut_token = long_token.substr(0, 255);
  const std::string long_record = "cookie kind=7 size=3088 url=" + origin + " name=T domain=" + parent +
                                  " path=/ length=300 value=" + long_token;
  const std::vector<std::string> expected = {
      // Signed in: Q, T, S for the page's origin, then for the parent domain.
      cookie(origin, "Q", "q1"), cookie(origin, "T", cut_token), cookie(origin, "S", "s1"),
      cookie(parent, "Q", "q1"), cookie(parent, "T", cut_token), cookie(parent, "S", "s1"),
      "script _OnLoginStatusChangeCallback_listener({\"avatar\":\"AQIDBA\",\"logined\":1,\"nickName\":\"Ann\","
      "\"qid\":\"42\"}\\n)",
      // T's long records, which the shell reads after the calls returned: the values must still be
      // there.
      long_record,
      "cookie kind=7 size=3088 url=" + parent + " name=T domain=" + parent + " path=/ length=300 value=" + long_token,
      // Signed out: the six cookies emptied and the fixed text.
      cookie(origin, "Q", ""), cookie(origin, "T", ""), cookie(origin, "S", ""), cookie(parent, "Q", ""),
      cookie(parent, "T", ""), cookie(parent, "S", ""),
      "script _OnLoginStatusChangeCallback_listener({\"logined\":0, \"nickName\":\"\", \"qid\":\"\", \"avatar\":\"\"})"};
  std::vector<std::string> seen;
  for (const std::string& line : ShellLines(Log())) {
    if (line.rfind("cookie", 0) == 0 || line.rfind("script _OnLogin", 0) == 0) seen.push_back(line);
  }
  EXPECT_EQ(seen, expected);
}

TEST_F(SideBar, ADamagedLoginLibraryPromptsAndEndsWithZero) {
  ASSERT_TRUE(::CopyFileW((built_suite_ + L"\\SignOn_unsigned.dll").c_str(), (suite_ + L"\\SignOn.dll").c_str(), FALSE));
  Page({R"(call Show {"width":300,"height":300})", "wait 600000"});
  ScopedHandle process(StartChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", Environment()));
  ASSERT_TRUE(process);
  const DWORD id = ::GetProcessId(process.get());
  const HWND box = WaitForMessageBox([id] { return id; }, L"VuqTrevalis", 60000);
  ASSERT_TRUE(box) << "no prompt";
  const std::wstring text = MessageBoxText(box);
  EXPECT_EQ(text, L"发现VuqTrevalis的文件已被破坏，不是原版文件。\n请重新安装VuqTrevalis并进行木马扫描。\n\n被破坏的文件：" + suite_ +
                      L"\\SignOn.dll\n\n是否立即下载最新版？  ");
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDNO)));
  ASSERT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(ShellLines(Log(), "create_browser").empty());  // it ended before any browser
}

TEST_F(SideBar, TheEngineChildRunsTheChildShell) {
  Page({"child", R"(call Close {})"});
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  const auto log = Log();
  EXPECT_TRUE(HasLine(log, "shell", "child ChromeShell app=1"));
  EXPECT_TRUE(HasLine(log, "shell", "child exit=0"));
}

TEST_F(SideBar, ASecondStartShowsTheRunningSideBarAndUninstallClosesIt) {
  Page({R"(call Show {"width":300,"height":300})", "wait 600000"});
  ScopedHandle first(StartChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", Environment()));
  ASSERT_TRUE(first);
  // Wait (bounded) for the page to have shown itself.
  for (int i = 0; i < 600 && !HasLine(Log(), "shell", "step call Show"); ++i) ::Sleep(100);
  ASSERT_TRUE(HasLine(Log(), "shell", "step call Show")) << "the first side bar never showed its page";

  const ChildResult second = Run();
  ASSERT_TRUE(second.finished);
  EXPECT_EQ(second.exit_code, 0u);
  EXPECT_EQ(ShellLines(Log(), "ui created").size(), 1u);

  const ChildResult uninstall = Run(L"/uninst");
  ASSERT_TRUE(uninstall.finished);
  EXPECT_EQ(::WaitForSingleObject(first.get(), 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(first.get(), &code);
  EXPECT_EQ(code, 0u);
}

TEST_F(SideBar, OpenUrlStartsTheBrowserWithWebAddressesOnlyAsOneQuotedArgument) {
  Page({R"(call OpenUrl {"callbackName":"f","url":"file:///C:/Windows/win.ini"})",
        R"(call OpenUrl {"callbackName":"s","url":"C:\\Windows\\notepad.exe"})",
        R"(call OpenUrl {"callbackName":"w","url":"https://a.test/p?q=1"})", "wait 3000",
        R"(call Close {})"});
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  const auto log = Log();
  // Every call was answered; only the web address started the browser.
  for (const char* reply : {"script f()", "script s()", "script w()"}) EXPECT_TRUE(HasLine(log, "shell", reply)) << reply;
  std::vector<std::string> started;
  for (const LogEntry& entry : log) {
    if (entry.component == "ravida") started.push_back(entry.text);
  }
  EXPECT_EQ(started, std::vector<std::string>{"started -- \"https://a.test/p?q=1\""});
}

// The page's own reply to callback `name` in the shell's log, parsed; null when there is none.
Json::Value ReplyTo(const std::vector<LogEntry>& log, const std::string& name) {
  const std::string head = "script " + name + "(", tail = "\\n)";
  for (const std::string& line : ShellLines(log, head)) {
    if (line.size() < head.size() + tail.size() || line.compare(line.size() - tail.size(), tail.size(), tail) != 0) continue;
    Json::Value reply;
    if (Json::Reader().parse(line.substr(head.size(), line.size() - head.size() - tail.size()), reply)) return reply;
  }
  return Json::Value();
}

TEST_F(SideBar, SystemInformationAndTheToolsAnswerThePage) {
  const REGSAM view = RegistryViewOf(VelmoraUnderTest());
  ScopedRegistryBackup coop(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VuqSafe\\Coop", view);
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VuqSafe\\Coop", 0, nullptr, 0, KEY_SET_VALUE | view,
                              nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, value] : {std::make_pair(L"ipartner", L"p-1"), std::make_pair(L"PartnerName", L"Partner One")}) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>((wcslen(value) + 1) * 2));
  }
  ::RegCloseKey(key);
  const std::wstring probe = ParentFolder(GetModulePath(nullptr)) + L"\\version_probe.exe";
  ASSERT_TRUE(::CopyFileW(probe.c_str(), (suite_ + L"\\Utils\\IdView.exe").c_str(), FALSE));
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora\\AITools");

  Page({R"(call Show {"width":300,"height":300})", R"(call getSystemInfo {"callbackName":"first"})",
        R"(call getSystemInfo {"callbackName":"second"})", R"(call runTools {"tool":"quickfind"})",
        R"(call IsInClient {"callbackName":"next"})", "wait 2000", R"(call startReport {"id":"calc"})",
        R"(call getLocalTop {"callbackName":"top"})", R"(call FeedBack {"cmd":"  --from=sidebar  "})", "wait 1000",
        R"(call Close {})"});
  EnvironmentOverrides environment = Environment();
  environment.emplace_back(L"VELMORA_STANDIN_MID", L"mid-e2e");
  const ChildResult result = RunChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", kTimeoutMs, environment);
  ASSERT_TRUE(result.finished);
  const auto log = Log();

  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof(memory);
  ::GlobalMemoryStatusEx(&memory);
  Json::Value expected(Json::objectValue);
  expected["mid"] = "mid-e2e";
  expected["m2"] = "VELMORA-TEST-M2-0001";
  expected["safe_ver"] = WideToUtf8(GetFileVersionOrZero(suite_ + L"\\VerProbe.dll"));
  expected["self_ver"] = WideToUtf8(VELMORA_EXPECTED_VERSION);
  expected["s"] = WideToUtf8(FormatProcessorsAndMemory(system.dwNumberOfProcessors, memory.ullTotalPhys));
  expected["sysver"] = "6.1";
  expected["pid"] = "Partner One";
  expected["ipartner"] = "p-1";
  expected["se_ver"] = WideToUtf8(VELMORA_ENGINE_VERSION_TEXT);
  expected["downloader_ver"] = "";  // no FetchTool.exe
  expected["newidview_ver"] = WideToUtf8(GetFileVersionText(probe));
  expected["workarea"] = "(0,0,1024,768)";
  EXPECT_EQ(ReplyTo(log, "first"), expected) << ReplyTo(log, "first").toStyledString();
  EXPECT_EQ(ReplyTo(log, "second"), expected);
  // Each identifier was read once: the first answers are kept.
  EXPECT_EQ(Count(log, "basecore", "machine-id"), 2u);

  // The desktop search starts after the command has returned and the page went on.
  size_t next = log.size(), search = log.size();
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].component == "shell" && log[i].text == "script next({\"data\": 1})") next = std::min(next, i);
    if (log[i].component == "quickfind") search = std::min(search, i);
  }
  ASSERT_LT(search, log.size());
  EXPECT_LT(next, search);
  EXPECT_NE(log[search].text.find("QuickFind.exe\" /only_root_search"), std::string::npos) << log[search].text;
  EXPECT_TRUE(HasLine(log, "shell", "script top({\"code\":0,\"data\":[\"calc\"],\"msg\":\"\"}\\n)"));
  EXPECT_EQ(Count(log, "feedbacktool", " --from=sidebar"), 1u);  // trimmed
}

// A side bar finds an uninstall entry that only the 64-bit registry view holds. It is the shipped
// 32-bit program that scripts/test runs here, under WOW64, for which that view is not its own.
class RealProgramSideBar : public SideBar {};

TEST_F(RealProgramSideBar, AnUninstallEntryOfThe64BitViewIsFound) {
  const std::wstring entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{VelmoraView64}";
  ScopedRegistryBackup view64(HKEY_LOCAL_MACHINE, entry, KEY_WOW64_64KEY);
  ScopedRegistryBackup view32(HKEY_LOCAL_MACHINE, entry, KEY_WOW64_32KEY);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, entry.c_str(), KEY_WOW64_32KEY, 0);
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, entry.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                              &key, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
  // Shown first, so that a slow (emulated) start is not ended by the page-load timeout.
  Page({R"(call Show {"width":300,"height":300})",
        R"(call isInstalledWithKey {"callbackName":"found","key":"{VelmoraView64}"})",
        R"(call isInstalledWithKey {"callbackName":"missing","key":"{VelmoraNowhere}"})", R"(call Close {})"});
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  const auto log = Log();
  EXPECT_TRUE(HasLine(log, "shell", "script found({\"code\":0,\"data\":null,\"msg\":\"\"}\\n)"));
  EXPECT_TRUE(HasLine(log, "shell", "script missing({\"code\":1,\"data\":null,\"msg\":\"\"}\\n)"));
}

TEST_F(SideBar, AMissingEngineIsInstalledWhileTheSideBarWaits) {
  // No browser anywhere: the installer stand-in lays it out from the build and registers it.
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kBrowserClientState);
  const std::wstring target = temp_.path() + L"\\Ravida6";
  Page({R"(call Close {})"});
  EnvironmentOverrides environment = Environment();
  environment.emplace_back(L"VELMORA_BROWSER_SOURCE", built_browser_);
  environment.emplace_back(L"VELMORA_BROWSER_TARGET", target);
  const ChildResult result = RunChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", kTimeoutMs, environment);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  const auto log = Log();
  EXPECT_GT(Count(log, "gameshell", ""), 0u);
  EXPECT_EQ(ShellLines(log, "create_browser").size(), 1u);
  EXPECT_TRUE(HasLine(log, "shell", "ui created"));
}

TEST_F(SideBar, ASecondStartDuringTheEngineInstallEndsWithoutASecondInstaller) {
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kBrowserClientState);
  Page({R"(call Close {})"});
  EnvironmentOverrides environment = Environment();
  environment.emplace_back(L"VELMORA_BROWSER_SOURCE", built_browser_);
  environment.emplace_back(L"VELMORA_BROWSER_TARGET", temp_.path() + L"\\Ravida6");
  environment.emplace_back(L"VELMORA_GAMESHELL_DELAY_MS", L"4000");
  ScopedHandle first(StartChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", environment));
  ASSERT_TRUE(first);
  for (int i = 0; i < 600 && Count(Log(), "gameshell", "started") == 0; ++i) ::Sleep(100);
  ASSERT_EQ(Count(Log(), "gameshell", "started"), 1u);

  // The first one is waiting for its installer: the second sees the instance and ends.
  const ChildResult second = RunChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", kTimeoutMs, environment);
  ASSERT_TRUE(second.finished);
  EXPECT_EQ(second.exit_code, 0u);
  ASSERT_EQ(::WaitForSingleObject(first.get(), kTimeoutMs), WAIT_OBJECT_0);
  const auto log = Log();
  EXPECT_EQ(Count(log, "gameshell", "started"), 1u);
  EXPECT_EQ(ShellLines(log, "create_browser").size(), 1u);
}

TEST_F(SideBar, TheCommonlyUsedItemsReachThePageWithTheirIcons) {
  ScopedRegistryBackup user_assist{HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist"};
  ScopedRegistryBackup office{HKEY_CURRENT_USER, L"Software\\Microsoft\\Office"};
  // A program that carries icons, used a minute ago, and a Word document from the MRU list.
  const std::wstring program = temp_.path() + L"\\Probe Tool.exe";
  ASSERT_TRUE(::CopyFileW((ParentFolder(GetModulePath(nullptr)) + L"\\icon_probe.dll").c_str(), program.c_str(), FALSE));
  std::wstring name = program;
  for (wchar_t& c : name) {  // ROT13, as the shell writes the names
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(L'a' + (c - L'a' + 13) % 26);
    else if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(L'A' + (c - L'A' + 13) % 26);
  }
  BYTE record[72] = {};
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  memcpy(record + 60, &now, sizeof(now));
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\"
                              L"{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count",
                              0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, name.c_str(), 0, REG_BINARY, record, sizeof(record));
  ::RegCloseKey(key);
  const std::wstring document = temp_.path() + L"\\report.docx";
  std::ofstream(document.c_str()) << "report";
  const std::wstring mru = L"[F00000000][T01D9A1B2C3D4E5F6]*" + document;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0\\Word\\File MRU", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, L"Item 1", 0, REG_SZ, reinterpret_cast<const BYTE*>(mru.c_str()),
                   static_cast<DWORD>((mru.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);

  Page({R"(call Show {"width":300,"height":300})", R"(call getCommonlyUsedData {"callbackName":"used"})",
        R"(call Close {})"});
  const ChildResult result = Run();
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(result.exit_code, 0u);
  const auto replies = ShellLines(Log(), "script used(");
  ASSERT_EQ(replies.size(), 1u) << [&] {
    std::string all;
    for (const std::string& line : ShellLines(Log())) all += line + "\n";
    return all;
  }();
  std::string text = replies[0].substr(std::string("script used(").size());
  text.resize(text.size() - 1);  // ")"
  ASSERT_EQ(text.substr(text.size() - 2), "\\n") << "one JSON text with its line feed";
  Json::Value reply;
  ASSERT_TRUE(Json::Reader().parse(text.substr(0, text.size() - 2), reply)) << text;
  ASSERT_EQ(reply["data"]["programs"].size(), 1u) << text;
  ASSERT_EQ(reply["data"]["files"].size(), 1u) << text;
  EXPECT_EQ(reply["data"]["programs"][0]["run"].asString(), WideToUtf8(program));
  EXPECT_EQ(reply["data"]["files"][0]["run"].asString(), WideToUtf8(document));

  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  for (const char* list : {"programs", "files"}) {
    const std::wstring icon = Utf8ToWide(reply["data"][list][0]["icon"].asString());
    EXPECT_EQ(icon.rfind(appdata_ + L"\\Vuqsafe\\Velmora\\Icon\\", 0), 0u) << list;
    Gdiplus::GpBitmap* bitmap = nullptr;
    EXPECT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromFile(icon.c_str(), &bitmap), Gdiplus::Ok) << list;
    UINT width = 0;
    if (bitmap) Gdiplus::DllExports::GdipGetImageWidth(bitmap, &width);
    EXPECT_GT(width, 0u) << list;
    if (bitmap) Gdiplus::DllExports::GdipDisposeImage(bitmap);
  }
  Gdiplus::GdiplusShutdown(token);
}

// The file picker the page opens runs in the side bar; a user (here the test, from outside its
// process) picks a file, which reaches the assistant through its inherited section. The word-pick
// program installed in the user's application-data folder is found and started twice.
TEST_F(SideBar, ThePageHandsAChosenFileToTheAssistantAndStartsWordPick) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Vuq\\keluai\\Update64\\ClientState\\{FF42E3BD-DBC0-4704-A0CF-257F94EFAF27}", 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring uninstaller = suite_ + L"\\keluai\\Application\\1.3.1120.64\\Installer\\setup.exe";
  ::RegSetValueExW(key, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(uninstaller.c_str()),
                   static_cast<DWORD>((uninstaller.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  for (const wchar_t* folder : {L"\\Vuqsafe", L"\\Vuqsafe\\WordPick"}) ::CreateDirectoryW((appdata_ + folder).c_str(), nullptr);
  ASSERT_TRUE(::CopyFileW((ParentFolder(built_suite_) + L"\\standin-variants\\WordPick-14.0.0.1130\\WordPick.exe").c_str(),
                          (appdata_ + L"\\Vuqsafe\\WordPick\\WordPick.exe").c_str(), FALSE));
  const std::wstring report = temp_.path() + L"\\report.txt";
  ::CloseHandle(::CreateFileW(report.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  const std::wstring picked = temp_.path() + L"\\picked";

  Page({R"(call Show {"width":300,"height":300})", R"(call isKeluExist {"callbackName":"k"})",
        R"(call isWordProcessingExist {"callbackName":"w"})", R"(call startupWordProcessing {})",
        R"(call runTools {"tool":"wordprocess"})", R"(call callUploadToKelu {"callbackName":"u"})",
        "waitfor " + WideToUtf8(picked), "wait 1000", R"(call Close {})"});
  const ScopedHandle side_bar(StartChild(suite_ + L"\\Utils\\Velmora.exe", L"/rerun /lowrun", Environment()));
  ASSERT_TRUE(side_bar);
  HWND dialog = nullptr;
  for (int i = 0; i < 1200 && !dialog && ::WaitForSingleObject(side_bar.get(), 0) == WAIT_TIMEOUT; ++i) {
    dialog = ::FindWindowW(nullptr, L"\u9009\u62E9\u8981\u4E0A\u4F20\u7684\u6587\u4EF6");
    if (!dialog) ::Sleep(100);
  }
  EXPECT_NE(dialog, nullptr);
  if (dialog) {
    const HWND name_box = ::GetDlgItem(dialog, 0x47C);  // cmb13: the edit inside the combo box inside it
    const HWND combo = ::FindWindowExW(name_box, nullptr, L"ComboBox", nullptr);
    const HWND edit = ::FindWindowExW(combo ? combo : name_box, nullptr, L"Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(report.c_str()));
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }
  for (int i = 0; i < 400 && Count(Log(), "keluai", "document ") == 0; ++i) ::Sleep(50);
  ::CloseHandle(::CreateFileW(picked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_EQ(::WaitForSingleObject(side_bar.get(), kTimeoutMs), WAIT_OBJECT_0);

  const auto log = Log();
  EXPECT_TRUE(HasLine(log, "shell", "script k(1)"));
  EXPECT_TRUE(HasLine(log, "shell", "script w(1)"));
  std::string escaped = WideToUtf8(report);
  for (size_t at = escaped.find('\\'); at != std::string::npos; at = escaped.find('\\', at + 2)) escaped.insert(at, "\\");
  EXPECT_EQ(Count(log, "keluai", "{\"Content\":[\"" + escaped + "\"],\"ContentType\":\"paths\""), 1u);
  EXPECT_EQ(Count(log, "wordpick", "request {\"src\":\"Velmora\",\"type\":\"ShowTranslateiso\",\"uInitialTabId\":3}"), 2u);
}

}  // namespace
}  // namespace velmora::test
