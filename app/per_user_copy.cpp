#include "app/per_user_copy.h"

#include <windows.h>

#include "config/app_config.h"
#include "platform/data_folder.h"
#include "platform/exact_path.h"
#include "platform/path_text.h"
#include "platform/trust.h"
#include "platform/version_compare.h"
#include "platform/version_info.h"

namespace velmora {
namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Copies through a temporary name and renames, so that a reader never finds half a program at
// `to`. The old copy is gone first: a copy that cannot be removed (it runs) is not replaced.
bool CopyOver(const std::wstring& from, const std::wstring& to) {
  if (Exists(to) && !::DeleteFileW(to.c_str())) return false;
  const std::wstring partial = to + L".partial";
  if (!::CopyFileW(from.c_str(), partial.c_str(), /*bFailIfExists=*/FALSE)) {
    ::DeleteFileW(partial.c_str());
    return false;
  }
  if (!::MoveFileExW(partial.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(partial.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::wstring PerUserCopyPath() {
  const std::wstring folder = GetDataFolder();
  return folder.empty() ? std::wstring() : folder + L"\\Velmora.exe";
}

bool DeletePerUserCopy() {
  std::wstring application_data = GetDataFolder();
  if (application_data.empty()) return false;
  RemoveTrailingElements(application_data, 2);  // "Vuqsafe\Velmora"
  return DeleteFileExactly(application_data, std::wstring(kDataFolderName) + L"\\Velmora.exe");
}

StartPlan PlanStart(const StartFacts& facts) {
  if (facts.elevated) return !facts.dropped && facts.can_drop ? StartPlan::kDropElevation : StartPlan::kRunInPlace;
  return facts.in_suite_folder && !facts.rerun ? StartPlan::kRunFromCopy : StartPlan::kRunInPlace;
}

std::wstring RunPath() { return CAppConfigMgr::Instance().RunPath(); }

bool PreparePerUserCopy(const std::wstring& running_file) {
  if (!IsTrustedFile(running_file)) return false;
  CAppConfigMgr& settings = CAppConfigMgr::Instance();
  settings.SetRunPath(running_file);
  const std::wstring copy = PerUserCopyPath();
  if (copy.empty()) return false;

  const bool usable = Exists(copy) && IsTrustedFile(copy);
  // An older copy is replaced; an equal or newer one is used as it is.
  const bool stale = usable && CompareVersions(GetFileVersionText(running_file), GetFileVersionText(copy),
                                               VersionRelation::kGreater);
  if ((!usable || stale) && !CopyOver(running_file, copy)) return false;
  settings.SetRunPath(copy);
  return true;
}

}  // namespace velmora
