#include "app/single_instance.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/process_ids.h"

namespace velmora {
namespace {

// Names of this test's own, so no side bar of the prefix takes part.
constexpr wchar_t kTestMutex[] = L"VelmoraSingleInstanceTestMutex";
constexpr wchar_t kTestWindowClass[] = L"VelmoraSingleInstanceTestWindow";

// A stand-in for the running side bar's window; counts the show requests it receives.
class FakeSideBarWindow {
 public:
  FakeSideBarWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kTestWindowClass;
    ::RegisterClassW(&wc);
    hwnd_ = ::CreateWindowExW(0, kTestWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
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
  // Nobody else uses the test's names, so this process becomes the instance.
  EXPECT_FALSE(IsAnotherInstanceRunning(kTestMutex, kTestWindowClass));

  // Before the window exists (the instance is still starting): another instance, no request.
  EXPECT_TRUE(IsAnotherInstanceRunning(kTestMutex, kTestWindowClass));

  FakeSideBarWindow window;
  EXPECT_TRUE(IsAnotherInstanceRunning(kTestMutex, kTestWindowClass));
  EXPECT_TRUE(IsAnotherInstanceRunning(kTestMutex, kTestWindowClass));
  EXPECT_EQ(2, window.DrainShowRequests());
}

}  // namespace
}  // namespace velmora
