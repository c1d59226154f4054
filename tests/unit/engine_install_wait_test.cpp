#include "app/engine_install_wait.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "platform/window_module.h"
#include "platform/process_ids.h"

namespace velmora {
namespace {

// The test program itself stands in for the installer file: it exists.
std::wstring ExistingInstaller() { return GetModulePath(nullptr); }

struct WaitRun {
  int launches = 0;
  int resolves = 0;
  std::wstring parameters;
  HWND window = nullptr;
  RECT window_rect{};
  bool window_visible = true;
  bool loop_registered = false;
};

// Runs the wait with a launcher that checks the window and then posts `messages` to it, the
// way the installer reports back.
WaitRun RunWait(const std::vector<std::pair<UINT, WPARAM>>& messages, bool launch_succeeds = true,
                std::wstring installer = ExistingInstaller()) {
  WaitRun run;
  EngineInstallWaitHooks hooks;
  hooks.installer_path = installer;
  hooks.launch = [&](const std::wstring& path, const std::wstring& parameters) {
    ++run.launches;
    EXPECT_EQ(installer, path);
    run.parameters = parameters;
    int handle = 0;
    if (swscanf(parameters.c_str(), L"/sdkinst /notifywindow=%d", &handle) == 1) {
      run.window = reinterpret_cast<HWND>(static_cast<INT_PTR>(handle));
      ::GetWindowRect(run.window, &run.window_rect);
      run.window_visible = ::IsWindowVisible(run.window) != FALSE;
    }
    run.loop_registered = CWindowModule::GetMessageLoop() != nullptr;
    for (const auto& message : messages) ::PostMessageW(run.window, message.first, message.second, 0);
    return launch_succeeds;
  };
  hooks.resolve_engine_entry = [&] { ++run.resolves; };
  RunEngineInstallWait(hooks);
  return run;
}

TEST(EngineInstallWait, LaunchesTheInstallerWithTheHiddenWindowsHandle) {
  WaitRun run = RunWait({{WM_INSTALLER_NOTIFY, kInstallerStatusEnded}});
  EXPECT_EQ(1, run.launches);
  ASSERT_NE(nullptr, run.window);
  EXPECT_EQ(L"/sdkinst /notifywindow=" + std::to_wstring(reinterpret_cast<INT_PTR>(run.window)), run.parameters);
  EXPECT_FALSE(run.window_visible);
  EXPECT_EQ(0, run.window_rect.right - run.window_rect.left);
  EXPECT_EQ(0, run.window_rect.bottom - run.window_rect.top);
  EXPECT_TRUE(run.loop_registered);
  // The loop is unregistered and the window gone once the wait returns.
  EXPECT_EQ(nullptr, CWindowModule::GetMessageLoop());
  EXPECT_FALSE(::IsWindow(run.window));
}

TEST(EngineInstallWait, EngineReadyResolvesTheEntryThenCloses) {
  WaitRun run = RunWait({{WM_INSTALLER_NOTIFY, kInstallerStatusInProgress},
                         {WM_INSTALLER_NOTIFY_2, kInstallerStatusEngineReady}});
  EXPECT_EQ(1, run.resolves);
}

TEST(EngineInstallWait, ClosingStatusesAndTheTimeoutEndTheWait) {
  for (WPARAM status : {kInstallerStatusFailed, kInstallerStatusCancelled, kInstallerStatusEnded}) {
    // Unknown statuses in front are ignored; the closing one ends the loop.
    WaitRun run = RunWait({{WM_INSTALLER_NOTIFY_2, 42}, {WM_INSTALLER_NOTIFY, 0}, {WM_INSTALLER_NOTIFY, status}});
    EXPECT_EQ(0, run.resolves) << status;
  }
  // The three-minute timer firing (delivered by hand: no test waits for a clock).
  WaitRun timed_out = RunWait({{WM_TIMER, kInstallerTimeoutTimer}});
  EXPECT_EQ(0, timed_out.resolves);
}

TEST(EngineInstallWait, EndsAtOnceWhenTheInstallerCannotStart) {
  EXPECT_EQ(1, RunWait({}, /*launch_succeeds=*/false).launches);

  // A missing installer file is never handed to the launcher.
  WaitRun missing = RunWait({}, true, ExistingInstaller() + L".missing\\GameShell.exe");
  EXPECT_EQ(0, missing.launches);

  // No launcher at all: the wait ends without a window left behind or the engine resolved.
  EngineInstallWaitHooks none;
  none.installer_path = ExistingInstaller();
  int resolves = 0;
  none.resolve_engine_entry = [&] { ++resolves; };
  RunEngineInstallWait(none);
  EXPECT_EQ(nullptr, ::FindWindowW(kEngineInstallWaitClass, nullptr));
  EXPECT_EQ(0, resolves);
}

}  // namespace
}  // namespace velmora
