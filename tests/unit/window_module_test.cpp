#include "platform/window_module.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace velmora {
namespace {

// Wants three idle calls a period; at the end of the first period it posts a message (which
// must start a new period), at the end of the second one the message that ends the loop.
class CountingIdle final : public CIdleHandler {
 public:
  bool OnIdle(int count) override {
    counts.push_back(count);
    if (count < 2) return true;
    ::PostMessageW(window, ++periods == 1 ? WM_APP : WM_APP + 1, 0, 0);
    return false;
  }
  HWND window = nullptr;
  int periods = 0;
  std::vector<int> counts;
};

class SwallowingFilter final : public CMessageFilter {
 public:
  explicit SwallowingFilter(UINT message) : message_(message) {}
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message != message_) return false;
    ++swallowed;
    return true;
  }
  int swallowed = 0;

 private:
  UINT message_;
};

// A window that records what reached its procedure.
class RecordingWindow final : public CWindowBase {
 public:
  HWND Open() {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"VelmoraWindowModuleTest";
    return Create(wc, 0, WS_OVERLAPPEDWINDOW, L"", 0, 0, 100, 100, nullptr);
  }
  std::vector<UINT> seen;
  bool final_message = false;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM, LPARAM, bool& handled) override {
    seen.push_back(message);
    if (message == WM_APP + 1) {
      ::PostQuitMessage(7);
      return 0;
    }
    handled = false;
    return 0;
  }
  void OnFinalMessage(HWND) override { final_message = true; }
};

TEST(WindowModule, IdleHandlersRunUntilDoneAndRestartAfterAMessage) {
  CMessageLoop loop;
  CountingIdle idle;
  loop.AddIdleHandler(&idle);
  RecordingWindow window;
  ASSERT_NE(nullptr, window.Open());
  idle.window = window.hwnd();
  EXPECT_EQ(7, loop.Run());
  // Each period counts from 0 and stops when the handlers say they are done.
  EXPECT_EQ(2, idle.periods);
  ASSERT_GE(idle.counts.size(), 6u);
  const std::vector<int> last_six(idle.counts.end() - 6, idle.counts.end());
  EXPECT_EQ((std::vector<int>{0, 1, 2, 0, 1, 2}), last_six);
  loop.RemoveIdleHandler(&idle);
}

TEST(WindowModule, FiltersSeeMessagesFirstAndMaySwallowThem) {
  CMessageLoop loop;
  SwallowingFilter filter(WM_APP + 2);
  loop.AddMessageFilter(&filter);
  RecordingWindow window;
  ASSERT_NE(nullptr, window.Open());
  ::PostMessageW(window.hwnd(), WM_APP + 2, 0, 0);
  ::PostMessageW(window.hwnd(), WM_APP + 1, 0, 0);
  loop.Run();
  EXPECT_EQ(1, filter.swallowed);
  for (UINT message : window.seen) EXPECT_NE(WM_APP + 2, message);

  loop.RemoveMessageFilter(&filter);
  ::PostMessageW(window.hwnd(), WM_APP + 2, 0, 0);
  ::PostMessageW(window.hwnd(), WM_APP + 1, 0, 0);
  loop.Run();
  EXPECT_EQ(1, filter.swallowed);
}

TEST(WindowModule, IdleMessagesAreAllButMouseMovesPaintsAndCaretBlinks) {
  for (UINT quiet : {UINT{WM_MOUSEMOVE}, UINT{WM_NCMOUSEMOVE}, UINT{WM_PAINT}, UINT{0x0118}}) {
    MSG msg{};
    msg.message = quiet;
    EXPECT_FALSE(CMessageLoop::IsIdleMessage(msg)) << quiet;
  }
  MSG key{};
  key.message = WM_KEYDOWN;
  EXPECT_TRUE(CMessageLoop::IsIdleMessage(key));
}

TEST(WindowModule, OneLoopPerThread) {
  CMessageLoop mine, again, other;
  ASSERT_TRUE(CWindowModule::AddMessageLoop(&mine));
  EXPECT_FALSE(CWindowModule::AddMessageLoop(&again));
  EXPECT_EQ(&mine, CWindowModule::GetMessageLoop());

  const DWORD main_thread = ::GetCurrentThreadId();
  std::thread([&] {
    EXPECT_EQ(nullptr, CWindowModule::GetMessageLoop());
    EXPECT_TRUE(CWindowModule::AddMessageLoop(&other));
    EXPECT_EQ(&mine, CWindowModule::GetMessageLoop(main_thread));
    CWindowModule::RemoveMessageLoop();
  }).join();

  CWindowModule::RemoveMessageLoop();
  EXPECT_EQ(nullptr, CWindowModule::GetMessageLoop());
}

TEST(WindowModule, WindowsSeeTheirFirstMessagesAndRemainingOnesAreDestroyed) {
  RecordingWindow window;
  HWND hwnd = window.Open();
  ASSERT_NE(nullptr, hwnd);
  // Messages from before WM_NCCREATE (WM_GETMINMAXINFO) already reach the object.
  ASSERT_FALSE(window.seen.empty());
  EXPECT_EQ(static_cast<UINT>(WM_GETMINMAXINFO), window.seen.front());
  EXPECT_EQ(hwnd, window.hwnd());

  // Creating a second window from the same object is refused.
  EXPECT_EQ(nullptr, window.Open());

  CWindowModule::DestroyRemainingWindows();
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_TRUE(window.final_message);
  EXPECT_EQ(nullptr, window.hwnd());
}

TEST(WindowModule, FailedCreationLeavesNothingPending) {
  struct BadParent final : CWindowBase {
    LRESULT HandleMessage(UINT, WPARAM, LPARAM, bool& handled) override {
      handled = false;
      return 0;
    }
  } bad;
  WNDCLASSEXW wc{};
  wc.lpszClassName = L"VelmoraWindowModuleTestBad";
  // WS_CHILD without a parent fails before any message is sent.
  EXPECT_EQ(nullptr, bad.Create(wc, 0, WS_CHILD, L"", 0, 0, 1, 1, nullptr));
  EXPECT_EQ(nullptr, CWindowModule::TakeWindowUnderCreation());
}

// An object destroyed while its window lives: the window's last messages must not be taken for
// the first messages of a window being created at that moment (here: from a creation hook).
TEST(WindowModule, AWindowDestroyedWithItsObjectTakesNoPendingCreation) {
  static std::unique_ptr<RecordingWindow> doomed;
  doomed = std::make_unique<RecordingWindow>();
  ASSERT_NE(nullptr, doomed->Open());
  struct Hook {
    // A hook procedure has the system's calling convention, which a lambda converts to only
    // where there is one convention (64-bit).
    static LRESULT CALLBACK OnCbt(int code, WPARAM wparam, LPARAM lparam) {
      if (code == HCBT_CREATEWND) doomed.reset();
      return ::CallNextHookEx(nullptr, code, wparam, lparam);
    }
  };
  const HHOOK hook = ::SetWindowsHookExW(WH_CBT, &Hook::OnCbt, nullptr, ::GetCurrentThreadId());
  RecordingWindow next;
  const HWND created = next.Open();
  ::UnhookWindowsHookEx(hook);
  ASSERT_NE(nullptr, created);
  EXPECT_EQ(created, next.hwnd());
  EXPECT_FALSE(next.seen.empty());
  CWindowModule::DestroyRemainingWindows();
  EXPECT_FALSE(::IsWindow(created));
}

}  // namespace
}  // namespace velmora
