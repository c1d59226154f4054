#include "view/browser_focus_hook.h"

#include "platform/process_ids.h"
#include "view/side_bar_handle.h"

namespace velmora {
namespace {

constexpr wchar_t kPreviousProcProperty[] = L"VelmoraPreviousWndProc";

LRESULT CALLBACK BrowserWindowHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto previous = reinterpret_cast<WNDPROC>(::GetPropW(window, kPreviousProcProperty));
  if (message == WM_KILLFOCUS && ::IsWindowEnabled(window)) SideBarWindowSlot().Post(WM_WINDOW_BLUR);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    ::RemovePropW(window, kPreviousProcProperty);
  }
  return previous ? ::CallWindowProcW(previous, window, message, wparam, lparam)
                  : ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void HookBrowserFocus(HWND window) {
  if (::GetPropW(window, kPreviousProcProperty)) return;  // hooked already
  const LONG_PTR previous = ::GetWindowLongPtrW(window, GWLP_WNDPROC);
  ::SetPropW(window, kPreviousProcProperty, reinterpret_cast<HANDLE>(previous));
  ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BrowserWindowHook));
}

}  // namespace velmora
