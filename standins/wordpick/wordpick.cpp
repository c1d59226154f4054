// Stand-in for the maker's word-pick search program.
//   --ProxyCall --data=<Base64>   decodes the request and records it ("request <json>"), or
//                                 records why it could not ("bad request <text>").
//   --serve <seconds>             runs as the running copy: a top-level window of the class the
//                                 side bar looks for, until closed or the seconds are over.
#include <windows.h>

#include <cwchar>
#include <algorithm>
#include <cstring>
#include <string>

#include "standins/common/standin_log.h"

namespace {

constexpr UINT_PTR kEndTimer = 1;

// Standard Base64 with or without "=" padding; false on any other character.
bool DecodeBase64(const std::wstring& text, std::string* out) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  unsigned bits = 0;
  int count = 0;
  size_t padding = 0;
  for (const wchar_t c : text) {
    if (c == L'=') {
      ++padding;
      continue;
    }
    if (padding || c > 0x7F) return false;
    const char* at = c ? std::strchr(kAlphabet, static_cast<char>(c)) : nullptr;
    if (!at) return false;
    bits = (bits << 6) | static_cast<unsigned>(at - kAlphabet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out->push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kEndTimer) ::DestroyWindow(window);
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcW(window, message, wparam, lparam);
}

int Serve(int seconds) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &WindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"QVuqMainAITextSearch";
  if (!::RegisterClassW(&window_class)) return 1;
  const HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"WordPick", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                        100, nullptr, nullptr, window_class.hInstance, nullptr);
  if (!window) return 1;
  ::SetTimer(window, kEndTimer, static_cast<UINT>(seconds) * 1000, nullptr);
  standin::Log("wordpick", "serving");
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  const std::wstring line = ::GetCommandLineW();
  standin::Log("wordpick", "started %s", standin::Narrow(line.c_str()).c_str());
  const size_t serve = line.find(L"--serve ");
  if (serve != std::wstring::npos) return Serve(std::max(1, _wtoi(line.c_str() + serve + 8)));
  const std::wstring kData = L"--ProxyCall --data=";
  const size_t data = line.find(kData);
  if (data == std::wstring::npos) return 0;
  std::wstring encoded = line.substr(data + kData.size());
  encoded = encoded.substr(0, encoded.find(L' '));
  std::string request;
  if (!DecodeBase64(encoded, &request)) {
    standin::Log("wordpick", "bad request %s", standin::Narrow(encoded.c_str()).c_str());
    return 1;
  }
  if (!request.empty() && request.back() == '\n') request.pop_back();
  standin::Log("wordpick", "request %s", request.c_str());
  return 0;
}
