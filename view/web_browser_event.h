// CWebBrowserEvent: the side bar. It owns the hidden side bar window (the window other parts
// post to, with the private messages and timers), receives the browser shell's events and page
// calls for the side bar's browser, hosts the page for the page commands, and carries sign-in
// changes to the page. Placement, the foreground watch and the browser window's focus hook are
// objects of their own that it drives.
//
// Everything runs on the main thread unless a function says otherwise.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "account/login_callback.h"
#include "account/login_helper_ex.h"
#include "account/login_page.h"
#include "bridge/page_host.h"
#include "bridge/page_services.h"
#include "platform/process_ids.h"
#include "platform/scoped_handle.h"
#include "platform/window_module.h"
#include "view/browser_placement.h"
#include "view/browser_sink.h"
#include "view/foreground_watch.h"
#include "view/shell_browser_ref.h"
#include "view/shell_interfaces.h"
#include "view/shutdown_participant.h"

namespace velmora {

// The side bar window's class name and title; tests pass names of their own.
struct SideBarWindowNames {
  const wchar_t* window_class = kSideBarWindowClass;
  const wchar_t* title = kSideBarWindowTitle;
};

class CWebBrowserEvent final : public shell::ShellWebBrowserEvent,
                               public CWindowBase,
                               public ILoginCallBack,
                               public ILoginPage,
                               public IShutdownParticipant,
                               public PageHost,
                               private CBrowserSink::Owner {
 public:
  // Only constructs: nothing is created, bound or started before Start(). `factory` may be null
  // (then no browser is ever made); `services` outlives the side bar; `shutdown` runs when the
  // side bar is to end.
  CWebBrowserEvent(shell::ShellBrowserFactory* factory, PageServices& services, ShutdownHandler shutdown,
                   SideBarWindowNames names = {});
  ~CWebBrowserEvent() override;

  // Creates the hidden side bar window and, in order: binds the login stack, puts the process in
  // its job, publishes the side bar window handle, locks the foreground, starts the periodic
  // timers and the services' workers, enables the debug privilege and starts the foreground
  // watch. False, with nothing started, when the window cannot be created.
  [[nodiscard]] bool Start();

  // Loads `url` into a new browser: it becomes the current URL, the page-load timeout starts,
  // and the factory is asked for the browser, with a sink of its own. Nothing for an empty URL.
  void Navigate(const std::wstring& url);

  // The shell has returned and its browsers went with it: they are forgotten without a call, so
  // nothing releases them afterwards.
  void ForgetBrowsers();

  const std::wstring& current_url() const { return current_url_; }
  bool is_https() const { return is_https_; }
  bool page_shown() const { return page_shown_; }
  bool topmost() const { return placement_.topmost(); }
  bool quiet() const { return placement_.quiet(); }

  // PageHost (and ILoginPage's HasBrowser)
  bool HasBrowser() const override { return static_cast<bool>(browser_); }
  void RunScript(const std::wstring& text) override;
  void MarkPageShown() override { page_shown_ = true; }
  void SetPageSize(int width, int height) override;
  void StopPageLoadTimeout() override;
  void PushSignInCookies() override;
  bool ShowLoginDialog() override;
  void ShowDevTools() override;
  HWND BrowserWindow() const override;
  void ShowCentered(int width, int height) override;
  void ShowFullScreen() override;
  void ShowBrowser() override;
  void BringToFront(bool keep_topmost) override;
  void MoveStart() override;
  void MoveEnd() override;
  void PostToSideBar(UINT message) override;
  void StartQuickFindTimer(UINT delay_ms) override;

  // shell::ShellWebBrowserEvent: the current browser's events and page calls (its sink forwards
  // them here).
  void OnShellEvent(int id, const wchar_t* payload, int a, int b, int c, int* result) override;
  int OnPageCall(const char* first, const char* name, const char* arguments, int a, int b, int c) override;
  void SetBrowser(shell::ShellBrowser* browser) override;

  // ILoginCallBack: any thread of the login stack. The work is carried to the main thread.
  void OnSignedIn(const wchar_t* product, const wchar_t* account, int status) override;
  void OnSignedOut() override;

  // ILoginPage
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
  struct SignInNotice;

  // CBrowserSink::Owner
  void OnSinkEvent(CBrowserSink& sink, int id, const wchar_t* payload, int* result) override;
  int OnSinkPageCall(CBrowserSink& sink, const char* first, const char* name, const char* arguments) override;
  void OnSinkBrowser(CBrowserSink& sink) override;

  // Message handlers.
  void OnDestroy();
  void OnTimer(UINT_PTR id);
  void OnShowInstance();
  void OnSceneMatched();
  void OnWeatherUpdated();
  void OnUploadToKelu();
  void OnNavigateOnline();
  void OnSignInNotice(std::unique_ptr<SignInNotice> notice);

  // Shell events and timers.
  void OnBrowserWindowCreated();
  void OnFirstInputCheck();
  void OnSceneTimer();
  void SetWindowIcons(HWND browser_window);
  void Close();

  shell::ShellBrowserFactory* factory_;
  PageServices& services_;
  ShutdownHandler shutdown_;
  SideBarWindowNames names_;
  // One sink per browser asked for, kept while the side bar lives: the shell may call a sink for
  // as long as its browser exists.
  std::vector<std::unique_ptr<CBrowserSink>> sinks_;
  CBrowserSink* current_sink_ = nullptr;
  ShellBrowserRef browser_;
  ShellBrowserRef previous_browser_;
  std::wstring current_url_;
  bool is_https_ = false;
  int page_width_ = 0;
  int page_height_ = 0;
  // The window sign-in notices go to: written on the main thread, read on the login stack's.
  std::atomic<HWND> notice_window_{nullptr};
  DWORD created_tick_ = 0;
  DWORD window_appeared_tick_ = 0;
  bool page_shown_ = false;
  CBrowserPlacement placement_;
  CForegroundWatch foreground_watch_;
  CLoginHelperEx login_;
  std::deque<std::string> long_cookie_values_;  // what long cookie records point at
  ScopedIcon large_icon_;
  ScopedIcon small_icon_;
};

}  // namespace velmora
