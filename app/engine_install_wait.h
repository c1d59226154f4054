// The wait window that runs while the browser engine is being installed: it starts the
// suite's installer, then waits (at most three minutes) for the installer's notifications.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace velmora {

// The wait window gives up after three minutes without the installer's final word.
constexpr UINT_PTR kInstallerTimeoutTimer = 5001;
constexpr UINT kInstallerTimeoutMs = 180000;

struct EngineInstallWaitHooks {
  // Full path of the installer ("AppMgr\GameShell.exe" under the suite folder).
  std::wstring installer_path;
  // Starts `path` with `parameters` through the trusted launcher; false when refused or failed.
  // Empty: the installer cannot be started and the wait ends at once.
  std::function<bool(const std::wstring& path, const std::wstring& parameters)> launch;
  // Called when the installer reports the engine ready, before the window closes.
  std::function<void()> resolve_engine_entry;
};

// Creates the wait window on the calling thread, runs that thread's message loop until the
// window closes, and returns. Registers the loop with the window module while it runs.
void RunEngineInstallWait(const EngineInstallWaitHooks& hooks);

}  // namespace velmora
