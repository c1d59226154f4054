// The side bar's browser side: the browsers the shell sets, the events and page calls their sinks
// forward, and the browser window's appearance.
#include "view/web_browser_event.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "bridge/command_dispatcher.h"
#include "config/app_config.h"
#include "config/time_rules.h"
#include "platform/build_constants.h"
#include "platform/launch.h"
#include "view/browser_focus_hook.h"
#include "view/side_bar_timers.h"

namespace velmora {
namespace {

constexpr int kAppIconId = 107;

// The shell events that ask a question, and the program's answer.
std::optional<int> ShellEventAnswer(int id) {
  switch (id) {
    case shell::kEventAnswerNo:
      return 0;
    case shell::kEventAnswerYes:
    case shell::kEventAnswerYesToo:
    case shell::kEventAnswerYesAlso:
      return 1;
    default:
      return std::nullopt;
  }
}

HICON LoadAppIcon(int width_metric, int height_metric) {
  return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                         ::GetSystemMetrics(width_metric), ::GetSystemMetrics(height_metric), 0));
}

// Nothing may reach the shell, so a throw out of a shell event or a page call ends in the handler
// that called this: a fault of ours, reported on the debugger channel (a debugger, a debug-output
// viewer, or a test's exception handler sees it) with what was being handled. Allocates nothing.
void ReportFault(const char* kind, const char* name) {
  char what[96] = "not a standard exception";
  try {
    throw;
  } catch (const std::exception& error) {
    std::snprintf(what, sizeof(what), "%s", error.what());
  } catch (...) {
  }
  char text[256];
  std::snprintf(text, sizeof(text), "Velmora: %s \"%.64s\" threw: %s\n", kind, name ? name : "", what);
  ::OutputDebugStringA(text);
}

}  // namespace

// --- shell events --------------------------------------------------------------------------------

void CWebBrowserEvent::SetBrowser(shell::ShellBrowser* browser) {
  if (!browser_) browser_ = ShellBrowserRef(browser);
}

void CWebBrowserEvent::OnShellEvent(int id, const wchar_t* payload, int, int, int, int* result) {
  try {
    switch (id) {
      case shell::kEventCloseSideBar:
      case shell::kEventShellClosing:
        Close();
        break;
      case shell::kEventOpenLinkOutside:
        if (payload && *payload) OpenUrlOutside(payload);
        break;
      case shell::kEventBrowserWindowCreated:
        OnBrowserWindowCreated();
        break;
      case shell::kEventBrowserGone:
        browser_.Forget();
        Close();
        break;
      case shell::kEventCloseUnlessShown:
        if (!page_shown_) Close();
        break;
      default:
        if (const auto answer = ShellEventAnswer(id); answer && result) *result = *answer;
        break;
    }
  } catch (...) {
    char name[16];
    std::snprintf(name, sizeof(name), "%d", id);
    ReportFault("shell event", name);
  }
}

void CWebBrowserEvent::OnSinkBrowser(CBrowserSink& sink) {
  if (&sink == current_sink_) SetBrowser(sink.browser());
}

void CWebBrowserEvent::OnSinkEvent(CBrowserSink& sink, int id, const wchar_t* payload, int* result) {
  if (&sink == current_sink_) {
    OnShellEvent(id, payload, 0, 0, 0, result);
    return;
  }
  // A browser left behind by a page switch answers the shell's questions but drives nothing; once
  // the shell reports it gone it is forgotten, so shutdown does not release it again.
  if (id == shell::kEventBrowserGone) {
    if (sink.browser() && previous_browser_.get() == sink.browser()) previous_browser_.Forget();
  } else if (const auto answer = ShellEventAnswer(id); answer && result) {
    *result = *answer;
  }
}

int CWebBrowserEvent::OnSinkPageCall(CBrowserSink& sink, const char* first, const char* name, const char* arguments) {
  // Only the current page may drive the side bar.
  return &sink == current_sink_ ? OnPageCall(first, name, arguments, 0, 0, 0) : 0;
}

int CWebBrowserEvent::OnPageCall(const char* first, const char* name, const char* arguments, int, int, int) {
  try {
    DispatchPageCall(*this, services_, first, name, arguments);
  } catch (...) {
    // The page is untrusted, but whatever it sent is answered without a throw: one is our fault.
    ReportFault("page call", name);
  }
  return 0;
}

void CWebBrowserEvent::OnBrowserWindowCreated() {
  const HWND window = BrowserWindow();
  if (!window) return;
  ::SetWindowLongPtrW(window, GWL_EXSTYLE, ::GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
  browser_->Hide();
  HookBrowserFocus(window);
  SetWindowIcons(window);
  ::SetWindowTextW(window, kDisplayName);
  window_appeared_tick_ = ::GetTickCount();
  ::SetTimer(hwnd(), kFirstInputTimer, kFirstInputIntervalMs, nullptr);
  PushSignInCookies();
  WriteSettingsDword(L"last_show_bar", ToRegistryTime(NowSeconds()));
}

void CWebBrowserEvent::SetWindowIcons(HWND browser_window) {
  if (!large_icon_) {
    large_icon_.reset(LoadAppIcon(SM_CXICON, SM_CYICON));
    small_icon_.reset(LoadAppIcon(SM_CXSMICON, SM_CYSMICON));
  }
  if (large_icon_) {
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large_icon_.get()));
    ::SetClassLongPtrW(browser_window, GCLP_HICON, reinterpret_cast<LONG_PTR>(large_icon_.get()));
  }
  if (small_icon_) {
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));
    ::SetClassLongPtrW(browser_window, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(small_icon_.get()));
  }
}

}  // namespace velmora
