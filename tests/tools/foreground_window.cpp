// Shows a window titled with its argument and announces it as the foreground window the way the
// system does (an EVENT_SYSTEM_FOREGROUND win event), then keeps it for two seconds so that a
// watcher can read its title and process. Tests of the foreground watch start it.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  const wchar_t* title = argc > 1 ? argv[1] : L"";
  const HWND window = ::CreateWindowExW(0, L"STATIC", title, WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                        nullptr, nullptr);
  if (!window) return 1;
  ::NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, window, OBJID_WINDOW, CHILDID_SELF);
  const DWORD end = ::GetTickCount() + 2000;
  MSG msg;
  while (static_cast<LONG>(::GetTickCount() - end) < 0) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(10);
  }
  ::DestroyWindow(window);
  return 0;
}
