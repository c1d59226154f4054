#include "view/web_browser_event.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "account/login_cookie_records.h"
#include "config/app_config.h"
#include "platform/build_constants.h"
#include "platform/module_signature.h"
#include "platform/process_ids.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "tests/support/fake_services.h"
#include "tests/support/recording_shell.h"
#include "tests/support/registry_backup.h"
#include "view/browser_placement.h"
#include "view/foreground_watch.h"
#include "view/page_addresses.h"
#include "view/side_bar_handle.h"
#include "view/side_bar_timers.h"

namespace velmora {
namespace {

using test::Calls;
using test::FakeServices;
using test::Pump;
using test::PumpUntil;
using test::RecordingBrowser;
using test::RecordingFactory;


class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // HostKit (found through SVuq.ini beside the tests) answers the z-order watch's question.
    SetTrustVerifiers(&VerifyModuleSignature, nullptr);
    controller_ = std::make_unique<CWebBrowserEvent>(&factory_, services_, [this](HWND, IShutdownParticipant& participant) {
      factory_.calls.push_back(L"shutdown");
      participant.ReleaseBrowsers();
    });
    ASSERT_TRUE(controller_->Start());
  }
  void TearDown() override {
    controller_.reset();
    factory_.calls.clear();
  }

  // Navigates and delivers "browser window created"; the calls so far are forgotten.
  RecordingBrowser* OpenPage() {
    controller_->Navigate(L"https://page.test/index.html?t=1");
    controller_->OnShellEvent(shell::kEventBrowserWindowCreated, L"", 0, 0, 0, nullptr);
    factory_.calls.clear();
    return factory_.browsers.back().get();
  }
  void Call(const char* name, const char* arguments) { controller_->OnPageCall("", name, arguments, 0, 0, 0); }

  test::ScopedRegistryBackup settings_key_{HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora"};
  CAppConfigMgr settings_;
  FakeServices services_{settings_};
  RecordingFactory factory_;
  std::unique_ptr<CWebBrowserEvent> controller_;
};

TEST(CenteredPositionTest, CentresClampsAndTruncatesTowardZero) {
  const struct {
    RECT work;
    int w, h;
    LONG x, y;
  } cases[] = {
      {{0, 0, 1024, 768}, 300, 500, 362, 134},
      {{0, 0, 1024, 768}, 301, 501, 362, 134},      // odd sizes: w / 2 truncates
      {{0, 0, 1024, 768}, 2000, 900, 0, 0},         // larger than the work area: left and top edges
      {{0, 40, 1024, 768}, 100, 100, 462, 354},
      {{-1025, 0, -1, 768}, 100, 100, -563, 334},   // a monitor to the left: -1026 / 2 = -513
      {{-1025, 0, -1, 768}, 2000, 100, -1025, 334},
  };
  for (const auto& c : cases) {
    const POINT at = CenteredPosition(c.work, c.w, c.h);
    EXPECT_EQ(at.x, c.x) << c.work.left << "," << c.w;
    EXPECT_EQ(at.y, c.y) << c.work.top << "," << c.h;
  }
}

TEST(SceneKeywordTest, FirstKeywordInListOrderWithoutRegardToCase) {
  const std::vector<std::wstring> keywords = {L"excel", L"word", L".pdf"};
  EXPECT_EQ(MatchSceneKeyword(L"Report.PDF - Microsoft WORD", keywords), std::optional<std::wstring>(L"word"));
  EXPECT_EQ(MatchSceneKeyword(L"Book1 - EXCEL", keywords), std::optional<std::wstring>(L"excel"));
  EXPECT_EQ(MatchSceneKeyword(L"notes.txt", keywords), std::nullopt);
  EXPECT_EQ(MatchSceneKeyword(L"", keywords), std::nullopt);
  EXPECT_EQ(MatchSceneKeyword(L"Word", {L"WORD"}), std::optional<std::wstring>(L"word"));
  // An empty entry matches every window, titled or not.
  EXPECT_EQ(MatchSceneKeyword(L"", {L"x", L""}), std::optional<std::wstring>(L""));
  EXPECT_EQ(MatchSceneKeyword(L"Book1 - EXCEL", {L"", L"excel"}), std::optional<std::wstring>(L""));
  // Every script folds, not only A-Z, and the keyword comes back lower case.
  const struct {
    const wchar_t* title;
    const wchar_t* keyword;
  } folded[] = {
      {L"\x0414\x041E\x041A\x0423\x041C\x0415\x041D\x0422.docx", L"\x0434\x043E\x043A\x0443\x043C\x0435\x043D\x0442"},  // Cyrillic
      {L"\x03A3\x03A7\x0395\x0394\x0399\x039F - Editor", L"\x03C3\x03C7\x03B5\x03B4\x03B9\x03BF"},  // Greek
      {L"R\x00C9SUM\x00C9.pdf", L"r\x00E9sum\x00E9"},  // accented Latin
      {L"r\x00E9sum\x00E9.pdf", L"R\x00C9SUM\x00C9"},
  };
  for (const auto& c : folded) {
    std::wstring lower = c.keyword;
    CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    EXPECT_EQ(MatchSceneKeyword(c.title, {L"zzz", c.keyword}), std::optional<std::wstring>(lower)) << c.title;
  }
}

TEST(CookieRecordTest, ShortValuesGetOneRecordLongOnesTheLongRecordToo) {
  EXPECT_FALSE(NeedsLongCookieRecord(std::string(254, 'v')));
  EXPECT_TRUE(NeedsLongCookieRecord(std::string(255, 'v')));

  const CookieRecord record = MakeCookieRecord("https://a.test", "Q", std::string(300, 'v'), ".a.test");
  EXPECT_STREQ(record.url, "https://a.test");
  EXPECT_STREQ(record.name, "Q");
  EXPECT_STREQ(record.domain, ".a.test");
  EXPECT_STREQ(record.path, "/");
  EXPECT_EQ(std::string(record.value), std::string(255, 'v'));  // cut, still terminated
  EXPECT_EQ(record.reserved[0], '\0');

  const std::string value(3000, 'x');
  const LongCookieRecord long_record = MakeLongCookieRecord("https://a.test", "T", ".a.test", value);
  EXPECT_EQ(long_record.size, 3088u);
  EXPECT_EQ(long_record.value_length, 3000u);
  EXPECT_EQ(std::string(long_record.value, long_record.value_length), value);
  EXPECT_STREQ(long_record.path, "/");
  EXPECT_EQ(long_record.reserved2, 0u);
}

TEST(FirstPageTest, OnlineChoosesTheSchemeByTheSystemOfflineTheLocalPackage) {
  const std::wstring https = OnlinePageUrl(true), http = OnlinePageUrl(false);
  EXPECT_EQ(https, std::wstring(L"https://") + kPageHost + L"/trevalis-desktop-ai-toolbar/index.html");
  EXPECT_EQ(ChooseFirstPage(true, 10, false, 1234), https + L"?t=1234");
  EXPECT_EQ(ChooseFirstPage(true, 5, true, 1234), http + L"?t=1234");
  EXPECT_EQ(ChooseFirstPage(false, 10, true, 1234), L"ravida://zivudiduvoz/index.html");
  EXPECT_EQ(ChooseFirstPage(false, 10, false, 1234), L"");
  // The tick count prints as a signed number.
  EXPECT_EQ(WithCacheBuster(L"u", 0xFFFFFFFEu), L"u?t=-2");
  EXPECT_NE(ChooseFirstPage(true, 10, false, 1), ChooseFirstPage(true, 10, false, 2));
}

TEST_F(ControllerTest, TheControllerWindowIsTheHiddenSideBarWindow) {
  const HWND window = FindWindowW(kSideBarWindowClass, kSideBarWindowTitle);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetSideBarWindow(), window);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
            static_cast<LONG>(WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_TRUE(controller_->topmost());
}

TEST_F(ControllerTest, NavigatingAsksTheFactoryAndTheWindowAppearsHiddenAsAToolWindow) {
  controller_->Navigate(L"");
  EXPECT_TRUE(factory_.calls.empty());
  controller_->Navigate(L"HTTPS://page.test/");
  EXPECT_TRUE(controller_->is_https());
  ASSERT_EQ(factory_.calls, Calls{L"create 0 HTTPS://page.test/ 1 1"});
  controller_->OnShellEvent(shell::kEventBrowserWindowCreated, L"", 0, 0, 0, nullptr);
  const HWND window = controller_->BrowserWindow();
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(IsWindowVisible(window));
  wchar_t title[128] = {};
  GetWindowTextW(window, title, 128);
  EXPECT_STREQ(title, kDisplayName);
  EXPECT_TRUE(ReadSettingsDword(L"last_show_bar").has_value());
  // The window's focus loss reaches the page through the side bar window.
  SendMessageW(window, WM_KILLFOCUS, 0, 0);
  factory_.calls.clear();
  Pump(50);
  EXPECT_EQ(factory_.calls, Calls{L"script _OnWindowBlurCallback_listener()"});
  // ...but not while the window is disabled.
  EnableWindow(window, FALSE);
  SendMessageW(window, WM_KILLFOCUS, 0, 0);
  factory_.calls.clear();
  Pump(50);
  EXPECT_TRUE(factory_.calls.empty());
}

TEST_F(ControllerTest, ShowCentresOnTheWorkAreaAndShowWithAZeroSizeOnlyReplies) {
  RecordingBrowser* browser = OpenPage();
  Call("sHoW", R"(["", "{\"callbackName\":\"done\",\"width\":0,\"height\":300}"])");
  EXPECT_TRUE(controller_->page_shown());
  EXPECT_EQ(factory_.calls, Calls{L"script done()"});

  factory_.calls.clear();
  Call("Show", R"(["", "{\"callbackName\":\"done\",\"width\":300,\"height\":500}"])");
  EXPECT_EQ(factory_.calls, (Calls{L"bounds 0 0 300 500", L"show", L"script done()"}));
  RECT work{}, frame{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(browser->GetWindow(), &frame);
  const POINT expected = CenteredPosition(work, 300, 500);
  EXPECT_EQ(frame.left, expected.x);
  EXPECT_EQ(frame.top, expected.y);

  // A trailing space is another name; a missing first string or name is nothing at all.
  factory_.calls.clear();
  Call("Show ", R"(["", "{\"callbackName\":\"done\",\"width\":300,\"height\":500}"])");
  controller_->OnPageCall(nullptr, "Show", "[]", 0, 0, 0);
  controller_->OnPageCall("", nullptr, "[]", 0, 0, 0);
  Call("Show", nullptr);
  EXPECT_TRUE(factory_.calls.empty());
}

TEST_F(ControllerTest, CloseRepliesBeforeTheWindowIsToldToClose) {
  OpenPage();
  Call("Close", R"(["", "{\"callbackName\":\"bye\"}"])");
  EXPECT_EQ(factory_.calls, Calls{L"script bye()"});
  ASSERT_TRUE(PumpUntil([&] { return factory_.calls.size() >= 2; }));
  EXPECT_EQ(factory_.calls[1], L"shutdown");
}

TEST_F(ControllerTest, ShellEventsCloseAnswerOrAreIgnored) {
  OpenPage();
  const struct {
    int id;
    bool shown;
    bool closes;
    int result;  // -1: left alone
  } cases[] = {{13, true, true, -1},  {31, true, true, -1}, {34, false, true, -1}, {34, true, false, -1},
               {21, false, false, 0}, {32, false, false, 1}, {36, false, false, 1}, {53, false, false, 1},
               {99, false, false, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    TearDown();
    SetUp();
    OpenPage();
    if (c.shown) controller_->MarkPageShown();
    int result = -1;
    controller_->OnShellEvent(c.id, L"", 0, 0, 0, &result);
    EXPECT_EQ(!factory_.calls.empty() && factory_.calls[0] == L"shutdown", c.closes);
    EXPECT_EQ(result, c.result);
  }
}

TEST_F(ControllerTest, OnlySwitchingTheWorkAreaRelaysTheBrowserOut) {
  OpenPage();
  const HWND window = GetSideBarWindow();
  SendMessageW(window, WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
  Pump(800);
  EXPECT_TRUE(factory_.calls.empty());
  SendMessageW(window, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
  EXPECT_TRUE(PumpUntil([&] { return !factory_.calls.empty(); }));
  EXPECT_EQ(factory_.calls, Calls{L"relayout"});
}

TEST_F(ControllerTest, NavigateOnlineKeepsTheOldBrowserHiddenAndLoadsTheSecurePage) {
  OpenPage();
  Call("navigateOnline", nullptr);
  ASSERT_TRUE(PumpUntil([&] { return factory_.calls.size() >= 2; }));
  EXPECT_EQ(factory_.calls[0], L"hide");
  const std::wstring expected = L"create 0 " + OnlinePageUrl(true) + L"?t=";
  EXPECT_EQ(factory_.calls[1].substr(0, expected.size()), expected);
  EXPECT_TRUE(controller_->is_https());
  // Both browsers are released at shutdown.
  factory_.calls.clear();
  controller_->ReleaseBrowsers();
  EXPECT_EQ(std::count(factory_.calls.begin(), factory_.calls.end(), L"release"), 2);
}

TEST_F(ControllerTest, OnlyTheCurrentPageDrivesTheSideBarAndEachBrowserIsReleasedOnce) {
  OpenPage();
  for (size_t switches = 1; switches <= 2; ++switches) {
    Call("navigateOnline", nullptr);
    ASSERT_TRUE(PumpUntil([&] { return factory_.browsers.size() == switches + 1; }));
  }
  // The first browser was released when the second page switch replaced it.
  auto releases = [&] { return std::count(factory_.calls.begin(), factory_.calls.end(), L"release"); };
  EXPECT_EQ(releases(), 1);

  // Pages left behind cannot drive the side bar; the current one can.
  factory_.calls.clear();
  const char* in_client = R"(["", "{\"callbackName\":\"here\"}"])";
  const char* close = R"(["", "{\"callbackName\":\"bye\"}"])";
  for (size_t old = 0; old < 2; ++old) {
    factory_.sinks[old]->OnPageCall("", "Close", close, 0, 0, 0);
    factory_.sinks[old]->OnPageCall("", "IsInClient", in_client, 0, 0, 0);
  }
  Pump(50);
  EXPECT_TRUE(factory_.calls.empty());
  factory_.sinks[2]->OnPageCall("", "IsInClient", in_client, 0, 0, 0);
  EXPECT_EQ(factory_.calls, Calls{L"script here({\"data\": 1})"});

  // A left-behind browser reported gone is forgotten without closing the side bar or being
  // released again; its questions are still answered.
  factory_.calls.clear();
  int answer = -1;
  factory_.sinks[1]->OnShellEvent(shell::kEventAnswerYes, L"", 0, 0, 0, &answer);
  factory_.sinks[1]->OnShellEvent(shell::kEventBrowserGone, L"", 0, 0, 0, nullptr);
  EXPECT_EQ(answer, 1);
  controller_->ReleaseBrowsers();
  EXPECT_EQ(factory_.calls, (Calls{L"hide", L"release"}));  // the current browser only
}

TEST_F(ControllerTest, BrowsersOfAShellThatReturnedAreNeverCalled) {
  OpenPage();
  Call("navigateOnline", nullptr);
  ASSERT_TRUE(PumpUntil([&] { return factory_.browsers.size() == 2; }));
  factory_.calls.clear();
  controller_->ForgetBrowsers();
  controller_.reset();
  EXPECT_TRUE(factory_.calls.empty());
}

TEST_F(ControllerTest, WindowCommandsWithoutArgumentsStillAct) {
  OpenPage();
  Call("ShowDevTools", "not json");
  Call("IsInClient", R"(["", "{\"callbackName\":\"where\"}"])");
  Call("IsInClient", R"(["", "{}"])");
  EXPECT_EQ(factory_.calls, (Calls{L"tool 4 0", L"script where({\"data\": 1})"}));
}

TEST_F(ControllerTest, SignInNoticesFromOtherThreadsNeverReachADestroyedController) {
  OpenPage();
  ILoginCallBack* sink = controller_.get();
  std::thread late([sink] {
    for (int i = 0; i < 200; ++i) sink->OnSignedOut();
  });
  late.join();
  // Sign-out runs on the controller's thread: cookies cleared (six records), the fixed text run.
  ASSERT_TRUE(PumpUntil([&] { return !factory_.calls.empty(); }));
  Pump(100);
  EXPECT_EQ(std::count(factory_.calls.begin(), factory_.calls.end(),
                       L"script _OnLoginStatusChangeCallback_listener({\"logined\":0, \"nickName\":\"\", \"qid\":\"\", "
                       L"\"avatar\":\"\"})"),
            200);
  // Notices racing the window's destruction are delivered before it or dropped, never to a
  // window on its way out; afterwards nothing reaches the page.
  std::atomic<bool> go{false};
  std::thread racing([&] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < 2000; ++i) {
      sink->OnSignedIn(L"safe", L"someone", 0);
      sink->OnSignedOut();
    }
  });
  go = true;
  Pump(5);
  DestroyWindow(controller_->hwnd());
  racing.join();
  Pump(50);
  factory_.calls.clear();
  sink->OnSignedOut();
  Pump(50);
  EXPECT_TRUE(factory_.calls.empty());
  controller_.reset();
}

TEST_F(ControllerTest, TheZOrderWatchKeepsTheSideBarOnTopUnlessTheMessageCenterAsksForQuiet) {
  const HWND page = OpenPage()->GetWindow();
  const HWND window = GetSideBarWindow();
  settings_.SetSceneInterval(0);
  constexpr wchar_t kMessageCenter[] = L"Software\\VelmoraStandins\\MessageCenter";
  test::ScopedRegistryBackup message_center{HKEY_CURRENT_USER, kMessageCenter};
  const DWORD zero = 0, one = 1;
  const wchar_t fail[] = L"fail";  // the stand-in's query fails for a string
  const struct {
    const char* name;
    DWORD type;
    const void* data;
    DWORD size;
    bool quiet;
  } cases[] = {{"missing", REG_NONE, nullptr, 0, false},
               {"zero", REG_DWORD, &zero, sizeof(zero), false},
               {"non-zero", REG_DWORD, &one, sizeof(one), true},
               {"failed", REG_SZ, fail, sizeof(fail), true},
               {"zero again", REG_DWORD, &zero, sizeof(zero), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::SHDeleteValueW(HKEY_CURRENT_USER, kMessageCenter, L"20002");
    if (c.data) ::SHSetValueW(HKEY_CURRENT_USER, kMessageCenter, L"20002", c.type, c.data, c.size);
    SendMessageW(window, WM_TIMER, kZOrderTimer, 0);
    EXPECT_EQ(controller_->quiet(), c.quiet);
    EXPECT_EQ(controller_->topmost(), !c.quiet);
    EXPECT_EQ((GetWindowLongW(page, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, !c.quiet);
    // While quiet, the page hears of no scene.
    factory_.calls.clear();
    SendMessageW(window, WM_SCENE_MATCHED, 0, 0);
    Pump(100);
    EXPECT_EQ(factory_.calls.empty(), c.quiet);
  }
}

TEST_F(ControllerTest, ShowFullFillsTheWorkAreaAndAZeroSizeShowKeepsThePageLoadTimeout) {
  RecordingBrowser* browser = OpenPage();
  Call("Show", R"(["", "{\"width\":0,\"height\":0}"])");
  // The timeout still runs (KillTimer answers whether it did); start it again.
  EXPECT_TRUE(KillTimer(GetSideBarWindow(), kPageLoadTimer));
  SetTimer(GetSideBarWindow(), kPageLoadTimer, kPageLoadTimeoutMs, nullptr);
  factory_.calls.clear();
  Call("ShowFull", R"(["", "{\"callbackName\":\"full\"}"])");
  EXPECT_FALSE(KillTimer(GetSideBarWindow(), kPageLoadTimer));
  RECT work{}, frame{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(browser->GetWindow(), &frame);
  EXPECT_TRUE(EqualRect(&work, &frame));
  EXPECT_EQ(factory_.calls.front(), FormatW(L"bounds %ld %ld 0 0", work.left, work.top));
  EXPECT_EQ(factory_.calls.back(), L"script full()");
}

// A window of another process comes to the front: the watch reads its title and process, and the
// page hears of matching titles only (titles are read up to 519 characters).
TEST_F(ControllerTest, TheForegroundWatchReportsMatchingWindowsOfOtherProcesses) {
  OpenPage();
  settings_.AddSceneSuffixes(L"docx,xlsx");
  settings_.SetSceneInterval(0);
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring tool = module;
  tool = tool.substr(0, tool.find_last_of(L'\\')) + L"\\foreground_window.exe";
  auto bring_to_front = [&](const std::wstring& title) {
    factory_.calls.clear();
    std::wstring command = L"\"" + tool + L"\" \"" + title + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(tool.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return Calls{L"not started"};
    }
    // The event arrives while this thread pumps; then the scene timer (interval 0) fires.
    for (int i = 0; i < 300 && factory_.calls.empty() && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; ++i) {
      Pump(10);
    }
    WaitForSingleObject(process.hProcess, 10000);
    Pump(50);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return factory_.calls;
  };
  auto scene = [](const wchar_t* ext) {
    return Calls{FormatW(L"script _sceneTriggerCallback_listener({\"code\":0,\"data\":{\"ext\":\"%ls\","
                         L"\"process\":\"foreground_window.exe\"},\"msg\":\"\"})",
                         ext)};
  };
  EXPECT_EQ(bring_to_front(L"Report.DOCX - Editor"), scene(L"docx"));
  EXPECT_EQ(bring_to_front(L"Book1.xlsx"), scene(L"xlsx"));
  EXPECT_EQ(bring_to_front(L"notes.txt"), Calls{});
  EXPECT_EQ(bring_to_front(std::wstring(519, L'x') + L".docx"), Calls{});
  EXPECT_EQ(bring_to_front(std::wstring(514, L'x') + L".docx"), scene(L"docx"));
}

TEST_F(ControllerTest, ADragStepsOnTheTimerUntilMoveEndOrNoButtonIsDown) {
  OpenPage();
  Call("MoveStart", R"(["", "{}"])");
  EXPECT_TRUE(KillTimer(GetSideBarWindow(), kDragTimer)) << "the drag steps on the window's timer";
  Call("MoveStart", R"(["", "{}"])");
  Call("MoveEnd", R"(["", "{}"])");
  EXPECT_FALSE(KillTimer(GetSideBarWindow(), kDragTimer)) << "MoveEnd stops it";
  Call("MoveStart", R"(["", "{}"])");
  Pump(100);
  // The step found no button down and ended the drag itself: no timer is left to kill.
  EXPECT_FALSE(KillTimer(GetSideBarWindow(), kDragTimer));
}

TEST_F(ControllerTest, ASecondStartBringsTheRunningSideBarToTheFront) {
  const HWND page = OpenPage()->GetWindow();
  Call("Show", R"(["", "{\"width\":300,\"height\":300}"])");
  // The foreground belongs to another thread, as it does when the user starts the program again.
  std::atomic<HWND> other{nullptr};
  std::atomic<bool> done{false};
  std::thread owner([&] {
    const HWND window = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                        nullptr, nullptr);
    SetForegroundWindow(window);
    other = window;
    while (!done) Pump(10);
    DestroyWindow(window);
  });
  while (!other) Pump(10);
  ASSERT_NE(GetForegroundWindow(), page);
  SendMessageW(GetSideBarWindow(), WM_SHOW_INSTANCE, 0, 0);
  EXPECT_EQ(GetForegroundWindow(), page);
  EXPECT_FALSE(GetWindowLongW(page, GWL_EXSTYLE) & WS_EX_TOPMOST);  // brought up, not kept on top
  done = true;
  owner.join();
}

TEST_F(ControllerTest, WorkerAndWatchMessagesReachThePage) {
  OpenPage();
  const HWND window = GetSideBarWindow();
  // The weather event carries the cached report; a report that is not an object sends nothing.
  Json::Value weather(Json::objectValue);
  weather["city"] = "\xE5\x8C\x97\xE4\xBA\xAC";
  services_.weather = weather;
  SendMessageW(window, WM_WEATHER_UPDATED, 0, 0);
  EXPECT_EQ(factory_.calls,
            Calls{L"script _updateWeatherCallback_listener({\"code\":0,\"data\":{\"city\":\"\\u5317\\u4eac\"},\"msg\":\"\"})"});
  services_.weather = Json::Value("text");
  factory_.calls.clear();
  SendMessageW(window, WM_WEATHER_UPDATED, 0, 0);
  EXPECT_TRUE(factory_.calls.empty());

  // The desktop search starts from the window's timer a little after the page asked.
  Call("runTools", R"(["", "{\"tool\":\"QuickFind\"}"])");
  EXPECT_TRUE(services_.seen.empty());
  EXPECT_TRUE(PumpUntil([&] { return !services_.seen.empty(); }));
  EXPECT_EQ(services_.seen, std::vector<std::wstring>{L"tool 3"});
}

TEST_F(ControllerTest, TheSceneEventFollowsTheForegroundWatch) {
  OpenPage();
  settings_.SetSceneInterval(0);
  const HWND window = GetSideBarWindow();
  // A clear before the timer fires cancels the wait.
  SendMessageW(window, WM_SCENE_MATCHED, 0, 0);
  SendMessageW(window, WM_SCENE_CLEARED, 0, 0);
  Pump(200);
  EXPECT_TRUE(factory_.calls.empty());
  SendMessageW(window, WM_SCENE_MATCHED, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !factory_.calls.empty(); }));
  // Members sorted, no line feed; nothing matched yet, so both are empty.
  EXPECT_EQ(factory_.calls, Calls{L"script _sceneTriggerCallback_listener({\"code\":0,\"data\":{\"ext\":\"\","
                                  L"\"process\":\"\"},\"msg\":\"\"})"});
  // A negative interval from the cloud list counts as none instead of wrapping to weeks.
  settings_.SetSceneInterval(-1);
  factory_.calls.clear();
  SendMessageW(window, WM_SCENE_MATCHED, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return !factory_.calls.empty(); }));
}

TEST(ControllerConstruction, OnlyStartCreatesTheWindowAndPublishesIt) {
  CAppConfigMgr settings;
  FakeServices services(settings);
  RecordingFactory factory;
  const SideBarWindowNames names{L"VelmoraConstructionTestClass", L"VelmoraConstructionTest"};
  CWebBrowserEvent side_bar(&factory, services, {}, names);
  EXPECT_EQ(side_bar.hwnd(), nullptr);
  EXPECT_EQ(FindWindowW(names.window_class, nullptr), nullptr);
  EXPECT_EQ(GetSideBarWindow(), nullptr);
  ASSERT_TRUE(side_bar.Start());
  EXPECT_EQ(FindWindowW(names.window_class, names.title), side_bar.hwnd());
  EXPECT_EQ(GetSideBarWindow(), side_bar.hwnd());
}

}  // namespace
}  // namespace velmora
