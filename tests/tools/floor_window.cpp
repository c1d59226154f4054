// The side bar benchmark's floor: a program built like Velmora.exe that makes the same mandated
// start-up calls, shows one window and waits until it is ended. Its private memory is what any
// such program costs under Wine.
#include <windows.h>
#include <imm.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  ::CoInitialize(nullptr);
  ::ImmDisableIME(static_cast<DWORD>(-1));
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &::DefWindowProcW;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"VelmoraFloorWindow";
  ::RegisterClassExW(&window_class);
  const HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, window_class.lpszClassName, L"floor", WS_POPUP, 0, 0, 360,
                                        640, nullptr, nullptr, instance, nullptr);
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  ::CoUninitialize();
  return 0;
}
