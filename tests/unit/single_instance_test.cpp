#include "app/single_instance.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "view/messages.h"

namespace velmora {
namespace {

// A stand-in for the running side bar's window; counts the show requests it receives.
class FakeSideBarWindow {
 public:
  FakeSideBarWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kSideBarWindowClass;
    ::RegisterClassW(&wc);
    hwnd_ = ::CreateWindowExW(0, kSideBarWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
  }
  ~FakeSideBarWindow() { ::DestroyWindow(hwnd_); }

  int DrainShowRequests() {
    int count = 0;
    MSG msg;
    while (::PeekMessageW(&msg, hwnd_, WM_SHOW_INSTANCE, WM_SHOW_INSTANCE, PM_REMOVE)) {
      if (msg.wParam == 0 && msg.lParam == 0) ++count;
    }
    return count;
  }

 private:
  HWND hwnd_ = nullptr;
};

TEST(SingleInstance, FirstTakesTheMutexLaterOnesAskTheWindowToShow) {
  // Nobody else runs the side bar in the test prefix, so this process becomes the instance.
  EXPECT_FALSE(IsAnotherInstanceRunning());

  // Before the window exists (the instance is still starting): another instance, no request.
  EXPECT_TRUE(IsAnotherInstanceRunning());

  FakeSideBarWindow window;
  EXPECT_TRUE(IsAnotherInstanceRunning());
  EXPECT_TRUE(IsAnotherInstanceRunning());
  EXPECT_EQ(2, window.DrainShowRequests());
}

}  // namespace
}  // namespace velmora
