// The optional runtime configuration "SVuq.ini": where the suite's core libraries may be taken
// from instead of the suite folder, and environment text for the process. The file is looked for
// in the program's folder and then in each parent folder; the nearest one is used. A missing or
// unreadable file leaves every list empty. Nothing here throws.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A library name ("NetCore.dll") and the files to try for it, in order.
struct KnownDll {
  std::wstring name;
  std::vector<std::wstring> paths;  // canonical file paths
};

struct RuntimeConfig {
  // "Runtime\DefaultDllDirectories": canonical folders, each ending in "\".
  std::vector<std::wstring> default_dll_directories;
  // "Runtime\KnownDLLs": one entry per usable "name=path;path;..." line, in file order.
  std::vector<KnownDll> known_dlls;
  // "Environment": the section as the system returns it, each line followed by L'\0'.
  std::wstring environment;
};

// The process-wide configuration, read once from RuntimeConfigStartFolder(the program's folder,
// SuiteFolderForTrust()) upwards. Any thread; concurrent first callers wait for the first reader.
// The object lives until the process ends.
const RuntimeConfig& GetRuntimeConfig();

// Where the configuration is looked for: the program's own folder; but for the per-user copy
// (IsDataFolderPath), whose folder the user's processes can write, the registered suite folder's
// program folder ("Utils"), and nowhere (empty) when no suite folder is registered. Pure.
std::wstring RuntimeConfigStartFolder(const std::wstring& program_folder, const std::wstring& registered_suite);

// Reads the configuration found from `start_folder` upwards (FindRuntimeConfigFile); empty when
// none is found. Reads anew on every call.
RuntimeConfig LoadRuntimeConfig(const std::wstring& start_folder);

// The first "SVuq.ini" in `start_folder` (absolute), then in each parent up to the root; a
// candidate path of 512 characters or more is passed over. Empty when there is none.
std::wstring FindRuntimeConfigFile(const std::wstring& start_folder);

// Reads the three sections of the configuration file `ini_path`.
RuntimeConfig ReadRuntimeConfigFile(const std::wstring& ini_path);

// One configuration entry as a canonical path: environment variables expanded when it holds "%",
// registry references "<REGISTRY:ROOT\key@value>" replaced when it holds "<", then taken
// relative to `ini_folder` unless it is a drive path ("X:...") or a UNC path ("\\..."), and
// canonicalised; `directory` adds a trailing "\". Nothing when a registry reference cannot be
// resolved or the path does not fit MAX_PATH. Reads the registry and the environment, nothing else.
std::optional<std::wstring> ConfigEntryToPath(std::wstring_view entry, std::wstring_view ini_folder, bool directory);


}  // namespace velmora
