// CWebBrowserEvent: the side bar controller. It receives the browser shell's events and page
// calls for the side bar's browser, owns the hidden controller window whose handle is the
// process-wide side bar window (messages 0x1400-0x1407 and timers 3600-3609), places and orders
// the browser window, and carries sign-in changes to the page.
//
// Everything runs on the main thread unless a function says otherwise.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "account/login_callback.h"
#include "account/login_helper_ex.h"
#include "account/login_page.h"
#include "app/shutdown.h"
#include "platform/window_module.h"
#include "view/shell_interfaces.h"

namespace velmora {

// Where the browser window goes when centred on a work area: the rules of ShowCentered for a
// window of `width` x `height`. Pure.
POINT CenteredPosition(const RECT& work_area, int width, int height);

// The first of `keywords` (lower case) that occurs in `title` without regard to case, or nullopt.
// Pure.
std::optional<std::wstring> MatchSceneKeyword(std::wstring_view title, const std::vector<std::wstring>& keywords);

// What the foreground watch found last: the matched keyword ("ext") and the foreground
// process's file name ("process"). Any thread.
struct ForegroundScene {
  std::wstring ext;
  std::wstring process;
};
ForegroundScene GetForegroundScene();

// The page addresses.
std::wstring OnlinePageUrl(bool https);
constexpr wchar_t kLocalPageUrl[] = L"ravida://zivudiduvoz/index.html";
// `url` with the cache-buster "?t=<tick count>".
std::wstring WithCacheBuster(const std::wstring& url, DWORD tick_count);

// The cookie records for one cookie: kind 1 always; kind 7 as well for a value longer than 254
// characters. Texts longer than their field are cut (always terminated). Pure.
shell::CookieRecord MakeCookieRecord(const std::string& url, const std::string& name, const std::string& value,
                                     const std::string& domain);
bool NeedsLongCookieRecord(const std::string& value);
shell::LongCookieRecord MakeLongCookieRecord(const std::string& url, const std::string& name, const std::string& domain,
                                             const std::string& value);

// What the controller does when the side bar is to end; the program's is ShutdownSideBar.
using ShutdownHandler = std::function<void(HWND window, IShutdownParticipant& participant)>;

class CWebBrowserEvent final : public shell::ShellWebBrowserEvent,
                               public CWindowBase,
                               public ILoginCallBack,
                               public ILoginPage,
                               public IShutdownParticipant {
 public:
  // Builds the controller: the hidden window, the login stack binding, the process job, the
  // side bar window handle, the foreground lock, the periodic timers, the workers and the
  // foreground watch. `factory` may be null (then no browser is ever made).
  CWebBrowserEvent(shell::ShellBrowserFactory* factory, ShutdownHandler shutdown = {});
  ~CWebBrowserEvent() override;

  // Loads `url` into a new browser: it becomes the current URL, the page-load timeout starts,
  // and the factory is asked for the browser. Nothing for an empty URL.
  void Navigate(const std::wstring& url);

  // Placement and order of the browser window.
  void ShowCentered(int width, int height);
  void ShowFullScreen();
  void BringToFront(bool keep_topmost);
  void MoveStart();
  void MoveEnd();
  HWND GetBrowserWindow() const;
  void ShowBrowser();
  void ShowDevTools();
  // Runs `text` in the current page; nothing without a browser or for an empty text.
  void RunScript(const std::wstring& text);
  // "name(payload)" in the page when `name` is not empty.
  void SendCallback(const std::wstring& name, const std::wstring& payload);

  // Page state the page commands set.
  void MarkPageShown() { page_shown_ = true; }
  bool page_shown() const { return page_shown_; }
  void SetPageSize(int width, int height) {
    page_width_ = width;
    page_height_ = height;
  }
  void StopPageLoadTimeout();
  // The sign-in cookies into the browser, when someone is signed in.
  void PushSignInCookies();
  bool ShowLoginDialog();

  const std::wstring& current_url() const { return current_url_; }
  bool is_https() const { return is_https_; }
  bool topmost() const { return topmost_; }
  bool quiet() const { return quiet_; }

  // shell::ShellWebBrowserEvent
  void OnShellEvent(int id, const wchar_t* payload, int a, int b, int c, int* result) override;
  int OnPageCall(const char* first, const char* name, const char* arguments, int a, int b, int c) override;
  void SetBrowser(shell::ShellBrowser* browser) override;

  // ILoginCallBack: any thread of the login stack. The work is carried to the main thread.
  void OnSignedIn(const wchar_t* product, const wchar_t* account, int status) override;
  void OnSignedOut() override;

  // ILoginPage
  bool HasBrowser() override { return browser_ != nullptr; }
  void RunScript(const std::string& script) override;
  void SetCookie(const std::wstring& target, const std::wstring& name, const std::string& value,
                 const std::wstring& domain) override;

  // IShutdownParticipant
  void RemoveForegroundHook() override;
  void StopWeatherWorker() override;
  void ReleaseBrowsers() override;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;

 private:
  void OnBrowserWindowCreated();
  void OnTimer(UINT_PTR id);
  void DragStep();
  void FirstInputWatch();
  void ZOrderWatch();
  void SwitchToOnlinePage();
  void Close();
  void StartWorkers();

  shell::ShellBrowserFactory* factory_;
  ShutdownHandler shutdown_;
  shell::ShellBrowser* browser_ = nullptr;
  shell::ShellBrowser* previous_browser_ = nullptr;
  std::wstring current_url_;
  bool is_https_ = false;
  int page_width_ = 0;
  int page_height_ = 0;
  POINT drag_offset_{};
  DWORD created_tick_ = 0;
  DWORD window_appeared_tick_ = 0;
  BOOL foreground_locked_ = FALSE;
  bool keep_topmost_ = false;
  bool topmost_ = false;
  bool quiet_ = false;
  bool page_shown_ = false;
  bool cloud_list_ready_ = false;
  CLoginHelperEx login_;
  HICON large_icon_ = nullptr;
  HICON small_icon_ = nullptr;
};

}  // namespace velmora
