// The small window layer the program uses in place of a class library: per-thread message
// loops with idle handlers and message filters, a registry of those loops by thread, and a
// window base class that routes messages to a member function.
//
// All of it is used on the thread that owns the windows; the registry itself is guarded so
// that loops on different threads may register at the same time.
#pragma once

#include <windows.h>

#include <vector>

namespace velmora {

// Offered every message before it is translated and dispatched. Return true to swallow it.
class CMessageFilter {
 public:
  virtual bool PreTranslateMessage(MSG* msg) = 0;

 protected:
  ~CMessageFilter() = default;
};

// Called while the queue is empty. `count` grows with each call of one idle period and restarts
// at 0 after a message. Return true while there is more idle work to do.
class CIdleHandler {
 public:
  virtual bool OnIdle(int count) = 0;

 protected:
  ~CIdleHandler() = default;
};

class CMessageLoop {
 public:
  CMessageLoop() = default;
  CMessageLoop(const CMessageLoop&) = delete;
  CMessageLoop& operator=(const CMessageLoop&) = delete;

  void AddMessageFilter(CMessageFilter* filter);
  void RemoveMessageFilter(CMessageFilter* filter);
  void AddIdleHandler(CIdleHandler* handler);
  void RemoveIdleHandler(CIdleHandler* handler);

  // Runs until WM_QUIT; returns its wParam.
  int Run();

  // Mouse moves, paints and the caret blink (0x0118) do not end an idle period.
  static bool IsIdleMessage(const MSG& msg);

 private:
  bool PreTranslateMessage(MSG* msg);
  bool OnIdle(int count);

  std::vector<CMessageFilter*> filters_;
  std::vector<CIdleHandler*> idle_handlers_;
};

class CWindowBase;

// Process-wide registry. Init before the first window, Term after the last loop ended.
class CWindowModule {
 public:
  static void Init();
  static void Term();

  // One loop per thread; false when the thread already has one.
  [[nodiscard]] static bool AddMessageLoop(CMessageLoop* loop);
  static void RemoveMessageLoop();
  static CMessageLoop* GetMessageLoop(DWORD thread_id = ::GetCurrentThreadId());

  // Destroys every window created through CWindowBase that still exists on the calling thread.
  static void DestroyRemainingWindows();

  // Used by CWindowBase: the object whose window this thread is creating right now, handed to
  // the window procedure at its first message (which may come before WM_NCCREATE).
  static void AddWindowUnderCreation(CWindowBase* window);
  static CWindowBase* TakeWindowUnderCreation();
  static void AddLiveWindow(HWND hwnd);
  static void RemoveLiveWindow(HWND hwnd);
};

// Base of our windows. The object outlives its window; OnFinalMessage runs after WM_NCDESTROY.
class CWindowBase {
 public:
  CWindowBase() = default;
  CWindowBase(const CWindowBase&) = delete;
  CWindowBase& operator=(const CWindowBase&) = delete;
  virtual ~CWindowBase();

  // Registers `wc` (its lpfnWndProc and hInstance are filled in here) once per class name and
  // creates the window. Returns null on failure, with the last error kept.
  HWND Create(WNDCLASSEXW wc, DWORD ex_style, DWORD style, const wchar_t* title, int x, int y, int width,
              int height, HWND parent);

  HWND hwnd() const { return hwnd_; }

 protected:
  // Called for every message but WM_NCDESTROY's bookkeeping. `handled` starts true; set it to
  // false to let DefWindowProcW run.
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) = 0;
  virtual void OnFinalMessage(HWND /*hwnd*/) {}

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Dispatch(UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
};

}  // namespace velmora
