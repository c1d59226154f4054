#include "platform/process_facts.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <map>
#include <vector>

#include "platform/once_value.h"
#include "platform/path_text.h"
#include "platform/scoped_handle.h"
#include "platform/system_functions.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr DWORD kMaxPathChars = 32768;
constexpr DWORD kDeviceNameChars = 1024;
constexpr DWORD kDescriptorBytes = 1024;

uint64_t VersionNumber(DWORD major, DWORD minor) { return uint64_t{major} * 10u + minor; }

// The storage bus of the volume; false when the volume cannot be opened. A request the driver
// does not answer leaves `*bus` as BusTypeUnknown.
bool QueryVolumeBusType(const std::wstring& drive, STORAGE_BUS_TYPE* bus) {
  // "\\.\C:" is the volume; "\\.\C:\" would be its root folder, which has no storage descriptor.
  const std::wstring volume_path = L"\\\\.\\" + drive;
  // READ_CONTROL needs no administrator rights and is not subject to share-mode conflicts.
  ScopedFileHandle volume(::CreateFileW(volume_path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  if (!volume) return false;
  *bus = BusTypeUnknown;
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<BYTE> output(kDescriptorBytes);
  DWORD returned = 0;
  if (!::DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), output.data(),
                         kDescriptorBytes, &returned, nullptr)) {
    return true;
  }
  if (returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) return true;
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  std::memcpy(&descriptor, output.data(), sizeof(descriptor));
  *bus = descriptor.BusType;
  return true;
}

// The kernel file's fixed version information. Under WOW64 System32 is redirected to the 32-bit
// folder, so the 64-bit kernel is reached through the SysNative alias.
bool ReadKernelFixedInfo(bool wow64, VS_FIXEDFILEINFO* info) {
  wchar_t windows_dir[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryW(windows_dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  std::wstring path(windows_dir, length);
  if (path.back() != L'\\') path += L'\\';
  path += wow64 ? L"SysNative\\ntoskrnl.exe" : L"System32\\ntoskrnl.exe";

  // As data only: no code runs and nothing else is loaded for it.
  const ScopedLibrary kernel(
      ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LibrarySearchFlags(LOAD_LIBRARY_SEARCH_SYSTEM32)));
  if (!kernel) return false;
  const HRSRC resource = ::FindResourceW(kernel.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /*RT_VERSION*/);
  if (resource == nullptr) return false;
  const HGLOBAL loaded = ::LoadResource(kernel.get(), resource);
  const DWORD size = ::SizeofResource(kernel.get(), resource);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0) return false;
  // VerQueryValueW may write into the block it is given, and the mapped image is read-only: it
  // works on a copy.
  std::vector<BYTE> copy(static_cast<const BYTE*>(bytes), static_cast<const BYTE*>(bytes) + size);
  void* value = nullptr;
  UINT value_length = 0;
  if (!::VerQueryValueW(copy.data(), L"\\", &value, &value_length) || value == nullptr ||
      value_length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  const BYTE* first = static_cast<const BYTE*>(value);
  if (first < copy.data() || first + sizeof(VS_FIXEDFILEINFO) > copy.data() + copy.size()) return false;
  std::memcpy(info, first, sizeof(*info));
  return true;
}

struct CachedOSVersion {
  OSVERSIONINFOEXW record{};
  bool ok = false;
  bool raised_by_kernel = false;
};

OnceValue<CachedOSVersion> g_os_version;

void ComputeOSVersion(CachedOSVersion* cache) {
  cache->ok = false;
  cache->raised_by_kernel = false;
  OSVERSIONINFOEXW record = {};
  record.dwOSVersionInfoSize = sizeof(record);
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&record))) return;

  const bool wow64 = IsWow64();
  // 64-bit XP and Server 2003 answer GetVersionExW truthfully and lack the SysNative alias.
  if (!(record.dwMajorVersion == 5 && wow64)) {
    // GetVersionExW reports at most 6.2 to programs whose manifest does not name newer systems.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtl_get_version = GetProcAddressAs<RtlGetVersionFn>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    OSVERSIONINFOEXW rtl = {};
    rtl.dwOSVersionInfoSize = sizeof(rtl);
    if (rtl_get_version != nullptr && rtl_get_version(reinterpret_cast<OSVERSIONINFOW*>(&rtl)) == 0 &&
        VersionNumber(rtl.dwMajorVersion, rtl.dwMinorVersion) >
            VersionNumber(record.dwMajorVersion, record.dwMinorVersion)) {
      record = rtl;
    }
    // Compatibility modes lie through both calls; the kernel file's own version does not.
    VS_FIXEDFILEINFO kernel;
    try {
      if (ReadKernelFixedInfo(wow64, &kernel)) cache->raised_by_kernel = RaiseVersionFromKernel(kernel, &record);
    } catch (...) {
      // Out of memory for the resource copy: keep what the APIs said.
    }
  }
  cache->record = record;
  cache->ok = true;
}

const CachedOSVersion& CachedOSVersionRecord() {
  return g_os_version.Get([] {
    CachedOSVersion version;
    ComputeOSVersion(&version);
    return version;
  });
}

}  // namespace

bool IsInternalFixedDiskFrom(UINT drive_type, std::optional<std::wstring_view> dos_device,
                             std::optional<STORAGE_BUS_TYPE> bus) {
  if (drive_type != DRIVE_FIXED) return false;
  // Virtual drives (SUBST, RAM disks, VHD helpers) name other devices; no answer is no objection.
  if (dos_device && !StartsWithIgnoreAsciiCase(*dos_device, L"\\Device\\Harddisk")) return false;
  return bus && *bus != BusTypeUsb && *bus != BusType1394;
}

bool IsInternalFixedDisk(const std::wstring& root) {
  try {
    // The drive without trailing separators: QueryDosDeviceW and the volume path want "C:", while
    // GetDriveTypeW wants the root folder with its backslash.
    const std::wstring drive(TrimTrailingSeparators(root));
    if (drive.empty()) return false;
    const UINT type = ::GetDriveTypeW((drive + L"\\").c_str());
    if (type != DRIVE_FIXED) return IsInternalFixedDiskFrom(type, std::nullopt, std::nullopt);

    std::vector<wchar_t> device(kDeviceNameChars + 1, L'\0');
    std::optional<std::wstring_view> name;
    if (::QueryDosDeviceW(drive.c_str(), device.data(), kDeviceNameChars) != 0) {
      name = std::wstring_view(device.data(), std::wcslen(device.data()));
    }
    STORAGE_BUS_TYPE bus = BusTypeUnknown;
    const bool bus_known = QueryVolumeBusType(drive, &bus);
    return IsInternalFixedDiskFrom(type, name, bus_known ? std::optional<STORAGE_BUS_TYPE>(bus) : std::nullopt);
  } catch (...) {
    return false;
  }
}

bool EnableDebugPrivilege() {
  ScopedHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive())) {
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  if (!::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return false;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::AdjustTokenPrivileges(token.get(), /*DisableAllPrivileges=*/FALSE, &privileges, sizeof(privileges),
                               nullptr, nullptr)) {
    return false;
  }
  // AdjustTokenPrivileges succeeds for a token that lacks the privilege; only the last error says so.
  return ::GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

bool GetProcessImagePath(DWORD pid, std::wstring* out) {
  if (out == nullptr) return false;
  try {
    ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, /*bInheritHandle=*/FALSE, pid));
    if (!process) return false;
    // The system's own record of the image. GetModuleFileNameExW would read the process's loader
    // data, which the process itself can rewrite to name any file.
    using QueryFullFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    static const QueryFullFn query_full =
        GetProcAddressAs<QueryFullFn>(::GetModuleHandleW(L"Kernel32.dll"), "QueryFullProcessImageNameW");
    std::vector<wchar_t> buffer(kMaxPathChars);
    DWORD size = kMaxPathChars;
    if (query_full == nullptr || !query_full(process.get(), /*dwFlags=Win32 path*/ 0, buffer.data(), &size) ||
        size == 0 || size >= kMaxPathChars) {
      return false;
    }
    out->assign(buffer.data(), size);
    return true;
  } catch (...) {
    return false;
  }
}

std::function<bool(const std::wstring&)> DriveTestAskingOnce(std::function<bool(const std::wstring&)> test) {
  return [test = std::move(test), verdicts = std::map<std::wstring, bool>()](const std::wstring& drive) mutable {
    const std::wstring key = AsciiLower(drive);
    if (const auto found = verdicts.find(key); found != verdicts.end()) return found->second;
    return verdicts.emplace(key, test ? test(drive) : IsInternalFixedDisk(drive)).first->second;
  };
}

bool IsProcessElevated() {
  static OnceValue<bool> elevated;
  return elevated.Get([] {
    ScopedHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
  });
}

bool IsWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static const IsWow64ProcessFn is_wow64_process =
      GetProcAddressAs<IsWow64ProcessFn>(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
  BOOL wow64 = FALSE;
  return is_wow64_process != nullptr && is_wow64_process(::GetCurrentProcess(), &wow64) && wow64;
}

bool GetRealOSVersion(OSVERSIONINFOW* record) {
  if (record == nullptr) return false;
  const CachedOSVersion& cache = CachedOSVersionRecord();
  if (!cache.ok) return false;
  const DWORD caller_size = record->dwOSVersionInfoSize;
  const size_t bytes = std::min<size_t>(caller_size, sizeof(OSVERSIONINFOEXW));
  std::memcpy(static_cast<void*>(record), &cache.record, bytes);
  // The copy brought the cached record's size; the caller's record is only as large as it said.
  record->dwOSVersionInfoSize = caller_size;
  return true;
}

bool WasOSVersionRaisedByKernel() {
  const CachedOSVersion& cache = CachedOSVersionRecord();
  return cache.ok && cache.raised_by_kernel;
}

bool RaiseVersionFromKernel(const VS_FIXEDFILEINFO& kernel, OSVERSIONINFOEXW* record) {
  if (record == nullptr) return false;
  const DWORD major = HIWORD(kernel.dwProductVersionMS);
  const DWORD minor = LOWORD(kernel.dwProductVersionMS);
  if (VersionNumber(major, minor) <= VersionNumber(record->dwMajorVersion, record->dwMinorVersion)) return false;
  record->dwMajorVersion = major;
  record->dwMinorVersion = minor;
  record->dwBuildNumber = HIWORD(kernel.dwProductVersionLS);
  return true;
}

}  // namespace velmora
