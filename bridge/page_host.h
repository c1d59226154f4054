// PageHost: what the page's commands need of the side bar that shows the page. The side bar
// window implements it; tests use a recorder with no window. Main thread.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

class PageHost {
 public:
  // --- the page ---
  virtual bool HasBrowser() const = 0;
  // Runs `text` in the current page; nothing without a browser or for an empty text.
  virtual void RunScript(const std::wstring& text) = 0;
  // The page has shown itself (Show, ShowFull) at the size it asked for (0 x 0 for ShowFull).
  virtual void MarkPageShown() = 0;
  virtual void SetPageSize(int width, int height) = 0;
  virtual void StopPageLoadTimeout() = 0;
  // The sign-in cookies into the browser, when someone is signed in.
  virtual void PushSignInCookies() = 0;
  // The login dialog, owned by the browser window; false when it cannot be shown.
  virtual bool ShowLoginDialog() = 0;
  virtual void ShowDevTools() = 0;

  // --- the browser window ---
  virtual HWND BrowserWindow() const = 0;
  virtual void ShowCentered(int width, int height) = 0;
  virtual void ShowFullScreen() = 0;
  virtual void ShowBrowser() = 0;
  virtual void BringToFront(bool keep_topmost) = 0;
  virtual void MoveStart() = 0;
  virtual void MoveEnd() = 0;

  // --- the side bar window ---
  // Posts `message` (wParam and lParam 0) to the side bar window, to be handled after the
  // command has replied; nothing once the side bar is shutting down.
  virtual void PostToSideBar(UINT message) = 0;
  // Starts the desktop search after `delay_ms`, from the side bar window's timer.
  virtual void StartQuickFindTimer(UINT delay_ms) = 0;

 protected:
  ~PageHost() = default;
};

// Runs "name(payload)" in the page when `name` is not empty.
inline void SendCallback(PageHost& host, const std::wstring& name, const std::wstring& payload) {
  if (!name.empty()) host.RunScript(name + L"(" + payload + L")");
}

}  // namespace velmora
