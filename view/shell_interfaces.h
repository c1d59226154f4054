// What passes between the program and the browser shell (chrome.dll / chrome_child.dll): the
// shell's entry, the application object the program hands it, the browser factory and browser
// objects the shell hands back, and the event sink through which it reports. Shared with the
// stand-in shell.
//
// Slot orders are binding: one virtual per slot, in order, no C++ virtual destructor (a GCC
// destructor takes two slots where the shell's compiler uses one, so slot 0 of the application
// object is written as an ordinary virtual). Member calls use the default member convention
// (thiscall on 32-bit). All calls come on the main thread; strings are UTF-16 unless a signature
// says otherwise.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "account/login_cookie_records.h"

namespace velmora::shell {

class ShellBrowser;
class ShellBrowserFactory;
class ShellWebBrowserEvent;

// The application object, implemented by the program.
class ExternalShellApp {
 public:
  // Slot 0: the destructor slot. The shell does not delete the program's object; we answer
  // nullptr and free nothing.
  virtual void* DeletingDestructor(unsigned int flags) = 0;
  virtual bool QueryOption(int id) = 0;                           // 1: answers false
  virtual const wchar_t* GetUserDataFolder() = 0;                 // 2
  virtual const wchar_t* GetComponentsFolder() = 0;               // 3
  virtual const wchar_t* GetExtraText() = 0;                      // 4: an empty string
  virtual void SetFactory(ShellBrowserFactory* factory) = 0;      // 5
  virtual void CreateUserInterface() = 0;                         // 6
  virtual void Notify(int a, int b, int c, int d) = 0;            // 7: ignored
  virtual void OnKeyEvent(HWND window, UINT message, WPARAM key, LPARAM extra) = 0;  // 8
  virtual void Query(int id, wchar_t* buffer) = 0;                // 9: buffer of kQueryBufferChars

 protected:
  ExternalShellApp() = default;
  ~ExternalShellApp() = default;
};

constexpr size_t kQueryBufferChars = 2048;
constexpr int kQueryLocalPackagePath = 1001;

// The shell's browser factory.
class ShellBrowserFactory {
 public:
  // Slot 0: makes a browser that loads `url` and reports to `sink` (the program passes 0, url, 1, 1).
  virtual bool CreateBrowser(ShellWebBrowserEvent* sink, int reserved, const wchar_t* url, int a, int b) = 0;
  virtual void Reserved1() = 0;
  // Slot 2: sets a cookie from a record of `kind` (kCookieRecord or kLongCookieRecord).
  virtual bool SetCookie(int kind, const void* record) = 0;

 protected:
  ShellBrowserFactory() = default;
  ~ShellBrowserFactory() = default;
};

constexpr int kCookieRecord = 1;
constexpr int kLongCookieRecord = 7;

// The event sink, implemented by the program's side bar controller.
class ShellWebBrowserEvent {
 public:
  // Slot 0: event `id` with its payload; `*result` receives the program's answer where the
  // event wants one.
  virtual void OnShellEvent(int id, const wchar_t* payload, int a, int b, int c, int* result) = 0;
  // Slot 1: a page call: first string (present, unused), command name, UTF-8 JSON arguments.
  virtual int OnPageCall(const char* first, const char* name, const char* arguments, int a, int b, int c) = 0;
  // Slot 2: the browser that reports to this sink; kept on the first call only.
  virtual void SetBrowser(ShellBrowser* browser) = 0;

 protected:
  ShellWebBrowserEvent() = default;
  ~ShellWebBrowserEvent() = default;
};

// Shell event ids, named by what the side bar does with them.
enum ShellEvent : int {
  kEventCloseSideBar = 13,
  kEventOpenLinkOutside = 15,
  kEventAnswerNo = 21,              // *result = 0
  kEventBrowserWindowCreated = 22,
  kEventBrowserGone = 26,
  kEventShellClosing = 31,          // closes the side bar, as 13 does
  kEventAnswerYes = 32,             // *result = 1
  kEventCloseUnlessShown = 34,
  kEventAnswerYesToo = 36,          // *result = 1
  kEventAnswerYesAlso = 53,         // *result = 1
};

// A browser, owned by the shell. Slots not used by the program are placeholders.
class ShellBrowser {
 public:
  virtual void Slot0() = 0;
  virtual HWND GetWindow() = 0;                                   // 1
  virtual void Slot2() = 0;
  virtual void SetBounds(int x, int y, int width, int height) = 0;  // 3
  virtual void Release() = 0;                                     // 4
  virtual void Relayout() = 0;                                    // 5
  virtual void Slot6() = 0;
  virtual void Slot7() = 0;
  virtual void Slot8() = 0;
  virtual void Slot9() = 0;
  virtual void Slot10() = 0;
  virtual void Slot11() = 0;
  virtual void Slot12() = 0;
  virtual void Slot13() = 0;
  virtual void Show() = 0;                                        // 14
  virtual void Hide() = 0;                                        // 15
  virtual void Slot16() = 0;
  virtual void RunScript(const wchar_t* text) = 0;                // 17
  virtual void Slot18() = 0;
  virtual void Slot19() = 0;
  virtual void Slot20() = 0;
  virtual void Slot21() = 0;
  virtual void Slot22() = 0;
  virtual void OpenTool(int which, int reserved) = 0;             // 23: (4, 0) developer tools

 protected:
  ShellBrowser() = default;
  ~ShellBrowser() = default;
};

constexpr int kDeveloperTools = 4;

// The slots the program never calls, filled with nothing: a base for browser implementations
// (the stand-in shell, tests).
class ShellBrowserWithUnusedSlots : public ShellBrowser {
 public:
  void Slot0() override {}
  void Slot2() override {}
  void Slot6() override {}
  void Slot7() override {}
  void Slot8() override {}
  void Slot9() override {}
  void Slot10() override {}
  void Slot11() override {}
  void Slot12() override {}
  void Slot13() override {}
  void Slot16() override {}
  void Slot18() override {}
  void Slot19() override {}
  void Slot20() override {}
  void Slot21() override {}
  void Slot22() override {}

 protected:
  ~ShellBrowserWithUnusedSlots() = default;
};

// The entry both shell libraries export: runs the shell and its message loop.
using ChromeShellFn = int(__cdecl*)(HINSTANCE instance, ExternalShellApp* app);
constexpr char kChromeShellExport[] = "ChromeShell";

// The cookie records the factory's SetCookie takes (layouts in account/login_cookie_records.h).
using velmora::CookieRecord;
using velmora::LongCookieRecord;
using velmora::kLongCookieRecordSize;

}  // namespace velmora::shell
