// The foreground watch: notices when a window of another process comes to the front and tells
// the side bar whether its title matches a scene keyword. Main thread, except Scene().
#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_slot.h"

namespace velmora {

class CAppConfigMgr;

// The first of `keywords` (lower case) that occurs in `title` without regard to case, or nullopt.
// Pure.
std::optional<std::wstring> MatchSceneKeyword(std::wstring_view title, const std::vector<std::wstring>& keywords);

// What the watch found last: the matched keyword ("ext") and the foreground process's file name
// ("process").
struct ForegroundScene {
  std::wstring ext;
  std::wstring process;
};

// On each foreground change in another process: when the title matches one of the settings'
// scene suffixes, the scene is remembered and WM_SCENE_MATCHED sent to the window in `notify`;
// otherwise WM_SCENE_CLEARED. Nothing while `notify` is empty. The system's hook callback has no
// context, so one watch runs per process at a time.
class CForegroundWatch {
 public:
  CForegroundWatch(const CAppConfigMgr& settings, const CWindowSlot& notify) : settings_(settings), notify_(notify) {}
  ~CForegroundWatch() { Stop(); }
  CForegroundWatch(const CForegroundWatch&) = delete;
  CForegroundWatch& operator=(const CForegroundWatch&) = delete;

  // Registers the out-of-context hook. False when it cannot be registered or another watch of
  // this process runs.
  [[nodiscard]] bool Start();
  // Removes the hook; nothing when it is not registered.
  void Stop();

  // The last scene found; both empty before the first match. Any thread.
  ForegroundScene Scene() const;

 private:
  static void CALLBACK OnEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child, DWORD thread,
                               DWORD time);
  void OnForegroundChanged(HWND window);

  const CAppConfigMgr& settings_;
  const CWindowSlot& notify_;
  HWINEVENTHOOK hook_ = nullptr;
  mutable std::mutex scene_lock_;
  ForegroundScene scene_;  // guarded by scene_lock_
};

}  // namespace velmora
