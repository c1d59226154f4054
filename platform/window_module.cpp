#include "platform/window_module.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace velmora {
namespace {

struct ModuleState {
  std::mutex lock;
  std::map<DWORD, CMessageLoop*> loops;
  std::vector<std::pair<DWORD, CWindowBase*>> under_creation;
  std::set<HWND> live_windows;
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

template <typename T>
void RemoveOne(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}

}  // namespace

// --- CMessageLoop ---------------------------------------------------------------------------

void CMessageLoop::AddMessageFilter(CMessageFilter* filter) { filters_.push_back(filter); }
void CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) { RemoveOne(filters_, filter); }
void CMessageLoop::AddIdleHandler(CIdleHandler* handler) { idle_handlers_.push_back(handler); }
void CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) { RemoveOne(idle_handlers_, handler); }

bool CMessageLoop::IsIdleMessage(const MSG& msg) {
  switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case 0x0118:  // WM_SYSTIMER: the caret blink
      return false;
    default:
      return true;
  }
}

bool CMessageLoop::PreTranslateMessage(MSG* msg) {
  // Newest filter first; a filter may remove itself while it runs, so walk a copy.
  const std::vector<CMessageFilter*> filters = filters_;
  for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
    if ((*it)->PreTranslateMessage(msg)) return true;
  }
  return false;
}

bool CMessageLoop::OnIdle(int count) {
  bool more = false;
  const std::vector<CIdleHandler*> handlers = idle_handlers_;
  for (CIdleHandler* handler : handlers) {
    if (handler->OnIdle(count)) more = true;
  }
  return more;
}

int CMessageLoop::Run() {
  bool idle_armed = true;
  int idle_count = 0;
  MSG msg{};
  for (;;) {
    while (idle_armed && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(idle_count++)) idle_armed = false;
    }
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) continue;  // an invalid window filter; nothing was removed
    if (!got) break;          // WM_QUIT
    if (IsIdleMessage(msg)) {
      idle_armed = true;
      idle_count = 0;
    }
    if (!PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

// --- CWindowModule --------------------------------------------------------------------------

void CWindowModule::Init() {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.loops.clear();
  state.under_creation.clear();
}

void CWindowModule::Term() {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.loops.clear();
  state.under_creation.clear();
  state.live_windows.clear();
}

bool CWindowModule::AddMessageLoop(CMessageLoop* loop) {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.loops.emplace(::GetCurrentThreadId(), loop).second;
}

void CWindowModule::RemoveMessageLoop() {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.loops.erase(::GetCurrentThreadId());
}

CMessageLoop* CWindowModule::GetMessageLoop(DWORD thread_id) {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  auto it = state.loops.find(thread_id);
  return it == state.loops.end() ? nullptr : it->second;
}

void CWindowModule::DestroyRemainingWindows() {
  std::vector<HWND> mine;
  {
    ModuleState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (HWND hwnd : state.live_windows) {
      if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId()) mine.push_back(hwnd);
    }
  }
  // DestroyWindow re-enters the registry through WM_NCDESTROY, so it runs outside the lock.
  for (HWND hwnd : mine) {
    if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);
  }
}

void CWindowModule::AddWindowUnderCreation(CWindowBase* window) {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.under_creation.emplace_back(::GetCurrentThreadId(), window);
}

CWindowBase* CWindowModule::TakeWindowUnderCreation() {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  const DWORD thread_id = ::GetCurrentThreadId();
  // Newest first: a window created from inside another one's creation takes its own entry.
  for (auto it = state.under_creation.rbegin(); it != state.under_creation.rend(); ++it) {
    if (it->first == thread_id) {
      CWindowBase* window = it->second;
      state.under_creation.erase(std::next(it).base());
      return window;
    }
  }
  return nullptr;
}

void CWindowModule::AddLiveWindow(HWND hwnd) {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.live_windows.insert(hwnd);
}

void CWindowModule::RemoveLiveWindow(HWND hwnd) {
  ModuleState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  state.live_windows.erase(hwnd);
}

// --- CWindowBase ----------------------------------------------------------------------------

namespace {

// The user data of a window whose object is gone: its last messages go to DefWindowProc, and it
// is still ours (not a window under creation) when they come.
const LONG_PTR kDetachedWindow = -1;

}  // namespace

CWindowBase::~CWindowBase() {
  // The object must not die under a live window: detach so late messages reach DefWindowProc.
  if (hwnd_ && ::IsWindow(hwnd_)) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, kDetachedWindow);
    ::DestroyWindow(hwnd_);
  }
}

HWND CWindowBase::Create(WNDCLASSEXW wc, DWORD ex_style, DWORD style, const wchar_t* title, int x, int y,
                         int width, int height, HWND parent) {
  if (hwnd_) return nullptr;
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &CWindowBase::WindowProc;
  if (!wc.hInstance) wc.hInstance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (!::GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing) && !::RegisterClassExW(&wc)) {
    return nullptr;
  }
  CWindowModule::AddWindowUnderCreation(this);
  HWND hwnd = ::CreateWindowExW(ex_style, wc.lpszClassName, title, style, x, y, width, height, parent, nullptr,
                                wc.hInstance, this);
  if (!hwnd) {
    const DWORD error = ::GetLastError();
    // Creation failed before our procedure saw a message: drop the pending entry ourselves.
    if (!hwnd_) CWindowModule::TakeWindowUnderCreation();
    hwnd_ = nullptr;
    ::SetLastError(error);
  }
  return hwnd;
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const LONG_PTR user_data = ::GetWindowLongPtrW(hwnd, GWLP_USERDATA);
  if (user_data == kDetachedWindow) {
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      CWindowModule::RemoveLiveWindow(hwnd);
    }
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<CWindowBase*>(user_data);
  if (!self) {
    // First message of a window we are creating (WM_GETMINMAXINFO can precede WM_NCCREATE).
    self = CWindowModule::TakeWindowUnderCreation();
    if (!self) return ::DefWindowProcW(hwnd, message, wparam, lparam);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    CWindowModule::AddLiveWindow(hwnd);
  }
  return self->Dispatch(message, wparam, lparam);
}

LRESULT CWindowBase::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND hwnd = hwnd_;
  LRESULT result = 0;
  bool handled = true;
  try {
    result = HandleMessage(message, wparam, lparam, handled);
  } catch (...) {
    // Nothing may unwind through the system's window procedure caller.
    handled = false;
  }
  if (!handled) result = ::DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    CWindowModule::RemoveLiveWindow(hwnd);
    hwnd_ = nullptr;
    OnFinalMessage(hwnd);
  }
  return result;
}

}  // namespace velmora
