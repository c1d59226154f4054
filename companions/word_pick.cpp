#include "companions/word_pick.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <json/value.h>
#include <json/writer.h>

#include <optional>

#include "platform/base64.h"
#include "platform/launch.h"
#include "platform/native_system_path.h"
#include "platform/path_text.h"
#include "platform/process_facts.h"
#include "platform/shell_folder.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "platform/version_compare.h"
#include "platform/version_info.h"

namespace velmora {
namespace {

std::wstring DefaultWordPick() {
  std::wstring folder;
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", value, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    folder = value;
  } else {
    folder = GetShellFolder(CSIDL_APPDATA);
  }
  if (folder.empty()) return {};
  if (folder.back() != L'\\') folder += L'\\';
  return folder + L"Vuqsafe\\WordPick\\WordPick.exe";
}

bool IsRecentEnough(const std::wstring& path) {
  // A missing file has no version and counts as older.
  return CompareVersions(GetFileVersionText(path), kWordPickMinimumVersion, VersionRelation::kGreaterOrEqual);
}

bool FileExists(const std::wstring& path) {
  return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The executable of the process that owns a window of the running copy's class.
std::wstring RunningCopy() {
  const HWND window = ::FindWindowW(kWordPickWindowClass, nullptr);
  DWORD pid = 0;
  if (!window || !::GetWindowThreadProcessId(window, &pid) || !pid) return {};
  std::wstring path;
  return GetProcessImagePath(pid, &path) ? path : std::wstring();
}

}  // namespace

std::string WordPickRequest() {
  Json::Value request(Json::objectValue);
  request["type"] = "ShowTranslateiso";
  request["uInitialTabId"] = 3;
  request["src"] = "Velmora";
  std::string encoded = Base64Encode(Json::FastWriter().write(request));
  while (!encoded.empty() && encoded.back() == '=') encoded.pop_back();
  return encoded;
}

std::wstring WordPickArguments() { return L"--ProxyCall --data=" + Utf8ToWide(WordPickRequest()); }

CGetWordMgr::CGetWordMgr() : CGetWordMgr(DefaultWordPick(), SuiteFolderForTrust()) {}

CGetWordMgr::CGetWordMgr(std::wstring default_executable, std::wstring suite_folder)
    : default_executable_(std::move(default_executable)), suite_folder_(std::move(suite_folder)) {}

bool CGetWordMgr::Resolve() {
  // The image path names the file itself, which a 32-bit program reaches in the native system
  // folder only through its other spelling.
  const std::wstring running = NativeSystemPath(RunningCopy());
  const std::optional<std::wstring> canonical = CanonicalLocalPath(running);
  const bool ours = canonical && (PathEqualsIgnoreCase(*canonical, default_executable_) ||
                                  IsPathInsideFolderAscii(suite_folder_, *canonical));
  if (ours && FileExists(running) && IsRecentEnough(running)) {
    executable_ = running;
    return true;
  }
  if (IsRecentEnough(default_executable_)) {
    executable_ = default_executable_;
    return true;
  }
  return false;
}

void CGetWordMgr::StartTranslate() {
  if (executable_.empty()) return;
  if (!PathEqualsIgnoreCase(executable_, default_executable_)) Resolve();
  (void)LaunchFile(executable_, WordPickArguments());  // a refused start is silent
}

}  // namespace velmora
