#include "view/web_browser_event.h"

#include <psapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "account/account_reader.h"
#include "account/login_cookies.h"
#include "account/login_helper.h"
#include "account/login_status.h"
#include "app/launch.h"
#include "bridge/command_dispatcher.h"
#include "bridge/page_replies.h"
#include "bridge/page_services.h"
#include "config/app_config.h"
#include "config/build_constants.h"
#include "config/time_rules.h"
#include "platform/core_libraries.h"
#include "platform/http_client.h"
#include "platform/process_facts.h"
#include "platform/suite_folder.h"
#include "platform/text.h"
#include "view/messages.h"
#include "view/seal_kit.h"

namespace velmora {
namespace {

constexpr wchar_t kPagePath[] = L"/trevalis-desktop-ai-toolbar/index.html";
constexpr int kAppIconId = 107;
constexpr UINT kQuietFlags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;  // 0x213
constexpr size_t kLongestShortCookie = 254;

// --- foreground watch: process-wide, guarded --------------------------------------------------
std::mutex g_foreground_lock;
HWINEVENTHOOK g_foreground_hook = nullptr;
ForegroundScene g_foreground_scene;

std::wstring ProcessFileName(DWORD process_id) {
  ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return {};
  wchar_t path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameExW(process.get(), nullptr, path, MAX_PATH);
  if (length == 0) {
    length = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process.get(), 0, path, &length)) return {};
  }
  const std::wstring full(path, length);
  const size_t cut = full.find_last_of(L"\\/");
  return cut == std::wstring::npos ? full : full.substr(cut + 1);
}

void CALLBACK ForegroundChanged(HWINEVENTHOOK, DWORD event, HWND window, LONG, LONG, DWORD, DWORD) {
  try {
    if (event != EVENT_SYSTEM_FOREGROUND || !window) return;
    wchar_t title[520] = {};
    ::GetWindowTextW(window, title, 520);
    const HWND side_bar = GetSideBarWindow();
    if (!side_bar) return;
    DWORD process_id = 0;
    ::GetWindowThreadProcessId(window, &process_id);
    const std::wstring process = ProcessFileName(process_id);
    const auto keyword = MatchSceneKeyword(title, CAppConfigMgr::Instance().GetSceneSuffixes());
    if (keyword) {
      {
        std::lock_guard<std::mutex> hold(g_foreground_lock);
        g_foreground_scene = {*keyword, process};
      }
      ::SendMessageW(side_bar, WM_SCENE_MATCHED, 0, 0);
    } else {
      ::SendMessageW(side_bar, WM_SCENE_CLEARED, 0, 0);
    }
  } catch (...) {
    // Nothing may leave a hook callback; the next foreground change tries again.
  }
}

// --- the browser window's hook: tells the side bar when the page loses the focus ---------------
constexpr wchar_t kPreviousProcProperty[] = L"VelmoraPreviousWndProc";

LRESULT CALLBACK BrowserWindowHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto previous = reinterpret_cast<WNDPROC>(::GetPropW(window, kPreviousProcProperty));
  if (message == WM_KILLFOCUS) {
    const HWND side_bar = GetSideBarWindow();
    if (side_bar && ::IsWindowEnabled(window)) ::PostMessageW(side_bar, WM_WINDOW_BLUR, 0, 0);
  }
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    ::RemovePropW(window, kPreviousProcProperty);
  }
  return previous ? ::CallWindowProcW(previous, window, message, wparam, lparam)
                  : ::DefWindowProcW(window, message, wparam, lparam);
}

void HookBrowserWindow(HWND window) {
  if (::GetPropW(window, kPreviousProcProperty)) return;  // hooked already
  const LONG_PTR previous = ::GetWindowLongPtrW(window, GWLP_WNDPROC);
  ::SetPropW(window, kPreviousProcProperty, reinterpret_cast<HANDLE>(previous));
  ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BrowserWindowHook));
}

void CopyText(char* field, size_t size, const std::string& text) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

struct SignInNotice {
  std::wstring account;
  int status;
};

}  // namespace

POINT CenteredPosition(const RECT& work, int width, int height) {
  LONG x = (work.left + work.right) / 2 - width / 2;
  if (work.right < x + width) x = work.right - width;
  if (x < work.left) x = work.left;
  LONG y = (work.top + work.bottom) / 2 - height / 2;
  if (work.bottom < y + height) y = work.bottom - height;
  if (y < work.top) y = work.top;
  return {x, y};
}

std::optional<std::wstring> MatchSceneKeyword(std::wstring_view title, const std::vector<std::wstring>& keywords) {
  const std::wstring lower_title = AsciiLower(title);
  // An empty keyword occurs in every title, as the system's substring search has it.
  for (const std::wstring& keyword : keywords) {
    const std::wstring lower = AsciiLower(keyword);
    if (lower_title.find(lower) != std::wstring::npos) return lower;
  }
  return std::nullopt;
}

ForegroundScene GetForegroundScene() {
  std::lock_guard<std::mutex> hold(g_foreground_lock);
  return g_foreground_scene;
}

std::wstring OnlinePageUrl(bool https) { return std::wstring(https ? L"https://" : L"http://") + kPageHost + kPagePath; }

std::wstring WithCacheBuster(const std::wstring& url, DWORD tick_count) {
  return FormatW(L"%ls?t=%d", url.c_str(), static_cast<int>(tick_count));
}

shell::CookieRecord MakeCookieRecord(const std::string& url, const std::string& name, const std::string& value,
                                     const std::string& domain) {
  shell::CookieRecord record{};
  CopyText(record.url, sizeof(record.url), url);
  CopyText(record.name, sizeof(record.name), name);
  CopyText(record.value, sizeof(record.value), value);
  CopyText(record.domain, sizeof(record.domain), domain);
  CopyText(record.path, sizeof(record.path), "/");
  return record;
}

bool NeedsLongCookieRecord(const std::string& value) { return value.size() > kLongestShortCookie; }

shell::LongCookieRecord MakeLongCookieRecord(const std::string& url, const std::string& name, const std::string& domain,
                                             const std::string& value) {
  shell::LongCookieRecord record{};
  record.size = shell::kLongCookieRecordSize;
  CopyText(record.url, sizeof(record.url), url);
  CopyText(record.name, sizeof(record.name), name);
  CopyText(record.domain, sizeof(record.domain), domain);
  CopyText(record.path, sizeof(record.path), "/");
  record.value_length = static_cast<uint32_t>(value.size());
  record.value = value.data();  // the caller keeps `value` alive while the record is in use
  return record;
}

// --- construction --------------------------------------------------------------------------------

CWebBrowserEvent::CWebBrowserEvent(shell::ShellBrowserFactory* factory, ShutdownHandler shutdown)
    : factory_(factory), shutdown_(std::move(shutdown)), current_url_(OnlinePageUrl(false)) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = kSideBarWindowClass;
  Create(wc, WS_EX_APPWINDOW, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, kSideBarWindowTitle, 0, 0, 0, 0, nullptr);
  ::DisableProcessWindowsGhosting();
  created_tick_ = ::GetTickCount();

  const std::wstring suite = GetSuiteFolder();
  CLoginHelper::Instance();
  login_.SetUp(this, suite);
  ContainProcess();
  SetSideBarWindow(hwnd());
  foreground_locked_ = ::LockSetForegroundWindow(LSFW_LOCK);

  ::SetTimer(hwnd(), kZOrderTimer, kZOrderIntervalMs, nullptr);
  ::SetTimer(hwnd(), kCloudListTimer, kCloudListIntervalMs, nullptr);
  ::SetTimer(hwnd(), kDailyTimer, kDailyIntervalMs, nullptr);
  topmost_ = true;

  StartWorkers();

  EnableDebugPrivilege();
  std::lock_guard<std::mutex> hold(g_foreground_lock);
  if (!g_foreground_hook) {
    g_foreground_hook = ::SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, &ForegroundChanged,
                                          0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  }
}

CWebBrowserEvent::~CWebBrowserEvent() {
  login_.TearDown();
  RemoveForegroundHook();
  if (GetSideBarWindow() == hwnd()) SetSideBarWindow(nullptr);
  if (hwnd()) ::DestroyWindow(hwnd());
  if (large_icon_) ::DestroyIcon(large_icon_);
  if (small_icon_) ::DestroyIcon(small_icon_);
}

void CWebBrowserEvent::StartWorkers() {
  // The cloud tool list may run only with the network library and the data-unwrapping library
  // ready. Its worker, the weather worker and the commonly used items collector come with their
  // providers.
  cloud_list_ready_ = CHttpClient::Instance().Init() == 1 && BindSealKit();
}

// --- navigation and the page -------------------------------------------------------------------

void CWebBrowserEvent::Navigate(const std::wstring& url) {
  if (url.empty()) return;
  current_url_ = url;
  is_https_ = AsciiLower(url).find(L"https:") != std::wstring::npos;
  ::SetTimer(hwnd(), kPageLoadTimer, kPageLoadTimeoutMs, nullptr);
  if (factory_) factory_->CreateBrowser(this, 0, url.c_str(), 1, 1);
}

void CWebBrowserEvent::RunScript(const std::wstring& text) {
  if (browser_ && !text.empty()) browser_->RunScript(text.c_str());
}

void CWebBrowserEvent::RunScript(const std::string& script) { RunScript(Utf8ToWide(script)); }

void CWebBrowserEvent::SendCallback(const std::wstring& name, const std::wstring& payload) {
  if (name.empty()) return;
  RunScript(name + L"(" + payload + L")");
}

void CWebBrowserEvent::SetCookie(const std::wstring& target, const std::wstring& name, const std::string& value,
                                 const std::wstring& domain) {
  if (!factory_) return;
  const std::string url = WideToUtf8(target), cookie = WideToUtf8(name), dom = WideToUtf8(domain);
  const shell::CookieRecord record = MakeCookieRecord(url, cookie, value, dom);
  factory_->SetCookie(shell::kCookieRecord, &record);
  if (NeedsLongCookieRecord(value)) {
    // The shell takes its copy during the call; ours lives until the call returns.
    const std::string copy = value;
    const shell::LongCookieRecord long_record = MakeLongCookieRecord(url, cookie, dom, copy);
    factory_->SetCookie(shell::kLongCookieRecord, &long_record);
  }
}

void CWebBrowserEvent::PushSignInCookies() {
  if (!IsSignedIn()) return;
  PushLoginCookies(*this, ParseLoginCookies(ReadAccount().cookie_text));
}

bool CWebBrowserEvent::ShowLoginDialog() { return login_.ShowLoginDialog(GetBrowserWindow()); }

// --- placement and order -----------------------------------------------------------------------

HWND CWebBrowserEvent::GetBrowserWindow() const { return browser_ ? browser_->GetWindow() : nullptr; }

void CWebBrowserEvent::StopPageLoadTimeout() { ::KillTimer(hwnd(), kPageLoadTimer); }

void CWebBrowserEvent::ShowCentered(int width, int height) {
  StopPageLoadTimeout();
  const HWND window = GetBrowserWindow();
  if (!window) return;
  browser_->SetBounds(0, 0, width, height);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  RECT frame{};
  if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor) &&
      ::GetWindowRect(window, &frame)) {
    const POINT at = CenteredPosition(monitor.rcWork, frame.right - frame.left, frame.bottom - frame.top);
    ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  browser_->Show();
  ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (foreground_locked_) {
    ::LockSetForegroundWindow(LSFW_UNLOCK);
    foreground_locked_ = FALSE;
  }
}

void CWebBrowserEvent::ShowFullScreen() {
  StopPageLoadTimeout();
  const HWND window = GetBrowserWindow();
  if (!window) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const RECT& work = monitor.rcWork;
  browser_->SetBounds(work.left, work.top, 0, 0);
  ::SetWindowPos(window, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                 SWP_NOACTIVATE | SWP_NOZORDER);
}

void CWebBrowserEvent::ShowBrowser() {
  if (browser_) browser_->Show();
}

void CWebBrowserEvent::BringToFront(bool keep_topmost) {
  keep_topmost_ = keep_topmost;
  const HWND window = GetBrowserWindow();
  if (!window) return;
  const HWND foreground = ::GetForegroundWindow();
  if (foreground && ::GetWindowThreadProcessId(foreground, nullptr) == ::GetCurrentThreadId()) return;
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER);
  if (!keep_topmost) ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER);
  ::SetForegroundWindow(window);
}

void CWebBrowserEvent::MoveStart() {
  const HWND window = GetBrowserWindow();
  RECT frame{};
  if (window && ::GetWindowRect(window, &frame)) {
    const DWORD at = ::GetMessagePos();
    drag_offset_ = {GET_X_LPARAM(at) - frame.left, GET_Y_LPARAM(at) - frame.top};
  }
  ::SetTimer(hwnd(), kDragTimer, kDragIntervalMs, nullptr);
}

void CWebBrowserEvent::MoveEnd() { ::KillTimer(hwnd(), kDragTimer); }

void CWebBrowserEvent::DragStep() {
  const bool button_down = (::GetAsyncKeyState(VK_LBUTTON) & 0x8000) || (::GetAsyncKeyState(VK_RBUTTON) & 0x8000);
  if (!button_down) {
    ::KillTimer(hwnd(), kDragTimer);
    return;
  }
  if (const HWND window = GetBrowserWindow()) {
    const DWORD at = ::GetMessagePos();
    ::SetWindowPos(window, nullptr, GET_X_LPARAM(at) - drag_offset_.x, GET_Y_LPARAM(at) - drag_offset_.y, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
}

void CWebBrowserEvent::ShowDevTools() {
  if (browser_) browser_->OpenTool(shell::kDeveloperTools, 0);
}

// --- watches -------------------------------------------------------------------------------------

void CWebBrowserEvent::FirstInputWatch() {
  LASTINPUTINFO last{};
  last.cbSize = sizeof(last);
  if (!::GetLastInputInfo(&last) || static_cast<LONG>(last.dwTime - window_appeared_tick_) <= 0) return;
  ::KillTimer(hwnd(), kFirstInputTimer);
  RunScript(std::wstring(L"OnMouseOrKeyPressed()"));
}

void CWebBrowserEvent::ZOrderWatch() {
  const HWND window = GetBrowserWindow();
  if (!window) return;
  const std::optional<DWORD> setting =
      HasMessageCenterSettings() ? QueryMessageCenterSetting(kSideBarQuietSetting) : std::optional<DWORD>(0);
  if (setting && *setting == 0) {
    quiet_ = false;
    topmost_ = true;
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, kQuietFlags);
  } else {
    quiet_ = true;
    ::SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, kQuietFlags);
    topmost_ = false;
  }
}

void CWebBrowserEvent::RemoveForegroundHook() {
  std::lock_guard<std::mutex> hold(g_foreground_lock);
  if (g_foreground_hook) ::UnhookWinEvent(g_foreground_hook);
  g_foreground_hook = nullptr;
}

// --- shell events --------------------------------------------------------------------------------

void CWebBrowserEvent::SetBrowser(shell::ShellBrowser* browser) {
  if (!browser_) browser_ = browser;
}

void CWebBrowserEvent::OnShellEvent(int id, const wchar_t* payload, int, int, int, int* result) {
  try {
    switch (id) {
      case shell::kEventClose:
      case shell::kEventCloseToo:
        Close();
        break;
      case shell::kEventOpenLink:
        if (payload && *payload) OpenUrlOutside(payload);
        break;
      case shell::kEventAnswerZero:
        if (result) *result = 0;
        break;
      case shell::kEventBrowserWindowCreated:
        OnBrowserWindowCreated();
        break;
      case shell::kEventBrowserGone:
        browser_ = nullptr;
        Close();
        break;
      case shell::kEventAnswerOne:
      case shell::kEventAnswerOneToo:
      case shell::kEventAnswerOneAlso:
        if (result) *result = 1;
        break;
      case shell::kEventCloseUnlessShown:
        if (!page_shown_) Close();
        break;
      default:
        break;
    }
  } catch (...) {
    // Nothing may reach the shell.
  }
}

int CWebBrowserEvent::OnPageCall(const char* first, const char* name, const char* arguments, int, int, int) {
  try {
    DispatchPageCall(*this, first, name, arguments);
  } catch (...) {
    // The page is untrusted; whatever it sent, the shell gets its 0.
  }
  return 0;
}

void CWebBrowserEvent::OnBrowserWindowCreated() {
  const HWND window = GetBrowserWindow();
  if (!window) return;
  ::SetWindowLongPtrW(window, GWL_EXSTYLE, ::GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
  browser_->Hide();
  HookBrowserWindow(window);
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  if (!large_icon_) {
    large_icon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
    small_icon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  }
  if (large_icon_) {
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_));
    ::SetClassLongPtrW(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(large_icon_));
  }
  if (small_icon_) {
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
    ::SetClassLongPtrW(window, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(small_icon_));
  }
  ::SetWindowTextW(window, kDisplayName);
  window_appeared_tick_ = ::GetTickCount();
  ::SetTimer(hwnd(), kFirstInputTimer, kFirstInputIntervalMs, nullptr);
  PushSignInCookies();
  WriteSettingsDword(L"last_show_bar", ToRegistryTime(NowSeconds()));
}

void CWebBrowserEvent::SwitchToOnlinePage() {
  if (browser_) {
    previous_browser_ = browser_;
    browser_->Hide();
    browser_ = nullptr;
  }
  Navigate(WithCacheBuster(OnlinePageUrl(true), ::GetTickCount()));
}

// --- sign-in changes -----------------------------------------------------------------------------

void CWebBrowserEvent::OnSignedIn(const wchar_t*, const wchar_t* account, int status) {
  auto notice = std::make_unique<SignInNotice>(SignInNotice{account ? account : L"", status});
  if (::PostMessageW(hwnd(), WM_SIGNED_IN_NOTICE, 0, reinterpret_cast<LPARAM>(notice.get()))) (void)notice.release();
}

void CWebBrowserEvent::OnSignedOut() { ::PostMessageW(hwnd(), WM_SIGNED_OUT_NOTICE, 0, 0); }

// --- shutdown ------------------------------------------------------------------------------------

void CWebBrowserEvent::Close() {
  if (shutdown_) {
    shutdown_(hwnd(), *this);
  } else {
    ShutdownSideBar(hwnd(), *this);
  }
}

void CWebBrowserEvent::StopWeatherWorker() {
  // The weather worker comes with the weather provider; nothing runs yet.
}

void CWebBrowserEvent::ReleaseBrowsers() {
  for (shell::ShellBrowser** browser : {&browser_, &previous_browser_}) {
    if (!*browser) continue;
    (*browser)->Hide();
    (*browser)->Release();
    *browser = nullptr;
  }
}

// --- the controller window -----------------------------------------------------------------------

void CWebBrowserEvent::OnTimer(UINT_PTR id) {
  switch (id) {
    case kDragTimer:
      DragStep();
      break;
    case kPageLoadTimer:
      ::KillTimer(hwnd(), kPageLoadTimer);
      Close();
      break;
    case kFirstInputTimer:
      FirstInputWatch();
      break;
    case kSceneTimer: {
      ::KillTimer(hwnd(), kSceneTimer);
      if (quiet_ || !browser_) break;
      const ForegroundScene scene = GetForegroundScene();
      RunScript(Utf8ToWide(SceneEventScript(WideToUtf8(scene.ext), WideToUtf8(scene.process))));
      break;
    }
    case kZOrderTimer:
      ZOrderWatch();
      break;
    case kCloudListTimer:
      if (GetPageServices().refresh_cloud_list) GetPageServices().refresh_cloud_list();
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
      if (GetPageServices().run_tool) GetPageServices().run_tool(PageTool::kQuickFind);
      break;
    default:
      break;
  }
}

LRESULT CWebBrowserEvent::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  try {
    switch (message) {
      case WM_DESTROY: {
        // Sign-in notices still queued for this window would be dropped with it: free them.
        MSG queued;
        while (::PeekMessageW(&queued, hwnd(), WM_SIGNED_IN_NOTICE, WM_SIGNED_IN_NOTICE, PM_REMOVE)) {
          delete reinterpret_cast<SignInNotice*>(queued.lParam);
        }
        if (browser_) browser_->Release();
        browser_ = nullptr;
        handled = false;
        return 0;
      }
      case WM_CLOSE:
        Close();
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
        if (GetBrowserWindow()) BringToFront(false);
        return 0;
      case WM_SCENE_MATCHED:
        ::KillTimer(hwnd(), kSceneTimer);
        ::SetTimer(hwnd(), kSceneTimer, static_cast<UINT>(CAppConfigMgr::Instance().GetSceneInterval()) * 1000u,
                   nullptr);
        return 0;
      case WM_SCENE_CLEARED:
        ::KillTimer(hwnd(), kSceneTimer);
        return 0;
      case WM_WEATHER_UPDATED: {
        const auto& read = GetPageServices().cached_weather;
        const std::optional<Json::Value> weather = browser_ && read ? read() : std::nullopt;
        if (weather && weather->isObject()) RunScript(Utf8ToWide(WeatherEventScript(*weather)));
        return 0;
      }
      case WM_RECOM_TOOLS_UPDATED:
        RunScript(std::wstring(L"_OnRecomToolsUpdateCallback_listener()"));
        return 0;
      case WM_UPLOAD_TO_KELU:
        if (GetPageServices().open_upload_picker) GetPageServices().open_upload_picker(GetBrowserWindow());
        return 0;
      case WM_WINDOW_BLUR:
        RunScript(std::wstring(L"_OnWindowBlurCallback_listener()"));
        return 0;
      case WM_NAVIGATE_ONLINE:
        SwitchToOnlinePage();
        return 0;
      case WM_SIGNED_IN_NOTICE: {
        const std::unique_ptr<SignInNotice> notice(reinterpret_cast<SignInNotice*>(lparam));
        if (notice) velmora::OnSignedIn(*this, notice->account.c_str(), notice->status);
        return 0;
      }
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
