// The run-time binding of the suite's four core libraries. Each is located and verified by the
// trust layer (LocateCoreLibrary) once per process, then its functions are resolved by name from
// the one table below. A library that is missing or refused binds nothing: every function
// lookup answers null and the feature that wanted it quietly does nothing.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/suite_interfaces.h"
#include "platform/system_functions.h"

namespace velmora {

enum class CoreLibrary { kBaseCore, kConfCore, kHostKit, kNetCore };

// The library's file name ("BaseCore.dll", ...).
const wchar_t* CoreLibraryName(CoreLibrary library);

// The loaded library, or null. Located, verified and loaded on first use; thread-safe; the
// module stays loaded for the life of the process.
HMODULE GetCoreLibrary(CoreLibrary library);

template <typename Fn>
Fn GetCoreFunction(CoreLibrary library, const char* name) {
  return GetProcAddressAs<Fn>(GetCoreLibrary(library), name);
}

// --- HostKit.dll's lazily bound function table -------------------------------------------------
// Entry 0: object factory. Entry 1: the table's version (non-zero when usable).
// Entry 3: ShellExecuteW with the same arguments, run on behalf of the desktop user.
// Entry 5: opens a link in the user's browser; non-zero when it did.
using HostKitCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID clsid, REFIID iid, void** object);
using HostKitVersionFn = DWORD(WINAPI*)();
using HostKitShellExecuteFn = INT_PTR(WINAPI*)(HWND window, const wchar_t* verb, const wchar_t* file,
                                               const wchar_t* parameters, const wchar_t* directory, int show);
using HostKitOpenUrlFn = BOOL(WINAPI*)(const wchar_t* url);

constexpr char kHostKitCreateInstance[] = "HkCreateInstance";  // entry 0
constexpr char kHostKitVersion[] = "HkGetVersion";             // entry 1
constexpr char kHostKitShellExecute[] = "HkShellExecute";      // entry 3
constexpr char kHostKitOpenUrl[] = "HkOpenUrl";                // entry 5

// The two set-up steps: entry 0 binds, and only then entry 1; true when both answer non-zero.
bool BindHostKitTable();

// Entry 3, when it binds; nullopt when the entry is missing.
[[nodiscard]] std::optional<INT_PTR> HostKitShellExecute(HWND window, const wchar_t* verb, const wchar_t* file,
                                                         const wchar_t* parameters, const wchar_t* directory,
                                                         int show);

// Entry 5; false when the entry is missing or answers 0.
[[nodiscard]] bool HostKitOpenUrl(const wchar_t* url);

// Reads a message-center setting through HostKit's settings object, which is made once on first
// use (concurrent first callers wait for it) and kept. nullopt when the object is missing or the
// query fails. Any thread.
[[nodiscard]] std::optional<DWORD> QueryMessageCenterSetting(const MsgCenterSettingKey& key);

// Whether HostKit's settings object exists (made on first use as above).
bool HasMessageCenterSettings();

// --- BaseCore.dll -------------------------------------------------------------------------------
// The file-trust service: the trust class of a signed file (3 refuses), or no answer.
using BaseCoreFileTrustFn = BOOL(WINAPI*)(const wchar_t* path, int* trust_class);
// The object factory for the machine-identifier objects.
using BaseCoreCreateInstanceFn = HRESULT(WINAPI*)(REFIID iid, void** object);
constexpr char kBaseCoreFileTrust[] = "BcQueryFileTrust";
constexpr char kBaseCoreCreateInstance[] = "BcCreateInstance";

// The service's answer for `path`; nullopt when BaseCore.dll does not bind or does not answer.
std::optional<int> QueryFileTrustClass(const std::wstring& path);

}  // namespace velmora
