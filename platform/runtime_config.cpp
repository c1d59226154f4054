#include "platform/runtime_config.h"

#include <shlwapi.h>

#include <algorithm>
#include <utility>

#include "platform/data_folder.h"
#include "platform/module_path.h"
#include "platform/once_value.h"
#include "platform/path_text.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "platform/trust.h"

namespace velmora {
namespace {

constexpr wchar_t kConfigFileName[] = L"SVuq.ini";
constexpr wchar_t kDefaultDirectoriesSection[] = L"Runtime\\DefaultDllDirectories";
constexpr wchar_t kKnownDllsSection[] = L"Runtime\\KnownDLLs";
constexpr wchar_t kEnvironmentSection[] = L"Environment";
constexpr std::wstring_view kRegistryKeyword = L"REGISTRY:";

constexpr size_t kMaxConfigPathChars = 511;  // a candidate "...\SVuq.ini", terminator excluded
constexpr DWORD kFirstSectionChars = 1024;
constexpr DWORD kMaxSectionChars = 4 * 1024 * 1024;  // 8 MiB; a larger section is not read at all
constexpr size_t kMaxPathChars = MAX_PATH - 1;       // what PathCanonicalizeW accepts

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The parent of `folder` (given without trailing separators), or nothing at a root: "C:", a
// "\\server\share" and a folder without any separator have none.
std::optional<std::wstring_view> ParentOf(std::wstring_view folder) {
  if (folder.size() > 2 && IsPathSeparator(folder[0]) && IsPathSeparator(folder[1])) {
    const std::wstring_view share = folder.substr(2);
    const size_t first = share.find_first_of(L"\\/");
    if (first == std::wstring_view::npos || share.find_first_of(L"\\/", first + 1) == std::wstring_view::npos) {
      return std::nullopt;
    }
  }
  const size_t separator = folder.find_last_of(L"\\/");
  if (separator == std::wstring_view::npos) return std::nullopt;
  const std::wstring_view parent = TrimTrailingSeparators(folder.substr(0, separator));
  if (parent.empty()) return std::nullopt;  // "\folder": rooted on no particular drive
  return parent;
}

// The lines of one section, as GetPrivateProfileSectionW returns them (each followed by L'\0').
// Nothing when the section does not fit kMaxSectionChars: half a section could name half a path.
std::optional<std::wstring> ReadSection(const std::wstring& ini_path, const wchar_t* section) {
  for (DWORD size = kFirstSectionChars; size <= kMaxSectionChars; size *= 2) {
    std::wstring buffer(size, L'\0');
    // A section that does not fit comes back cut, with the answer size - 2.
    const DWORD copied = ::GetPrivateProfileSectionW(section, buffer.data(), size, ini_path.c_str());
    if (copied < size - 2) {
      buffer.resize(copied);
      return buffer;
    }
  }
  return std::nullopt;
}

std::vector<std::wstring_view> SplitLines(std::wstring_view section) {
  std::vector<std::wstring_view> lines;
  while (!section.empty()) {
    const size_t end = section.find(L'\0');
    lines.push_back(section.substr(0, end));
    if (end == std::wstring_view::npos) break;
    section.remove_prefix(end + 1);
  }
  return lines;
}

HKEY ReferenceRoot(std::wstring_view name) {
  const std::pair<std::wstring_view, HKEY> roots[] = {
      {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKLM", HKEY_LOCAL_MACHINE},
      {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKCR", HKEY_CLASSES_ROOT},
      {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {L"HKCU", HKEY_CURRENT_USER},
      {L"HKEY_USERS", HKEY_USERS}};
  for (const auto& [root_name, root] : roots) {
    if (EqualsIgnoreAsciiCase(name, root_name)) return root;
  }
  return nullptr;
}

// Replaces each "<REGISTRY:ROOT\key@value>" of `text` by the value's text. The value name is what
// follows the last "@", so key names may hold "@". False when any "<" does not open a reference
// that can be read: a "<" has no place in a path, and a path missing its registry part would
// point somewhere else.
bool ExpandRegistryReferences(std::wstring& text) {
  const std::wstring_view source(text);
  std::wstring result;
  size_t position = 0;
  for (;;) {
    const size_t open = source.find(L'<', position);
    result.append(source.substr(position, open == std::wstring_view::npos ? std::wstring_view::npos : open - position));
    if (open == std::wstring_view::npos) break;
    const size_t close = source.find(L'>', open);
    if (close == std::wstring_view::npos) return false;
    std::wstring_view reference = source.substr(open + 1, close - open - 1);
    if (!StartsWithIgnoreAsciiCase(reference, kRegistryKeyword)) return false;
    reference.remove_prefix(kRegistryKeyword.size());
    const size_t slash = reference.find(L'\\');
    if (slash == std::wstring_view::npos) return false;
    const HKEY root = ReferenceRoot(reference.substr(0, slash));
    const std::wstring_view key_and_value = reference.substr(slash + 1);
    const size_t at = key_and_value.rfind(L'@');
    if (root == nullptr || at == std::wstring_view::npos || at == 0) return false;
    const std::wstring subkey(key_and_value.substr(0, at)), value_name(key_and_value.substr(at + 1));
    const std::optional<std::wstring> value = QueryRegistryString(root, subkey, value_name, kMaxPathChars);
    // An empty value names no place; taking it would make the entry relative to the ini folder.
    if (!value || value->empty()) return false;
    result += *value;
    if (result.size() > kMaxPathChars) return false;
    position = close + 1;
  }
  text = std::move(result);
  return true;
}

std::optional<std::wstring> ExpandEnvironment(const std::wstring& text) {
  wchar_t buffer[MAX_PATH] = {};
  // The answer counts the terminator, and is the size needed when the buffer is too small.
  const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), buffer, MAX_PATH);
  if (needed == 0 || needed > MAX_PATH) return std::nullopt;
  return std::wstring(buffer);
}

bool IsUncPath(std::wstring_view path) { return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\'; }
bool IsDrivePath(std::wstring_view path) { return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == L':'; }

}  // namespace

std::optional<std::wstring> ConfigEntryToPath(std::wstring_view entry, std::wstring_view ini_folder, bool directory) {
  std::wstring path(TrimWhitespace(entry));
  if (path.empty()) return std::nullopt;
  if (path.find(L'%') != std::wstring::npos) {
    std::optional<std::wstring> expanded = ExpandEnvironment(path);
    if (!expanded) return std::nullopt;
    path = std::move(*expanded);
  }
  if (path.find(L'<') != std::wstring::npos && !ExpandRegistryReferences(path)) return std::nullopt;
  if (!IsUncPath(path) && !IsDrivePath(path)) path = JoinPath(ini_folder, path);
  // PathCanonicalizeW writes up to MAX_PATH characters and older systems do not check the source.
  if (path.size() > kMaxPathChars) return std::nullopt;
  wchar_t canonical[MAX_PATH] = {};
  if (!::PathCanonicalizeW(canonical, path.c_str()) || canonical[0] == L'\0') return std::nullopt;
  std::wstring result(canonical);
  if (directory && !IsPathSeparator(result.back())) result += L'\\';
  return result;
}

std::wstring FindRuntimeConfigFile(const std::wstring& start_folder) {
  // A relative candidate would be looked for here but read by the profile functions from the
  // Windows folder.
  if (start_folder.empty() || ::PathIsRelativeW(start_folder.c_str())) return {};
  std::optional<std::wstring_view> folder = TrimTrailingSeparators(start_folder);
  for (; folder && !folder->empty(); folder = ParentOf(*folder)) {
    const std::wstring candidate = JoinPath(*folder, kConfigFileName);
    if (candidate.size() <= kMaxConfigPathChars && IsExistingFile(candidate)) return candidate;
  }
  return {};
}

RuntimeConfig ReadRuntimeConfigFile(const std::wstring& ini_path) {
  RuntimeConfig config;
  const std::wstring ini_folder = ParentFolder(ini_path);

  if (const std::optional<std::wstring> section = ReadSection(ini_path, kDefaultDirectoriesSection)) {
    for (const std::wstring_view line : SplitLines(*section)) {
      if (std::optional<std::wstring> folder = ConfigEntryToPath(line, ini_folder, /*directory=*/true)) {
        config.default_dll_directories.push_back(std::move(*folder));
      }
    }
  }

  if (const std::optional<std::wstring> section = ReadSection(ini_path, kKnownDllsSection)) {
    for (const std::wstring_view line : SplitLines(*section)) {
      const size_t equals = line.find(L'=');
      if (equals == std::wstring_view::npos) continue;
      KnownDll known{std::wstring(TrimWhitespace(line.substr(0, equals))), {}};
      std::wstring_view pieces = line.substr(equals + 1);
      while (!pieces.empty()) {
        const size_t semicolon = pieces.find(L';');
        const std::wstring_view piece = TrimWhitespace(pieces.substr(0, semicolon));
        if (!piece.empty()) {
          if (std::optional<std::wstring> file = ConfigEntryToPath(piece, ini_folder, /*directory=*/false)) {
            known.paths.push_back(std::move(*file));
          }
        }
        if (semicolon == std::wstring_view::npos) break;
        pieces.remove_prefix(semicolon + 1);
      }
      // A line without a name or without one usable path could never be chosen.
      if (!known.name.empty() && !known.paths.empty()) config.known_dlls.push_back(std::move(known));
    }
  }

  if (std::optional<std::wstring> section = ReadSection(ini_path, kEnvironmentSection)) {
    config.environment = std::move(*section);
  }
  return config;
}

RuntimeConfig LoadRuntimeConfig(const std::wstring& start_folder) {
  const std::wstring ini_path = FindRuntimeConfigFile(start_folder);
  if (ini_path.empty()) return {};
  return ReadRuntimeConfigFile(ini_path);
}

namespace {

OnceValue<RuntimeConfig> g_config;

}  // namespace

std::wstring RuntimeConfigStartFolder(const std::wstring& program_folder, const std::wstring& registered_suite) {
  if (!IsDataFolderPath(program_folder)) return program_folder;
  const std::wstring_view suite = TrimTrailingSeparators(registered_suite);
  return suite.empty() ? std::wstring() : JoinPath(suite, L"Utils");
}

const RuntimeConfig& GetRuntimeConfig() {
  return g_config.Get([] {
    const std::wstring start = RuntimeConfigStartFolder(ParentFolder(GetModulePath(nullptr)), SuiteFolderForTrust());
    return start.empty() ? RuntimeConfig() : LoadRuntimeConfig(start);
  });
}

}  // namespace velmora
