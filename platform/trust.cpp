#include "platform/trust.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <climits>
#include <utility>
#include <vector>

#include "platform/exact_path.h"
#include "platform/module_path.h"
#include "platform/native_system_path.h"
#include "platform/once_value.h"
#include "platform/path_text.h"
#include "platform/process_facts.h"
#include "platform/scoped_handle.h"
#include "platform/suite_folder.h"
#include "platform/system_functions.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr size_t kMaxSuiteFolderChars = 516 / sizeof(wchar_t) - 1;  // 516 bytes with the terminator

constexpr wchar_t kSelfProtectionDevice[] = L"\\\\.\\VuqSelfProtection";
// FILE_DEVICE_UNKNOWN, function 0x813, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr DWORD kQueryProcessProtection = 0x22204C;

constexpr size_t kMaxJoinedPathChars = 511;

constexpr std::wstring_view kOwnSignatureLibraries[] = {L"BaseCore.dll", L"ConfCore.dll", L"HostKit.dll"};

std::atomic<ModuleVerifier> g_own_signature{nullptr};
std::atomic<FileTrustService> g_trust_service{nullptr};

// `path` open for reading as `file`.
bool OwnSignatureVerifies(const std::wstring& path, HANDLE file) {
  const ModuleVerifier verifier = g_own_signature.load();
  if (verifier == nullptr) return false;
  try {
    return verifier(path, file);
  } catch (...) {
    return false;
  }
}

// `strict`: a file to be started must not be of the unknown class either.
bool TrustServiceAccepts(const std::wstring& path, bool strict = false) {
  const FileTrustService service = g_trust_service.load();
  if (service == nullptr) return false;
  try {
    const std::optional<int> trust_class = service(path);
    if (!trust_class || *trust_class == kUntrustedFileClass) return false;
    return !strict || *trust_class != kUnknownFileClass;
  } catch (...) {
    return false;
  }
}

bool UsesOwnSignature(std::wstring_view name) {
  name = TrimLeadingSeparators(name);
  for (const std::wstring_view library : kOwnSignatureLibraries) {
    if (EqualsIgnoreAsciiCase(name, library)) return true;
  }
  return false;
}

// The file of the loaded module `name`, or empty. The reference GetModuleHandleExW takes (so the
// module cannot go away while we ask for its file) is given back at once.
std::wstring LoadedModulePath(const std::wstring& name) {
  ScopedLibrary module;
  if (!::GetModuleHandleExW(0, name.c_str(), module.receive())) return {};
  return GetModulePath(module.get());
}

std::wstring FirstKnownCandidate(std::wstring_view name, const RuntimeConfig& config) {
  for (const KnownDll& known : config.known_dlls) {
    if (!PathEqualsIgnoreCase(known.name, name)) continue;
    for (const std::wstring& candidate : known.paths) {
      if (IsExistingFile(candidate)) return candidate;
    }
  }
  return {};
}

std::wstring FirstInDefaultDirectories(std::wstring_view name, const RuntimeConfig& config) {
  for (const std::wstring& folder : config.default_dll_directories) {
    const std::wstring candidate = JoinPath(folder, name);
    if (candidate.size() <= kMaxJoinedPathChars && IsExistingFile(candidate)) return candidate;
  }
  return {};
}

// The check of a core library found at `path`; the file stays held in `*held` when it passed.
bool PassesCoreLibraryCheck(std::wstring_view name, const std::wstring& path, const std::wstring& suite_folder,
                            std::optional<CheckedFile>* held) {
  const bool vouched = IsVouchedForBySelfProtection(path, suite_folder);
  if (!vouched && ::PathIsRelativeW(path.c_str())) return false;
  std::optional<CheckedFile> file = HoldFile(path);
  if (!file) return false;
  if (!vouched && !(UsesOwnSignature(name) ? OwnSignatureVerifies(file->path, file->handle.get())
                                             : TrustServiceAccepts(file->path))) {
    return false;
  }
  *held = std::move(file);
  return true;
}

// The loader's search flags for a library we load: its own folder and the system folder, where
// the system knows those flags (Windows 7 gained them with an update); a full path otherwise.
HMODULE LoadFullPath(const std::wstring& path) {
  return ::LoadLibraryExW(path.c_str(), nullptr,
                          LibrarySearchFlags(LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
}

// The drive path of the file open as `file`; nothing for any other kind of path.
std::optional<std::wstring> FinalDrivePath(HANDLE file) {
  const std::wstring path = FinalPathOf(file);
  return path.empty() ? std::nullopt : CanonicalLocalPath(path, kLongestPathChars);
}

OnceValue<std::wstring> g_suite_folder;

}  // namespace

void SetTrustVerifiers(ModuleVerifier own_signature, FileTrustService trust_service) {
  g_own_signature.store(own_signature);
  g_trust_service.store(trust_service);
}

std::wstring ReadSuiteFolderForTrust() {
  const std::wstring value = ReadSuiteFolderValue(kMaxSuiteFolderChars);
  if (value.empty()) return {};
  const std::optional<std::wstring> folder = CanonicalLocalPath(value);
  if (!folder) return {};
  return std::wstring(TrimTrailingSeparators(*folder));
}

std::wstring SuiteFolderForTrust() { return g_suite_folder.Get(&ReadSuiteFolderForTrust); }

bool IsPathInsideFolderAscii(std::wstring_view folder, std::wstring_view path) {
  if (folder.empty() || path.size() <= folder.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    if (AsciiToLower(folder[i]) != AsciiToLower(path[i])) return false;
  }
  return IsPathSeparator(path[folder.size()]);
}

bool IsUnderSelfProtection() {
  ScopedFileHandle device(::CreateFileW(kSelfProtectionDevice, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device) return false;
  DWORD process_id = ::GetCurrentProcessId();
  DWORD answer = 0;
  DWORD returned = 0;
  // METHOD_BUFFERED copies back only what the driver wrote, so `answer` stays 0 unless it answered.
  if (!::DeviceIoControl(device.get(), kQueryProcessProtection, &process_id, sizeof(process_id), &answer,
                         sizeof(answer), &returned, /*lpOverlapped=*/nullptr)) {
    return false;
  }
  return answer != 0;
}

bool IsVouchedForBySelfProtection(const std::wstring& path, const std::wstring& suite_folder) {
  if (!IsUnderSelfProtection() || suite_folder.empty()) return false;
  const std::optional<std::wstring> canonical = CanonicalLocalPath(path);
  return canonical && IsPathInsideFolderAscii(suite_folder, *canonical);
}

namespace {

// The folders only administrators write, besides the registered suite folder: the system folders
// and the program files folders. Canonical, without trailing separators.
std::vector<std::wstring> AdministratorsFolders() {
  static OnceValue<std::vector<std::wstring>> folders;
  return folders.Get([] {
    std::vector<std::wstring> found;
    const auto add = [&found](const std::wstring& folder) {
      if (const std::optional<std::wstring> canonical = folder.empty() ? std::nullopt : CanonicalLocalPath(folder)) {
        found.emplace_back(TrimTrailingSeparators(*canonical));
      }
    };
    wchar_t folder[MAX_PATH] = {};
    // The system folder by both its names (a 32-bit process's "System32" is SysWOW64).
    for (const auto get : {&::GetSystemDirectoryW, &::GetSystemWow64DirectoryW}) {
      const UINT length = get(folder, MAX_PATH);
      if (length == 0 || length >= MAX_PATH) continue;
      add(std::wstring(folder, length));
      add(NativeSystemPath(std::wstring(folder, length)));
    }
    for (const int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86}) {
      if (SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) add(folder);
    }
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramW6432", folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) add(folder);
    return found;
  });
}

// An elevated process also holds to our own signature what the user may have placed or named: a
// file outside the folders only administrators write. A trust class passes unknown files, and the
// paths of the engine, the assistant, word-pick and the browser come from the user's registry and
// profile. `held` is the file open for reading, or null (it is opened here).
bool PassesElevatedRule(const std::wstring& canonical, HANDLE held) {
  if (!IsProcessElevated()) return true;
  const std::wstring suite = SuiteFolderForTrust();
  if (IsPathInsideFolderAscii(suite, canonical)) return true;
  for (const std::wstring& folder : AdministratorsFolders()) {
    if (IsPathInsideFolderAscii(folder, canonical)) return true;
  }
  if (held) return OwnSignatureVerifies(canonical, held);
  const ScopedFileHandle file(::CreateFileW(canonical.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && OwnSignatureVerifies(canonical, file.get());
}

// The trust check on the canonical form of `path`, which is what the caller then uses.
bool IsTrustedCanonical(const std::wstring& canonical, bool to_start, HANDLE held = nullptr) {
  if (IsVouchedForBySelfProtection(canonical, SuiteFolderForTrust())) return true;
  return TrustServiceAccepts(canonical, /*strict=*/to_start) && PassesElevatedRule(canonical, held);
}

}  // namespace

bool IsTrustedFile(const std::wstring& path) {
  const std::optional<std::wstring> canonical = CanonicalLocalPath(path);
  return canonical && IsTrustedCanonical(*canonical, /*to_start=*/false);
}

bool IsTrustedToStart(const std::wstring& path) {
  const std::optional<std::wstring> canonical = CanonicalLocalPath(path);
  return canonical && IsTrustedCanonical(*canonical, /*to_start=*/true);
}

std::optional<CheckedFile> HoldFile(const std::wstring& path) {
  std::optional<std::wstring> canonical = CanonicalLocalPath(path, kLongestPathChars);
  if (!canonical) return std::nullopt;
  const std::wstring name = canonical->size() < MAX_PATH ? *canonical : L"\\\\?\\" + *canonical;
  // Read sharing only: no writer, no rename, no delete until the handle is closed.
  ScopedFileHandle handle(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  // A link along the way may lead elsewhere: what is judged and used is the file actually open.
  // The final path of a file opened through the native system folder's alias names that folder
  // as "System32", which for a 32-bit process is the 32-bit folder: it is named by the alias.
  std::optional<std::wstring> final_path = FinalDrivePath(handle.get());
  if (final_path) final_path = NativeSystemPath(*final_path);
  // Some systems give no final path beyond MAX_PATH characters; nothing loads or starts by such a
  // path either, so the canonical one stands for it.
  if (!final_path && canonical->size() >= MAX_PATH) final_path = canonical;
  if (!final_path) return std::nullopt;
  CheckedFile file{PathEqualsIgnoreCase(*final_path, *canonical) ? std::move(*canonical) : std::move(*final_path),
                   std::move(handle), {}};
  // Not every system refuses to rename a folder that holds an open file: each folder on the way
  // is held against renaming and deleting too, so the path keeps naming the held file.
  for (std::wstring folder = ParentFolder(file.path); folder.size() > 3; folder = ParentFolder(folder)) {
    const std::wstring folder_name = folder.size() < MAX_PATH ? folder : L"\\\\?\\" + folder;
    ScopedFileHandle held(::CreateFileW(folder_name.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!held) return std::nullopt;
    file.folders.push_back(std::move(held));
  }
  return file;
}

std::optional<CheckedFile> HoldTrustedFile(const std::wstring& path, bool to_start) {
  std::optional<CheckedFile> file = HoldFile(path);
  if (!file || !IsTrustedCanonical(file->path, to_start, file->handle.get())) return std::nullopt;
  return file;
}

ScopedLibrary LoadHeldLibrary(const CheckedFile& file) { return ScopedLibrary(LoadFullPath(file.path)); }

ScopedLibrary LoadTrustedLibrary(const std::wstring& path) {
  const std::optional<CheckedFile> file = HoldTrustedFile(path, /*to_start=*/false);
  return file ? LoadHeldLibrary(*file) : ScopedLibrary();
}

namespace {

DWORD LocateAndHold(const std::wstring& name, const RuntimeConfig& config, const std::wstring& suite_folder,
                    std::wstring* path, std::optional<CheckedFile>* held) {
  if (path) path->clear();
  if (TrimLeadingSeparators(name).empty()) return kCoreLibraryNotFound;
  std::wstring found = LoadedModulePath(name);
  if (found.empty()) found = FirstKnownCandidate(name, config);
  if (found.empty()) found = FirstInDefaultDirectories(name, config);
  if (found.empty()) {
    if (suite_folder.empty()) return kCoreLibraryNotFound;
    found = JoinPath(suite_folder, name);
    // A file that is not there was not found; it is no damaged file either.
    if (!IsExistingFile(found)) return kCoreLibraryNotFound;
  }
  const bool passes = PassesCoreLibraryCheck(name, found, suite_folder, held);
  if (path) *path = std::move(found);
  return passes ? kCoreLibraryFound : kCoreLibraryNotVerified;
}

}  // namespace

DWORD LocateCoreLibraryWith(const std::wstring& name, const RuntimeConfig& config, const std::wstring& suite_folder,
                            std::wstring* path) {
  std::optional<CheckedFile> held;
  return LocateAndHold(name, config, suite_folder, path, &held);
}

DWORD LocateCoreLibrary(const std::wstring& name, std::wstring* path) {
  return LocateCoreLibraryWith(name, GetRuntimeConfig(), SuiteFolderForTrust(), path);
}

ScopedLibrary LoadCoreLibrary(const std::wstring& name) {
  std::optional<CheckedFile> held;
  if (LocateAndHold(name, GetRuntimeConfig(), SuiteFolderForTrust(), nullptr, &held) != kCoreLibraryFound || !held) {
    return ScopedLibrary();
  }
  return LoadHeldLibrary(*held);
}

}  // namespace velmora
