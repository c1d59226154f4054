// The one trust check applied before the program loads, starts, copies or links to any of the
// suite's files, the trusted library loader built on it, and where the suite's four core
// libraries (BaseCore.dll, ConfCore.dll, HostKit.dll, NetCore.dll) are taken from.
//
// How a signature is judged is supplied from outside (SetTrustVerifiers): until then, every file
// that needs a signature check is refused. Every function may be called from any thread and none
// throws.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime_config.h"
#include "platform/scoped_handle.h"

namespace velmora {

// The program's own module signature verification: true when the file `path` names, open as
// `file` (read access, held by the caller), carries our signature.
using ModuleVerifier = bool (*)(const std::wstring& path, HANDLE file);
// The suite's file-trust service: the trust class of `path`, nullopt when it gives no answer.
using FileTrustService = std::optional<int> (*)(const std::wstring& path);  // nullopt: no answer

// The trust class the file-trust service gives an untrusted file, and a file it does not know.
constexpr int kUntrustedFileClass = 3;
constexpr int kUnknownFileClass = -1;

// LocateCoreLibrary's answers.
constexpr DWORD kCoreLibraryFound = 0;
constexpr DWORD kCoreLibraryNotFound = 2;      // ERROR_FILE_NOT_FOUND
constexpr DWORD kCoreLibraryNotVerified = 577;  // ERROR_INVALID_IMAGE_HASH

// Installs the two verifiers; a null one refuses every file. Set once at start-up, before other
// threads ask; a later call replaces them for calls that start afterwards. An exception thrown by
// a verifier counts as a refusal.
void SetTrustVerifiers(ModuleVerifier own_signature, FileTrustService trust_service);

// The suite folder the trust check compares with: HKLM "...\App Paths\Guardian.exe" value "Path",
// canonical, without trailing "\" or "/". Read once per process (concurrent first callers wait);
// empty when the value is missing or unusable.
std::wstring SuiteFolderForTrust();

// The same value, read anew on every call.
std::wstring ReadSuiteFolderForTrust();

// True when `path` lies inside `folder`: `folder` is a prefix of `path` comparing A-Z without
// regard to case and every other character exactly, and the next character of `path` is "\" or
// "/". An empty folder contains nothing. Pure.
bool IsPathInsideFolderAscii(std::wstring_view folder, std::wstring_view path);

// True when the suite's self-protection driver answers that this process is under its
// protection. Opens and closes the device on every call; false when there is no device.
bool IsUnderSelfProtection();

// The self-protection shortcut: the driver protects this process, `suite_folder` is not empty and
// the canonical form of `path` lies inside it (IsPathInsideFolderAscii).
[[nodiscard]] bool IsVouchedForBySelfProtection(const std::wstring& path, const std::wstring& suite_folder);

// The trust check: the self-protection shortcut with SuiteFolderForTrust(); otherwise a relative
// path is refused; otherwise the file-trust service decides (no answer or kUntrustedFileClass
// refuses, any other class trusts).
[[nodiscard]] bool IsTrustedFile(const std::wstring& path);

// The trust check for a file to be started: as IsTrustedFile, but the file-trust service's
// unknown class refuses as well.
[[nodiscard]] bool IsTrustedToStart(const std::wstring& path);

// A file held open from its trust check until its use: opened once with read sharing only, so
// nobody can write, rename or delete it in between. `path` is the file the handle names (the
// canonical path asked for, or the final path the system gives for the handle where the two
// differ); it is what was checked and what the use must name.
struct CheckedFile {
  std::wstring path;
  ScopedFileHandle handle;
  std::vector<ScopedFileHandle> folders;  // the folders on the way, held against renaming
};

// Opens the canonical form of `path` (CanonicalLocalPath, any length) so; nothing for a path that
// form refuses, a file or folder on the way that cannot be opened so, or a final path that is not
// a local drive path.
[[nodiscard]] std::optional<CheckedFile> HoldFile(const std::wstring& path);

// HoldFile, then the trust check on the held file (IsTrustedToStart's rule when `to_start`, else
// IsTrustedFile's). Nothing when refused.
[[nodiscard]] std::optional<CheckedFile> HoldTrustedFile(const std::wstring& path, bool to_start);

// Loads a held file; its dependencies come from its own folder and the system folder only.
[[nodiscard]] ScopedLibrary LoadHeldLibrary(const CheckedFile& file);

// The held file loaded only when it passes IsTrustedFile's rule, owned by the answer. Empty when
// refused or when loading fails.
[[nodiscard]] ScopedLibrary LoadTrustedLibrary(const std::wstring& path);

// Where core library `name` is taken from, and whether it may be used:
//   1. a module of that name already loaded in the process;
//   2. else the first existing candidate of the known-library entries named `name` (compared
//      without regard to case);
//   3. else the first default directory holding the file (joined paths under 512 characters);
//   4. else `suite_folder`\name, when that folder is not empty and the file exists.
// The path found passes when the self-protection shortcut vouches for it, or when it is absolute
// and its signature verifies: BaseCore.dll, ConfCore.dll and HostKit.dll by the own-signature
// verifier, every other name by the file-trust service.
// Answers kCoreLibraryFound, kCoreLibraryNotFound (`*path` empty) or kCoreLibraryNotVerified
// (`*path` is the file that failed). `path` may be null. Nothing is loaded.
[[nodiscard]] DWORD LocateCoreLibraryWith(const std::wstring& name, const RuntimeConfig& config,
                                          const std::wstring& suite_folder, std::wstring* path);

// LocateCoreLibraryWith with GetRuntimeConfig() and SuiteFolderForTrust().
[[nodiscard]] DWORD LocateCoreLibrary(const std::wstring& name, std::wstring* path);

// LocateCoreLibrary, and the file found loaded while it is still held from its check (a module
// already in the process is referenced again). Empty when not found, refused or not loadable.
[[nodiscard]] ScopedLibrary LoadCoreLibrary(const std::wstring& name);

}  // namespace velmora
