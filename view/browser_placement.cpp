#include "view/browser_placement.h"

#include <windowsx.h>

#include <optional>

#include "platform/core_libraries.h"

namespace velmora {
namespace {

constexpr UINT kQuietFlags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;  // 0x213

HWND WindowOf(shell::ShellBrowser* browser) { return browser ? browser->GetWindow() : nullptr; }

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

void CBrowserPlacement::LockForeground() { foreground_locked_ = ::LockSetForegroundWindow(LSFW_LOCK); }

void CBrowserPlacement::ShowCentered(shell::ShellBrowser* browser, int width, int height) {
  const HWND window = WindowOf(browser);
  if (!window) return;
  browser->SetBounds(0, 0, width, height);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  RECT frame{};
  if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor) &&
      ::GetWindowRect(window, &frame)) {
    const POINT at = CenteredPosition(monitor.rcWork, frame.right - frame.left, frame.bottom - frame.top);
    ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  browser->Show();
  ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (foreground_locked_) {
    ::LockSetForegroundWindow(LSFW_UNLOCK);
    foreground_locked_ = FALSE;
  }
}

void CBrowserPlacement::ShowFullScreen(shell::ShellBrowser* browser) {
  const HWND window = WindowOf(browser);
  if (!window) return;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  const RECT& work = monitor.rcWork;
  browser->SetBounds(work.left, work.top, 0, 0);
  ::SetWindowPos(window, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                 SWP_NOACTIVATE | SWP_NOZORDER);
}

void CBrowserPlacement::BringToFront(HWND window, bool keep_topmost) {
  keep_topmost_ = keep_topmost;
  if (!window) return;
  const HWND foreground = ::GetForegroundWindow();
  if (foreground && ::GetWindowThreadProcessId(foreground, nullptr) == ::GetCurrentThreadId()) return;
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER);
  if (!keep_topmost) ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER);
  ::SetForegroundWindow(window);
}

void CBrowserPlacement::StartDrag(HWND window) {
  RECT frame{};
  if (window && ::GetWindowRect(window, &frame)) {
    const DWORD at = ::GetMessagePos();
    drag_offset_ = {GET_X_LPARAM(at) - frame.left, GET_Y_LPARAM(at) - frame.top};
  }
}

bool CBrowserPlacement::DragStep(HWND window) {
  const bool button_down = (::GetAsyncKeyState(VK_LBUTTON) & 0x8000) || (::GetAsyncKeyState(VK_RBUTTON) & 0x8000);
  if (!button_down) return false;
  if (window) {
    const DWORD at = ::GetMessagePos();
    ::SetWindowPos(window, nullptr, GET_X_LPARAM(at) - drag_offset_.x, GET_Y_LPARAM(at) - drag_offset_.y, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  return true;
}

void CBrowserPlacement::KeepZOrder(HWND window) {
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

}  // namespace velmora
