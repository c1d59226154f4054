#include "platform/trust.h"

#include <shlwapi.h>

#include <atomic>
#include <climits>
#include <utility>

#include "platform/module_path.h"
#include "platform/once_value.h"
#include "platform/path_text.h"
#include "platform/scoped_handle.h"
#include "platform/suite_folder.h"
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

bool OwnSignatureVerifies(const std::wstring& path) {
  const ModuleVerifier verifier = g_own_signature.load();
  if (verifier == nullptr) return false;
  try {
    return verifier(path);
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

bool PassesCoreLibraryCheck(std::wstring_view name, const std::wstring& path, const std::wstring& suite_folder) {
  if (IsVouchedForBySelfProtection(path, suite_folder)) return true;
  if (::PathIsRelativeW(path.c_str())) return false;
  return UsesOwnSignature(name) ? OwnSignatureVerifies(path) : TrustServiceAccepts(path);
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

// The trust check on the canonical form of `path`, which is what the caller then uses.
bool IsTrustedCanonical(const std::wstring& canonical, bool to_start) {
  if (IsVouchedForBySelfProtection(canonical, SuiteFolderForTrust())) return true;
  return TrustServiceAccepts(canonical, /*strict=*/to_start);
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

ScopedLibrary LoadTrustedLibrary(const std::wstring& path) {
  const std::optional<std::wstring> canonical = CanonicalLocalPath(path);
  if (!canonical || !IsTrustedCanonical(*canonical, /*to_start=*/false)) return ScopedLibrary();
  return ScopedLibrary(::LoadLibraryW(canonical->c_str()));
}

DWORD LocateCoreLibraryWith(const std::wstring& name, const RuntimeConfig& config, const std::wstring& suite_folder,
                            std::wstring* path) {
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
  const bool passes = PassesCoreLibraryCheck(name, found, suite_folder);
  if (path) *path = std::move(found);
  return passes ? kCoreLibraryFound : kCoreLibraryNotVerified;
}

DWORD LocateCoreLibrary(const std::wstring& name, std::wstring* path) {
  return LocateCoreLibraryWith(name, GetRuntimeConfig(), SuiteFolderForTrust(), path);
}

}  // namespace velmora
