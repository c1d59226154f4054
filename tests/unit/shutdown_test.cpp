#include "app/shutdown.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/process_ids.h"
#include "platform/worker_thread.h"
#include "view/side_bar_handle.h"

namespace velmora {
namespace {

// Records each step on stderr, where the death test reads it back, and sends the window a
// second WM_CLOSE from inside a step, as a shell event arriving mid-shutdown would.
class NoisyParticipant final : public IShutdownParticipant {
 public:
  explicit NoisyParticipant(HWND window) : window_(window) {}
  void RemoveForegroundHook() override {
    std::fprintf(stderr, "[hook handle=%s]", GetSideBarWindow() ? "set" : "cleared");
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
  }
  void StopWeatherWorker() override { std::fprintf(stderr, "[weather]"); }
  void ReleaseBrowsers() override {
    std::fprintf(stderr, "[browsers visible=%d]", ::IsWindowVisible(window_) ? 1 : 0);
    std::fflush(stderr);
  }

 private:
  HWND window_;
};

HWND g_window = nullptr;
NoisyParticipant* g_participant = nullptr;

LRESULT CALLBACK SideBarProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    ShutdownSideBar(hwnd, *g_participant);
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

void RunShutdownScenario() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = SideBarProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VelmoraShutdownTestWindow";
  ::RegisterClassW(&wc);
  g_window = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                               wc.hInstance, nullptr);
  SetSideBarWindow(g_window);
  NoisyParticipant participant(g_window);
  g_participant = &participant;
  ::SendMessageW(g_window, WM_CLOSE, 0, 0);
  std::fprintf(stderr, "[returned]");  // must never run
  std::exit(3);
}

TEST(ShutdownDeathTest, StepsRunOnceInOrderAndTheProcessEndsWithZero) {
  EXPECT_EXIT(RunShutdownScenario(), ::testing::ExitedWithCode(0),
              "^\\[hook handle=cleared\\]\\[weather\\]\\[browsers visible=0\\]$");
}

TEST(Shutdown, StopWorkerThreadPostsQuitAndForgetsTheThread) {
  DWORD received = 0;
  std::thread worker_thread;
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD worker_id = 0;
  HANDLE worker = nullptr;
  worker_thread = std::thread([&] {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // make the thread's queue
    worker_id = ::GetCurrentThreadId();
    ::SetEvent(ready);
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == WM_WEATHER_WORKER_QUIT) {
        received = msg.message;
        break;
      }
    }
  });
  ::WaitForSingleObject(ready, INFINITE);
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &worker, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
  StopWorkerThread(&worker, &worker_id, WM_WEATHER_WORKER_QUIT);
  worker_thread.join();
  EXPECT_EQ(WM_WEATHER_WORKER_QUIT, received);
  EXPECT_EQ(nullptr, worker);
  EXPECT_EQ(0u, worker_id);
  ::CloseHandle(ready);

  // Nothing running: a no-op, not a crash.
  StopWorkerThread(&worker, &worker_id, WM_WEATHER_WORKER_QUIT);
}

}  // namespace
}  // namespace velmora
