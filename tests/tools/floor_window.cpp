// The side bar benchmark's floor: a program built like Velmora.exe that makes the same mandated
// start-up calls, shows one window and waits until it is ended. Its private memory is what any
// such program costs under Wine. Given a file, it first checks that file's signature the way the
// program checks every file it loads: the second floor, with the system's certificate stores set up.
#include <windows.h>
#include <imm.h>
#include <objbase.h>
#include <softpub.h>
#include <wintrust.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  ::CoInitialize(nullptr);
  ::ImmDisableIME(static_cast<DWORD>(-1));
  if (command_line && *command_line) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = command_line;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    ::WinVerifyTrust(nullptr, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(nullptr, &action, &data);
  }
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
