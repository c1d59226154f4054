// A browser shell made of recorders, for tests of the side bar controller and the page bridge:
// the factory and browsers write every call they get into one list of lines.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "view/shell_interfaces.h"

namespace velmora::test {

using Calls = std::vector<std::wstring>;

// A browser the way the shell makes one: a real, hidden top-level window; records every call.
class RecordingBrowser final : public velmora::shell::ShellBrowserWithUnusedSlots {
 public:
  explicit RecordingBrowser(Calls* calls) : calls_(calls) {
    window_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  }
  ~RecordingBrowser() {
    if (IsWindow(window_)) DestroyWindow(window_);
  }
  HWND GetWindow() override { return window_; }
  void SetBounds(int x, int y, int w, int h) override {
    calls_->push_back(velmora::FormatW(L"bounds %d %d %d %d", x, y, w, h));
    if (w > 0 && h > 0) SetWindowPos(window_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void Release() override { calls_->push_back(L"release"); }
  void Relayout() override { calls_->push_back(L"relayout"); }
  void Show() override {
    calls_->push_back(L"show");
    ShowWindow(window_, SW_SHOWNOACTIVATE);
  }
  void Hide() override {
    calls_->push_back(L"hide");
    ShowWindow(window_, SW_HIDE);
  }
  void RunScript(const wchar_t* text) override { calls_->push_back(std::wstring(L"script ") + text); }
  void OpenTool(int which, int reserved) override { calls_->push_back(velmora::FormatW(L"tool %d %d", which, reserved)); }

 private:
  Calls* calls_;
  HWND window_ = nullptr;
};

class RecordingFactory final : public velmora::shell::ShellBrowserFactory {
 public:
  bool CreateBrowser(velmora::shell::ShellWebBrowserEvent* sink, int reserved, const wchar_t* url, int a, int b) override {
    calls.push_back(velmora::FormatW(L"create %d %ls %d %d", reserved, url, a, b));
    sinks.push_back(sink);
    browsers.push_back(std::make_unique<RecordingBrowser>(&calls));
    sink->SetBrowser(browsers.back().get());
    return true;
  }
  void Reserved1() override {}
  bool SetCookie(int kind, const void*) override {
    calls.push_back(velmora::FormatW(L"cookie %d", kind));
    return true;
  }
  Calls calls;
  std::vector<velmora::shell::ShellWebBrowserEvent*> sinks;  // the sink each browser reports to
  std::vector<std::unique_ptr<RecordingBrowser>> browsers;
};

// Dispatches this thread's messages for `ms` milliseconds.
inline void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  MSG msg;
  while (static_cast<LONG>(GetTickCount() - end) < 0) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
}

// Pumps until `done` holds or two seconds passed.
template <typename Condition>
inline bool PumpUntil(Condition done) {
  for (int i = 0; i < 400 && !done(); ++i) Pump(5);
  return done();
}

}  // namespace velmora::test
