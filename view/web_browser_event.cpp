#include "view/web_browser_event.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "account/account_reader.h"
#include "account/login_cookie_records.h"
#include "account/login_cookies.h"
#include "account/login_helper.h"
#include "account/login_library.h"
#include "account/login_status.h"
#include "bridge/page_replies.h"
#include "config/app_config.h"
#include "platform/launch.h"
#include "platform/process_facts.h"
#include "platform/suite_folder.h"
#include "platform/text.h"
#include "view/page_addresses.h"
#include "view/side_bar_handle.h"
#include "view/side_bar_timers.h"

namespace velmora {
namespace {

// The sign-in notifications, carried from the login stack's threads to the side bar window.
// WM_SIGNED_IN_NOTICE's lParam owns a heap SignInNotice the handler frees.
constexpr UINT WM_SIGNED_IN_NOTICE = WM_APP + 0x200;
constexpr UINT WM_SIGNED_OUT_NOTICE = WM_APP + 0x201;

}  // namespace

struct CWebBrowserEvent::SignInNotice {
  std::wstring account;
  int status;
};

// --- construction --------------------------------------------------------------------------------

CWebBrowserEvent::CWebBrowserEvent(shell::ShellBrowserFactory* factory, PageServices& services,
                                   ShutdownHandler shutdown, SideBarWindowNames names)
    : factory_(factory),
      services_(services),
      shutdown_(std::move(shutdown)),
      names_(names),
      current_url_(OnlinePageUrl(false)),
      foreground_watch_(services.settings(), SideBarWindowSlot()) {}

CWebBrowserEvent::~CWebBrowserEvent() {
  login_.TearDown();
  foreground_watch_.Stop();
  if (hwnd() && GetSideBarWindow() == hwnd()) SetSideBarWindow(nullptr);
  if (hwnd()) ::DestroyWindow(hwnd());
}

bool CWebBrowserEvent::Start() {
  if (hwnd()) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = names_.window_class;
  if (!Create(wc, WS_EX_APPWINDOW, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, names_.title, 0, 0, 0, 0, nullptr)) {
    return false;
  }
  ::DisableProcessWindowsGhosting();
  created_tick_ = ::GetTickCount();
  notice_window_.store(hwnd());

  CLoginHelper::Instance();
  login_.SetUp(this, GetSuiteFolder());
  ContainProcess();
  SetSideBarWindow(hwnd());
  placement_.LockForeground();

  ::SetTimer(hwnd(), kZOrderTimer, kZOrderIntervalMs, nullptr);
  ::SetTimer(hwnd(), kCloudListTimer, kCloudListIntervalMs, nullptr);
  ::SetTimer(hwnd(), kDailyTimer, kDailyIntervalMs, nullptr);

  services_.StartWorkers(SideBarWindowSlot());

  EnableDebugPrivilege();
  // Without the hook (another side bar of this process watches already, or the system refuses)
  // there are simply no scene notifications.
  (void)foreground_watch_.Start();
  return true;
}

// --- navigation and the page -------------------------------------------------------------------

void CWebBrowserEvent::Navigate(const std::wstring& url) {
  if (url.empty()) return;
  current_url_ = url;
  is_https_ = AsciiLower(url).find(L"https:") != std::wstring::npos;
  ::SetTimer(hwnd(), kPageLoadTimer, kPageLoadTimeoutMs, nullptr);
  sinks_.push_back(std::make_unique<CBrowserSink>(static_cast<CBrowserSink::Owner&>(*this)));
  current_sink_ = sinks_.back().get();
  if (factory_) factory_->CreateBrowser(current_sink_, 0, url.c_str(), 1, 1);
}

void CWebBrowserEvent::ForgetBrowsers() {
  browser_.Forget();
  previous_browser_.Forget();
}

void CWebBrowserEvent::RunScript(const std::wstring& text) {
  if (browser_ && !text.empty()) browser_->RunScript(text.c_str());
}

void CWebBrowserEvent::RunScript(const std::string& script) { RunScript(Utf8ToWide(script)); }

void CWebBrowserEvent::SetPageSize(int width, int height) {
  page_width_ = width;
  page_height_ = height;
}

void CWebBrowserEvent::SetCookie(const std::wstring& target, const std::wstring& name, const std::string& value,
                                 const std::wstring& domain) {
  if (!factory_) return;
  const std::string url = WideToUtf8(target), cookie = WideToUtf8(name), dom = WideToUtf8(domain);
  const CookieRecord record = MakeCookieRecord(url, cookie, value, dom);
  factory_->SetCookie(shell::kCookieRecord, &record);
  if (NeedsLongCookieRecord(value)) {
    // The shell may read the value after the call returns: the record points at a copy the side
    // bar keeps. Only the latest few are kept; cookies are set at sign-in and when the page shows.
    constexpr size_t kKeptLongValues = 16;
    long_cookie_values_.push_back(value);
    if (long_cookie_values_.size() > kKeptLongValues) long_cookie_values_.pop_front();
    const LongCookieRecord long_record = MakeLongCookieRecord(url, cookie, dom, long_cookie_values_.back());
    factory_->SetCookie(shell::kLongCookieRecord, &long_record);
  }
}

void CWebBrowserEvent::PushSignInCookies() {
  if (!IsSignedIn()) return;
  PushLoginCookies(*this, ParseLoginCookies(ReadAccount().cookie_text));
}

bool CWebBrowserEvent::ShowLoginDialog() { return login_.ShowLoginDialog(BrowserWindow()); }

void CWebBrowserEvent::ShowDevTools() {
  if (browser_) browser_->OpenTool(shell::kDeveloperTools, 0);
}

void CWebBrowserEvent::PostToSideBar(UINT message) { SideBarWindowSlot().Post(message); }

void CWebBrowserEvent::StartQuickFindTimer(UINT delay_ms) { ::SetTimer(hwnd(), kQuickFindTimer, delay_ms, nullptr); }

// --- placement and order -----------------------------------------------------------------------

HWND CWebBrowserEvent::BrowserWindow() const { return browser_ ? browser_->GetWindow() : nullptr; }

void CWebBrowserEvent::StopPageLoadTimeout() { ::KillTimer(hwnd(), kPageLoadTimer); }

void CWebBrowserEvent::ShowCentered(int width, int height) {
  StopPageLoadTimeout();
  placement_.ShowCentered(browser_.get(), width, height);
}

void CWebBrowserEvent::ShowFullScreen() {
  StopPageLoadTimeout();
  placement_.ShowFullScreen(browser_.get());
}

void CWebBrowserEvent::ShowBrowser() {
  if (browser_) browser_->Show();
}

void CWebBrowserEvent::BringToFront(bool keep_topmost) { placement_.BringToFront(BrowserWindow(), keep_topmost); }

void CWebBrowserEvent::MoveStart() {
  placement_.StartDrag(BrowserWindow());
  ::SetTimer(hwnd(), kDragTimer, kDragIntervalMs, nullptr);
}

void CWebBrowserEvent::MoveEnd() { ::KillTimer(hwnd(), kDragTimer); }

// --- sign-in changes -----------------------------------------------------------------------------

void CWebBrowserEvent::OnSignedIn(const wchar_t*, const wchar_t* account, int status) {
  const HWND window = notice_window_.load();
  if (!window) return;
  auto notice = std::make_unique<SignInNotice>(SignInNotice{account ? account : L"", status});
  if (::PostMessageW(window, WM_SIGNED_IN_NOTICE, 0, reinterpret_cast<LPARAM>(notice.get()))) (void)notice.release();
}

void CWebBrowserEvent::OnSignedOut() {
  if (const HWND window = notice_window_.load()) ::PostMessageW(window, WM_SIGNED_OUT_NOTICE, 0, 0);
}

void CWebBrowserEvent::OnSignInNotice(std::unique_ptr<SignInNotice> notice) {
  if (notice) velmora::OnSignedIn(*this, notice->account.c_str(), notice->status);
}

// --- shutdown ------------------------------------------------------------------------------------

void CWebBrowserEvent::Close() {
  if (shutdown_) shutdown_(hwnd(), *this);
}

void CWebBrowserEvent::RemoveForegroundHook() { foreground_watch_.Stop(); }

void CWebBrowserEvent::StopWeatherWorker() { services_.StopWeatherWorker(); }

void CWebBrowserEvent::ReleaseBrowsers() {
  browser_.reset();
  previous_browser_.reset();
}

// --- the side bar window -------------------------------------------------------------------------

void CWebBrowserEvent::OnTimer(UINT_PTR id) {
  // The damaged-file prompt runs its own message loop and ends the process when answered; until
  // then no timer acts (the page-load timeout would end the process under the user's eyes).
  if (IsDamagedFilePromptUp()) return;
  switch (id) {
    case kDragTimer:
      if (!placement_.DragStep(BrowserWindow())) ::KillTimer(hwnd(), kDragTimer);
      break;
    case kPageLoadTimer:
      ::KillTimer(hwnd(), kPageLoadTimer);
      Close();
      break;
    case kFirstInputTimer:
      OnFirstInputCheck();
      break;
    case kSceneTimer:
      ::KillTimer(hwnd(), kSceneTimer);
      OnSceneTimer();
      break;
    case kZOrderTimer:
      placement_.KeepZOrder(BrowserWindow());
      break;
    case kCloudListTimer:
      services_.RefreshCloudList();
      break;
    case kDailyTimer:
      RunScript(std::wstring(L"_OnDailyLogCallback_listener()"));
      break;
    case kRelayoutTimer:
      ::KillTimer(hwnd(), kRelayoutTimer);
      if (browser_) browser_->Relayout();
      break;
    case kQuickFindTimer:
      ::KillTimer(hwnd(), kQuickFindTimer);
      services_.RunTool(PageTool::kQuickFind);
      break;
    default:
      break;
  }
}

void CWebBrowserEvent::OnFirstInputCheck() {
  LASTINPUTINFO last{};
  last.cbSize = sizeof(last);
  if (!::GetLastInputInfo(&last) || static_cast<LONG>(last.dwTime - window_appeared_tick_) <= 0) return;
  ::KillTimer(hwnd(), kFirstInputTimer);
  RunScript(std::wstring(L"OnMouseOrKeyPressed()"));
}

void CWebBrowserEvent::OnSceneTimer() {
  if (placement_.quiet() || !browser_) return;
  const ForegroundScene scene = foreground_watch_.Scene();
  RunScript(Utf8ToWide(SceneEventScript(WideToUtf8(scene.ext), WideToUtf8(scene.process))));
}

void CWebBrowserEvent::OnDestroy() {
  // No notice is posted from here on (the login stack's notification in flight finishes first),
  // and those still queued for this window would be dropped with it: free them.
  notice_window_.store(nullptr);
  login_.DetachSink();
  MSG queued;
  while (::PeekMessageW(&queued, hwnd(), WM_SIGNED_IN_NOTICE, WM_SIGNED_IN_NOTICE, PM_REMOVE)) {
    delete reinterpret_cast<SignInNotice*>(queued.lParam);
  }
  browser_.reset();
}

void CWebBrowserEvent::OnShowInstance() {
  if (BrowserWindow()) BringToFront(false);
}

void CWebBrowserEvent::OnSceneMatched() {
  // The interval comes from the cloud list: a negative one counts as none, and none waits longer
  // than a day.
  constexpr int kLongestSceneIntervalSeconds = 86400;
  const int seconds = std::clamp(services_.settings().GetSceneInterval(), 0, kLongestSceneIntervalSeconds);
  ::KillTimer(hwnd(), kSceneTimer);
  ::SetTimer(hwnd(), kSceneTimer, static_cast<UINT>(seconds) * 1000u, nullptr);
}

void CWebBrowserEvent::OnWeatherUpdated() {
  if (!browser_) return;
  const std::optional<Json::Value> weather = services_.CachedWeather();
  if (weather && weather->isObject()) RunScript(Utf8ToWide(WeatherEventScript(*weather)));
}

void CWebBrowserEvent::OnUploadToKelu() { services_.OpenUploadPicker(BrowserWindow()); }

void CWebBrowserEvent::OnNavigateOnline() {
  if (browser_) {
    // Kept hidden until shutdown releases it.
    browser_->Hide();
    previous_browser_ = std::move(browser_);
  }
  Navigate(WithCacheBuster(OnlinePageUrl(true), ::GetTickCount()));
}

LRESULT CWebBrowserEvent::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  try {
    switch (message) {
      case WM_DESTROY:
        OnDestroy();
        handled = false;
        return 0;
      case WM_CLOSE:
        Close();
        return 0;
      case WM_ENDSESSION:
        // The session is ending and the system will end the process after this: the orderly
        // shutdown of a close runs first, so that nothing is cut off halfway.
        if (wparam) Close();
        return 0;
      case WM_SETTINGCHANGE:
        if (wparam == SPI_SETWORKAREA) ::SetTimer(hwnd(), kRelayoutTimer, kRelayoutDelayMs, nullptr);
        return 0;
      case WM_DISPLAYCHANGE:
        ::SetTimer(hwnd(), kRelayoutTimer, kRelayoutDelayMs, nullptr);
        return 0;
      case WM_TIMER:
        OnTimer(wparam);
        return 0;
      case WM_SHOW_INSTANCE:
        OnShowInstance();
        return 0;
      case WM_SCENE_MATCHED:
        OnSceneMatched();
        return 0;
      case WM_SCENE_CLEARED:
        ::KillTimer(hwnd(), kSceneTimer);
        return 0;
      case WM_WEATHER_UPDATED:
        OnWeatherUpdated();
        return 0;
      case WM_RECOM_TOOLS_UPDATED:
        RunScript(std::wstring(L"_OnRecomToolsUpdateCallback_listener()"));
        return 0;
      case WM_UPLOAD_TO_KELU:
        OnUploadToKelu();
        return 0;
      case WM_WINDOW_BLUR:
        RunScript(std::wstring(L"_OnWindowBlurCallback_listener()"));
        return 0;
      case WM_NAVIGATE_ONLINE:
        OnNavigateOnline();
        return 0;
      case WM_SIGNED_IN_NOTICE:
        OnSignInNotice(std::unique_ptr<SignInNotice>(reinterpret_cast<SignInNotice*>(lparam)));
        return 0;
      case WM_SIGNED_OUT_NOTICE:
        velmora::OnSignedOut(*this);
        return 0;
      default:
        handled = false;
        return 0;
    }
  } catch (...) {
    // Nothing may leave a window procedure.
    return 0;
  }
}

}  // namespace velmora
