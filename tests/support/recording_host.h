// A page host made of recorders, for tests of the page's commands: no window, no browser, no
// process-wide state. Scripts the page would run go to `scripts`, everything else to `actions`.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "bridge/page_host.h"
#include "platform/text.h"
#include "standins/common/redirection_probe.h"

namespace velmora::test {

class RecordingHost final : public PageHost {
 public:
  using Calls = std::vector<std::wstring>;

  Calls scripts;
  Calls actions;
  bool has_browser = true;
  bool page_shown = false;
  // A script was run from a thread with file-system redirection off (a 32-bit test program only).
  bool script_with_redirection_off = false;

  bool HasBrowser() const override { return has_browser; }
  void RunScript(const std::wstring& text) override {
    if (standin::RedirectionIsOff()) script_with_redirection_off = true;
    if (has_browser && !text.empty()) scripts.push_back(L"script " + text);
  }
  void MarkPageShown() override { page_shown = true; }
  void SetPageSize(int width, int height) override { Act(FormatW(L"size %d %d", width, height)); }
  void StopPageLoadTimeout() override { Act(L"stop page-load timeout"); }
  void PushSignInCookies() override { Act(L"cookies"); }
  bool ShowLoginDialog() override {
    Act(L"login dialog");
    return false;
  }
  void ShowDevTools() override { Act(L"devtools"); }
  HWND BrowserWindow() const override { return nullptr; }
  void ShowCentered(int width, int height) override { Act(FormatW(L"centred %d %d", width, height)); }
  void ShowFullScreen() override { Act(L"full screen"); }
  void ShowBrowser() override { Act(L"show"); }
  void BringToFront(bool keep_topmost) override { Act(keep_topmost ? L"front topmost" : L"front"); }
  void MoveStart() override { Act(L"move start"); }
  void MoveEnd() override { Act(L"move end"); }
  void PostToSideBar(UINT message) override { Act(FormatW(L"post 0x%04X", message)); }
  void StartQuickFindTimer(UINT delay_ms) override { Act(FormatW(L"quick find in %u ms", delay_ms)); }

 private:
  void Act(const std::wstring& what) { actions.push_back(what); }
};

}  // namespace velmora::test
