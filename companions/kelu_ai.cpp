#include "companions/kelu_ai.h"

#include <shlwapi.h>

#include <json/value.h>
#include <json/writer.h>

#include <cstring>
#include <limits>

#include "companions/inherit_launch.h"
#include "config/config_rules.h"
#include "platform/launch.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "platform/version_compare.h"
#include "platform/version_info.h"

namespace velmora {
namespace {

// Both registry values are read into 520-byte buffers: 259 characters and the terminator.
constexpr size_t kRegistryPathChars = 520 / sizeof(wchar_t) - 1;

bool FileExists(const std::wstring& path) {
  return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::wstring> ReadAssistantValue(const wchar_t* key, const wchar_t* name) {
  std::optional<std::wstring> value = QueryRegistryString(HKEY_CURRENT_USER, key, name, kRegistryPathChars);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

// The uninstaller sits three folders below the assistant's folder.
std::optional<std::wstring> AssistantBesideUninstaller(const std::wstring& uninstaller) {
  if (uninstaller.size() >= MAX_PATH) return std::nullopt;
  wchar_t path[MAX_PATH] = {};
  uninstaller.copy(path, uninstaller.size());
  for (int i = 0; i < 3; ++i) {
    if (!::PathRemoveFileSpecW(path)) return std::nullopt;
  }
  if (!::PathAppendW(path, L"keluai.exe")) return std::nullopt;
  return std::wstring(path);
}

bool IsUsableAssistant(const std::wstring& path) { return FileExists(path) && IsTrustedToStart(path); }

// Sets a flag for its lifetime.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool* flag) : flag_(flag) { *flag_ = true; }
  ~ScopedFlag() { *flag_ = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool* flag_;
};

}  // namespace

std::string AssistantDocument(const std::vector<std::wstring>& paths) {
  Json::Value document(Json::objectValue);
  document["type"] = "AddToKnowledge";
  document["launcherid"] = "desktoplite";
  document["positionid"] = "desktoplite_btn";
  document["ContentType"] = "paths";
  Json::Value& content = document["Content"] = Json::Value(Json::arrayValue);
  for (const std::wstring& path : paths) content.append(WideToUtf8(path));
  return Json::FastWriter().write(document);
}

std::wstring AssistantArguments(HANDLE section, size_t length) {
  // Handle values of any process fit 32 bits, so the 32-bit and 64-bit programs write alike.
  return FormatW(L"--cmd=desktoplite --filemaphandle=0x%X,%lu",
                 static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(section)), static_cast<unsigned long>(length));
}

std::vector<std::wstring> AcceptedUploadPaths(std::wstring_view buffer, size_t file_offset,
                                              const std::vector<std::wstring>& exclusions) {
  std::vector<std::wstring> accepted;
  if (file_offset == 0 || file_offset >= buffer.size()) return accepted;
  // Several names follow the folder and its NUL; one name follows the folder and its backslash.
  // Either way the folder is the text before the character in front of the first name.
  std::wstring folder(buffer.substr(0, file_offset - 1));
  folder.resize(wcsnlen(folder.c_str(), folder.size()));
  if (folder.empty()) return accepted;
  const wchar_t* separator = folder.back() == L'\\' ? L"" : L"\\";
  std::vector<std::wstring> candidates;
  size_t at = file_offset;
  for (;;) {
    const size_t end = buffer.find(L'\0', at);
    if (end == std::wstring_view::npos) return accepted;  // no terminating empty name
    if (end == at) break;
    candidates.push_back(folder + separator + std::wstring(buffer.substr(at, end - at)));
    at = end + 1;
  }
  for (std::wstring& candidate : candidates) {
    if (candidate.compare(0, 3, L"::{") == 0 || candidate.find(L"\\::{") != std::wstring::npos) continue;
    if (*::PathFindExtensionW(candidate.c_str()) == L'\0') continue;
    if (IsUploadExcluded(exclusions, candidate)) continue;
    accepted.push_back(std::move(candidate));
  }
  return accepted;
}

CKeluAIMgr::CKeluAIMgr(ExclusionSource exclusions, FileChooser chooser)
    : exclusions_(std::move(exclusions)), chooser_(std::move(chooser)) {}

CKeluAIMgr::~CKeluAIMgr() { CloseSection(); }

bool CKeluAIMgr::LocateAssistant() {
  assistant_path_.clear();
  if (const auto uninstaller = ReadAssistantValue(kAssistantClientStateKey, L"UninstallString")) {
    const std::optional<std::wstring> beside = AssistantBesideUninstaller(*uninstaller);
    if (beside && IsUsableAssistant(*beside)) {
      assistant_path_ = *beside;
      return true;
    }
  }
  if (const auto icon = ReadAssistantValue(kAssistantUninstallKey, L"DisplayIcon")) {
    if (IsUsableAssistant(*icon)) {
      assistant_path_ = *icon;
      return true;
    }
  }
  return false;
}

bool CKeluAIMgr::IsAssistantReady() {
  if (!LocateAssistant() || assistant_path_.empty()) return false;
  if (!CompareVersions(GetFileVersionText(assistant_path_), kAssistantMinimumVersion, VersionRelation::kGreaterOrEqual)) {
    return false;
  }
  return IsTrustedToStart(assistant_path_);
}

bool CKeluAIMgr::ChooseAndSendFiles(HWND owner) {
  // The modal dialog runs a message loop in which the page may ask again.
  if (choosing_) return false;
  try {
    if (!IsAssistantReady()) return false;
    std::optional<UploadSelection> selection;
    {
      const ScopedFlag choosing(&choosing_);
      selection = chooser_ ? chooser_(owner) : std::nullopt;
    }
    if (!selection) return false;
    const std::vector<std::wstring> paths =
        AcceptedUploadPaths(selection->buffer, selection->file_offset, exclusions_ ? exclusions_() : std::vector<std::wstring>());
    if (paths.empty()) return false;
    SendFilesToAssistant(paths);
    return true;
  } catch (...) {  // memory for the buffer or the paths
    return false;
  }
}

bool CKeluAIMgr::SendFilesToAssistant(const std::vector<std::wstring>& paths) {
  if (paths.empty()) return false;
  if (assistant_path_.empty() || !IsTrustedToStart(assistant_path_)) return false;
  const std::string document = AssistantDocument(paths);
  CloseSection();
  if (document.empty() || document.size() > std::numeric_limits<DWORD>::max()) return true;
  // Not inheritable here: the launch makes it inheritable for the assistant's start alone.
  section_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(document.size()), nullptr));
  if (!section_) return true;
  view_ = ::MapViewOfFile(section_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (!view_) {
    CloseSection();
    return true;
  }
  std::memcpy(view_, document.data(), document.size());  // no terminating NUL
  section_size_ = document.size();
  (void)LaunchCommandInheriting(assistant_path_, AssistantArguments(section_.get(), document.size()), section_.get());
  return true;
}

void CKeluAIMgr::CloseSection() {
  if (view_) ::UnmapViewOfFile(view_);
  view_ = nullptr;
  section_.reset();
  section_size_ = 0;
}

}  // namespace velmora
