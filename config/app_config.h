// The side bar's settings store: its per-user registry settings, the installed configuration
// file's rules, and values other parts fill in at run time (scene suffixes and interval, run
// path). The autostart value and the desktop shortcut are in config/autostart.h.
//
// Registry reads never fail toward the caller: an unreadable value (missing, wrong type, wrong
// size) takes its documented default.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/registry_watch.h"
#include "platform/single_instance_base.h"
#include "xml/xml_document.h"

namespace velmora {

constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\VuqAppMgr\\Velmora";
constexpr wchar_t kToolCountersKey[] = L"SOFTWARE\\VuqAppMgr\\Velmora\\AITools";

// The promotion prompt is due when it was never shown (or the time cannot be read, or is 0) or
// was last shown more than 1440 minutes ago.
bool IsPromotionDue(std::optional<DWORD> last_shown, int64_t now);

// The settings key, answered from a copy in memory until it changes (platform/registry_watch.h):
// another process's write reaches the next read within milliseconds; a writer in this process
// other than WriteSettingsDword forgets the copy after writing.
CWatchedKey& SettingsKey();

// A REG_DWORD of exactly 4 bytes under the settings key; nullopt otherwise.
std::optional<DWORD> ReadSettingsDword(const wchar_t* name);
void WriteSettingsDword(const wchar_t* name, DWORD value);

class CAppConfigMgr : public CSingleInstanceBase<CAppConfigMgr> {
 public:
  // Loads the configuration file and the two page preferences. Instance() is the process's
  // object; tests may make their own.
  CAppConfigMgr();

  // The side bar switch, read from the registry on every call: on exactly when it is 1 (absent
  // counts as 1).
  bool IsSideBarOn() const;

  int GetAutoHide() const { return auto_hide_.load(); }
  int GetSceneRecommend() const { return scene_recommend_.load(); }
  // Stored as given, no range check, in memory and in the registry.
  void SetAutoHide(int value);
  void SetSceneRecommend(int value);

  // Lower-cases `text`, splits it at every "," (empty pieces kept) and appends the pieces that
  // are not listed yet, in order. Any thread.
  void AddSceneSuffixes(std::wstring_view text);
  std::vector<std::wstring> GetSceneSuffixes() const;
  int GetSceneInterval() const { return scene_interval_.load(); }
  void SetSceneInterval(int seconds) { scene_interval_.store(seconds); }

  // The path from which the side bar runs: set at start (main thread) before anyone reads it.
  const std::wstring& RunPath() const { return run_path_; }
  void SetRunPath(const std::wstring& path) { run_path_ = path; }

  // The configuration file's rules, derived on first use (an empty upload list is derived again
  // on every call).
  std::vector<std::wstring> GetUploadExclusions();
  std::vector<std::wstring> GetRecentExclusions();

 private:
  CXmlDocument document_;
  mutable std::mutex lock_;  // the lists below
  std::vector<std::wstring> upload_exclusions_;
  std::vector<std::wstring> suffixes_;
  std::unordered_set<std::wstring> known_suffixes_;  // those in suffixes_
  std::vector<std::wstring> recent_exclusions_;
  std::atomic<int> scene_interval_{3};
  std::atomic<int> scene_recommend_{1};
  std::atomic<int> auto_hide_{1};
  std::wstring run_path_;
};

}  // namespace velmora
