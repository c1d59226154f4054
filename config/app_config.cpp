#include "config/app_config.h"

#include <shlwapi.h>

#include "config/config_rules.h"
#include "config/time_rules.h"
#include "platform/suite_folder.h"

namespace velmora {

bool IsPromotionDue(std::optional<DWORD> last_shown, int64_t now) {
  return !last_shown || *last_shown == 0 || ElapsedMinutes(*last_shown, now) > 1440;
}

CWatchedKey& SettingsKey() {
  // Never destroyed: the pool's wait must outlive every reader, up to the process's end.
  static CWatchedKey* const key = new CWatchedKey(HKEY_CURRENT_USER, kSettingsKey);
  return *key;
}

std::optional<DWORD> ReadSettingsDword(const wchar_t* name) {
  // A value of another type or size counts as absent.
  return SettingsKey().Dword(name);
}

void WriteSettingsDword(const wchar_t* name, DWORD value) {
  ::SHSetValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof(value));
  SettingsKey().Forget();
}

CAppConfigMgr::CAppConfigMgr() {
  const std::wstring suite = GetSuiteFolder();
  const std::wstring file = suite + L"\\Utils\\VelmoraCfg.xml";
  if (!suite.empty() && ::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) document_.LoadFile(file);
  scene_recommend_ = ReadSettingsDword(L"sidebar_SceneRecommend").value_or(1) == 1 ? 1 : 0;
  auto_hide_ = ReadSettingsDword(L"sidebar_autohide").value_or(1) == 1 ? 1 : 0;
}

bool CAppConfigMgr::IsSideBarOn() const { return ReadSettingsDword(L"switch_flags").value_or(1) == 1; }

void CAppConfigMgr::SetAutoHide(int value) {
  auto_hide_ = value;
  WriteSettingsDword(L"sidebar_autohide", static_cast<DWORD>(value));
}

void CAppConfigMgr::SetSceneRecommend(int value) {
  scene_recommend_ = value;
  WriteSettingsDword(L"sidebar_SceneRecommend", static_cast<DWORD>(value));
}

void CAppConfigMgr::AddSceneSuffixes(std::wstring_view text) {
  std::wstring lower(text);
  if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  std::lock_guard<std::mutex> guard(lock_);
  // Every accepted list (fetched or cached, several a day) hands over all its suffixes again: one
  // already listed would never match first, and appended it would only grow the list.
  const auto append = [this](std::wstring piece) {
    if (known_suffixes_.insert(piece).second) suffixes_.push_back(std::move(piece));
  };
  size_t start = 0;
  for (size_t comma = lower.find(L','); comma != std::wstring::npos; comma = lower.find(L',', start)) {
    append(lower.substr(start, comma - start));
    start = comma + 1;
  }
  append(lower.substr(start));
}

std::vector<std::wstring> CAppConfigMgr::GetSceneSuffixes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return suffixes_;
}

std::vector<std::wstring> CAppConfigMgr::GetUploadExclusions() {
  std::lock_guard<std::mutex> guard(lock_);
  if (upload_exclusions_.empty()) upload_exclusions_ = DeriveUploadExclusions(document_);
  return upload_exclusions_;
}

std::vector<std::wstring> CAppConfigMgr::GetRecentExclusions() {
  std::lock_guard<std::mutex> guard(lock_);
  if (recent_exclusions_.empty()) recent_exclusions_ = DeriveRecentExclusions(document_);
  return recent_exclusions_;
}

}  // namespace velmora
