#include "platform/system_functions.h"

#include <string>

#include "platform/module_path.h"
#include "platform/text.h"

namespace velmora {
namespace {

struct RtlOsVersion {
  ULONG size;
  ULONG major;
  ULONG minor;
  ULONG build;
  ULONG platform;
  WCHAR csd[128];
};

// GetVersionEx lies to programs without a compatibility manifest; the kernel's own call does not.
bool ReadKernelVersion(DWORD* major, DWORD* minor) {
  using RtlGetVersionFn = LONG(WINAPI*)(RtlOsVersion*);
  auto rtl_get_version = GetProcAddressAs<RtlGetVersionFn>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  if (!rtl_get_version) return false;
  RtlOsVersion info{};
  info.size = sizeof(info);
  if (rtl_get_version(&info) != 0) return false;
  *major = info.major;
  *minor = info.minor;
  return true;
}

}  // namespace

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

SetDefaultDllDirectoriesFn SetDefaultDllDirectoriesFunction() {
  // kernel32 is in every process already; asking for it by name loads nothing.
  return GetProcAddressAs<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
}

}  // namespace

DWORD LibrarySearchFlags(DWORD search) {
  static const bool known = SetDefaultDllDirectoriesFunction() != nullptr;
  return known ? search : 0;
}

void RestrictLibrarySearchToSystemFolder() {
  if (const auto restrict_search = SetDefaultDllDirectoriesFunction()) restrict_search(LOAD_LIBRARY_SEARCH_SYSTEM32);
  __pfnDliNotifyHook2 = &LoadDelayedLibrary;
}

FARPROC WINAPI LoadDelayedLibrary(unsigned notice, PDelayLoadInfo info) {
  if (notice != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  const std::wstring name = Utf8ToWide(info->szDll);  // a name from our own import table: ASCII
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(LoadSystemLibrary(name.c_str())));
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  const std::wstring path = SystemFolderFile(name);
  if (path.empty()) return nullptr;
  return ::LoadLibraryExW(path.c_str(), nullptr, LibrarySearchFlags(LOAD_LIBRARY_SEARCH_SYSTEM32));
}

bool IsLaterThanWindows8(DWORD major, DWORD minor) { return major > 6 || (major == 6 && minor > 2); }

const DpiFunctions& GetDpiFunctions() {
  static const DpiFunctions functions = [] {
    DpiFunctions f;
    HMODULE user32 = ::GetModuleHandleW(L"User32.dll");
    if (!user32) user32 = LoadSystemLibrary(L"User32.dll");
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using BoolFn = BOOL(WINAPI*)();
    f.get_dpi_for_window = GetProcAddressAs<GetDpiForWindowFn>(user32, "GetDpiForWindow");
    f.set_process_dpi_aware = GetProcAddressAs<BoolFn>(user32, "SetProcessDPIAware");
    f.is_process_dpi_aware = GetProcAddressAs<BoolFn>(user32, "IsProcessDPIAware");

    DWORD major = 0, minor = 0;
    const std::wstring shcore = SystemFolderFile(L"Shcore.dll");
    if (ReadKernelVersion(&major, &minor) && IsLaterThanWindows8(major, minor) && !shcore.empty() &&
        ::GetFileAttributesW(shcore.c_str()) != INVALID_FILE_ATTRIBUTES) {
      // Loaded from the system folder and kept for the life of the process: the pointers must stay valid.
      HMODULE module = LoadSystemLibrary(L"Shcore.dll");
      f.set_process_dpi_awareness =
          GetProcAddressAs<decltype(f.set_process_dpi_awareness)>(module, "SetProcessDpiAwareness");
      f.get_process_dpi_awareness =
          GetProcAddressAs<decltype(f.get_process_dpi_awareness)>(module, "GetProcessDpiAwareness");
      f.get_dpi_for_monitor = GetProcAddressAs<decltype(f.get_dpi_for_monitor)>(module, "GetDpiForMonitor");
    }
    return f;
  }();
  return functions;
}

}  // namespace velmora
