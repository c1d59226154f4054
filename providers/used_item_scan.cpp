#include "providers/used_item_scan.h"

#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "config/shortcut.h"
#include "platform/native_system_path.h"
#include "platform/path_macros.h"
#include "platform/process_facts.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"
#include "platform/shell_folder.h"
#include "platform/text.h"
#include "platform/version_info.h"

namespace velmora {
namespace {

constexpr DWORD kResolveFlags = 0x11;  // SLR_NO_UI | SLR_NOSEARCH
constexpr size_t kMaxRegistryText = 32767;

const wchar_t* const kUserAssistOld[] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{5E6AB780-7743-11CF-A12B-00AA004AE837}\\Count",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{75048700-EF1F-11D0-9888-006097DEACF9}\\Count"};
const wchar_t* const kUserAssistNew[] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{F4E57C4B-2036-45F0-A9AB-443BCFE33D9F}\\Count",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count"};

// An item on a server, or on a drive that is not an internal fixed disk (USB, network), is left
// out, and is not looked at: a server that does not answer would hold up the whole run.
bool IsOnLocalDisk(const UsedItemSources& sources, const std::wstring& path) {
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return false;
  const std::wstring drive = path.substr(0, 2);
  return sources.is_local_drive ? sources.is_local_drive(drive) : IsInternalFixedDisk(drive);
}

bool EndsWithIgnoreCase(const std::wstring& text, std::wstring_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreAsciiCase(std::wstring_view(text).substr(text.size() - suffix.size()), suffix);
}

// The attributes and times of an existing file or folder (the directory entry's; asked for by
// name, which is much cheaper than a listing of a large folder).
bool FindEntry(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return !path.empty() && ::GetFileAttributesExW(NativeSystemPath(path).c_str(), GetFileExInfoStandard, data);
}

int64_t ToSeconds(const FILETIME& time) {
  return FileTimeToUnixSeconds((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

struct ValueBuffers {
  std::vector<wchar_t> name;
  std::vector<BYTE> data;
};

// Names and data of a key's values, sized by the key's own longest ones. False (nothing to scan)
// for a key without values or when the buffers cannot be had.
bool SizeBuffers(HKEY key, DWORD* count, ValueBuffers* buffers) {
  DWORD longest_name = 0;
  DWORD longest_data = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count, &longest_name,
                         &longest_data, nullptr, nullptr) != ERROR_SUCCESS ||
      *count == 0) {
    return false;
  }
  try {
    buffers->name.assign(longest_name + 1, L'\0');
    buffers->data.assign(longest_data + sizeof(wchar_t), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// A document opened as itself, used at `time`.
void InsertDocument(const std::wstring& path, const FILETIME& time, UsedItemList* files) {
  UsedItem item;
  item.path = item.target = path;
  item.name = FileNameOf(path);
  item.kind = UsedKind::kFile;
  item.last_used = ToSeconds(time);
  files->Insert(std::move(item));
}

// A document of an MRU list, used when it was last written.
void AddDocument(const UsedItemSources& sources, const std::wstring& path, UsedItemList* files) {
  WIN32_FILE_ATTRIBUTE_DATA entry = {};
  if (IsOnLocalDisk(sources, path) && FindEntry(path, &entry)) InsertDocument(path, entry.ftLastWriteTime, files);
}

void AddUserAssistItem(const UsedItemSources& sources, std::wstring name, int64_t last_used, UsedItemList* programs) {
  if (name.size() >= 4 && EqualsIgnoreAsciiCase(std::wstring_view(name).substr(0, 4), L"UEME")) return;
  if (name[0] == L'{') name = ResolveKnownFolderPrefix(name, /*default_user=*/false);
  if (name.find_first_of(L"\\/") == std::wstring::npos) return;
  UsedItem item;
  item.path = name;
  item.last_used = last_used;
  if (EndsWithIgnoreCase(name, L".lnk")) {
    std::wstring target;
    if (!ResolveShortcut(name, &target, nullptr, kResolveFlags) || target.empty() ||
        !IsOnLocalDisk(sources, target)) {
      return;
    }
    item.shortcut = true;
    item.target = target;
    item.name = FileTitleOf(name);
    item.kind = KindOfTarget(target);
  } else {
    if (name[0] == L'{') item.path = name = ResolveReplyTarget(name);
    item.name = FileNameOf(name);
    // A file that is gone has no description; the reply leaves it out in any case.
    const std::wstring native = NativeSystemPath(name);
    const bool exists = ::GetFileAttributesW(native.c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::wstring description = exists ? GetFileDescription(native) : std::wstring();
    if (IsExcludedProgramName(item.name, description) || !IsOnLocalDisk(sources, name)) return;
    item.target = name;
    item.kind = KindOfTarget(name);
    if (item.kind == UsedKind::kProgram && !description.empty()) item.name = description;
  }
  programs->Insert(std::move(item));
}

void ScanOfficeRecentFolder(const UsedItemSources& sources, UsedItemList* files) {
  std::wstring folder = sources.app_data;
  if (folder.empty()) {
    wchar_t app_data[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", app_data, MAX_PATH);
    folder = length > 0 && length < MAX_PATH ? std::wstring(app_data) : GetShellFolder(CSIDL_APPDATA);
  }
  if (folder.empty()) return;
  folder += L"\\Microsoft\\Office\\Recent";
  WIN32_FIND_DATAW entry = {};
  const HANDLE find = ::FindFirstFileW((folder + L"\\*.lnk").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !EndsWithIgnoreCase(name, L".lnk")) continue;
    std::wstring target;
    if (!ResolveShortcut(folder + L"\\" + name, &target, nullptr, kResolveFlags) || target.empty() ||
        !IsOnLocalDisk(sources, target)) {
      continue;
    }
    const DWORD attributes = NativeFileAttributes(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    InsertDocument(target, entry.ftLastWriteTime, files);  // the shortcut's time
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
}

std::vector<std::wstring> SubkeyNamesAt(HKEY root, const std::wstring& path) {
  ScopedRegKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return {};
  return SubkeyNames(key.get(), 255);
}

void ScanOfficeMru(const UsedItemSources& sources, UsedItemList* files) {
  const HKEY root = sources.root;
  for (const std::wstring& version : SubkeyNamesAt(root, L"Software\\Microsoft\\Office")) {
    for (const wchar_t* application : {L"Word", L"Excel", L"PowerPoint"}) {
      const std::wstring path = FormatW(L"Software\\Microsoft\\Office\\%ls\\%ls\\File MRU", version.c_str(), application);
      ScopedRegKey key;
      if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) continue;
      DWORD count = 0;
      ValueBuffers buffers;
      if (!SizeBuffers(key.get(), &count, &buffers)) continue;
      for (DWORD i = 0; i < count; ++i) {
        DWORD name_length = static_cast<DWORD>(buffers.name.size());
        DWORD data_size = static_cast<DWORD>(buffers.data.size() - sizeof(wchar_t));
        DWORD type = 0;
        if (::RegEnumValueW(key.get(), i, buffers.name.data(), &name_length, nullptr, &type, buffers.data.data(),
                            &data_size) != ERROR_SUCCESS ||
            type != REG_SZ) {
          continue;
        }
        std::wstring text(reinterpret_cast<const wchar_t*>(buffers.data.data()), data_size / sizeof(wchar_t));
        text.resize(wcsnlen(text.c_str(), text.size()));
        const size_t star = text.find(L'*');
        if (star == std::wstring::npos) continue;
        const size_t next = text.find(L'*', star + 1);
        AddDocument(sources, text.substr(star + 1, next == std::wstring::npos ? std::wstring::npos : next - star - 1),
                    files);
      }
    }
  }
}

void ScanKingsoft(const UsedItemSources& sources, UsedItemList* files) {
  const HKEY root = sources.root;
  const std::wstring base = L"Software\\kingsoft\\Office\\6.0";
  for (const std::wstring& application : SubkeyNamesAt(root, base)) {
    const std::wstring list = base + L"\\" + application + L"\\RecentFiles\\files";
    for (const std::wstring& entry : SubkeyNamesAt(root, list)) {
      if (const auto path = QueryRegistryString(root, list + L"\\" + entry, L"path", kMaxRegistryText)) {
        AddDocument(sources, *path, files);
      }
    }
  }
}

// `given` with its drive test asked once per drive: the test opens the volume.
UsedItemSources AskingEachDriveOnce(const UsedItemSources& given) {
  UsedItemSources sources = given;
  sources.is_local_drive = DriveTestAskingOnce(given.is_local_drive);
  return sources;
}

}  // namespace

std::wstring ResolveKnownFolderPrefix(const std::wstring& text, bool default_user) {
  const size_t end = text.find_first_of(L"\\/");
  const std::wstring id_text = text.substr(0, end);
  CLSID id = {};
  if (FAILED(::CLSIDFromString(id_text.c_str(), &id))) return text;
  std::wstring folder;
  if (default_user && IsEqualGUID(id, FOLDERID_ProgramFilesX64)) {
    folder = ExpandPathMacros(L"%ProgramW6432%");
    if (folder == L"%ProgramW6432%") return text;
  } else {
    PWSTR path = nullptr;
    const HANDLE token = default_user ? reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1)) : nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(id, 0, token, &path);
    if (SUCCEEDED(result) && path) folder = path;
    ::CoTaskMemFree(path);
    if (FAILED(result) || folder.empty()) return text;
  }
  return end == std::wstring::npos ? folder : folder + text.substr(end);
}

std::wstring ResolveReplyTarget(const std::wstring& target) {
  if (target.empty()) return target;
  if (target[0] == L'%') return ExpandPathMacros(target);
  if (target[0] == L'{') return ResolveKnownFolderPrefix(target, /*default_user=*/true);
  return target;
}

void ScanUserAssistKey(const UsedItemSources& sources, const std::wstring& subkey, UsedItemList* programs) {
  ScopedRegKey key;
  if (::RegOpenKeyExW(sources.root, subkey.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return;
  DWORD count = 0;
  ValueBuffers buffers;
  if (!SizeBuffers(key.get(), &count, &buffers)) return;
  for (DWORD i = 0; i < count; ++i) {
    DWORD name_length = static_cast<DWORD>(buffers.name.size());
    DWORD data_size = static_cast<DWORD>(buffers.data.size());
    const LONG result = ::RegEnumValueW(key.get(), i, buffers.name.data(), &name_length, nullptr, nullptr,
                                        buffers.data.data(), &data_size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || data_size < 26 || name_length <= 2) continue;
    std::wstring name(buffers.name.data(), name_length);
    if (sources.major >= 6 || name.compare(0, 2, L"HR") == 0) name = Rot13(name);
    AddUserAssistItem(sources, std::move(name),
                      UserAssistLastUsed(buffers.data.data(), data_size, sources.major, sources.minor), programs);
  }
}

void ScanUserAssist(const UsedItemSources& given, UsedItemList* programs) {
  const UsedItemSources sources = AskingEachDriveOnce(given);
  for (const wchar_t* subkey : sources.major >= 6 ? kUserAssistNew : kUserAssistOld) {
    ScanUserAssistKey(sources, subkey, programs);
  }
}

void ScanRecentDocuments(const UsedItemSources& given, UsedItemList* files) {
  const UsedItemSources sources = AskingEachDriveOnce(given);
  ScanOfficeRecentFolder(sources, files);
  ScanOfficeMru(sources, files);
  ScanKingsoft(sources, files);
}

void CollectUsedItems(const UsedItemSources& given, UsedItemList* programs, UsedItemList* files) {
  programs->Clear();
  files->Clear();
  UsedItemSources sources = given;
  if (sources.major == 0) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetRealOSVersion(&version)) {
      sources.major = version.dwMajorVersion;
      sources.minor = version.dwMinorVersion;
    }
  }
  ScanUserAssist(sources, programs);
  ScanRecentDocuments(sources, files);
}

}  // namespace velmora
